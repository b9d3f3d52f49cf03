// Time averages of a Markov chain measured at every step, in bounded memory, with standard
// errors from the integrated autocorrelation time: Sokal's automatic window on the series of
// block means, or 32 batch means of the chain when they spread more (a slow tail of the
// autocorrelation that the window cuts off). Walkers' summaries combine in walker order, so a run
// is the same bits however its walkers were spread over threads or processes.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "analysis/statistics.h"

namespace polychain {

// One observable of one chain: its steps, their mean and sum of squared deviations (the
// spread of single steps), the variance of the mean from the window, the integrated
// autocorrelation time in steps (1/2 for independent steps) and the window, in steps.
struct ObservableSummary {
  std::int64_t n = 0;
  double mean = 0.0;
  double squares = 0.0;
  double varianceOfMean = std::numeric_limits<double>::quiet_NaN();
  double tau = std::numeric_limits<double>::quiet_NaN();
  double window = std::numeric_limits<double>::quiet_NaN();
};

// What one chain's series leaves (trivially copyable, so it travels as bytes): R^2, |R| and
// Rg^2, and the variance of the mean of Rg^2 - q R^2 (q the chain's own ratio), which gives
// the ratio's error by the delta method.
struct SeriesSummary {
  ObservableSummary r2, r, rg2;
  double ratioDeviationVariance = std::numeric_limits<double>::quiet_NaN();
};

// Any number of observables of one chain, step by step. The steps are kept as means of blocks
// of a power of two of them, at most kMostBlocks blocks: when the blocks fill up, neighbours
// are merged and the blocks' length doubles, so memory stays at most kMostBlocks * 8 bytes an
// observable and the same steps give the same bits. add() costs a few additions an
// observable; each summary O(blocks * window).
class ObservableSeries {
 public:
  static constexpr std::size_t kMostBlocks = std::size_t{1} << 16;
  // `planned` steps expected: the blocks start as long as needed to hold them.
  explicit ObservableSeries(std::size_t observables, std::int64_t planned = 0);

  // One step: a value for each observable, in their order.
  void add(std::span<const double> values);

  std::size_t observables() const { return m_shift.size(); }
  std::int64_t steps() const { return m_n; }
  std::int64_t blockLength() const { return m_blockLength; }
  // Observable k's mean, spread, and variance of the mean from the window on the blocks'
  // means, or from 32 batch means when they spread more (a slow tail of the autocorrelation
  // that the window cuts off).
  ObservableSummary summary(std::size_t k) const;
  // The same mean with errors that hold from two steps on (calibratedVariance on the blocks'
  // means, `leastTau` in steps): for a chain of few steps, each some autocorrelation times
  // apart. A series that stays constant has the error 0 when `constantKnown` (it cannot take
  // another value, such as a dimer's R^2), else none (NaN: it merely did not move).
  ObservableSummary calibratedSummary(std::size_t k, double leastTau = 0.5,
                                      bool constantKnown = true) const;
  // The variance of the mean of sum_k weights[k] x_k, as summary() finds one observable's, or
  // as calibratedSummary() does with `leastTau`.
  double combinedVariance(std::span<const double> weights) const;
  double calibratedCombinedVariance(std::span<const double> weights, double leastTau) const;

 private:
  void closeBlock();
  // The blocks' means of sum_k weights[k] x_k (a part-filled block left out).
  std::vector<double> blockMeans(std::span<const double> weights) const;
  // From a variance of the mean of the blocks' means to one of the mean over every step.
  double blockScale() const;

  std::int64_t m_n = 0;
  std::int64_t m_blockLength = 1;
  std::int64_t m_inBlock = 0;
  std::vector<double> m_shift;   // the first step's values: sums are of deviations from them
  std::vector<double> m_sum;     // of the deviations
  std::vector<double> m_square;  // of their squares
  std::vector<double> m_part;    // the block being filled
  std::vector<double> m_blocks;  // block sums of deviations, one an observable a block
};

// R^2, |R| and Rg^2 of one chain, step by step: an ObservableSeries of the three, with the
// variance of the mean of Rg^2 - q R^2 for the ratio's error.
class MeasuredSeries {
 public:
  static constexpr std::size_t kMostBlocks = ObservableSeries::kMostBlocks;
  explicit MeasuredSeries(std::int64_t planned = 0) : m_series(3, planned) {}

  void add(double r2, double r, double rg2) {
    const double values[3] = {r2, r, rg2};
    m_series.add(values);
  }

  std::int64_t steps() const { return m_series.steps(); }
  std::int64_t blockLength() const { return m_series.blockLength(); }
  SeriesSummary summary() const;
  // The same means with errors that hold from two steps on (ObservableSeries::
  // calibratedSummary, `leastTau` in steps, `constantKnown` as there).
  SeriesSummary calibratedSummary(double leastTau = 0.5, bool constantKnown = true) const;

 private:
  ObservableSeries m_series;
};

// The windowed autocorrelation of `x` (consecutive values of a stationary series): the
// smallest window W with W >= c tau(W), c = kWindowFactor, where tau(W) = 1/2 + sum over
// t = 1..W of the normalised autocovariance (divisor n - t, about the series' mean). The
// variance of the mean is 2 tau C(0) / n. NaN for fewer than 8 values or none spread.
struct WindowedTau {
  double tau = std::numeric_limits<double>::quiet_NaN();
  double varianceOfMean = std::numeric_limits<double>::quiet_NaN();
  std::int64_t window = 0;
};
inline constexpr double kWindowFactor = 6.0;
WindowedTau windowedTau(std::span<const double> x);

// The variance of the mean of `x` (consecutive values of a stationary series, some of them
// correlated) as it holds for few values: the sample variance (divisor n - 1) times 2 tau / n,
// tau the windowed time with its bias at finite n taken out (tau (1 + (2 W + 1) / n)), or
// `leastTau` (at least 1/2, the time of independent values) when that is more or below 8
// values, where no window can be judged; then widened by the Student t factor of the
// n / (2 tau) - 1 degrees of freedom left (at least 1), so that plus or minus one error holds
// the mean as often as one normal standard error would. NaN below 2 values.
struct CalibratedVariance {
  double varianceOfMean = std::numeric_limits<double>::quiet_NaN();
  double tau = std::numeric_limits<double>::quiet_NaN();  // in values
  double degreesOfFreedom = std::numeric_limits<double>::quiet_NaN();
};
CalibratedVariance calibratedVariance(std::span<const double> x, double leastTau = 0.5);

// The factor by which a standard error from `degrees` degrees of freedom is widened so that
// plus or minus one of it holds the Student t probability of one normal standard deviation
// (68.27 %): 1.84 at 1, 1.14 at 4, 1.03 at 19, 1 in the limit.
double studentFactor(double degrees);

// The chains' summaries taken together, in their order: each mean over every step of every
// chain with its standard error (the chains' variances of the mean, weighted by their shares
// of the steps), and the integrated autocorrelation times of R^2 and Rg^2 in steps, n Var(mean)
// / (2 s^2) over all steps.
struct MeasuredStats {
  ExtendedStats stats;  // its `chains` is left 0: the caller says what a chain is
  std::int64_t steps = 0;
  double tauR2 = std::numeric_limits<double>::quiet_NaN();
  double tauRg2 = std::numeric_limits<double>::quiet_NaN();
};
MeasuredStats combineSeries(std::span<const SeriesSummary> chains);

}  // namespace polychain
