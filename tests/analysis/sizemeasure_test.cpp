// The size measure on hand-worked chains, and bit for bit against parsing the chain text.
#include "analysis/sizemeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "chain/random.h"
#include "reference/textmodel.h"

namespace polychain {
namespace {

double measure(const std::vector<Point>& sites, std::int32_t m) {
  return CalcRgTotal(std::span<const Point>(sites), m);
}

TEST(CalcRgTotal, WorkedValues) {
  EXPECT_EQ(measure({{0, 0, 0}}, 1), 0.0);
  EXPECT_EQ(measure({{0, 0, 0}, {1, 0, 0}}, 1), 1.0);
  const double v = measure({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, 2);
  EXPECT_NEAR(v, 0.77145, 1e-5);
  EXPECT_EQ(distanceFromOrigin({-3, 4, 0}), 5.0);
}

TEST(CalcRgTotal, SitesGiveTheTextValueBitForBit) {
  RandomSource random(5);
  for (int chain = 0; chain < 50; ++chain) {
    std::vector<Point> sites{{0, 0, 0}};
    Point p;
    const int steps = 1 + static_cast<int>(random.next() % 3000);
    for (int i = 0; i < steps; ++i) {
      moveAlong(p, directionOf(random.uniform()), 1 + static_cast<int>(random.next() % 40000));
      sites.push_back(p);
    }
    SiteSums sums;
    const double fromSites = CalcRgTotal(std::span<const Point>(sites), steps, &sums);
    const double fromText = reference::textCalcRgTotal(reference::chainTextOf(sites), steps);
    EXPECT_EQ(std::memcmp(&fromSites, &fromText, sizeof(double)), 0) << "chain " << chain;
    EXPECT_EQ(sums.x, std::accumulate(sites.begin(), sites.end(), std::int64_t{0},
                                      [](std::int64_t s, const Point& q) { return s + q.x; }));
  }
}

}  // namespace
}  // namespace polychain
