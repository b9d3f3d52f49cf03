// Run parameters for the tests and benchmarks, with a trial cap far above what their chains
// need, so that a changed random stream stops a self-avoiding chain instead of hanging.
#pragma once

#include <cstdint>

#include "polychain/params.h"

namespace polychain::reference {

inline constexpr std::int64_t kTestTrialCap = 20'000'000;

inline RunParams runParams(ModelSettings model, std::int32_t steps, std::int32_t iterations,
                           std::uint64_t seed, int threads = 2) {
  RunParams p;
  p.model = model;
  p.steps = steps;
  p.iterations = iterations;
  p.seed = seed;
  p.threads = threads;
  p.maxTrials = kTestTrialCap;
  return p;
}

}  // namespace polychain::reference
