// The default scaling sweep of the pivot model (N = 1000 to 256000 doubling, the default
// budget, two threads) with seeds 1 to 10: how long each takes on this machine, its exponent
// with the correction to scaling and without, and the limit of <Rg^2>/<R^2>, against the
// self-avoiding walk's nu = 0.587597 and ratio 0.1599 (within two of their errors?).
// --benchmark_filter=BM_PivotSweep/1$ and so on runs fewer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "polychain/sweep.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

constexpr double kNu = 0.587597;   // Clisby 2010
constexpr double kRatio = 0.1599;  // <Rg^2>/<R^2> at large N: about 0.160 (Li, Madras, Sokal)
constexpr int kSeeds = 10;

void BM_PivotSweep(benchmark::State& state) {
  SweepParams params;
  params.run.model = PivotSettings{};
  params.run.threads = 2;
  const ModelInfo& pivot = modelOf(params.run.model);
  params.budget = pivot.budget->defaultBudget;
  params.steps = defaultSweepSteps(pivot);
  params.seed = static_cast<std::uint64_t>(state.range(0));
  SweepResult result;
  for (auto _ : state) {
    SweepObserver quiet;
    result = runSweep(params, quiet);
  }
  if (!result.fit || !result.correctedR2) {
    state.SkipWithError("no fit");
    return;
  }
  state.counters["nu_plain"] = result.fit->exponent;
  state.counters["nu_plain_se"] = result.fit->exponentError;
  state.counters["nu"] = result.correctedR2->exponent;
  state.counters["nu_se"] = result.correctedR2->exponentError;
  state.counters["from_N"] = result.correctedR2->fromSteps;
  state.counters["chi2"] = result.correctedR2->chiSquaredPerDof;
  if (result.ratioLimit) {
    state.counters["ratio"] = result.ratioLimit->limit;
    state.counters["ratio_se"] = result.ratioLimit->limitError;
  }
}
BENCHMARK(BM_PivotSweep)
    ->DenseRange(1, kSeeds)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

void printRatios(const RatioReporter& r) {
  std::printf("\nDefault pivot sweeps (budget 120 s each; nu = %.6f, ratio %.5f):\n", kNu, kRatio);
  int within = 0, covered = 0, ratioCovered = 0, runs = 0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    const std::string name = "BM_PivotSweep/" + std::to_string(seed);
    const double* seconds = r.time(name);
    const double* nu = r.counter("nu", name);
    const double* se = r.counter("nu_se", name);
    const double* plain = r.counter("nu_plain", name);
    const double* plainSe = r.counter("nu_plain_se", name);
    const double* from = r.counter("from_N", name);
    const double* ratio = r.counter("ratio", name);
    const double* ratioSe = r.counter("ratio_se", name);
    if (seconds == nullptr || nu == nullptr || se == nullptr || plain == nullptr) continue;
    ++runs;
    within += std::abs(*nu - kNu) < 0.002 ? 1 : 0;
    covered += std::abs(*nu - kNu) < 2 * *se ? 1 : 0;
    std::printf(
        "  seed %2d %6.1f s (%.2f of the budget)  nu = %.5f +/- %.5f (%+.1f sigma, N >= %.0f)  "
        "plain %.5f +/- %.5f",
        seed, *seconds, *seconds / 120.0, *nu, *se, (*nu - kNu) / *se, from ? *from : 0.0, *plain,
        plainSe ? *plainSe : 0.0);
    if (ratio != nullptr && ratioSe != nullptr) {
      ratioCovered += std::abs(*ratio - kRatio) < 2 * *ratioSe ? 1 : 0;
      std::printf("  ratio %.5f +/- %.5f", *ratio, *ratioSe);
    }
    std::printf("\n");
  }
  std::printf(
      "corrected nu within 0.002: %d of %d; within two errors: %d of %d (target 9); ratio "
      "within two errors: %d of %d\n",
      within, runs, covered, runs, ratioCovered, runs);
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
