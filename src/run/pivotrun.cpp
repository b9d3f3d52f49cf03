#include "run/pivotrun.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <new>
#include <optional>

#include "chain/pivot.h"
#include "polychain/resources.h"

namespace polychain {

namespace {

// Attempts between two looks at the stop flag: about a millisecond of work.
constexpr std::int64_t kPollEvery = 1024;

}  // namespace

std::int64_t activeWalkers(const RunParams& params) {
  return std::min<std::int64_t>(std::get<PivotSettings>(params.model).walkers, params.iterations);
}

std::int64_t walkerSamples(const RunParams& params, std::int64_t walker) {
  const std::int64_t walkers = activeWalkers(params);
  return params.iterations / walkers + (walker < params.iterations % walkers ? 1 : 0);
}

std::int64_t walkerFirstSample(const RunParams& params, std::int64_t walker) {
  const std::int64_t walkers = activeWalkers(params);
  return walker * (params.iterations / walkers) +
         std::min<std::int64_t>(walker, params.iterations % walkers);
}

bool runWalker(const RunParams& params, std::int64_t walker, RandomSource random,
               RunControl& control, WalkerResult& result, const ChainSitesSink& sampleSites) {
  const std::int64_t samples = walkerSamples(params, walker);
  // Batches of about sqrt(samples): as many batches as samples in each, so that both the
  // spread of the batch means and the correlation between samples are outlasted as the
  // samples grow.
  result.series = SampleSeries(static_cast<std::int64_t>(std::lround(std::sqrt(samples))));
  if (control.pollStop()) return false;
  std::optional<PivotWalk> made =
      PivotWalk::initialised(params.steps, random, [&control] { return !control.pollStop(); });
  if (!made) return false;
  PivotWalk& walk = *made;

  // `count` attempted pivots, looking at the stop flag now and then.
  const auto attempt = [&](std::int64_t count) {
    for (std::int64_t done = 0; done < count;) {
      const std::int64_t chunk = std::min(kPollEvery, count - done);
      for (std::int64_t i = 0; i < chunk; ++i) result.accepted += walk.attempt(random) ? 1 : 0;
      done += chunk;
      result.attempts += chunk;
      if (control.pollStop()) return false;
    }
    return true;
  };
  if (!attempt(pivotBurnIn(params))) return false;
  std::vector<Point> sites;
  for (std::int64_t s = 0; s < samples; ++s) {
    if (!attempt(std::get<PivotSettings>(params.model).pivotsPerSample)) return false;
    walk.sites(sites);
    if (sampleSites) sampleSites(walkerFirstSample(params, walker) + s, sites);
    const ChainSummary sample = summarizeChain(sites, params.steps);
    result.sums.add(sample);
    result.series.add(sample);
    control.chainDone();
  }
  if (walker == activeWalkers(params) - 1) result.lastSites = std::move(sites);
  return true;
}

void combineWalkers(const RunParams& params, std::vector<WalkerResult>& walkers, RunResult& out) {
  SampleSeries all;
  PivotStats pivot;
  for (WalkerResult& w : walkers) {
    out.sums.merge(w.sums);
    all.merge(w.series);
    pivot.attempts += w.attempts;
    pivot.accepted += w.accepted;
  }
  pivot.walkers = static_cast<std::int64_t>(walkers.size());
  pivot.acceptance = pivot.attempts > 0
                         ? static_cast<double>(pivot.accepted) / static_cast<double>(pivot.attempts)
                         : 0.0;
  const SeriesStats stats = seriesStats(all);
  out.extended = stats.stats;
  pivot.tauR2 = stats.tauR2;
  pivot.tauRg2 = stats.tauRg2;
  out.pivot = pivot;
  out.values = resultValues(modelOf(params.model), params.steps, out.sums);
  out.lastSites = std::move(walkers.back().lastSites);
}

RunResult runPivotWalkers(const RunParams& params, RunControl& control, std::uint64_t seed,
                          const ChainSitesSink& sites) {
  RunResult out;
  out.seed = seed;
  const std::int64_t count = activeWalkers(params);
  std::vector<WalkerResult> walkers(static_cast<std::size_t>(count));
  const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), count));
  std::mutex streamMutex;  // guards what follows
  std::int64_t next = 0;   // the next walker to run
  RandomSource stream(seed);
  std::int64_t jumped = 0;  // the walker whose stream `stream` holds
  RegionFailure failure;

#pragma omp parallel num_threads(threads)
  failure.guard(control, [&] {
    while (!control.stopped()) {
      std::int64_t w = 0;
      RandomSource random(0);
      {
        const std::lock_guard lock(streamMutex);
        if (next >= count) break;
        w = next++;
        for (; jumped < w; ++jumped) stream.jump();
        random = stream;
      }
      runWalker(params, w, random, control, walkers[static_cast<std::size_t>(w)], sites);
    }
  });
  failure.rethrow();
  if (!control.stopped()) combineWalkers(params, walkers, out);
  return out;
}

}  // namespace polychain
