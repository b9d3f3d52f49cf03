// The one parameter reader: the decimal rule, its exact rounding, and refusals that name
// the field.
#include "polychain/paramreader.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace polychain {
namespace {

std::string refusal(std::string_view text, std::int64_t least = -100, std::int64_t most = 100) {
  try {
    readWholeNumber(text, "--field", least, most);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(ReadWholeNumber, DecimalTextRoundedExactlyHalvesToEven) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"0.5", 0},
      {"2.51", 3},
      {"-0.4", 0},
      {"100", 100},
      {"  12 ", 12},
      {"\t7", 7},
      {"+5", 5},
      {"1e3", 1000},
      {"2.5E1", 25},
      {".5", 0},
      {"5.", 5},
      {"1e-400", 0},
      {"2147483647", 2147483647},
      {"010", 10},
      {"0.6", 1},
      {"2147483647.4", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()}};
  for (const auto& [text, value] : cases) EXPECT_EQ(readInt32(text, "f"), value) << text;
  // A tie decided by a digit far beyond double precision, and a 400-digit mantissa.
  EXPECT_EQ(readInt32("2.50000000000000000000000001", "f"), 3);
  EXPECT_EQ(readInt32(std::string(400, '1') + "e-398", "f"), 11);
  EXPECT_EQ(readInt32("0." + std::string(400, '0') + "9e401", "f"), 9);
  // The full 64-bit range, exactly.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(readWholeNumber("9223372036854775807", "f", 0, kMax), kMax);
  EXPECT_EQ(
      readWholeNumber("-9223372036854775808", "f", std::numeric_limits<std::int64_t>::min(), 0),
      std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(readSeed("18446744073709551615", "f"), 18446744073709551615ULL);
  EXPECT_EQ(readSeed(" 1e19 ", "f"), 10000000000000000000ULL);
  EXPECT_FALSE(readSeed("  ", "f"));
}

TEST(ReadWholeNumber, RefusesWithTheFieldNamedAndWhatItAccepts) {
  for (const char* bad : {"", "   ", "abc", "1,5", "0x10", "inf", "nan", "1e", "--1", "1 2", "e5",
                          ".", "+", "12abc"}) {
    EXPECT_NE(refusal(bad).find("--field"), std::string::npos) << '"' << bad << '"';
  }
  EXPECT_NE(refusal("abc").find("\"abc\" is not one"), std::string::npos);
  for (const char* outside :
       {"101", "-101", "1e400", "-1e400", "100.5001", "99999999999999999999999"}) {
    EXPECT_EQ(refusal(outside),
              "--field is out of range: it accepts whole numbers from -100 to 100.")
        << outside;
  }
  EXPECT_THROW(readSeed("-1", "Seed"), InputError);
  EXPECT_THROW(readSeed("18446744073709551616", "Seed"), InputError);
  EXPECT_THROW(readInt32("2147483647.5", "f"), InputError);
}

// A keyed error names its fields as each front end does; an error without a key keeps what the
// user typed, braces and all.
TEST(InputErrors, EachFrontEndNamesTheFieldsItsOwnWay) {
  const InputError both("density", "{density} and {box} are either-or.");
  EXPECT_EQ(both.field(), "density");
  EXPECT_STREQ(both.what(), "Density and Box side are either-or.");
  EXPECT_EQ(both.worded(optionFieldName), "--density and --box are either-or.");
  EXPECT_EQ(optionFieldName("max_trials"), "--max-trials");
  const SettingInfo& walls = *findModel("melt")->findSetting("walls");
  try {
    readSetting(walls, "{box}", "--walls");
    ADD_FAILURE() << "{box} read as a wall";
  } catch (const InputError& e) {
    EXPECT_TRUE(e.field().empty());
    EXPECT_EQ(e.worded(optionFieldName), e.what());
    EXPECT_NE(std::string(e.what()).find("\"{box}\" is not one"), std::string::npos) << e.what();
  }
}

TEST(ReadCount, SaysTheRangeOfACount) {
  EXPECT_EQ(readCount(" 2.5 ", "Steps (N)"), 2);
  EXPECT_EQ(readCount("2147483647", "Steps (N)"), 2147483647);
  const auto message = [](const char* text) {
    try {
      readCount(text, "Steps (N)");
    } catch (const InputError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  for (const char* huge : {"99999999999", "2147483648", "1e30"}) {
    EXPECT_EQ(message(huge),
              "Steps (N) is out of range: it accepts whole numbers from 1 to 2147483647.")
        << huge;
  }
  EXPECT_EQ(message("0.4"), "Steps (N) must be a whole number of at least 1; 0 is too small.");
  EXPECT_EQ(message("-5"), "Steps (N) must be a whole number of at least 1; -5 is too small.");
  EXPECT_EQ(message("-1e30"),
            "Steps (N) must be a whole number of at least 1; -1e30 is too small.");
  EXPECT_EQ(readStepList("10, 20", "Steps (N)"), (std::vector<std::int32_t>{10, 20}));
  EXPECT_THROW(readStepList("10,99999999999", "Steps (N)"), InputError);
}

TEST(ReadStepList, CommaSeparatedCountsAndRefusals) {
  EXPECT_EQ(readStepList("100,200, 400 ", "--steps"), (std::vector<std::int32_t>{100, 200, 400}));
  EXPECT_EQ(readStepList("2.5,7", "--steps"), (std::vector<std::int32_t>{2, 7}));
  for (const char* bad : {"", "  ", "100,,200", "100,", ",100", "100,abc", "100;200"}) {
    EXPECT_THROW(readStepList(bad, "--steps"), InputError) << bad;
  }
  EXPECT_EQ(&readModelKey("short-range", "--model"), &modelInfo(ShortRangeSettings{}));
  EXPECT_THROW(readModelKey("Meander", "--model"), InputError);
}

}  // namespace
}  // namespace polychain
