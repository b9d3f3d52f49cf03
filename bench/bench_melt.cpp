// The melt's attempted moves per second with its standard mix, at volume fractions 0.1, 0.5 and
// 0.8 for a few chain lengths, against one bare RandomSource::next() in this binary; the melt's
// bytes a bead and a cell; and what measuring costs against a sweep: every chain's shape, and
// the internal distances. Each melt is first given 100 sweeps away from its laid-out start.
// Then a sweep split into the standard slabs, on one thread and on two, against a whole sweep.
// Ratios are printed after the table.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "chain/melt.h"
#include "ratioreporter.h"
#include "run/meltsweeper.h"

namespace {

using polychain::Melt;
using polychain::MeltWalls;
using polychain::RandomSource;

constexpr std::int64_t kAttemptsPerIteration = 10000;

// The side that gives volume fraction closest to percent / 100.
std::int32_t sideFor(std::int64_t chains, std::int64_t steps, std::int64_t percent) {
  const double cells =
      static_cast<double>(chains * (steps + 1)) * 100.0 / static_cast<double>(percent);
  return static_cast<std::int32_t>(std::lround(std::cbrt(cells)));
}

std::unique_ptr<Melt> meltFor(const benchmark::State& state, RandomSource& random) {
  const auto chains = static_cast<std::int32_t>(state.range(1));
  const auto steps = static_cast<std::int32_t>(state.range(2));
  auto melt = std::make_unique<Melt>(chains, steps, sideFor(chains, steps, state.range(0)),
                                     MeltWalls::None);
  for (int sweep = 0; sweep < 100; ++sweep) melt->sweep(random);
  melt->resetCounts();
  return melt;
}

void BM_RandomNext(benchmark::State& state) {
  RandomSource random(1);
  for (auto _ : state) benchmark::DoNotOptimize(random.next());
}
BENCHMARK(BM_RandomNext);

// Args: volume fraction in per cent, chains, steps. Time per 10000 attempts.
void BM_MeltAttempts(benchmark::State& state) {
  RandomSource random(2);
  const std::unique_ptr<Melt> melt = meltFor(state, random);
  for (auto _ : state) melt->attempt(random, kAttemptsPerIteration);
  std::int64_t attempted = 0, accepted = 0;
  for (std::size_t k = 0; k < polychain::kMeltMoves; ++k) {
    attempted += melt->counts().attempted[k];
    accepted += melt->counts().accepted[k];
  }
  state.counters["attempts_per_s"] =
      benchmark::Counter(static_cast<double>(attempted), benchmark::Counter::kIsRate);
  state.counters["acceptance"] = static_cast<double>(accepted) / static_cast<double>(attempted);
  state.counters["phi"] = melt->volumeFraction();
  state.counters["bytes_per_bead"] =
      static_cast<double>(melt->bytes()) / static_cast<double>(melt->sweepAttempts());
  state.counters["bytes_per_cell"] =
      static_cast<double>(melt->bytes()) / std::pow(static_cast<double>(melt->side()), 3.0);
}
BENCHMARK(BM_MeltAttempts)
    ->ArgsProduct({{10, 50, 80}, {2000}, {20}})
    ->ArgsProduct({{10, 50, 80}, {1000}, {100}})
    ->ArgsProduct({{10, 50, 80}, {100}, {1000}})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);

// One sweep, every chain's shape, and the internal distances of every chain, at 0.5.
void BM_MeltSweep(benchmark::State& state) {
  RandomSource random(3);
  const std::unique_ptr<Melt> melt = meltFor(state, random);
  for (auto _ : state) melt->sweep(random);
}
void BM_MeltShapes(benchmark::State& state) {
  RandomSource random(3);
  const std::unique_ptr<Melt> melt = meltFor(state, random);
  double sum = 0.0;
  for (auto _ : state) {
    for (std::int32_t c = 0; c < melt->chains(); ++c) sum += melt->shape(c).squaredGyrationRadius;
  }
  benchmark::DoNotOptimize(sum);
}
void BM_MeltInternalDistances(benchmark::State& state) {
  RandomSource random(3);
  const std::unique_ptr<Melt> melt = meltFor(state, random);
  polychain::MeltInternalDistances distances(melt->steps());
  for (auto _ : state) distances.add(*melt);
  benchmark::DoNotOptimize(distances.last().data());
}
BENCHMARK(BM_MeltSweep)
    ->Args({50, 1000, 100})
    ->Args({50, 100, 1000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeltShapes)
    ->Args({50, 1000, 100})
    ->Args({50, 100, 1000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeltInternalDistances)
    ->Args({50, 1000, 100})
    ->Args({50, 100, 1000})
    ->Unit(benchmark::kMillisecond);

// A sweep in the standard slabs on state.range(3) threads, as a run makes it (MeltSweeper).
// Args: volume fraction in per cent, chains, steps, threads.
void BM_MeltSlabSweep(benchmark::State& state) {
  RandomSource random(3);
  const std::unique_ptr<Melt> melt = meltFor(state, random);
  melt->setDecomposition(polychain::MeltDecomposition::standard(melt->side(), melt->steps()));
  polychain::RunObserver quiet;
  const polychain::RunParams params;
  polychain::RunControl control(quiet, params);
  polychain::MeltSweeper sweeper(random, static_cast<int>(state.range(3)),
                                 melt->decomposition().parts);
  for (auto _ : state) sweeper.sweep(*melt, control);
  state.counters["parts"] = melt->decomposition().parts;
}
BENCHMARK(BM_MeltSlabSweep)
    ->Args({50, 1000, 100, 1})
    ->Args({50, 1000, 100, 2})
    ->Args({50, 8000, 100, 1})
    ->Args({50, 8000, 100, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

std::string name(const char* benchmark, long percent, long chains, long steps) {
  return std::string(benchmark) + "/" + std::to_string(percent) + "/" + std::to_string(chains) +
         "/" + std::to_string(steps);
}

void printRatios(const RatioReporter& r) {
  const double* next = r.time("BM_RandomNext");
  std::printf(
      "\nMelt, standard mix, periodic box: attempted moves per second (target >= 2e7 at 0.5),\n"
      "time per attempt / time per RandomSource::next(), acceptance, bytes a bead and a cell:\n");
  for (const long percent : {10L, 50L, 80L}) {
    for (const auto& [chains, steps] : {std::pair{2000L, 20L}, {1000L, 100L}, {100L, 1000L}}) {
      const std::string n = name("BM_MeltAttempts", percent, chains, steps);
      const double* time = r.time(n);
      const double* rate = r.counter("attempts_per_s", n);
      const double* acceptance = r.counter("acceptance", n);
      const double* phi = r.counter("phi", n);
      const double* bead = r.counter("bytes_per_bead", n);
      const double* cell = r.counter("bytes_per_cell", n);
      if (time == nullptr || rate == nullptr || next == nullptr) continue;
      const double perAttempt = *time / kAttemptsPerIteration * 1e3;  // ns, from microseconds
      std::printf(
          "  phi %.3f  C %5ld  N %5ld  %9.3g /s  %6.1f next()  acc %.3f  %5.1f B/bead  "
          "%5.1f B/cell\n",
          *phi, chains, steps, *rate, perAttempt / *next, *acceptance, *bead, *cell);
    }
  }
  std::printf("\nAt 0.5, cost / one sweep:\n");
  for (const auto& [chains, steps] : {std::pair{1000L, 100L}, {100L, 1000L}}) {
    const double* sweep = r.time(name("BM_MeltSweep", 50, chains, steps));
    const double* shapes = r.time(name("BM_MeltShapes", 50, chains, steps));
    const double* distances = r.time(name("BM_MeltInternalDistances", 50, chains, steps));
    if (sweep == nullptr || shapes == nullptr || distances == nullptr) continue;
    std::printf(
        "  C %5ld  N %5ld  sweep %.3g ms; every chain's shape %.3f; internal distances "
        "%.3f\n",
        chains, steps, *sweep, *shapes / *sweep, *distances / *sweep);
  }
  const double* whole = r.time(name("BM_MeltSweep", 50, 1000, 100));
  const double* one = r.time(name("BM_MeltSlabSweep", 50, 1000, 100) + "/1/real_time");
  if (whole != nullptr && one != nullptr) {
    std::printf(
        "\nC 1000, N 100 at 0.5 in its standard slabs: a sweep on one thread / a whole sweep "
        "%.3f\n",
        *one / *whole);
  }
  for (const long chains : {1000L, 8000L}) {
    const std::string slabs = name("BM_MeltSlabSweep", 50, chains, 100);
    const double* single = r.time(slabs + "/1/real_time");
    const double* pair = r.time(slabs + "/2/real_time");
    const double* parts = r.counter("parts", slabs + "/1/real_time");
    if (single == nullptr || pair == nullptr || parts == nullptr) continue;
    std::printf(
        "C %5ld, N 100 at 0.5 in %.0f slabs: two threads' speed-up %.2f (target >= 1.7 on two "
        "idle cores)\n",
        chains, *parts, *single / *pair);
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
