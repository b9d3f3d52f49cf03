// A scaling sweep: one run per chain length N, all with the same model and settings, and a
// least-squares fit of log sqrt(<R^2>) against log N whose slope is the size exponent nu.
// Each N's seed comes from the sweep's seed alone, so a sweep repeats bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/extendedstats.h"
#include "chain/run.h"

namespace polychain {

// Reference exponents drawn beside the fit.
inline constexpr double kIdealChainExponent = 0.5;
inline constexpr double kSelfAvoidingExponent = 0.5876;  // self-avoiding walk, cubic lattice

struct SweepParams {
  RunParams run;                      // model, iterations, avoid, kuhn, threads, maxTrials;
                                      // its steps, seed and calcParCF are not read
  std::vector<std::int32_t> steps;    // the chain lengths N, run in this order
  std::optional<std::uint64_t> seed;  // none: taken from the clock when the sweep starts
};

// The seed of the run at position `index` (0-based) of the list: the (index + 1)-th output
// of SplitMix64 started at `sweepSeed`.
std::uint64_t sweepPointSeed(std::uint64_t sweepSeed, std::size_t index);

struct SweepPoint {
  std::int32_t steps = 0;
  std::uint64_t seed = 0;
  ExtendedStats stats;
};

// A straight line y = intercept + slope x fitted to (log N, log sqrt(<R^2>)).
// Weighted least squares with weights 1/sigma^2, sigma = SE(sqrt(<R^2>)) / sqrt(<R^2>) (the
// error of the logarithm), when every point has a positive finite error; otherwise
// ordinary least squares. The weighted slope's error is sqrt(sum w / D), scaled up by
// sqrt(chi^2 / (points - 2)) when that exceeds 1 (the points scatter more than their errors
// allow); the ordinary slope's error comes from the residuals and needs three points.
struct PowerLawFit {
  bool weighted = false;
  std::size_t points = 0;
  double exponent = 0.0;          // the slope, nu
  double exponentError = 0.0;     // NaN when it cannot be estimated
  double amplitude = 0.0;         // exp(intercept): sqrt(<R^2>) ~ amplitude * N^nu
  double chiSquaredPerDof = 0.0;  // weighted fits with three or more points; NaN otherwise
};

// Fits log y against log x as described above. Needs at least two distinct x and every
// x and y positive; returns nothing otherwise. `yError` may be empty (ordinary fit).
std::optional<PowerLawFit> fitPowerLaw(std::span<const double> x, std::span<const double> y,
                                       std::span<const double> yError);

struct SweepOutput {
  RunStatus status = RunStatus::Finished;
  std::uint64_t seed = 0;
  std::vector<SweepPoint> points;  // the N finished so far, in list order
  std::optional<PowerLawFit> fit;  // when Finished
  std::string message;             // why the sweep stopped, unless Finished
};

// A run observer that also hears when each N starts and finishes.
class SweepObserver : public RunObserver {
 public:
  virtual void pointStarted(std::size_t /*index*/, std::int32_t /*steps*/, std::uint64_t /*seed*/) {
  }
  virtual void pointFinished(std::size_t /*index*/, const SweepPoint& /*point*/) {}
};

// Reads a comma-separated list of step counts such as "100,200,400" (blanks around each
// allowed, each read as textToNumber reads a parameter). Throws InputError naming `field`
// for an empty list, an empty entry or an entry that is not a number.
std::vector<std::int32_t> parseStepList(std::string_view text, std::string_view field);

// Throws InputError when the sweep cannot take these parameters, naming `stepsField` for a
// bad list: no step counts, a count below 1, or fewer than two distinct counts. The run's
// own checks follow (validateParams).
void validateSweep(const SweepParams& params, std::string_view stepsField = "Steps (N)");

// Runs every N in turn. Progress reaches the observer as one bar over the whole sweep
// (RunProgress::chains, each N weighted by its N), the other fields speaking of the
// current run. Cancelling or a trial-limit stop ends the sweep after the points finished.
SweepOutput runSweep(const SweepParams& params, SweepObserver& observer);

// The sweep as comma-separated text, a header line then one line per point:
//   N,seed,chains,R2,R2_se,rms_R,rms_R_se,mean_R,mean_R_se,Rg2,Rg2_se,rms_Rg,rms_Rg_se,
//   ratio,ratio_se
// and, for the self-avoiding models, trials_mean,trials_max,discarded_mean,discarded_max,
// backups_mean,backups_max. An absent value is an empty field. Lines end in '\n'.
std::string sweepCsv(const SweepOutput& sweep, Model model);

// The log-log plot of the sweep as an SVG document: the points with error bars, the
// fitted line and the two reference slopes.
std::string sweepSvg(const SweepOutput& sweep, Model model);

}  // namespace polychain
