#include "analysis/paircorrelation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chain/chaintext.h"
#include "chain/random.h"
#include "chain/run.h"
#include "reference/textgor.h"
#include "reference/textmodel.h"

namespace polychain {
namespace {

PairHistogram count(const std::vector<double>& distances, const PairCountOptions& options = {}) {
  std::optional<PairHistogram> h = countDistancePairs(distances, nullptr, options);
  EXPECT_TRUE(h.has_value());
  return h.value_or(PairHistogram{});
}

int lines(const std::string& text) {
  int n = 0;
  for (const char c : text) n += c == '\n';
  return n;
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
  const CorrelationTexts texts = correlationTexts(fast);
  EXPECT_EQ(texts.gofr, slow.gofr) << what;
  EXPECT_EQ(texts.gofq, slow.gofq) << what;
}

TEST(PairCorrelation, ThreeDistancesByHand) {
  const PairHistogram h = count({0, 1, 2});
  EXPECT_EQ(h.bins, (std::vector<std::int64_t>{3, 2, 1}));
  EXPECT_EQ(h.total, 6);
  EXPECT_EQ(h.top, 2);

  const CorrelationTexts texts = correlationTexts(h);
  EXPECT_EQ(texts.gofr, "0,1\n1,0.666666666666667\n2,0.333333333333333\n3,0\n4,0\n5,0\n6,0\n7,0\n");
  ASSERT_EQ(lines(texts.gofq), 5);
  const double r2 = std::sqrt(2.0);
  const double expected[] = {4, (14 + 8 * r2) / 9, 8.0 / 9, (14 - 8 * r2) / 9, 4.0 / 9};
  std::size_t at = 0;
  for (int k = 0; k <= 4; ++k) {
    const std::size_t end = texts.gofq.find('\n', at);
    const std::string line = texts.gofq.substr(at, end - at);
    ASSERT_EQ(line.substr(0, line.find(',')), std::to_string(k));
    EXPECT_NEAR(std::stod(line.substr(line.find(',') + 1)), expected[k], 1e-13) << line;
    at = end + 1;
  }

  // The same chain as sites: (0,0,0), (1,0,0), (2,0,0); n does not change what enters.
  const std::vector<Point> sites = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  for (const std::int32_t n : {2, 3, 100}) {
    const std::optional<CorrelationTexts> fromSites = gorCalc(sites, n, nullptr);
    ASSERT_TRUE(fromSites);
    EXPECT_EQ(fromSites->gofr, texts.gofr);
    EXPECT_EQ(fromSites->gofq, texts.gofq);
  }
  const reference::TextCorrelation slow = reference::textGorCalc("0,0,0;1,0,0;2,0,0;");
  EXPECT_EQ(slow.gofr, texts.gofr);
  EXPECT_EQ(slow.gofq, texts.gofq);
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
  EXPECT_EQ(gorCalc(sites, 1, nullptr)->gofr, correlationTexts(five).gofr);
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

TEST(PairCorrelation, FastCountEqualsThePlainLoop) {
  RandomSource random(314159);
  for (int round = 0; round < 40; ++round) {
    const std::size_t n = 1 + random.next() % 300;
    const double spread = round % 2 == 0 ? 10.0 : 200.0;
    const std::vector<double> d = awkwardDistances(random, n, spread);
    const std::string what = "round " + std::to_string(round);
    expectSameAsPlainLoop(d, {}, what);
    // Tiny chunks on several threads, few dense bins: the same bins.
    for (const int threads : {1, 3}) {
      PairCountOptions options;
      options.threads = threads;
      options.chunkWork = 1 + static_cast<std::int64_t>(random.next() % 50);
      options.denseBins = 1 + static_cast<std::int64_t>(random.next() % 20);
      expectSameAsPlainLoop(d, options, what + ", threads " + std::to_string(threads));
    }
  }
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
  const std::optional<CorrelationTexts> texts = gorCalc(sites, 2, nullptr);
  ASSERT_TRUE(texts);
  EXPECT_EQ(lines(texts->gofr), 512);
  EXPECT_EQ(texts->gofr.substr(0, 8), "0,1\n1,0\n");
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

  // Two distances `top` apart: bins 0 and top, lines for 0 .. L-1.
  for (const auto& [top, length] : {std::pair{7, 8}, {8, 16}, {255, 256}, {256, 512}, {600, 512}}) {
    const PairHistogram h = count({0.0, static_cast<double>(top)});
    ASSERT_EQ(h.top, top);
    const CorrelationTexts texts = correlationTexts(h);
    EXPECT_EQ(lines(texts.gofr), length) << "top " << top;
    EXPECT_EQ(lines(texts.gofq), length / 2 + 1) << "top " << top;
    const std::string lastLine =
        std::to_string(length - 1) + "," + (top == length - 1 ? "0.5" : "0");
    EXPECT_EQ(texts.gofr.substr(texts.gofr.size() - lastLine.size() - 1), lastLine + "\n");
    EXPECT_EQ(texts.gofq.substr(texts.gofq.rfind('\n', texts.gofq.size() - 2) + 1,
                                std::to_string(length / 2).size() + 1),
              std::to_string(length / 2) + ",");
  }
}

TEST(PairCorrelation, OneSiteAndNoSites) {
  const std::vector<Point> one = {{0, 0, 0}};
  const std::optional<CorrelationTexts> single = gorCalc(one, 1, nullptr);
  ASSERT_TRUE(single);
  EXPECT_EQ(single->gofr, "0,1\n1,0\n2,0\n3,0\n4,0\n5,0\n6,0\n7,0\n");
  EXPECT_EQ(single->gofq, "0,1\n1,1\n2,1\n3,1\n4,1\n");

  // Nothing to count: zeros rather than a division by zero.
  const std::optional<CorrelationTexts> none = gorCalc({}, 0, nullptr);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->gofr, "0,0\n1,0\n2,0\n3,0\n4,0\n5,0\n6,0\n7,0\n");
  EXPECT_EQ(none->gofq, "0,0\n1,0\n2,0\n3,0\n4,0\n");
}

TEST(PairCorrelation, ProgressEndsAtOneHundredAndFalseCancels) {
  RandomSource random(9);
  const std::vector<double> d = awkwardDistances(random, 400, 50.0);
  PairCountOptions options;
  options.threads = 1;
  options.chunkWork = 100;
  options.reportEvery = std::chrono::milliseconds(0);

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

  int calls = 0;
  const auto stopped = countDistancePairs(
      d,
      [&](float) {
        ++calls;
        return false;
      },
      options);
  EXPECT_FALSE(stopped);
  EXPECT_EQ(calls, 1);  // nothing more after the answer

  EXPECT_FALSE(gorCalc(std::vector<Point>{{0, 0, 0}}, 1, [](float) { return false; }));
  EXPECT_THROW(countDistancePairs(std::vector<double>{0.0, NAN}, nullptr), std::invalid_argument);
}

// Whole runs: g(r) and g(q) of the last chain equal the naive model's texts of that chain.
class NullObserver : public RunObserver {};

TEST(PairCorrelation, FreeWalkRunsMatchTheNaiveModel) {
  const struct {
    std::int32_t steps;
    int seeds;
  } cases[] = {{1, 10}, {2, 10}, {7, 10}, {60, 20}, {400, 10}, {1500, 3}, {3000, 1}};
  for (const auto& c : cases) {
    for (int s = 0; s < c.seeds; ++s) {
      const auto seed = static_cast<std::uint64_t>(1000 * c.steps + s);
      RunParams params;
      params.model = Model::Meander;
      params.steps = c.steps;
      params.iterations = 2;
      params.calcParCF = true;
      params.seed = seed;
      params.threads = 2;
      NullObserver observer;
      const RunOutput out = runSimulation(params, observer);
      ASSERT_EQ(out.status, RunStatus::Finished);
      ASSERT_TRUE(out.gofr && out.gofq);

      const reference::TextRun textRun = reference::textMeander(c.steps, 2, seed);
      const reference::TextCorrelation slow = reference::textGorCalc(textRun.lastChain);
      EXPECT_EQ(*out.gofr, slow.gofr) << "N " << c.steps << " seed " << seed;
      EXPECT_EQ(*out.gofq, slow.gofq) << "N " << c.steps << " seed " << seed;
    }
  }
}

// The last chain's text as the export leaves it: the lines after "x,y,z" back into records.
std::string lastChainText(const std::string& exportText) {
  std::string text = exportText.substr(exportText.find("x,y,z\n") + 6);
  for (char& c : text) {
    if (c == '\n') c = ';';
  }
  return text;
}

TEST(PairCorrelation, SelfAvoidingAndShortRangeRunsMatchTheNaiveModel) {
  struct Case {
    Model model;
    std::int32_t setting;  // avoidance or Kuhn length
    std::int32_t steps;
    int seeds;
  };
  const Case cases[] = {{Model::SAW, 1, 50, 6},          {Model::SAW, 2, 400, 3},
                        {Model::SAW, 2, 1200, 1},        {Model::ShortRange, 1, 300, 3},
                        {Model::ShortRange, 2, 1200, 1}, {Model::ShortRange, 5, 80, 6},
                        {Model::ShortRange, 10, 700, 2}};
  for (const Case& c : cases) {
    for (int s = 0; s < c.seeds; ++s) {
      RunParams params;
      params.model = c.model;
      params.avoid = c.setting;
      params.kuhn = c.setting;
      params.steps = c.steps;
      params.iterations = 2;
      params.calcParCF = true;
      params.seed = static_cast<std::uint64_t>(77 * c.steps + s);
      params.threads = 2;
      params.maxTrials = 10'000'000;
      NullObserver observer;
      const RunOutput out = runSimulation(params, observer);
      ASSERT_EQ(out.status, RunStatus::Finished);
      ASSERT_TRUE(out.gofr && out.gofq);
      const reference::TextCorrelation slow = reference::textGorCalc(lastChainText(out.chainText));
      const std::string what = std::string(modelKey(c.model)) + " " + std::to_string(c.setting) +
                               ", N " + std::to_string(c.steps) + ", seed " +
                               std::to_string(*params.seed);
      EXPECT_EQ(*out.gofr, slow.gofr) << what;
      EXPECT_EQ(*out.gofq, slow.gofq) << what;
    }
  }
}

}  // namespace
}  // namespace polychain
