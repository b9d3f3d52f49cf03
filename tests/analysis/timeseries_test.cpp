// Time-series errors and the corrected scaling fits against series and sweeps whose answers
// are known: an autoregressive series of known autocorrelation time, power laws with a
// correction to scaling.
#include "analysis/timeseries.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <span>
#include <vector>

#include "analysis/scalingfit.h"
#include "chain/random.h"

namespace polychain {
namespace {

// x_t = phi x_(t-1) + e_t with uniform e_t: tau = (1 + phi) / (2 (1 - phi)).
std::vector<double> autoregressive(double phi, std::size_t n, std::uint64_t seed) {
  RandomSource random(seed);
  std::vector<double> x(n);
  double v = 0.0;
  for (std::size_t t = 0; t < n; ++t) {
    const double e = static_cast<double>(random.next() >> 11) * 0x1.0p-53 - 0.5;
    v = phi * v + e;
    x[t] = v;
  }
  return x;
}

TEST(TimeSeries, WindowedTauAndBlocksFindTheKnownAutocorrelationTime) {
  const double phi = 0.8;
  const double tau = (1 + phi) / (2 * (1 - phi));  // 4.5
  const std::vector<double> x = autoregressive(phi, std::size_t{1} << 18, 3);
  const WindowedTau direct = windowedTau(x);
  EXPECT_NEAR(direct.tau, tau, 0.1 * tau);
  EXPECT_GE(static_cast<double>(direct.window), kWindowFactor * direct.tau);
  EXPECT_TRUE(std::isnan(windowedTau(std::vector<double>(4, 1.0)).tau));

  // The same series through the blocks, which fill up twice and double (blocks of 4), and as
  // four chains combined: the same tau, and the variance of the mean with it (blocks of 8).
  MeasuredSeries whole;
  for (const double v : x) whole.add(v + 10.0, 2.0 * v, v * v);
  EXPECT_EQ(whole.blockLength(), 8);
  const SeriesSummary s = whole.summary();
  // (The batch means, when they spread more, add their noise: 25 % (one sd) with 32.)
  EXPECT_GT(s.r2.tau, 0.9 * tau);
  EXPECT_LT(s.r2.tau, 1.6 * tau);
  EXPECT_GE(s.r2.varianceOfMean, 0.9 * direct.varianceOfMean);
  EXPECT_LE(s.r2.varianceOfMean, 1.6 * direct.varianceOfMean);
  EXPECT_NEAR(4 * s.r2.varianceOfMean, s.r.varianceOfMean, 1e-9 * s.r.varianceOfMean);
  std::vector<SeriesSummary> parts;
  for (int c = 0; c < 4; ++c) {
    MeasuredSeries part(static_cast<std::int64_t>(x.size() / 4));
    for (std::size_t t = 0; t < x.size() / 4; ++t) {
      const double v = x[static_cast<std::size_t>(c) * x.size() / 4 + t];
      part.add(v + 10.0, 2.0 * v, v * v);
    }
    parts.push_back(part.summary());
  }
  const MeasuredStats all = combineSeries(parts);
  EXPECT_EQ(all.steps, static_cast<std::int64_t>(x.size()));
  EXPECT_NEAR(all.stats.meanSquaredEnd.value, s.r2.mean, 1e-12);
  EXPECT_GT(all.tauR2, 0.9 * tau);
  EXPECT_LT(all.tauR2, 1.6 * tau);
  EXPECT_GT(all.stats.meanSquaredEnd.standardError, 0.9 * std::sqrt(direct.varianceOfMean));
  EXPECT_LT(all.stats.meanSquaredEnd.standardError, 1.3 * std::sqrt(direct.varianceOfMean));
}

// Any number of observables in one series: each of five, through blocks that fill up and
// double, has the bits it has alone, plain and calibrated, and a weighted sum's variance is
// that of the sum's own series.
TEST(TimeSeries, ObservablesOfOneSeriesKeepTheirOwnBits) {
  const std::vector<double> x = autoregressive(0.8, (std::size_t{1} << 17) + 5, 4);
  ObservableSeries five(5);
  std::vector<ObservableSeries> alone(5, ObservableSeries(1));
  ObservableSeries sum(1);
  for (std::size_t t = 0; t < x.size(); ++t) {
    const double v = x[t];
    const double values[5] = {v, 2.0 * v + 1.0, -v, v * v, static_cast<double>(t % 3)};
    five.add(values);
    for (std::size_t k = 0; k < 5; ++k) alone[k].add(std::span(&values[k], 1));
    const double both = v + v * v;
    sum.add(std::span(&both, 1));
  }
  EXPECT_EQ(five.blockLength(), 4);
  const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
  for (std::size_t k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    for (const bool calibrated : {false, true}) {
      const ObservableSummary a = calibrated ? five.calibratedSummary(k, 3.0) : five.summary(k);
      const ObservableSummary b =
          calibrated ? alone[k].calibratedSummary(0, 3.0) : alone[k].summary(0);
      EXPECT_EQ(a.n, b.n);
      EXPECT_EQ(bits(a.mean), bits(b.mean));
      EXPECT_EQ(bits(a.squares), bits(b.squares));
      EXPECT_EQ(bits(a.varianceOfMean), bits(b.varianceOfMean));
      EXPECT_EQ(bits(a.tau), bits(b.tau));
    }
  }
  const double weights[5] = {1.0, 0.0, 0.0, 1.0, 0.0};
  const double expected = sum.summary(0).varianceOfMean;
  EXPECT_NEAR(five.combinedVariance(weights), expected, 1e-9 * expected);
  const double calibrated = sum.calibratedSummary(0, 3.0).varianceOfMean;
  EXPECT_NEAR(five.calibratedCombinedVariance(weights, 3.0), calibrated, 1e-9 * calibrated);
}

// An observable the moves leave unchanged but that is reached along different sums (the Rg^2
// of a turned chain) differs in its last bits from step to step: a constant series, whose
// errors are those of an exactly constant one, not a spread of rounding.
TEST(TimeSeries, RoundingAloneIsNoSpread) {
  const double rg2 = 4.163014225297962;
  const double near[3] = {std::nextafter(rg2, 5.0), rg2, std::nextafter(rg2, 0.0)};
  MeasuredSeries exact;
  MeasuredSeries rounded;
  for (int t = 0; t < 5000; ++t) {
    exact.add(4.0, 2.0, rg2);
    rounded.add(4.0, 2.0, near[(t * t) % 3]);
  }
  const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
  for (const bool calibrated : {false, true}) {
    SCOPED_TRACE(calibrated);
    const SeriesSummary a = calibrated ? exact.calibratedSummary() : exact.summary();
    const SeriesSummary b = calibrated ? rounded.calibratedSummary() : rounded.summary();
    EXPECT_EQ(b.rg2.squares, 0.0);
    EXPECT_EQ(bits(b.rg2.varianceOfMean), bits(a.rg2.varianceOfMean));
    EXPECT_EQ(bits(b.ratioDeviationVariance), bits(a.ratioDeviationVariance));
  }
  const SeriesSummary one[] = {rounded.summary()};
  const MeasuredStats stats = combineSeries(one);
  EXPECT_FALSE(stats.stats.meanSquaredRg.hasError());
  EXPECT_FALSE(stats.stats.ratio.hasError());
}

TEST(ScalingFit, CorrectedFitsRecoverTheExponentAndDropTheSmallestN) {
  std::vector<double> n, y, e, ratio, ratioError;
  for (double steps = 1000; steps <= 256000; steps *= 2) {
    n.push_back(steps);
    // <R^2> = 1.2 N^(2 0.5876) (1 - 0.3 N^-0.528), the smallest N 1 % off (50 errors).
    const double r2 = 1.2 * std::pow(steps, 2 * 0.5876) * (1 - 0.3 * std::pow(steps, -0.528)) *
                      (steps == 1000 ? 1.01 : 1.0);
    y.push_back(r2);
    e.push_back(1e-4 * r2);
    ratio.push_back(0.16 - 0.05 * std::pow(steps, -0.528));
    ratioError.push_back(1e-5);
  }
  const auto fit = fitCorrectedPowerLaw(n, y, e);
  ASSERT_TRUE(fit);
  EXPECT_TRUE(fit->acceptable);
  EXPECT_EQ(fit->fromSteps, 2000.0);
  EXPECT_EQ(fit->points, n.size() - 1);
  // Exact data but for the linearised correction, (b N^-Delta)^2 / 2 below 2e-5.
  EXPECT_NEAR(fit->exponent, 0.5876, 1e-4);
  EXPECT_LT(fit->exponentError, 1e-3);
  EXPECT_NEAR(fit->amplitude, 1.2, 0.01);
  EXPECT_NEAR(fit->correction, -0.3, 0.05);
  const auto limit = fitLimit(n, ratio, ratioError);
  ASSERT_TRUE(limit);
  EXPECT_EQ(limit->points, n.size());
  EXPECT_NEAR(limit->limit, 0.16, 1e-9);
  EXPECT_NEAR(limit->correction, -0.05, 1e-7);
  // Too few N, or a point without an error, give no fit.
  EXPECT_FALSE(
      fitCorrectedPowerLaw(std::span(n).first(3), std::span(y).first(3), std::span(e).first(3)));
  e[2] = 0.0;
  EXPECT_FALSE(fitCorrectedPowerLaw(n, y, e));
  // The 95th percentile of chi^2: 3.84 for one degree of freedom (within 3 %), 18.3 for ten.
  EXPECT_NEAR(chiSquaredAcceptable(1), 3.84, 0.11);
  EXPECT_NEAR(chiSquaredAcceptable(10), 18.31, 0.05);
}

// ln c_N = N ln mu + (gamma - 1) ln N + a + b N^-0.528 exactly, the smallest N 0.05 off (50
// errors): mu and gamma come back, that N dropped; four N give no fit of four parameters.
TEST(ScalingFit, GrowthFitRecoversMuAndGamma) {
  std::vector<double> n, logC, e;
  for (double steps = 25; steps <= 1600; steps *= 2) {
    n.push_back(steps);
    logC.push_back(steps * std::log(4.684) + 0.157 * std::log(steps) + 0.2 +
                   0.3 * std::pow(steps, -0.528) + (steps == 25 ? 0.05 : 0.0));
    e.push_back(1e-3);
  }
  const auto fit = fitGrowth(n, logC, e);
  ASSERT_TRUE(fit);
  EXPECT_TRUE(fit->acceptable);
  EXPECT_EQ(fit->fromSteps, 50.0);
  EXPECT_NEAR(fit->mu, 4.684, 1e-9);
  EXPECT_NEAR(fit->gamma, 1.157, 1e-7);
  EXPECT_LT(fit->gammaError, 0.05);
  EXPECT_FALSE(fitGrowth(std::span(n).first(4), std::span(logC).first(4), std::span(e).first(4)));
}

// At few values the window alone states errors far too small (some exactly 0); the calibrated
// errors of many short autoregressive series match the spread of their means from 5 values
// where they are independent, from 10 where they are correlated over a value, and from 20
// where over two; with the time known beforehand (a floor), from 10 correlated over one. (At
// fewer values they err on the large side: the Student factor of one degree is 1.84.)
TEST(TimeSeries, CalibratedErrorsMatchTheSpreadOfShortSeries) {
  struct Case {
    double phi;
    std::size_t n;
    double leastTau;
  };
  const double one = (1 + 0.3) / (2 * (1 - 0.3));
  for (const Case c :
       {Case{0.0, 5, 0.5}, Case{0.0, 10, 0.5}, Case{0.0, 100, 0.5}, Case{0.3, 10, 0.5},
        Case{0.3, 20, 0.5}, Case{0.6, 20, 0.5}, Case{0.6, 100, 0.5}, Case{0.3, 10, one}}) {
    SCOPED_TRACE("phi=" + std::to_string(c.phi) + " n=" + std::to_string(c.n) +
                 " least tau=" + std::to_string(c.leastTau));
    constexpr int kSeries = 2000;
    double sum = 0.0, square = 0.0, stated = 0.0;
    for (int k = 0; k < kSeries; ++k) {
      // A long run-in, so that each series starts in equilibrium.
      const std::vector<double> run =
          autoregressive(c.phi, c.n + 50, 1000 + static_cast<std::uint64_t>(k));
      const std::span<const double> x = std::span(run).subspan(50);
      double mean = 0.0;
      for (const double v : x) mean += v / static_cast<double>(c.n);
      sum += mean;
      square += mean * mean;
      const CalibratedVariance v = calibratedVariance(x, c.leastTau);
      ASSERT_GT(v.varianceOfMean, 0.0);
      stated += std::sqrt(v.varianceOfMean) / kSeries;
    }
    const double spread = std::sqrt((square - sum * sum / kSeries) / (kSeries - 1));
    EXPECT_GT(spread / stated, 0.8);
    EXPECT_LT(spread / stated, 1.25);
  }
  EXPECT_TRUE(std::isnan(calibratedVariance(std::vector<double>{1.0}).varianceOfMean));
  EXPECT_NEAR(studentFactor(1.0), 1.8373, 1e-3);
  EXPECT_NEAR(studentFactor(4.0), 1.1417, 1e-3);
  EXPECT_NEAR(studentFactor(1e9), 1.0, 1e-6);
}

}  // namespace
}  // namespace polychain
