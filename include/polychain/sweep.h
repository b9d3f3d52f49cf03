// A scaling sweep: one run per chain length N, all with the same model and settings, and a
// least-squares fit of log sqrt(<R^2>) against log N whose slope is the size exponent nu.
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

struct SweepResult {
  RunStatus status = RunStatus::Finished;
  std::uint64_t seed = 0;
  std::vector<SweepPoint> points;  // the N finished, in list order (all of them when Finished)
  std::optional<PowerLawFit> fit;  // of sqrt(<R^2>) against N, when Finished and fittable
};

// A run observer that also hears when each N starts and finishes.
class SweepObserver : public RunObserver {
 public:
  virtual void pointStarted(std::size_t /*index*/, std::int32_t /*steps*/, std::uint64_t /*seed*/) {
  }
  virtual void pointFinished(std::size_t /*index*/, const SweepPoint& /*point*/) {}
};

// Throws InputError when the sweep cannot take these parameters, naming `stepsField` for a
// bad list: no step counts, a count below 1, or fewer than two distinct counts; then every
// N is checked with the run's own checks (validateParams), before anything runs.
void validateSweep(const SweepParams& params, std::string_view stepsField = "Steps (N)");

// Throws InputError naming the first N whose run would not fit in this machine's memory
// (checkMemory).
void checkSweepMemory(const SweepParams& params, int processesHere = 1);

// How a sweep runs each N: runSimulation, or a run spread over several processes.
using RunFunction = std::function<RunResult(const RunParams&, RunObserver&)>;

// Runs every N in turn with `run`. Progress reaches the observer as one bar over the whole
// sweep (RunProgress::chains, each N weighted by its N), the other fields speaking of the
// current run. Cancelling or a trial-limit stop ends the sweep after the points finished.
SweepResult runSweep(const SweepParams& params, SweepObserver& observer,
                     const RunFunction& run = runSimulation);

}  // namespace polychain
