#include "run/pivotrun.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
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
  const std::int64_t pivotsPerSample = std::get<PivotSettings>(params.model).pivotsPerSample;
  const std::int64_t planned = samples > std::numeric_limits<std::int64_t>::max() /
                                             std::max<std::int64_t>(pivotsPerSample, 1)
                                   ? std::numeric_limits<std::int64_t>::max()
                                   : samples * pivotsPerSample;
  MeasuredSeries series(planned);
  if (control.pollStop()) return false;
  std::optional<PivotWalk> made =
      PivotWalk::initialised(params.steps, random, [&control] { return !control.pollStop(); });
  if (!made) return false;
  PivotWalk& walk = *made;

  // The walk's measures, taken again only when a pivot changes it.
  double r2 = 0.0, r = 0.0, rg2 = 0.0;
  const auto measure = [&] {
    const Point e = walk.end();
    r2 = static_cast<double>(std::int64_t{e.x} * e.x + std::int64_t{e.y} * e.y +
                             std::int64_t{e.z} * e.z);
    r = std::sqrt(r2);
    rg2 = walk.squaredGyrationRadius();
  };
  // `count` attempted pivots, measured after each when `measured`, looking at the stop flag
  // now and then.
  const auto attempt = [&](std::int64_t count, bool measured) {
    for (std::int64_t done = 0; done < count;) {
      const std::int64_t chunk = std::min(kPollEvery, count - done);
      if (measured) {
        for (std::int64_t i = 0; i < chunk; ++i) {
          if (walk.attempt(random)) {
            ++result.accepted;
            measure();
          }
          series.add(r2, r, rg2);
        }
      } else {
        for (std::int64_t i = 0; i < chunk; ++i) result.accepted += walk.attempt(random) ? 1 : 0;
      }
      done += chunk;
      result.attempts += chunk;
      if (control.pollStop()) return false;
    }
    return true;
  };
  if (!attempt(pivotBurnIn(params), false)) return false;
  measure();
  std::vector<Point> sites;
  for (std::int64_t s = 0; s < samples; ++s) {
    if (!attempt(pivotsPerSample, true)) return false;
    walk.sites(sites);
    if (sampleSites) sampleSites(walkerFirstSample(params, walker) + s, sites);
    result.sums.add(summarizeChain(sites, params.steps));
    control.chainDone();
  }
  result.measured = series.summary();
  if (walker == activeWalkers(params) - 1) result.lastSites = std::move(sites);
  return true;
}

void combineWalkers(const RunParams& params, std::vector<WalkerResult>& walkers, RunResult& out) {
  std::vector<SeriesSummary> series;
  PivotStats pivot;
  for (WalkerResult& w : walkers) {
    out.sums.merge(w.sums);
    series.push_back(w.measured);
    pivot.attempts += w.attempts;
    pivot.accepted += w.accepted;
  }
  pivot.walkers = static_cast<std::int64_t>(walkers.size());
  pivot.acceptance = pivot.attempts > 0
                         ? static_cast<double>(pivot.accepted) / static_cast<double>(pivot.attempts)
                         : 0.0;
  const MeasuredStats measured = combineSeries(series);
  out.extended = measured.stats;
  out.extended.chains = out.sums.chains;
  pivot.measured = measured.steps;
  pivot.tauR2 = measured.tauR2;
  pivot.tauRg2 = measured.tauRg2;
  pivot.tauR2Accepted = measured.tauR2 * pivot.acceptance;
  pivot.tauRg2Accepted = measured.tauRg2 * pivot.acceptance;
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
