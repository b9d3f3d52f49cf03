#include "analysis/paircorrelation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/sizemeasure.h"
#include "chain/lattice.h"
#include "chain/random.h"
#include "polychain/formats.h"
#include "reference/textgor.h"

namespace polychain {
namespace {

PairHistogram count(const std::vector<double>& distances, const PairCountOptions& options = {}) {
  std::optional<PairHistogram> h = countDistancePairs(distances, nullptr, options);
  EXPECT_TRUE(h.has_value());
  return h.value_or(PairHistogram{});
}

// The fast count against the plain loop over every ordered pair, bin by bin.
void expectSameAsPlainLoop(const std::vector<double>& distances, const PairCountOptions& options,
                           const std::string& what) {
  const reference::TextCorrelation slow = reference::textGorFromDistances(distances);
  const PairHistogram fast = count(distances, options);
  ASSERT_EQ(fast.top, slow.top) << what;
  ASSERT_EQ(static_cast<double>(fast.total), slow.total) << what;
  for (std::size_t b = 0; b < slow.histogram.size(); ++b) {
    ASSERT_EQ(static_cast<double>(fast.count(static_cast<std::int64_t>(b))), slow.histogram[b])
        << what << ", bin " << b;
  }
  const Correlation correlation = correlationOf(fast);
  EXPECT_EQ(gofrText(correlation), slow.gofr) << what;
  EXPECT_EQ(gofqText(correlation), slow.gofq) << what;
}

TEST(PairCorrelation, ThreeDistancesByHand) {
  const PairHistogram h = count({0, 1, 2});
  EXPECT_EQ(h.bins, (std::vector<std::int64_t>{3, 2, 1}));
  EXPECT_EQ(h.total, 6);
  EXPECT_EQ(h.top, 2);

  const Correlation c = correlationOf(h);
  EXPECT_EQ(c.gofr, (std::vector<double>{1, 2.0 / 3, 1.0 / 3, 0, 0, 0, 0, 0}));
  ASSERT_EQ(c.gofq.size(), 5U);
  const double r2 = std::sqrt(2.0);
  const double expected[] = {4, (14 + 8 * r2) / 9, 8.0 / 9, (14 - 8 * r2) / 9, 4.0 / 9};
  for (std::size_t k = 0; k <= 4; ++k) EXPECT_NEAR(c.gofq[k], expected[k], 1e-13) << k;

  // The same chain as sites: (0,0,0), (1,0,0), (2,0,0).
  const std::vector<Point> sites = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  const std::optional<Correlation> fromSites = gorCalc(sites, nullptr);
  ASSERT_TRUE(fromSites);
  EXPECT_EQ(fromSites->gofr, c.gofr);
  EXPECT_EQ(fromSites->gofq, c.gofq);
}

TEST(PairCorrelation, HalvesRoundToTheEvenNeighbour) {
  // 0.5 rounds to 0 in both orders (-0.5 too), 1.5 and 2.5 to 2, -1.5 and -2.5 are dropped.
  EXPECT_EQ(count({0, 0.5}).bins, (std::vector<std::int64_t>{4}));
  EXPECT_EQ(count({0, 1.5}).bins, (std::vector<std::int64_t>{2, 0, 1}));
  EXPECT_EQ(count({0, 2.5}).bins, (std::vector<std::int64_t>{2, 0, 1}));
  EXPECT_EQ(count({0.25, 3.75}).bins, (std::vector<std::int64_t>{2, 0, 0, 0, 1}));
  EXPECT_EQ(count({0, 0.49}).bins, (std::vector<std::int64_t>{4}));  // < 1/2 apart: twice in 0
  EXPECT_EQ(count({0, std::nextafter(0.5, 1.0)}).bins, (std::vector<std::int64_t>{2, 1}));

  // The bin is that of the difference as a double: 2 - (0.5 + 2^-53) is 1.5 - 2^-53 exactly
  // but 1.5 once rounded to a double, so the pair goes to bin 2, not bin 1.
  const double justAboveHalf = 0.5 + std::ldexp(1.0, -53);
  EXPECT_EQ(count({justAboveHalf, 2.0}).bins, (std::vector<std::int64_t>{2, 0, 1}));
  expectSameAsPlainLoop({justAboveHalf, 2.0}, {}, "difference rounding to a half");

  // The site (-3,4,0) lies 5 from the origin.
  const PairHistogram five = *countDistancePairs(std::vector<double>{0.0, 5.0}, nullptr);
  EXPECT_EQ(five.top, 5);
  const std::vector<Point> sites = {{0, 0, 0}, {-3, 4, 0}};
  EXPECT_EQ(gorCalc(sites, nullptr)->gofr, correlationOf(five).gofr);
}

// Distances built to sit on and around the half-way points, many of them equal.
std::vector<double> awkwardDistances(RandomSource& random, std::size_t n, double spread) {
  std::vector<double> d;
  for (std::size_t i = 0; i < n; ++i) {
    const double whole = std::floor(random.uniform() * spread);
    double v = whole;
    switch (random.next() % 6) {
      case 0:
        v = whole + 0.5;
        break;
      case 1:
        v = std::nextafter(whole + 0.5, 0.0);
        break;
      case 2:
        v = std::nextafter(whole + 0.5, 1e9);
        break;
      case 3:
        v = whole + std::ldexp(1.0, -53) + 0.5;
        break;
      case 4:
        v = std::sqrt(whole * whole + 1);
        break;
      default:
        break;
    }
    d.push_back(v);
    if (random.next() % 3 == 0) d.push_back(v);  // equal distances
  }
  return d;
}

const PairCountMethod kMethods[] = {PairCountMethod::Automatic, PairCountMethod::EdgeWalk};

// Both methods, one to three threads, tiny chunks and few dense bins: the plain loop's bins.
void expectEveryWaySameAsPlainLoop(const std::vector<double>& distances, RandomSource& random,
                                   const std::string& what) {
  expectSameAsPlainLoop(distances, {}, what);
  for (const PairCountMethod method : kMethods) {
    for (const int threads : {1, 2, 3}) {
      PairCountOptions options;
      options.method = method;
      options.threads = threads;
      options.chunkWork = 1 + static_cast<std::int64_t>(random.next() % 50);
      options.denseBins = 1 + static_cast<std::int64_t>(random.next() % 20);
      expectSameAsPlainLoop(distances, options,
                            what + (method == PairCountMethod::EdgeWalk ? ", edge walk" : "") +
                                ", threads " + std::to_string(threads));
    }
  }
}

TEST(PairCorrelation, FastCountEqualsThePlainLoop) {
  RandomSource random(314159);
  for (int round = 0; round < 30; ++round) {
    const std::size_t n = 1 + random.next() % 300;
    const double spread = round % 3 == 0 ? 10.0 : round % 3 == 1 ? 200.0 : 5000.0;
    expectEveryWaySameAsPlainLoop(awkwardDistances(random, n, spread), random,
                                  "round " + std::to_string(round));
  }
}

TEST(PairCorrelation, RoundingOfTheDoubleDifferenceDecides) {
  RandomSource random(2718);
  const double below = std::nextafter(0.5, 0.0);
  // 3 - (1/2 - 2^-54) is 2.5 once rounded, and goes to bin 2, not 3 (cells 6 and 0): the
  // same at 5 and 7 (bins 4 and 6) and taken the other way round (-2.5 to bin -2).
  EXPECT_EQ(count({below, 3.0}).count(2), 1);
  EXPECT_EQ(count({below, 3.0}).count(3), 0);
  expectEveryWaySameAsPlainLoop({below, 3.0, 5.0, 7.0, 0.0, 1.0}, random, "below a half");
  // 2^-53 + 1/2 against whole and half distances, which lie at the same offset in their cells.
  const double above = 0.5 + std::ldexp(1.0, -53);
  expectEveryWaySameAsPlainLoop({above, 0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0, above}, random,
                                "above a half");
  // All at one distance, and one distance alone.
  EXPECT_EQ(count(std::vector<double>(1000, 7.5)).bins, (std::vector<std::int64_t>{1000000}));
  expectEveryWaySameAsPlainLoop(std::vector<double>(50, 7.5), random, "one distance");
  expectEveryWaySameAsPlainLoop({123.25}, random, "one site");
}

TEST(PairCorrelation, CountsPastThirtyTwoBitsStayExact) {
  // 70000 sites at 0.2 and 70000 at 1.9, 1.7 apart: 4.9e9 pairs in bin 2.
  std::vector<double> d(70000, 0.2);
  d.resize(140000, 1.9);
  const std::int64_t each = std::int64_t{70000} * 70000;
  for (const PairCountMethod method : kMethods) {
    for (const int threads : {1, 2}) {
      PairCountOptions options;
      options.method = method;
      options.threads = threads;
      EXPECT_EQ(count(d, options).bins, (std::vector<std::int64_t>{2 * each, 0, each}));
    }
  }
}

TEST(PairCorrelation, LatticeWalkEqualsThePlainLoop) {
  // Square roots of whole numbers, many of them equal, the whole ones all at offset 0.
  RandomSource random(99);
  Point p;
  std::vector<double> d{0.0};
  for (int i = 0; i < 1500; ++i) {
    ChooseDir(random, p, 1);
    d.push_back(distanceFromOrigin(p));
  }
  expectEveryWaySameAsPlainLoop(d, random, "free walk");
}

TEST(PairCorrelation, BinsBeyondOneHundredThousandAreKept) {
  // Steps longer than one lattice unit reach differences above 100000.
  const std::vector<Point> sites = {{0, 0, 0}, {150000, 0, 0}, {150000, 20, 0}};
  std::vector<double> d;
  for (const Point& p : sites) d.push_back(std::sqrt(double(p.x) * p.x + double(p.y) * p.y));
  for (const std::int64_t dense : {std::int64_t{1} << 22, std::int64_t{10}}) {
    PairCountOptions options;
    options.denseBins = dense;
    const PairHistogram h = count(d, options);
    EXPECT_EQ(h.top, 150000);
    EXPECT_EQ(h.count(150000), 2);  // both far sites against the origin
    EXPECT_EQ(h.count(0), 5);       // each with itself, the two far ones within 0.0013
    EXPECT_EQ(h.total, 7);
    expectSameAsPlainLoop(d, options, "far bins, dense " + std::to_string(dense));
  }
  const std::optional<Correlation> c = gorCalc(sites, nullptr);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->gofr.size(), 512U);
  EXPECT_DOUBLE_EQ(c->gofr[0], 1.0);
  EXPECT_EQ(c->gofr[1], 0.0);
}

TEST(PairCorrelation, TransformLengthFollowsTheLargestBin) {
  EXPECT_EQ(transformLength(0), 8);
  EXPECT_EQ(transformLength(7), 8);
  EXPECT_EQ(transformLength(8), 16);
  EXPECT_EQ(transformLength(15), 16);
  EXPECT_EQ(transformLength(16), 32);
  EXPECT_EQ(transformLength(63), 64);
  EXPECT_EQ(transformLength(64), 128);
  EXPECT_EQ(transformLength(255), 256);
  EXPECT_EQ(transformLength(256), 512);
  EXPECT_EQ(transformLength(600), 512);
  EXPECT_EQ(transformLength(1'000'000), 512);

  // Two distances `top` apart: bins 0 and top, values for 0 .. L-1.
  for (const auto& [top, length] : {std::pair{7, 8}, {8, 16}, {255, 256}, {256, 512}, {600, 512}}) {
    const Correlation c = correlationOf(count({0.0, static_cast<double>(top)}));
    ASSERT_EQ(c.gofr.size(), static_cast<std::size_t>(length)) << "top " << top;
    EXPECT_EQ(c.gofq.size(), static_cast<std::size_t>(length / 2 + 1)) << "top " << top;
    EXPECT_EQ(c.gofr.back(), top == length - 1 ? 0.5 : 0.0) << "top " << top;
  }
}

TEST(PairCorrelation, OneSiteAndNoSites) {
  const std::vector<Point> one = {{0, 0, 0}};
  const std::optional<Correlation> single = gorCalc(one, nullptr);
  ASSERT_TRUE(single);
  EXPECT_EQ(gofrText(*single), "0,1\n1,0\n2,0\n3,0\n4,0\n5,0\n6,0\n7,0\n");
  EXPECT_EQ(gofqText(*single), "0,1\n1,1\n2,1\n3,1\n4,1\n");

  // Nothing to count: zeros rather than a division by zero.
  const std::optional<Correlation> none = gorCalc({}, nullptr);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->gofr, std::vector<double>(8, 0.0));
  EXPECT_EQ(none->gofq, std::vector<double>(5, 0.0));
}

TEST(PairCorrelation, ProgressEndsAtOneHundredAndFalseCancels) {
  RandomSource random(9);
  const std::vector<double> d = awkwardDistances(random, 400, 50.0);
  for (const PairCountMethod method : kMethods) {
    PairCountOptions options;
    options.threads = 1;
    options.chunkWork = 100;
    options.method = method;

    std::vector<float> seen;
    const auto all = countDistancePairs(
        d,
        [&](float p) {
          seen.push_back(p);
          return true;
        },
        options);
    ASSERT_TRUE(all);
    ASSERT_GT(seen.size(), 2U);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
    EXPECT_LT(seen[seen.size() - 2], 100.0F);
    EXPECT_EQ(seen.back(), 100.0F);

    // Any answer false stops the count, the last one too.
    for (std::size_t stopAt = 0; stopAt < seen.size(); ++stopAt) {
      std::size_t calls = 0;
      const auto stopped = countDistancePairs(
          d, [&](float) { return calls++ < stopAt; }, options);
      EXPECT_FALSE(stopped) << stopAt;
      EXPECT_EQ(calls, stopAt + 1);  // nothing more after the answer
    }
  }

  EXPECT_FALSE(gorCalc(std::vector<Point>{{0, 0, 0}}, [](float) { return false; }));
  EXPECT_THROW(countDistancePairs(std::vector<double>{0.0, NAN}, nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace polychain
