// A scaling sweep: one run per chain length N, all with the same model and settings, and a
// least-squares fit of log sqrt(<R^2>) against log N whose slope is the size exponent nu,
// besides fits with the leading correction to scaling.
// Each N's seed comes from the sweep's seed alone, so a sweep repeats bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "polychain/run.h"

namespace polychain {

// The default sweep of a model with a budget (ModelInfo::budget): its first to its last N,
// doubling; empty for a model without one.
std::vector<std::int32_t> defaultSweepSteps(const ModelInfo& model);

struct SweepParams {
  RunParams run;                      // model, iterations, avoid, kuhn, threads, maxTrials;
                                      // its steps, seed and calcParCF are not read
  std::vector<std::int32_t> steps;    // the chain lengths N, run in this order
  std::optional<std::uint64_t> seed;  // none: taken from the clock when the sweep starts
  // For a model with a budget only: the work spent on its reference N, less on longer N in
  // proportion to their cost (budgetWork). When given, each N's Iterations and settings are
  // fitted to it (sweepPointParams); none: each N takes run.iterations samples.
  std::optional<std::int64_t> budget;
  double correctionExponent = kDefaultCorrectionExponent;  // Delta1 of the corrected fits
};

// The work that `budget` gives N: budget (reference N / N)^costExponent, at least 1.
std::int64_t budgetWork(const SweepBudget& rule, std::int64_t budget, std::int32_t steps);

// The run of the point at `index` without its seed: the sweep's run at that N, with a budget
// fitted to the N's work by the model's rule (for the pivot model, one sample every
// max(pivots per sample, N) attempts and as many samples, at least one a walker, as fill the
// attempts left after the walkers' burn-in).
RunParams sweepPointParams(const SweepParams& params, std::size_t index);

// The seed of the run at position `index` (0-based) of the list: the (index + 1)-th output
// of SplitMix64 started at `sweepSeed`.
std::uint64_t sweepPointSeed(std::uint64_t sweepSeed, std::size_t index);

struct SweepPoint {
  std::int32_t steps = 0;
  std::uint64_t seed = 0;
  ExtendedStats stats;
  // The model's measures that a sweep keeps (MeasureInfo::inSweep), in the order of its
  // measures; the others are left empty.
  std::vector<MeasureValue> measures;
};

struct SweepResult {
  RunStatus status = RunStatus::Finished;
  std::uint64_t seed = 0;
  std::vector<SweepPoint> points;  // the N finished, in list order (all of them when Finished)
  std::optional<PowerLawFit> fit;  // of sqrt(<R^2>) against N, when Finished and fittable
  // With the correction to scaling (at least four N with errors): <R^2> and <Rg^2> against
  // N, and the limit of <Rg^2>/<R^2>.
  std::optional<CorrectedFit> correctedR2;
  std::optional<CorrectedFit> correctedRg2;
  std::optional<LimitFit> ratioLimit;
  // For a model that measures ln Z_N (its measure log_partition): mu and gamma.
  std::optional<GrowthFit> growth;
};

// A run observer that also hears when each N starts and finishes.
class SweepObserver : public RunObserver {
 public:
  virtual void pointStarted(std::size_t /*index*/, std::int32_t /*steps*/, std::uint64_t /*seed*/) {
  }
  virtual void pointFinished(std::size_t /*index*/, const SweepPoint& /*point*/) {}
};

// A sweep over a real setting as well as N (such as the contact energy, to find the theta
// point): the sweep of N for each value in turn, each a one-value sweep of its own.
struct SweepVaried {
  const SettingInfo* setting = nullptr;  // a real setting of the sweep's model
  std::vector<double> values;            // in the order run
};

// The sweep of the value at `index`: `params` with the setting at that value.
SweepParams sweepSeriesParams(const SweepParams& params, const SweepVaried& varied,
                              std::size_t index);

// The seed of the one-value sweep at `index` among sweeps of `stepsCount` N each: the state of
// SplitMix64 started at `sweepSeed` after the earlier values' outputs, so that the (value,
// N) runs take outputs 1, 2, 3, ... in turn; the first value's sweep has `sweepSeed` itself.
std::uint64_t sweepSeriesSeed(std::uint64_t sweepSeed, std::size_t index, std::size_t stepsCount);

// <R^2>/N at each N of a sweep, and the effective exponent between neighbouring N:
// nu_eff = ln(<R^2>_b / <R^2>_a) / (2 ln(N_b / N_a)), its error from the two standard errors
// (the runs are independent). Flat <R^2>/N, nu_eff = 1/2, is the ideal chain.
struct SweepCurve {
  std::vector<Estimate> perStep;            // <R^2>/N, one a point
  std::vector<Estimate> effectiveExponent;  // between point k and k + 1
};
SweepCurve sweepCurve(const SweepResult& result);

// A sweep that passed its checks, and the checked run of each N, as only checkSweep makes
// them: the sweep functions that take one check nothing again.
class CheckedSweep {
 public:
  const SweepParams& params() const { return m_params; }
  // The run of the N at `index` without its seed (sweepPointParams).
  const CheckedRun& point(std::size_t index) const { return m_points[index]; }
  // The same sweep from `seed` (a seed changes nothing the checks look at).
  CheckedSweep seeded(std::uint64_t seed) const {
    CheckedSweep sweep = *this;
    sweep.m_params.seed = seed;
    return sweep;
  }

 private:
  friend CheckedSweep checkSweep(const SweepParams& params, std::string_view stepsField,
                                 int processesHere);
  static CheckedRun checked(const RunParams& params) { return CheckedRun(params); }
  SweepParams m_params;
  std::vector<CheckedRun> m_points;
};

// Checks a sweep once, before anything runs: throws InputError when the sweep cannot take
// these parameters, naming `stepsField` for a bad list (no step counts, a count below 1, or
// fewer than two distinct counts), or when the run of any N fails validateParams; then
// MemoryRefusal naming the first N whose run would not fit in the memory of one of
// `processesHere` processes on this machine (checkMemory).
CheckedSweep checkSweep(const SweepParams& params, std::string_view stepsField = "Steps (N)",
                        int processesHere = 1);

// How a sweep runs each N: runSimulation when empty, or a run spread over several processes.
using RunFunction = std::function<RunResult(const CheckedRun&, RunObserver&)>;

// Runs every N in turn with `run`. Progress reaches the observer as one bar over the whole
// sweep (RunProgress::chains, each N weighted by its N, or alike with a budget), the other
// fields speaking of the current run. Cancelling or a trial-limit stop ends the sweep after the
// points finished.
SweepResult runSweep(const CheckedSweep& sweep, SweepObserver& observer,
                     const RunFunction& run = {});
// The same after checkSweep(params).
SweepResult runSweep(const SweepParams& params, SweepObserver& observer);

}  // namespace polychain
