// Round tick marks: the step, the values and their labels.
#include "window/ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace polychain {
namespace {

using Labels = std::vector<std::string>;

bool negativeZero(const std::string& label) {
  return label.starts_with('-') && label.find_first_not_of("0.", 1) == std::string::npos;
}

TEST(RoundTicks, StepsOfOneTwoOrFiveTimesAPowerOfTen) {
  // The chain view's old ticks 27, 10, -7, ... become multiples of 20.
  AxisTicks t = roundTicks(-59.5, 27.5, 5, 1.0);
  EXPECT_EQ(t.step, 20.0);
  EXPECT_EQ(t.labels, (Labels{"-40", "-20", "0", "20"}));
  EXPECT_EQ(t.values, (std::vector<double>{-40, -20, 0, 20}));
  EXPECT_EQ(roundTicks(0.0, 1000.0, 6).labels, (Labels{"0", "200", "400", "600", "800", "1000"}));
  EXPECT_EQ(roundTicks(0.1, 0.35, 6).labels,
            (Labels{"0.10", "0.15", "0.20", "0.25", "0.30", "0.35"}));
  EXPECT_EQ(roundTicks(-0.3, 0.3, 3).labels, (Labels{"-0.2", "0.0", "0.2"}));
  // Lattice coordinates take whole steps only, and none where no whole number lies.
  EXPECT_EQ(roundTicks(-1.2, 1.2, 10, 1.0).labels, (Labels{"-1", "0", "1"}));
  EXPECT_TRUE(roundTicks(0.2, 0.8, 5, 1.0).values.empty());
  for (const AxisTicks& many : {roundTicks(-3e6, 7e6, 7), roundTicks(0.001, 0.0013, 4)}) {
    EXPECT_FALSE(many.values.empty());
    EXPECT_LE(many.values.size(), 7u);
  }
}

TEST(RoundTicks, NoMinusZeroAndNoneForAnEmptyRange) {
  for (const AxisTicks& t :
       {roundTicks(-1.0, 1.0, 5), roundTicks(-0.5, 0.5, 3), roundTicks(-1e-9, 3.0, 4, 1.0)}) {
    ASSERT_FALSE(t.labels.empty());
    for (const std::string& label : t.labels) EXPECT_FALSE(negativeZero(label)) << label;
    for (const double value : t.values) EXPECT_FALSE(value == 0.0 && std::signbit(value));
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const AxisTicks& none : {roundTicks(0.0, 0.0, 5), roundTicks(2.0, 1.0, 5),
                                roundTicks(nan, 1.0, 5), roundTicks(0.0, 1.0, 0)}) {
    EXPECT_TRUE(none.values.empty());
    EXPECT_TRUE(none.labels.empty());
  }
}

}  // namespace
}  // namespace polychain
