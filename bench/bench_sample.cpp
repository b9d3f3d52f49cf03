// Ensembles for simulations: 1000 pivot chains of N = 1000 (in a box of side 400) written as
// GSD and as LAMMPS data, each writer's time as a ratio to sampling the chains (the aim:
// writing costs less), with the bytes a site takes; and the densest periodic box the placement
// fills with 100 such chains (the smallest side it places them all in, by bisection) and how
// long that takes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "polychain/ensemble.h"
#include "polychain/formats.h"
#include "polychain/placement.h"
#include "polychain/sample.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

RunParams pivotChains(std::int32_t chains) {
  RunParams p;
  p.model = PivotSettings{};
  p.steps = 1000;
  p.iterations = chains;
  p.seed = 17;
  p.threads = 2;
  return p;
}

ChainSample sampled(std::int32_t chains) {
  RunObserver quiet;
  return sampleChains(pivotChains(chains), quiet);
}

const Ensemble& melt() {
  static const Ensemble ensemble = [] {
    PlacementParams params;
    params.box = 400;
    params.seed = 17;
    return *placeChains(sampled(1000), params);
  }();
  return ensemble;
}

void BM_Sample(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(sampled(1000).sites.data());
}
BENCHMARK(BM_Sample)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// The place of format `key` in the format table, which names the benchmark's argument.
int formatIndex(std::string_view key) {
  return static_cast<int>(findFormat(key) - formatTable().data());
}

void BM_Write(benchmark::State& state) {
  const FormatInfo& format = formatTable()[static_cast<std::size_t>(state.range(0))];
  const Ensemble& e = melt();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = format.writeEnsemble->writeString(e);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes_per_site"] =
      static_cast<double>(bytes) / static_cast<double>(e.siteCount());
}
BENCHMARK(BM_Write)
    ->Arg(formatIndex("gsd"))
    ->Arg(formatIndex("lammps"))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The smallest box side that takes all 100 chains, and the time of that placement.
void BM_DensestPlacement(benchmark::State& state) {
  const ChainSample chains = sampled(100);
  std::int64_t low = 47;  // 100 x 1001 sites need a side of at least 47
  std::int64_t high = 400;
  double seconds = 0;
  for (auto _ : state) {
    while (low < high) {
      const std::int64_t side = (low + high) / 2;
      PlacementParams params;
      params.box = side;
      params.seed = 17;
      const auto start = std::chrono::steady_clock::now();
      bool placed = true;
      try {
        placeChains(chains, params);
      } catch (const InputError&) {
        placed = false;
      }
      const double took =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (placed) {
        high = side;
        seconds = took;
      } else {
        low = side + 1;
      }
    }
  }
  const double volume =
      static_cast<double>(high) * static_cast<double>(high) * static_cast<double>(high);
  state.counters["side"] = static_cast<double>(high);
  state.counters["volume_fraction"] = static_cast<double>(chains.sites.size()) / volume;
  state.counters["placing_s"] = seconds;
}
BENCHMARK(BM_DensestPlacement)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void printRatios(const RatioReporter& r) {
  const double* sample = r.time("BM_Sample");
  std::printf("\n1000 pivot chains of N = 1000 in a box of side 400:\n");
  for (const auto& [key, label] : {std::pair{"gsd", "GSD"}, std::pair{"lammps", "LAMMPS data"}}) {
    const std::string name = "BM_Write/" + std::to_string(formatIndex(key));
    const double* write = r.time(name);
    const double* bytes = r.counter("bytes_per_site", name);
    if (sample == nullptr || write == nullptr || bytes == nullptr) continue;
    std::printf("  %-12s writing / sampling = %.3f, %.1f bytes a site\n", label, *write / *sample,
                *bytes);
  }
  const double* side = r.counter("side", "BM_DensestPlacement");
  const double* phi = r.counter("volume_fraction", "BM_DensestPlacement");
  const double* placing = r.counter("placing_s", "BM_DensestPlacement");
  if (side != nullptr && phi != nullptr && placing != nullptr) {
    std::printf(
        "100 chains of N = 1000: densest box side %.0f, volume fraction %.4f, placed in "
        "%.2f s\n",
        *side, *phi, *placing);
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
