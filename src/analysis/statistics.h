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
};

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
