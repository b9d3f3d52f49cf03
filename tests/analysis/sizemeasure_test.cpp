#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "analysis/sizemeasure.h"
#include "chain/chaintext.h"
#include "chain/random.h"
#include "reference/textmodel.h"

namespace polychain {
namespace {

TEST(CalcRgTotal, WorkedValues) {
  EXPECT_EQ(CalcRgTotal("0,0,0;", 1), 0.0);
  EXPECT_EQ(CalcRgTotal("0,0,0;1,0,0;", 1), 1.0);
  const double v = CalcRgTotal("0,0,0;1,0,0;1,1,0;", 2);
  const double mean = (1.0 + std::sqrt(2.0)) / 2.0;
  EXPECT_NEAR(v, (mean * mean + (1 - mean) * (1 - mean) + (std::sqrt(2.0) - mean) *
                  (std::sqrt(2.0) - mean)) / 2.0, 1e-15);
  EXPECT_NEAR(v, 0.77145, 1e-5);
  EXPECT_EQ(distanceFromOrigin({-3, 4, 0}), 5.0);

  Point last;
  CalcRgTotal("0,0,0;1,0,0;-3,4,0;", 2, &last);
  EXPECT_EQ(last, (Point{-3, 4, 0}));
}

TEST(CalcRgTotal, PointsGiveTheTextValueBitForBit) {
  RandomSource random(5);
  for (int chain = 0; chain < 50; ++chain) {
    std::vector<Point> sites{{0, 0, 0}};
    Point p;
    const int steps = 1 + static_cast<int>(random.next() % 3000);
    for (int i = 0; i < steps; ++i) {
      moveAlong(p, directionOf(random.uniform()), 1 + static_cast<int>(random.next() % 40000));
      sites.push_back(p);
    }
    const std::string text = chainTextOf(sites);
    const double fromPoints = CalcRgTotal(std::span<const Point>(sites), steps);
    const double fromText = reference::textCalcRgTotal(text, steps);
    EXPECT_EQ(std::memcmp(&fromPoints, &fromText, sizeof(double)), 0) << "chain " << chain;
    EXPECT_EQ(CalcRgTotal(text, steps), fromText);
  }
}

}  // namespace
}  // namespace polychain
