// Free walk speed, as ratios against a bare loop of draws measured in the same binary.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "analysis/sizemeasure.h"
#include "chain/growth.h"
#include "chain/random.h"
#include "polychain/formats.h"
#include "polychain/run.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

constexpr std::int32_t kSteps = 1'000'000;

// Baseline: the draws alone.
void BM_BareNext(benchmark::State& state) {
  RandomSource random(1);
  for (auto _ : state) {
    std::uint64_t acc = 0;
    for (std::int32_t i = 0; i < kSteps; ++i) acc += random.next();
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kSteps);
}
BENCHMARK(BM_BareNext)->Unit(benchmark::kMillisecond);

// The grower alone: draws, moves and the site buffer.
void BM_MeanderGrow(benchmark::State& state) {
  LetGrow watch;
  auto grower = makeMeanderGrower(kSteps);
  std::vector<Point> sites;
  RandomSource random(1);
  for (auto _ : state) {
    TrialCounter counter = watch.counter();
    benchmark::DoNotOptimize(grower->grow(random, sites, counter));
  }
  state.SetItemsProcessed(state.iterations() * kSteps);
}
BENCHMARK(BM_MeanderGrow)->Unit(benchmark::kMillisecond);

// The size measure of a free-walk chain of 10^6 steps, from its sites.
void BM_SizeMeasure(benchmark::State& state) {
  LetGrow watch;
  auto grower = makeMeanderGrower(kSteps);
  std::vector<Point> sites;
  RandomSource random(1);
  TrialCounter counter = watch.counter();
  grower->grow(random, sites, counter);
  for (auto _ : state) benchmark::DoNotOptimize(CalcRgTotal(std::span<const Point>(sites), kSteps));
  state.SetItemsProcessed(state.iterations() * kSteps);
}
BENCHMARK(BM_SizeMeasure)->Unit(benchmark::kMillisecond);

// A whole run on `threads` threads: 8 chains of 10^6 steps, with the size measure of every
// chain and the export text of the last.
void BM_MeanderRun(benchmark::State& state) {
  RunParams params;
  params.steps = kSteps;
  params.iterations = 8;
  params.seed = 1;
  params.threads = static_cast<int>(state.range(0));
  RunObserver quiet;
  for (auto _ : state) {
    const RunResult result = runSimulation(params, quiet);
    benchmark::DoNotOptimize(chainExportText(params, result, params.threads));
  }
  state.SetItemsProcessed(state.iterations() * kSteps * params.iterations);
}
BENCHMARK(BM_MeanderRun)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void printRatios(const RatioReporter& r) {
  const double* bare = r.time("BM_BareNext");
  const double* grow = r.time("BM_MeanderGrow");
  const double* size = r.time("BM_SizeMeasure");
  const double* one = r.time("BM_MeanderRun/1");
  const double* two = r.time("BM_MeanderRun/2");
  std::printf("\nRatios:\n");
  if (bare != nullptr && grow != nullptr) {
    std::printf(
        "  free-walk grower / bare next(), per step            %5.2f  (%.2f ns vs %.2f ns)\n",
        *grow / *bare, *grow * 1e6 / kSteps, *bare * 1e6 / kSteps);
  }
  if (bare != nullptr && size != nullptr) {
    std::printf(
        "  size measure / bare next(), per site                %5.2f  (%.2f ns vs %.2f ns)\n",
        *size / *bare, *size * 1e6 / kSteps, *bare * 1e6 / kSteps);
  }
  if (one != nullptr && two != nullptr) {
    std::printf(
        "  whole run, 2 threads over 1 thread (throughput)     %5.2f  (%.1f ms vs %.1f ms)\n",
        *one / *two, *two, *one);
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
