#include "run/params.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "chain/pivot.h"

namespace polychain {

void requireAtLeastOne(std::int64_t value, std::string_view field) {
  if (value < 1) {
    throw InputError(std::string(field) + " must be a whole number of at least 1; " +
                     std::to_string(value) + " is too small.");
  }
}

void validateParams(const RunParams& params) {
  requireAtLeastOne(params.steps, "Steps (N)");
  requireAtLeastOne(params.iterations, "Iterations");
  if (params.threads < 0) throw InputError("The thread count must not be negative.");
  if (params.maxTrials < 0) throw InputError("The trial cap must not be negative.");
  if (params.restartTrapped < 0) {
    throw InputError("The trials before a trapped chain is regrown must not be negative.");
  }
  if (params.model == Model::Pivot) {
    if (params.steps > PivotWalk::kMaxSteps) {
      throw InputError("Steps (N) of the pivot model must be at most " +
                       std::to_string(PivotWalk::kMaxSteps) + "; " + std::to_string(params.steps) +
                       " is too large.");
    }
    requireAtLeastOne(params.pivotsPerSample, "Pivots per sample");
    requireAtLeastOne(params.walkers, "Walkers");
    if (params.burnIn && *params.burnIn < 0) {
      throw InputError("Burn-in must not be negative; " + std::to_string(*params.burnIn) +
                       " is too small.");
    }
  }
  if (params.model == Model::ShortRange && params.kuhn == 0) {
    throw InputError(
        "Kuhn Length must not be 0: the walk could never leave the origin. Enter a whole "
        "number such as 1 to 10.");
  }
  // A short-range chain reaches at most N - 1 steps of |K| from the origin on an axis; the
  // other models' N unit steps always stay within 32 bits.
  const std::int64_t reach = std::abs(std::int64_t{params.kuhn}) * (std::int64_t{params.steps} - 1);
  if (params.model == Model::ShortRange && reach > std::numeric_limits<std::int32_t>::max()) {
    throw InputError("Kuhn Length " + std::to_string(params.kuhn) + " is too long for " +
                     std::to_string(params.steps) +
                     " steps: the chain would reach beyond the lattice's coordinates, which "
                     "end at 2147483647. Keep Kuhn Length times (Steps (N) - 1) within that.");
  }
}

std::int64_t pivotBurnIn(const RunParams& params) {
  return params.burnIn.value_or(std::max<std::int64_t>(params.steps, kMinimumBurnIn));
}

}  // namespace polychain
