// The pivot model's part of the run frame: walkers, each a Markov chain of self-avoiding
// walks from its own stream (walker w draws from the run's base stream advanced by w
// jumps), sampled in turn and added up walker by walker in walker order, so the result is
// the same bits on any number of threads.
#pragma once

#include <cstdint>

#include "analysis/statistics.h"
#include "analysis/timeseries.h"
#include "polychain/run.h"
#include "run/control.h"
#include "run/growblock.h"

namespace polychain {

// What one walker leaves: its samples' sums, the summary of R^2, |R| and Rg^2 measured after
// every attempted pivot past the burn-in, its pivots, and for the last walker the last
// sample's sites.
struct WalkerResult {
  RunSums sums;
  SeriesSummary measured;
  std::int64_t attempts = 0;
  std::int64_t accepted = 0;
  std::vector<Point> lastSites;
};

// The samples walker `walker` of `params` takes: Iterations shared out as evenly as can be,
// the first walkers taking one more.
std::int64_t walkerSamples(const RunParams& params, std::int64_t walker);
// The walkers that take any sample: min(walkers, Iterations).
std::int64_t activeWalkers(const RunParams& params);

// The run's index of walker `walker`'s first sample: the samples of the walkers before it.
std::int64_t walkerFirstSample(const RunParams& params, std::int64_t walker);

// Runs walker `walker` of `params` from `random` (the base stream jumped `walker` times):
// the burn-in, then its samples `pivotsPerSample` attempts apart, measuring the walk after
// every one of those attempts (R^2 from the end, Rg^2 from the tree's sums: a few
// nanoseconds an attempt). Reports each sample to `control`, and its sites to `sites` when
// set (under the sample's index in the run); false (and a partial result) when the run
// stopped.
bool runWalker(const RunParams& params, std::int64_t walker, RandomSource random,
               RunControl& control, WalkerResult& result, const ChainSitesSink& sites = {});

// Adds up the walkers' results, in walker order, into `out` (which holds the seed).
void combineWalkers(const RunParams& params, std::vector<WalkerResult>& walkers, RunResult& out);

// The whole pivot run on this process's threads, every sample's sites to `sites` when set.
RunResult runPivotWalkers(const RunParams& params, RunControl& control, std::uint64_t seed,
                          const ChainSitesSink& sites = {});

}  // namespace polychain
