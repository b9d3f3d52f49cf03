// What a run is asked to do, and the checks made before it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "chain/model.h"

namespace polychain {

// Thrown when parameters cannot be used; what() names the field and what it accepts.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws InputError naming `field` when `value` is below 1.
void requireAtLeastOne(std::int64_t value, std::string_view field);

// The default of RunParams::restartTrapped: some two hundred times the longest stretch
// without growth of any chain that finished on its own (under 54000 trials for A = 2, under
// 1100 for A = 1 up to N = 10^5; bench_trapped), and half the trials after which a chain is
// said to seem trapped.
inline constexpr std::int64_t kDefaultRestartTrapped = 10'000'000;

// Pivot defaults (see README): samples some hundreds of accepted pivots apart, a burn-in of
// N attempts after the walk's nearly equilibrated start, and eight walkers.
inline constexpr std::int64_t kDefaultPivotsPerSample = 1000;
inline constexpr std::int64_t kMinimumBurnIn = 10'000;
inline constexpr std::int32_t kDefaultWalkers = 8;

struct RunParams {
  Model model = Model::Meander;
  std::int32_t steps = 0;             // N
  std::int32_t iterations = 0;        // chains per run
  std::int32_t avoid = 1;             // avoidance range, read by SAW only
  std::int32_t kuhn = 1;              // Kuhn length (step length), read by ShortRange only
  bool calcParCF = false;             // also compute g(r) and g(q) of the last chain
  std::optional<std::uint64_t> seed;  // none: taken from the clock when the run starts
  int threads = 0;                    // 0: all the machine offers
  std::int64_t maxTrials = 0;         // per chain; 0: no cap
  // Trials without growing longer after which a self-avoiding or short-range chain is grown
  // again from the origin; 0: never.
  std::int64_t restartTrapped = kDefaultRestartTrapped;
  // The pivot model: Iterations samples from `walkers` independent Markov chains, each
  // sampled every `pivotsPerSample` attempted pivots after `burnIn` attempts (none: N, but
  // at least kMinimumBurnIn).
  std::int64_t pivotsPerSample = kDefaultPivotsPerSample;
  std::optional<std::int64_t> burnIn;
  std::int32_t walkers = kDefaultWalkers;
};

// The burn-in of a pivot run: `burnIn` when given, else N attempts but at least
// kMinimumBurnIn.
std::int64_t pivotBurnIn(const RunParams& params);

// Trials without a new greatest chain length after which a chain is said to seem trapped.
inline constexpr std::int64_t kTrappedTrials = 20'000'000;

// Throws InputError when a run cannot take these parameters: N < 1, Iterations < 1, a
// negative thread count, trial cap or regrowing limit; for the pivot model N above 67108862,
// fewer than one pivot per sample or walker, or a negative burn-in; for the short-range walk
// a Kuhn length of 0 or one that would carry a chain beyond the lattice's 32-bit coordinates
// (|K| (N - 1) above 2147483647).
void validateParams(const RunParams& params);

}  // namespace polychain
