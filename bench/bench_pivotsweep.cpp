// A scaling sweep of the pivot model, N = 1000 to 256000 doubling with 200 samples each: how
// long it takes on this machine and how close its fitted exponent comes to the self-avoiding
// walk's 0.5876 (within its standard error).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "polychain/sweep.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

void BM_PivotSweep(benchmark::State& state) {
  SweepParams params;
  params.run.model = PivotSettings{};
  params.run.iterations = 200;
  params.seed = static_cast<std::uint64_t>(state.range(0));
  for (std::int32_t n = 1000; n <= 256000; n *= 2) params.steps.push_back(n);
  SweepResult result;
  for (auto _ : state) {
    SweepObserver quiet;
    result = runSweep(params, quiet);
  }
  if (!result.fit) {
    state.SkipWithError("no fit");
    return;
  }
  state.counters["nu"] = result.fit->exponent;
  state.counters["nu_se"] = result.fit->exponentError;
  state.counters["off_by"] = result.fit->exponent - kSelfAvoidingExponent;
}
BENCHMARK(BM_PivotSweep)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void printRatios(const RatioReporter& r) {
  std::printf("\nPivot sweeps (budget 120 s each; nu of the self-avoiding walk 0.5876):\n");
  for (const char* name : {"BM_PivotSweep/1", "BM_PivotSweep/2"}) {
    const double* seconds = r.time(name);
    const double* nu = r.counter("nu", name);
    const double* se = r.counter("nu_se", name);
    if (seconds == nullptr || nu == nullptr || se == nullptr) continue;
    std::printf("  %-18s %6.1f s (%.2f of the budget)  nu = %.4f +/- %.4f, off by %+.4f\n", name,
                *seconds, *seconds / 120.0, *nu, *se, *nu - kSelfAvoidingExponent);
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
