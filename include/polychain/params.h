// What a run is asked to do, and the checks made before it starts.
#pragma once

#include <cstdint>
#include <optional>

#include "polychain/inputerror.h"
#include "polychain/model.h"

namespace polychain {

// The default of RunParams::restartTrapped. Chains without a zone that are closed in are
// regrown long before it (TrialCounter's probes); it is there for the chains that a zone holds
// near the origin: no chain measured that finished on its own went that long without growing
// longer (at most 52361 trials for A = 2 and 221793 for A = 3; bench_trapped), while such a
// chain costs a few seconds before it is regrown.
inline constexpr std::int64_t kDefaultRestartTrapped = 1'000'000;

struct RunParams {
  ModelSettings model;                // the model and its settings
  std::int32_t steps = 0;             // N
  std::int32_t iterations = 0;        // chains per run (samples of a sampler)
  bool calcParCF = false;             // also compute g(r) and g(q) of the last chain
  std::optional<std::uint64_t> seed;  // none: taken from the clock when the run starts
  int threads = 0;                    // 0: all the machine offers
  std::int64_t maxTrials = 0;         // per chain; 0: no cap
  // Trials without growing longer after which a chain of a model that counts trials is grown
  // again from the origin; 0: never.
  std::int64_t restartTrapped = kDefaultRestartTrapped;
  // Also keep each chain's own values (RunResult::perChain): a few numbers a chain, counted by
  // the memory check. Read by runs in one process (runSimulation), not by a team's.
  bool perChain = false;
};

// A seed from the time of day: the system clock in nanoseconds, what a run without a seed
// takes.
std::uint64_t clockSeed();

// Trials without a new greatest chain length after which a chain is said to seem trapped.
inline constexpr std::int64_t kTrappedTrials = 20'000'000;

// Throws InputError when a run cannot take these parameters: N < 1, Iterations < 1, a
// negative thread count, trial cap or regrowing limit, a model setting out of its range
// (checkSetting), or what the model's own check refuses.
void validateParams(const RunParams& params);

}  // namespace polychain
