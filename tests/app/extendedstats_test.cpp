// The extended chain measures: hand-worked values, the free walk's known moments within
// tolerances from the sample size, and the text block.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/extendedstats.h"
#include "chain/run.h"

namespace polychain {
namespace {

ChainSummary chain(Point end, double rg2, std::int64_t trials = 0, std::int64_t discarded = 0,
                   std::int64_t backups = 0) {
  ChainSummary c;
  c.end = end;
  c.rg2CentreOfMass = rg2;
  c.trials = trials;
  c.discarded = discarded;
  c.backups = backups;
  return c;
}

RunOutput meanderRun(std::int32_t n, std::int32_t iterations, std::uint64_t seed, int threads = 2) {
  RunParams p;
  p.steps = n;
  p.iterations = iterations;
  p.seed = seed;
  p.threads = threads;
  RunObserver quiet;
  return runSimulation(p, quiet);
}

TEST(ExtendedStats, TwoHandWorkedChains) {
  // R^2 = {1, 9}, |R| = {1, 3}, Rg^2 = {0.25, 1.25}.
  const std::vector<ChainSummary> chains = {chain({1, 0, 0}, 0.25), chain({2, -2, 1}, 1.25)};
  const ExtendedStats s = extendedStats(chains, Model::Meander);
  EXPECT_EQ(s.chains, 2);
  // <R^2> = 5; sample variance 32, so SE = sqrt(32 / 2) = 4.
  EXPECT_DOUBLE_EQ(s.meanSquaredEnd.value, 5.0);
  EXPECT_DOUBLE_EQ(s.meanSquaredEnd.standardError, 4.0);
  EXPECT_DOUBLE_EQ(s.rmsEnd.value, std::sqrt(5.0));
  EXPECT_DOUBLE_EQ(s.rmsEnd.standardError, 4.0 / (2.0 * std::sqrt(5.0)));
  EXPECT_DOUBLE_EQ(s.meanEnd.value, 2.0);
  EXPECT_DOUBLE_EQ(s.meanEnd.standardError, 1.0);
  // <Rg^2> = 0.75, variance of the mean 0.25.
  EXPECT_DOUBLE_EQ(s.meanSquaredRg.value, 0.75);
  EXPECT_DOUBLE_EQ(s.meanSquaredRg.standardError, 0.5);
  EXPECT_DOUBLE_EQ(s.rmsRg.value, std::sqrt(0.75));
  EXPECT_DOUBLE_EQ(s.rmsRg.standardError, 0.5 / (2.0 * std::sqrt(0.75)));
  // q = 0.15; Var<A> = 0.25, Var<B> = 16, Cov = 2: 0.25 + 0.0225 * 16 - 2 * 0.15 * 2 = 0.01,
  // so SE = sqrt(0.01) / 5 = 0.02.
  EXPECT_DOUBLE_EQ(s.ratio.value, 0.15);
  EXPECT_NEAR(s.ratio.standardError, 0.02, 1e-12);
  // The free walk has no trial counts to show.
  EXPECT_FALSE(s.trials || s.discarded || s.backups);
}

TEST(ExtendedStats, TrialCountsOfTheSelfAvoidingModels) {
  const std::vector<ChainSummary> chains = {chain({1, 0, 0}, 0.25, 10, 2, 0),
                                            chain({0, 1, 0}, 0.25, 31, 7, 4),
                                            chain({0, 0, 1}, 0.25, 19, 0, 1)};
  for (Model model : {Model::SAW, Model::ShortRange}) {
    const ExtendedStats s = extendedStats(chains, model);
    ASSERT_TRUE(s.trials && s.discarded && s.backups);
    EXPECT_DOUBLE_EQ(s.trials->mean, 20.0);
    EXPECT_EQ(s.trials->max, 31);
    EXPECT_DOUBLE_EQ(s.discarded->mean, 3.0);
    EXPECT_EQ(s.discarded->max, 7);
    EXPECT_DOUBLE_EQ(s.backups->mean, 5.0 / 3.0);
    EXPECT_EQ(s.backups->max, 4);
    // Identical chains: every spread is exactly 0, not a rounding residue.
    EXPECT_EQ(s.rmsEnd.standardError, 0.0);
    EXPECT_EQ(s.ratio.standardError, 0.0);
    EXPECT_DOUBLE_EQ(s.ratio.value, 0.25);
  }
}

TEST(ExtendedStats, OneChainHasNoErrorsAndZeroSizeNoRatio) {
  const std::vector<ChainSummary> one = {chain({3, 4, 0}, 2.0)};
  const ExtendedStats s = extendedStats(one, Model::Meander);
  EXPECT_DOUBLE_EQ(s.rmsEnd.value, 5.0);
  EXPECT_DOUBLE_EQ(s.meanEnd.value, 5.0);
  for (const Estimate* e :
       {&s.meanSquaredEnd, &s.rmsEnd, &s.meanEnd, &s.meanSquaredRg, &s.rmsRg, &s.ratio}) {
    EXPECT_FALSE(e->hasError());
    EXPECT_TRUE(std::isnan(e->standardError));
  }
  EXPECT_NE(extendedStatsText(s).find("n/a"), std::string::npos);

  // Every chain back at the origin: <R^2> = 0 with no spread; the ratio is undefined.
  const std::vector<ChainSummary> closed = {chain({0, 0, 0}, 2.0 / 9.0), chain({0, 0, 0}, 0.5)};
  const ExtendedStats c = extendedStats(closed, Model::Meander);
  EXPECT_EQ(c.rmsEnd.value, 0.0);
  EXPECT_EQ(c.rmsEnd.standardError, 0.0);
  EXPECT_TRUE(std::isnan(c.ratio.value));
  EXPECT_EQ(estimateText(c.ratio), "n/a");

  EXPECT_THROW(extendedStats({}, Model::Meander), std::invalid_argument);
}

TEST(ExtendedStats, TinyFreeWalksFromTheRun) {
  // N = 1: two sites, R^2 = 1 and Rg^2 = 1/4 for every chain.
  const RunOutput one = meanderRun(1, 7, 11);
  const ExtendedStats s1 = extendedStats(one.chains, Model::Meander);
  EXPECT_EQ(s1.rmsEnd.value, 1.0);
  EXPECT_EQ(s1.rmsEnd.standardError, 0.0);
  EXPECT_EQ(s1.meanSquaredRg.value, 0.25);
  EXPECT_EQ(s1.ratio.value, 0.25);

  // N = 2: back to the origin (R^2 = 0, Rg^2 = 2/9), straight on (R^2 = 4, Rg^2 = 2/3) or
  // a right angle (R^2 = 2, Rg^2 = 4/9).
  const RunOutput two = meanderRun(2, 60, 12);
  double r2Sum = 0.0, rg2Sum = 0.0;
  for (const ChainSummary& c : two.chains) {
    const std::int64_t r2 = std::int64_t{c.end.x} * c.end.x + std::int64_t{c.end.y} * c.end.y +
                            std::int64_t{c.end.z} * c.end.z;
    const double expected = r2 == 0 ? 2.0 / 9.0 : r2 == 4 ? 2.0 / 3.0 : 4.0 / 9.0;
    ASSERT_TRUE(r2 == 0 || r2 == 2 || r2 == 4) << r2;
    EXPECT_NEAR(c.rg2CentreOfMass, expected, 1e-15);
    r2Sum += static_cast<double>(r2);
    rg2Sum += c.rg2CentreOfMass;
  }
  const ExtendedStats s2 = extendedStats(two.chains, Model::Meander);
  EXPECT_DOUBLE_EQ(s2.meanSquaredEnd.value, r2Sum / 60.0);
  EXPECT_DOUBLE_EQ(s2.meanSquaredRg.value, rg2Sum / 60.0);
}

// Mean squared distance from the centre of mass, the plain two-pass way in long double.
double radiusAboutCentre(const std::vector<Point>& sites) {
  long double cx = 0, cy = 0, cz = 0;
  for (const Point& p : sites) {
    cx += p.x;
    cy += p.y;
    cz += p.z;
  }
  const auto count = static_cast<long double>(sites.size());
  cx /= count;
  cy /= count;
  cz /= count;
  long double sum = 0;
  for (const Point& p : sites) {
    sum += (p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy) + (p.z - cz) * (p.z - cz);
  }
  return static_cast<double>(sum / count);
}

// The sites of a chain export text: the lines after "x,y,z".
std::vector<Point> exportedSites(const std::string& text) {
  std::vector<Point> sites;
  std::size_t at = text.find("x,y,z\n") + 6;
  while (at < text.size()) {
    Point p;
    char comma = 0;
    std::istringstream line(text.substr(at, text.find('\n', at) - at));
    line >> p.x >> comma >> p.y >> comma >> p.z;
    sites.push_back(p);
    at = text.find('\n', at) + 1;
  }
  return sites;
}

TEST(ExtendedStats, RunFrameRadiusAboutTheCentreMatchesTheSites) {
  // The run takes it from the size measure's sums without a second pass; check it against
  // the last chain's sites, for short and long chains of every model that is built.
  for (const auto& [model, steps] :
       {std::pair{Model::Meander, 7}, std::pair{Model::Meander, 100'000},
        std::pair{Model::SAW, 3000}, std::pair{Model::ShortRange, 3000}}) {
    RunParams p;
    p.model = model;
    p.steps = steps;
    p.iterations = 3;
    p.seed = 99;
    p.kuhn = 3;
    RunObserver quiet;
    RunOutput out;
    try {
      out = runSimulation(p, quiet);
    } catch (const std::logic_error&) {
      continue;  // a model not built into this program yet
    }
    ASSERT_EQ(out.status, RunStatus::Finished);
    const std::vector<Point> sites = exportedSites(out.chainText);
    ASSERT_EQ(static_cast<std::int64_t>(sites.size()), out.chains.back().sites);
    const double exact = radiusAboutCentre(sites);
    EXPECT_NEAR(out.chains.back().rg2CentreOfMass, exact, 1e-11 * exact)
        << modelKey(model) << " N = " << steps;
  }
}

TEST(ExtendedStats, FreeWalkMomentsWithinTheirErrors) {
  // For N unit steps: <R^2> = N, Var(R^2) = 2N(N-1)/3 and <Rg^2> = N(N+2) / (6(N+1)).
  constexpr std::int32_t n = 100;
  constexpr std::int32_t m = 2000;
  const RunOutput out = meanderRun(n, m, 20240607);
  ASSERT_EQ(out.status, RunStatus::Finished);
  const ExtendedStats s = extendedStats(out.chains, Model::Meander);
  EXPECT_NEAR(s.meanSquaredEnd.value, n, 4 * s.meanSquaredEnd.standardError);
  EXPECT_NEAR(s.rmsEnd.value, std::sqrt(double{n}), 4 * s.rmsEnd.standardError);
  const double rg2 = n * (n + 2.0) / (6.0 * (n + 1.0));
  EXPECT_NEAR(s.meanSquaredRg.value, rg2, 4 * s.meanSquaredRg.standardError);
  EXPECT_NEAR(s.ratio.value, rg2 / n, 4 * s.ratio.standardError);
  // The estimated error itself: the sample spread of R^2 is known to a few per cent at this
  // sample size (its relative error is about sqrt(6 / M) / 2 = 2.7 %), so allow 15 %.
  const double expectedSe = std::sqrt(2.0 * n * (n - 1.0) / 3.0 / m);
  EXPECT_NEAR(s.meanSquaredEnd.standardError / expectedSe, 1.0, 0.15);
  // <|R|> lies below the rms distance.
  EXPECT_LT(s.meanEnd.value, s.rmsEnd.value);
  EXPECT_GT(s.meanEnd.value, 0.8 * s.rmsEnd.value);
}

TEST(ExtendedStats, SameBitsOnAnyThreadCount) {
  const ExtendedStats a = extendedStats(meanderRun(300, 40, 5, 1).chains, Model::Meander);
  const ExtendedStats b = extendedStats(meanderRun(300, 40, 5, 2).chains, Model::Meander);
  EXPECT_EQ(a.rmsEnd.value, b.rmsEnd.value);
  EXPECT_EQ(a.rmsEnd.standardError, b.rmsEnd.standardError);
  EXPECT_EQ(a.ratio.standardError, b.ratio.standardError);
  EXPECT_EQ(extendedStatsText(a), extendedStatsText(b));
}

TEST(ExtendedStats, Texts) {
  EXPECT_EQ(estimateText({10.0234, 0.3123}), "10.02 +/- 0.31");
  EXPECT_EQ(estimateText({1234.6, 12.3}), "1235 +/- 12");
  EXPECT_EQ(estimateText({0.001234, 0.0000567}), "0.001234 +/- 0.000057");
  EXPECT_EQ(estimateText({5.0, 0.0}), "5 +/- 0");
  EXPECT_EQ(estimateText({3.5, std::nan("")}), "3.5 +/- n/a");
  EXPECT_EQ(estimateText({}), "n/a");

  const std::vector<ChainSummary> chains = {chain({1, 0, 0}, 0.25, 10, 2, 0),
                                            chain({2, -2, 1}, 1.25, 31, 7, 4)};
  const std::string meander = extendedStatsText(extendedStats(chains, Model::Meander));
  const std::string saw = extendedStatsText(extendedStats(chains, Model::SAW));
  EXPECT_EQ(meander.rfind("Extended statistics over 2 chains", 0), 0U) << meander;
  for (const char* name : {"sqrt(<R^2>)", "<R^2>", "<|R|>", "sqrt(<Rg^2>)", "<Rg^2>/<R^2>"}) {
    EXPECT_NE(meander.find(name), std::string::npos) << name;
  }
  EXPECT_NE(meander.find("0.150 +/- 0.020"), std::string::npos) << meander;
  EXPECT_EQ(meander.find("trials"), std::string::npos);
  EXPECT_NE(saw.find("mean 20.5, max 31"), std::string::npos) << saw;
  EXPECT_NE(saw.find("back-ups"), std::string::npos);
  EXPECT_EQ(saw.back(), '\n');

  // The decimal separator stays '.' whatever the process locale says.
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) == nullptr) continue;
    EXPECT_EQ(estimateText({10.0234, 0.3123}), "10.02 +/- 0.31") << name;
    EXPECT_EQ(estimateText({3.5, std::nan("")}), "3.5 +/- n/a") << name;
    std::setlocale(LC_ALL, "C");
  }
}

}  // namespace
}  // namespace polychain
