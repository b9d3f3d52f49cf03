// The textbook chain measures of a run, each with its standard error over the chains,
// gathered from the chains' summaries in chain order (so the same run gives the same bits),
// and the power-law fit of a scaling sweep.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "analysis/chainmeasures.h"
#include "polychain/model.h"

#include "polychain/results.h"

namespace polychain {

// One measure's running sums over the chains, added in chain order: the plain sum (for the
// mean) and Welford's running mean and sum of squared deviations (for the spread, without
// the cancellation of a sum of squares).
struct RunningMoments {
  std::int64_t n = 0;
  double sum = 0.0;
  double mean = 0.0;
  double squares = 0.0;
  void add(double x);
  // Takes in the values of `later` as if they had been added after these (Chan's pairwise
  // update): the same bits for the same order of merges.
  void merge(const RunningMoments& later);
};

// The samples of one Markov chain (a pivot walker), added in their order: the moments of the
// single samples, and those of the means of consecutive batches of `batchSize` samples
// (a last, incomplete batch counts in the means but not among the batches).
struct SampleSeries {
  explicit SampleSeries(std::int64_t batch = 1) : batchSize(batch < 1 ? 1 : batch) {}
  void add(const ChainSummary& sample);
  // Takes in `later`'s samples and whole batches after these; incomplete batches are left.
  void merge(const SampleSeries& later);

  std::int64_t batchSize;
  RunningMoments r2, r, rg2;                        // single samples
  RunningMoments batchR2, batchR, batchRg2;         // batch means
  double batchCoMoment = 0.0;                       // sum over batches (Rg^2 - <Rg^2>)(R^2 - <R^2>)
  std::int64_t inBatch = 0;                         // samples in the batch being filled
  double partR2 = 0.0, partR = 0.0, partRg2 = 0.0;  // and their sums
};

// The measures over the samples of one or more series, each mean from all samples and its
// standard error from the batch means (so correlated samples do not make it look smaller
// than it is), and the integrated autocorrelation times of R^2 and Rg^2 in samples,
// n Var(mean) / (2 s^2): 1/2 for independent samples.
struct SeriesStats {
  ExtendedStats stats;
  double tauR2 = std::numeric_limits<double>::quiet_NaN();
  double tauRg2 = std::numeric_limits<double>::quiet_NaN();
};
SeriesStats seriesStats(const SampleSeries& series);

// Gathers the measures of a run, one chain after another in chain order, in constant
// memory. The trial counts are kept when `countsTrials` (the model's).
class ExtendedAccumulator {
 public:
  explicit ExtendedAccumulator(bool countsTrials);
  void add(const ChainSummary& chain);
  // The measures over the chains added so far (at least one).
  ExtendedStats result() const;

 private:
  bool m_countsTrials;
  RunningMoments m_r2, m_r, m_rg2;
  double m_coMoment = 0.0;  // sum (Rg^2 - <Rg^2>)(R^2 - <R^2>)
  CountSummary m_trials, m_discarded, m_backups, m_restarts;
};

// A straight line y = intercept + slope x fitted to (log x, log y).
// Weighted least squares with weights 1/sigma^2, sigma = yError / y (the error of the
// logarithm), when every point has a positive finite error; otherwise ordinary least
// squares. The weighted slope's error is sqrt(sum w / D), scaled up by
// sqrt(chi^2 / (points - 2)) when that exceeds 1 (the points scatter more than their errors
// allow); the ordinary slope's error comes from the residuals and needs three points.

// Fits log y against log x as described above. Needs at least two distinct x and every
// x and y positive; returns nothing otherwise. `yError` may be empty (ordinary fit).
std::optional<PowerLawFit> fitPowerLaw(std::span<const double> x, std::span<const double> y,
                                       std::span<const double> yError);

}  // namespace polychain
