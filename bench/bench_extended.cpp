// What the extended statistics cost a run, as a share of the same run measured in the same
// binary.
//
// Their cost has two parts: the coordinate sums that the size measure's first pass gathers
// for the radius of gyration about the centre of mass (CalcRgTotal with SiteSums), and the
// sums over the chain summaries (ExtendedAccumulator). The first is timed over the
// run's own chains as the run frame meets them, right after growing each chain: the size
// measure with the sums first, then without (the second call finds the sites warmer, so
// the difference errs on the high side). "extra_percent" is how much slower a run is for
// carrying the extended statistics. "separate_pass_percent" is, for comparison, what a
// separate pass over the sites for the same quantity would add.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "analysis/sizemeasure.h"
#include "analysis/statistics.h"
#include "chain/growth.h"
#include "chain/random.h"
#include "polychain/run.h"
#include "ratioreporter.h"
#include "reference/runparams.h"

namespace {

using namespace polychain;

constexpr std::int32_t kChains = 16;

// A plain second pass: mean squared distance of the sites from their centre of mass.
double separatePass(const std::vector<Point>& sites) {
  std::int64_t sx = 0, sy = 0, sz = 0;
  double squares = 0;
  for (const Point& p : sites) {
    sx += p.x;
    sy += p.y;
    sz += p.z;
    squares += static_cast<double>(std::int64_t{p.x} * p.x + std::int64_t{p.y} * p.y +
                                   std::int64_t{p.z} * p.z);
  }
  const double count = static_cast<double>(sites.size());
  const double cx = static_cast<double>(sx) / count;
  const double cy = static_cast<double>(sy) / count;
  const double cz = static_cast<double>(sz) / count;
  return std::max(0.0, squares / count - (cx * cx + cy * cy + cz * cz));
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void extendedShare(benchmark::State& state, ModelSettings model, std::int32_t steps) {
  const RunParams params = reference::runParams(model, steps, kChains, 1, 1);
  RunObserver quiet;
  LetGrow watch;
  auto grower = makeGrower(params.model, params.steps);
  std::vector<Point> sites;
  double runSeconds = 0.0, withSums = 0.0, without = 0.0, separate = 0.0, statsSeconds = 0.0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(runSimulation(params, quiet));
    runSeconds += seconds(start);
    std::vector<ChainSummary> summaries;

    // The run's own chains: chain c draws from the seed's stream jumped c times.
    RandomSource stream(*params.seed);
    for (std::int32_t c = 0; c < kChains; ++c) {
      RandomSource random = RandomSource::fromState(stream.state());
      stream.jump();
      TrialCounter counter = watch.counter();
      grower->grow(random, sites, counter);
      summaries.push_back(summarizeChain(sites, steps));
      const std::span<const Point> view(sites);
      SiteSums sums;
      start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(CalcRgTotal(view, steps, &sums));
      benchmark::DoNotOptimize(sums);
      withSums += seconds(start);
      start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(CalcRgTotal(view, steps));
      without += seconds(start);
      start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(separatePass(sites));
      separate += seconds(start);
    }

    start = std::chrono::steady_clock::now();
    ExtendedAccumulator accumulator(modelOf(model).countsTrials);
    for (const ChainSummary& summary : summaries) accumulator.add(summary);
    benchmark::DoNotOptimize(accumulator.result());
    statsSeconds += seconds(start);
  }
  const double gathered = std::max(0.0, withSums - without);
  const double bare = runSeconds - gathered;  // the run without the extended statistics
  state.counters["extra_percent"] = 100.0 * (gathered + statsSeconds) / bare;
  state.counters["stats_percent"] = 100.0 * statsSeconds / bare;
  state.counters["separate_pass_percent"] = 100.0 * separate / bare;
}

void BM_MeanderRunExtendedShare(benchmark::State& state) {
  extendedShare(state, MeanderSettings{}, 100'000);
}
BENCHMARK(BM_MeanderRunExtendedShare)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Chains that stay in the caches.
void BM_MeanderRunExtendedShare1000(benchmark::State& state) {
  extendedShare(state, MeanderSettings{}, 1000);
}
BENCHMARK(BM_MeanderRunExtendedShare1000)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_SawRunExtendedShare(benchmark::State& state) { extendedShare(state, SawSettings{}, 2'000); }
BENCHMARK(BM_SawRunExtendedShare)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ShortRangeRunExtendedShare(benchmark::State& state) {
  extendedShare(state, ShortRangeSettings{}, 2'000);
}
BENCHMARK(BM_ShortRangeRunExtendedShare)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
