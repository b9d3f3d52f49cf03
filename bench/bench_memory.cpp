// Peak memory of whole runs, each measured in a child process of its own: a run of many
// short chains against one of few (the frame's memory must not grow with the chains), and
// the bytes per step of one long chain exported to a file, as the command exports it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <string>

#include "polychain/fileset.h"
#include "polychain/formats.h"
#include "polychain/run.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

// The peak resident memory, in bytes, of a child process that runs `params` and exports its
// last chain to a file (removed again).
double childPeakBytes(const RunParams& params) {
  const pid_t child = ::fork();
  if (child == 0) {
    RunObserver quiet;
    const RunResult result = runSimulation(params, quiet);
    const std::string path = "/tmp/bench_memory_" + std::to_string(::getpid()) + ".cdat";
    const FileJob job{path, [&](ByteSink& sink) { return writeChainData(sink, params, result); }};
    const bool written = writeFileSet(std::span(&job, 1)).written.size() == 1;
    ::unlink(path.c_str());
    ::_exit(written ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

RunParams freeWalk(std::int32_t steps, std::int32_t chains) {
  RunParams p;
  p.steps = steps;
  p.iterations = chains;
  p.seed = 1;
  return p;
}

void peakOf(benchmark::State& state, const RunParams& params) {
  double bytes = 0;
  for (auto _ : state) bytes = childPeakBytes(params);
  state.counters["peak_bytes"] = bytes;
  state.counters["bytes_per_step"] = bytes / (static_cast<double>(params.steps) + 1.0);
}

void BM_PeakFewShortChains(benchmark::State& state) { peakOf(state, freeWalk(10, 100'000)); }
void BM_PeakManyShortChains(benchmark::State& state) { peakOf(state, freeWalk(10, 20'000'000)); }
void BM_PeakOneLongChain(benchmark::State& state) { peakOf(state, freeWalk(10'000'000, 1)); }
BENCHMARK(BM_PeakFewShortChains)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PeakManyShortChains)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_PeakOneLongChain)->Unit(benchmark::kSecond)->Iterations(1);

void printRatios(const RatioReporter& r) {
  const double* few = r.counter("peak_bytes", "BM_PeakFewShortChains");
  const double* many = r.counter("peak_bytes", "BM_PeakManyShortChains");
  const double* perStep = r.counter("bytes_per_step", "BM_PeakOneLongChain");
  std::printf("\nRatios:\n");
  if (few != nullptr && many != nullptr) {
    std::printf(
        "  peak memory, 2x10^7 chains of N = 10 over 10^5 chains   %5.2f  (%.1f MiB vs %.1f MiB)\n",
        *many / *few, *many / 1048576.0, *few / 1048576.0);
  }
  if (perStep != nullptr) {
    std::printf("  peak bytes per step, one chain of N = 10^7 exported to a file   %.1f\n",
                *perStep);
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
