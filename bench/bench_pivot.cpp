// The SAW-tree pivot walk against the hash-map pivot walk in this binary: mean time per
// attempted pivot for N = 10^3 to 10^7, both started from the same walk (initialise, then a
// burn-in of N pivot attempts, at most 10^6), set-up excluded; the hash-map walk gets fewer
// attempts at large N. The SAW-tree walk also measured after every attempt as a run does.
// Then initialise's time per site. Ratios are printed after the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "analysis/timeseries.h"
#include "chain/pivot.h"
#include "ratioreporter.h"
#include "reference/hashpivot.h"

namespace {

using polychain::PivotWalk;
using polychain::Point;
using polychain::RandomSource;
using polychain::reference::HashPivotWalk;

constexpr std::int64_t kMostBurnIn = 1000000;

// The equilibrated start of `steps` steps, made once per length and shared by both walks.
const std::vector<Point>& startOf(std::int32_t steps) {
  static std::map<std::int32_t, std::vector<Point>> starts;
  auto found = starts.find(steps);
  if (found != starts.end()) return found->second;
  PivotWalk walk(steps);
  RandomSource random(1);
  walk.initialise(random, [] { return true; });
  for (std::int64_t t = 0; t < std::min<std::int64_t>(steps, kMostBurnIn); ++t) {
    walk.attempt(random);
  }
  walk.sites(starts[steps]);
  return starts[steps];
}

template <class Walk>
void perAttempt(benchmark::State& state) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  Walk walk(startOf(steps));
  RandomSource random(3);
  std::int64_t accepted = 0;
  for (auto _ : state) accepted += walk.attempt(random);
  state.counters["acceptance"] =
      static_cast<double>(accepted) / static_cast<double>(state.iterations());
  if constexpr (std::is_same_v<Walk, PivotWalk>) {
    state.counters["bytes_per_site"] =
        static_cast<double>(walk.bytes()) / static_cast<double>(steps + 1);
  }
}

void BM_PivotSawTree(benchmark::State& state) { perAttempt<PivotWalk>(state); }

// As a pivot run measures: R^2, |R| and Rg^2 taken again after each accepted pivot and added
// to the walker's series after every attempt.
void BM_PivotMeasured(benchmark::State& state) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  PivotWalk walk(startOf(steps));
  RandomSource random(3);
  polychain::MeasuredSeries series(std::int64_t{1} << 26);
  double r2 = 0.0, r = 0.0, rg2 = 0.0;
  for (auto _ : state) {
    if (walk.attempt(random)) {
      const Point e = walk.end();
      r2 = static_cast<double>(std::int64_t{e.x} * e.x + std::int64_t{e.y} * e.y +
                               std::int64_t{e.z} * e.z);
      r = std::sqrt(r2);
      rg2 = walk.squaredGyrationRadius();
    }
    series.add(r2, r, rg2);
  }
  benchmark::DoNotOptimize(series.summary());
}
void BM_PivotHashMap(benchmark::State& state) { perAttempt<HashPivotWalk>(state); }

BENCHMARK(BM_PivotSawTree)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);
BENCHMARK(BM_PivotMeasured)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(10000000)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);
BENCHMARK(BM_PivotHashMap)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_PivotHashMap)->Arg(100000)->Unit(benchmark::kMicrosecond)->Iterations(4000);
BENCHMARK(BM_PivotHashMap)->Arg(1000000)->Unit(benchmark::kMicrosecond)->Iterations(600);
BENCHMARK(BM_PivotHashMap)->Arg(10000000)->Unit(benchmark::kMicrosecond)->Iterations(60);

void BM_PivotInitialise(benchmark::State& state) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  PivotWalk walk(steps);
  RandomSource random(5);
  for (auto _ : state) walk.initialise(random, [] { return true; });
  state.counters["time_per_site"] = benchmark::Counter(
      static_cast<double>(steps) * static_cast<double>(state.iterations()),
      benchmark::Counter::Flags(benchmark::Counter::kIsRate | benchmark::Counter::kInvert));
}
BENCHMARK(BM_PivotInitialise)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PivotInitialise)->Arg(10000000)->Unit(benchmark::kMillisecond)->Iterations(1);

std::string name(const char* benchmark, long steps) {
  return std::string(benchmark) + "/" + std::to_string(steps);
}

void printRatios(const RatioReporter& r) {
  std::printf(
      "\nHash-map walk / SAW-tree, mean time per attempted pivot (target >= 100 at 1e6):\n");
  for (const long steps : {1000L, 10000L, 100000L, 1000000L, 10000000L}) {
    const double* tree = r.time(name("BM_PivotSawTree", steps));
    const double* hash = r.time(name("BM_PivotHashMap", steps));
    if (tree == nullptr || hash == nullptr) continue;
    std::printf("  N=%-9ld %10.0fx  (%.4g us vs %.4g us)\n", steps, *hash / *tree, *hash, *tree);
  }
  std::printf("\nMeasured after every attempt / not measured, time per attempt:\n");
  for (const long steps : {1000L, 100000L, 10000000L}) {
    const double* plain = r.time(name("BM_PivotSawTree", steps));
    const double* measured = r.time(name("BM_PivotMeasured", steps));
    if (plain == nullptr || measured == nullptr) continue;
    std::printf("  N=%-9ld %6.3f  (%.4g us vs %.4g us)\n", steps, *measured / *plain, *measured,
                *plain);
  }
  const double* small = r.time(name("BM_PivotSawTree", 10000));
  const double* large = r.time(name("BM_PivotSawTree", 1000000));
  if (small != nullptr && large != nullptr) {
    std::printf("\nSAW-tree growth, time per attempt at 1e6 / at 1e4 (target <= 2): %.2f\n",
                *large / *small);
  }
  const double* bytes = r.counter("bytes_per_site", name("BM_PivotSawTree", 10000000));
  if (bytes != nullptr) {
    std::printf("SAW-tree bytes per site at 1e7 (target < 100): %.1f\n", *bytes);
  }
  std::printf("\ninitialise, time per site:\n");
  for (const long steps : {10000L, 100000L, 1000000L, 10000000L}) {
    const double* perSite = r.counter("time_per_site", name("BM_PivotInitialise", steps));
    if (perSite != nullptr) std::printf("  N=%-9ld %8.1f ns\n", steps, *perSite * 1e9);
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
