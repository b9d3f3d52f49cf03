#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "chain/numtext.h"

namespace polychain {
namespace {

TEST(FormatNumber, FifteenSignificantDigitsNoTrailingZeros) {
  EXPECT_EQ(formatNumber(10.0), "10");
  EXPECT_EQ(formatNumber(0.0), "0");
  EXPECT_EQ(formatNumber(1.0), "1");
  EXPECT_EQ(formatNumber(-1.0), "-1");
  EXPECT_EQ(formatNumber(0.02), "0.02");
  EXPECT_EQ(formatNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(formatNumber(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(formatNumber(std::pow(100.0, 0.6)), "15.8489319246111");
  EXPECT_EQ(formatNumber(std::sqrt(1000.0)), "31.6227766016838");
  EXPECT_EQ(formatNumber(123456789012345.0), "123456789012345");
  // Where %.15g switches to an exponent.
  EXPECT_EQ(formatNumber(1e15), "1e+15");
  EXPECT_EQ(formatNumber(1234567890123456789.0), "1.23456789012346e+18");
  EXPECT_EQ(formatNumber(0.0001), "0.0001");
  EXPECT_EQ(formatNumber(0.00001), "1e-05");
}

TEST(FormatNumber, IgnoresTheProcessLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    std::setlocale(LC_NUMERIC, "C.UTF-8");
  }
  EXPECT_EQ(formatNumber(0.5), "0.5");
  EXPECT_EQ(textToNumber("2.5", "Iterations"), 2);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(TextToNumber, RoundsHalvesToEven) {
  EXPECT_EQ(textToNumber("2.5", "f"), 2);
  EXPECT_EQ(textToNumber("3.5", "f"), 4);
  EXPECT_EQ(textToNumber("-2.5", "f"), -2);
  EXPECT_EQ(textToNumber("0.5", "f"), 0);
  EXPECT_EQ(textToNumber("2.51", "f"), 3);
  EXPECT_EQ(textToNumber("-0.4", "f"), 0);
}

TEST(TextToNumber, AcceptsDecimalTextWithBlanksSignFractionExponent) {
  EXPECT_EQ(textToNumber("100", "f"), 100);
  EXPECT_EQ(textToNumber("  12 ", "f"), 12);
  EXPECT_EQ(textToNumber("\t7", "f"), 7);
  EXPECT_EQ(textToNumber("+5", "f"), 5);
  EXPECT_EQ(textToNumber("-12", "f"), -12);
  EXPECT_EQ(textToNumber("1e3", "f"), 1000);
  EXPECT_EQ(textToNumber("2.5E1", "f"), 25);
  EXPECT_EQ(textToNumber(".5", "f"), 0);
  EXPECT_EQ(textToNumber("5.", "f"), 5);
  EXPECT_EQ(textToNumber("1e-400", "f"), 0);
  EXPECT_EQ(textToNumber("2147483647", "f"), 2147483647);
  EXPECT_EQ(textToNumber("-2147483648", "f"), -2147483647 - 1);
  EXPECT_EQ(textToNumber("2147483647.4", "f"), 2147483647);
}

TEST(TextToNumber, RefusesWithTheFieldNamed) {
  for (const char* bad : {"", "   ", "abc", "1,5", "0x10", "inf", "nan", "1e", "--1", "1 2",
                          "e5", ".", "+", "12abc"}) {
    try {
      textToNumber(bad, "Steps (N)");
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find("Steps (N)"), std::string::npos) << e.what();
    }
  }
  for (const char* huge : {"2147483648", "-2147483649", "1e10", "1e400", "-1e400",
                           "2147483647.5"}) {
    try {
      textToNumber(huge, "Iterations");
      ADD_FAILURE() << "accepted \"" << huge << "\"";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find("out of range"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace polychain
