// The extended chain measures on hand-worked chains, and the power-law fit of a sweep.
#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

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

ExtendedStats statsOf(const std::vector<ChainSummary>& chains, bool countsTrials) {
  ExtendedAccumulator accumulator(countsTrials);
  for (const ChainSummary& c : chains) accumulator.add(c);
  return accumulator.result();
}

TEST(ExtendedStats, TwoHandWorkedChains) {
  // R^2 = {1, 9}, |R| = {1, 3}, Rg^2 = {0.25, 1.25}.
  const ExtendedStats s = statsOf({chain({1, 0, 0}, 0.25), chain({2, -2, 1}, 1.25)}, false);
  EXPECT_EQ(s.chains, 2);
  // <R^2> = 5; sample variance 32, so SE = sqrt(32 / 2) = 4.
  EXPECT_DOUBLE_EQ(s.meanSquaredEnd.value, 5.0);
  EXPECT_DOUBLE_EQ(s.meanSquaredEnd.standardError, 4.0);
  EXPECT_DOUBLE_EQ(s.rmsEnd.value, std::sqrt(5.0));
  EXPECT_DOUBLE_EQ(s.rmsEnd.standardError, 4.0 / (2.0 * std::sqrt(5.0)));
  EXPECT_DOUBLE_EQ(s.meanEnd.value, 2.0);
  EXPECT_DOUBLE_EQ(s.meanEnd.standardError, 1.0);
  EXPECT_DOUBLE_EQ(s.meanSquaredRg.value, 0.75);
  EXPECT_DOUBLE_EQ(s.meanSquaredRg.standardError, 0.5);
  // q = 0.15; Var<A> = 0.25, Var<B> = 16, Cov = 2: 0.25 + 0.0225 * 16 - 2 * 0.15 * 2 = 0.01,
  // so SE = sqrt(0.01) / 5 = 0.02.
  EXPECT_DOUBLE_EQ(s.ratio.value, 0.15);
  EXPECT_NEAR(s.ratio.standardError, 0.02, 1e-12);
  EXPECT_FALSE(s.trials || s.discarded || s.backups);  // the free walk has no trial counts
}

TEST(ExtendedStats, TrialCountsAndExactZeroSpreads) {
  const std::vector<ChainSummary> chains = {chain({1, 0, 0}, 0.25, 10, 2, 0),
                                            chain({0, 1, 0}, 0.25, 31, 7, 4),
                                            chain({0, 0, 1}, 0.25, 19, 0, 1)};
  {
    const ExtendedStats s = statsOf(chains, true);
    ASSERT_TRUE(s.trials && s.discarded && s.backups);
    EXPECT_DOUBLE_EQ(s.trials->mean, 20.0);
    EXPECT_EQ(s.trials->max, 31);
    EXPECT_EQ(s.trials->total, 60);
    EXPECT_DOUBLE_EQ(s.backups->mean, 5.0 / 3.0);
    EXPECT_EQ(s.backups->max, 4);
    // Identical chains: every spread is exactly 0, not a rounding residue.
    EXPECT_EQ(s.rmsEnd.standardError, 0.0);
    EXPECT_EQ(s.ratio.standardError, 0.0);
    EXPECT_DOUBLE_EQ(s.ratio.value, 0.25);
  }
}

TEST(ExtendedStats, OneChainHasNoErrorsAndClosedChainsNoRatio) {
  const ExtendedStats s = statsOf({chain({3, 4, 0}, 2.0)}, false);
  EXPECT_DOUBLE_EQ(s.rmsEnd.value, 5.0);
  for (const Estimate* e :
       {&s.meanSquaredEnd, &s.rmsEnd, &s.meanEnd, &s.meanSquaredRg, &s.rmsRg, &s.ratio}) {
    EXPECT_FALSE(e->hasError());
  }
  // Every chain back at the origin: <R^2> = 0 with no spread; the ratio is undefined.
  const ExtendedStats c = statsOf({chain({0, 0, 0}, 2.0 / 9.0), chain({0, 0, 0}, 0.5)}, false);
  EXPECT_EQ(c.rmsEnd.value, 0.0);
  EXPECT_EQ(c.rmsEnd.standardError, 0.0);
  EXPECT_TRUE(std::isnan(c.ratio.value));
  EXPECT_THROW(ExtendedAccumulator(false).result(), std::invalid_argument);
}

TEST(PowerLawFit, ExactScatteredOrdinaryAndRefusedFits) {
  // y = 3 x^0.6 at x = 1, e^2, e^4, each with a 10 % error: weights 100, Sxx = 800.
  const std::vector<double> x = {1.0, std::exp(2.0), std::exp(4.0)};
  std::vector<double> y, e;
  for (double v : x) {
    y.push_back(3.0 * std::pow(v, 0.6));
    e.push_back(0.1 * y.back());
  }
  const auto exact = fitPowerLaw(x, y, e);
  ASSERT_TRUE(exact);
  EXPECT_TRUE(exact->weighted);
  EXPECT_NEAR(exact->exponent, 0.6, 1e-12);
  EXPECT_NEAR(exact->amplitude, 3.0, 1e-11);
  EXPECT_NEAR(exact->chiSquaredPerDof, 0.0, 1e-20);
  EXPECT_NEAR(exact->exponentError, std::sqrt(1.0 / 800.0), 1e-15);

  // log y = 0, 1, 3 at log x = 0, 1, 2: slope 1.5, intercept -1/6, residual sum of squares
  // 1/6 on one degree of freedom, so SE = sqrt((1/6) / 2).
  const std::vector<double> x2 = {1.0, std::exp(1.0), std::exp(2.0)};
  const std::vector<double> y2 = {1.0, std::exp(1.0), std::exp(3.0)};
  const auto ordinary = fitPowerLaw(x2, y2, {});
  ASSERT_TRUE(ordinary);
  EXPECT_FALSE(ordinary->weighted);
  EXPECT_NEAR(ordinary->exponent, 1.5, 1e-12);
  EXPECT_NEAR(ordinary->amplitude, std::exp(-1.0 / 6.0), 1e-12);
  EXPECT_NEAR(ordinary->exponentError, std::sqrt(1.0 / 12.0), 1e-12);
  // Equal errors that the points overshoot: chi^2/dof = 100/6, and the error is scaled up
  // to the ordinary one.
  const std::vector<double> e2 = {0.1, 0.1 * std::exp(1.0), 0.1 * std::exp(3.0)};
  const auto scaled = fitPowerLaw(x2, y2, e2);
  EXPECT_NEAR(scaled->chiSquaredPerDof, 100.0 / 6.0, 1e-9);
  EXPECT_NEAR(scaled->exponentError, std::sqrt(1.0 / 12.0), 1e-12);
  // One point without an error (a run of one chain) makes the whole fit ordinary.
  const std::vector<double> partial = {0.1, std::nan(""), 0.2};
  EXPECT_FALSE(fitPowerLaw(x2, y2, partial)->weighted);
  // No fit: one distinct x, a non-positive value, mismatched sizes.
  const std::vector<double> same = {5.0, 5.0, 5.0}, zero = {1.0, 0.0, 2.0}, two = {1.0, 2.0};
  EXPECT_FALSE(fitPowerLaw(same, y2, {}));
  EXPECT_FALSE(fitPowerLaw(x2, zero, {}));
  EXPECT_FALSE(fitPowerLaw(x2, two, {}));
}

}  // namespace
}  // namespace polychain
