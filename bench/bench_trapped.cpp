// How long healthy self-avoiding chains go without growing longer, against how long trapped
// ones do: the data behind the default number of trials after which a chain is regrown.
//
// Each case grows its chains from a run's streams, in parallel, with no regrowing and a hard
// cap. A chain's stall is the longest stretch of trials without a new greatest length, as
// seen every 1024 trials (so the true one is at most 1024 longer); "finished" chains reached
// N, "capped" ones passed the cap without doing so.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <vector>

#include "chain/growth.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

constexpr std::int64_t kCap = 2'000'000;

// Follows one chain: the longest stall seen, and a stop at the cap.
class StallWatch final : public ChainWatch {
 public:
  std::int64_t check(std::int64_t, std::int64_t trials, std::int64_t sinceLongest) override {
    longest = std::max(longest, sinceLongest);
    return trials >= kCap ? 0 : trials + 1024;
  }
  std::int64_t longest = 0;
};

void stalls(benchmark::State& state, std::int32_t avoid) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  const auto chains = static_cast<std::int32_t>(state.range(1));
  std::vector<std::int64_t> stall(static_cast<std::size_t>(chains), -1);  // -1: capped
  for (auto _ : state) {
    std::vector<RandomSource> streams;
    RandomSource stream(2024);
    for (std::int32_t c = 0; c < chains; ++c, stream.jump()) streams.push_back(stream);
#pragma omp parallel
    {
      const auto grower = makeSawGrower(steps, avoid);
      std::vector<Point> sites;
#pragma omp for schedule(dynamic, 1)
      for (std::int32_t c = 0; c < chains; ++c) {
        StallWatch watch;
        TrialCounter counter(watch, TrialCounter::kNever, 1024);
        if (!grower->grow(streams[static_cast<std::size_t>(c)], sites, counter).stopped) {
          stall[static_cast<std::size_t>(c)] = watch.longest;
        }
      }
    }
  }
  std::vector<std::int64_t> finished;
  for (const std::int64_t s : stall) {
    if (s >= 0) finished.push_back(s);
  }
  std::sort(finished.begin(), finished.end());
  state.counters["finished"] = static_cast<double>(finished.size());
  state.counters["capped"] = static_cast<double>(stall.size() - finished.size());
  state.counters["longest_stall"] = finished.empty() ? 0.0 : static_cast<double>(finished.back());
  state.counters["median_stall"] =
      finished.empty() ? 0.0 : static_cast<double>(finished[finished.size() / 2]);
}

void BM_AvoidOneStalls(benchmark::State& state) { stalls(state, 1); }
void BM_AvoidTwoStalls(benchmark::State& state) { stalls(state, 2); }
BENCHMARK(BM_AvoidOneStalls)
    ->Args({1000, 400})
    ->Args({10000, 100})
    ->Args({100000, 20})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_AvoidTwoStalls)
    ->Args({30, 400})
    ->Args({60, 200})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

void printRatios(const RatioReporter&) {}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
