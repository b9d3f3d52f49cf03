// The data behind how trapped self-avoiding chains are recognised, and what they cost.
//
// Stalls: chains grown from a run's streams with no regrowing and a hard cap. A chain's stall
// is a stretch of trials without a new greatest length, seen every 64 trials (so a stall is
// at most 64 longer than counted). "finished" chains reached N, "capped" ones passed the cap
// without doing so. For a few limits T, "finishing_over_T" counts the finished chains with a
// stall of T or more: the chains that regrowing after T trials would have dropped although
// they grow on.
//
// Shares: the same chains grown the old way (regrown after 10^7 trials without growing
// longer, nothing else) and the new way (the default limit, and closed-in chains without a
// zone regrown at once): the restarts, and the share of the time and of the trials spent in
// the growths that were given up. Compare the two rows' times as a ratio.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "chain/growth.h"
#include "polychain/params.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;
using Clock = std::chrono::steady_clock;

std::unique_ptr<ChainGrower> grower(std::int32_t model, std::int32_t steps) {
  // model: the avoidance of the self-avoiding walk, or minus the Kuhn length of the
  // short-range walk.
  return model > 0 ? makeSawGrower(steps, model) : makeShortRangeGrower(steps, -model);
}

std::vector<RandomSource> streams(std::int32_t chains) {
  std::vector<RandomSource> out;
  RandomSource stream(2024);
  for (std::int32_t c = 0; c < chains; ++c, stream.jump()) out.push_back(stream);
  return out;
}

// Follows one chain grown without regrowing: its stalls, and a stop at the cap.
class StallWatch final : public ChainWatch {
 public:
  static constexpr std::int64_t kEvery = 64;
  explicit StallWatch(std::int64_t cap) : m_cap(cap) {}
  std::int64_t check(std::int64_t, std::int64_t trials, std::int64_t sinceLongest) override {
    if (sinceLongest < m_current) m_longest.push_back(m_current);
    m_current = sinceLongest;
    return trials >= m_cap ? 0 : trials + kEvery;
  }
  // Each stall's length, the one going on included.
  std::vector<std::int64_t> stalls() const {
    std::vector<std::int64_t> all = m_longest;
    all.push_back(m_current);
    return all;
  }

 private:
  std::int64_t m_cap;
  std::int64_t m_current = 0;
  std::vector<std::int64_t> m_longest;
};

void stalls(benchmark::State& state, std::int32_t model) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  const auto chains = static_cast<std::int32_t>(state.range(1));
  const std::int64_t cap = state.range(2);
  std::vector<std::int64_t> longest(static_cast<std::size_t>(chains), -1);  // -1: capped
  for (auto _ : state) {
    const std::vector<RandomSource> from = streams(chains);
#pragma omp parallel
    {
      const auto g = grower(model, steps);
      std::vector<Point> sites;
#pragma omp for schedule(dynamic, 1)
      for (std::int32_t c = 0; c < chains; ++c) {
        StallWatch watch(cap);
        TrialCounter counter(watch, TrialCounter::kNever, StallWatch::kEvery);
        RandomSource random = from[static_cast<std::size_t>(c)];
        if (!g->grow(random, sites, counter).stopped) {
          const std::vector<std::int64_t> all = watch.stalls();
          longest[static_cast<std::size_t>(c)] = *std::max_element(all.begin(), all.end());
        }
      }
    }
  }
  std::vector<std::int64_t> finished;
  for (const std::int64_t s : longest) {
    if (s >= 0) finished.push_back(s);
  }
  std::sort(finished.begin(), finished.end());
  const auto quantile = [&](double q) {
    if (finished.empty()) return 0.0;
    const auto i = static_cast<std::size_t>(q * static_cast<double>(finished.size() - 1));
    return static_cast<double>(finished[i]);
  };
  state.counters["finished"] = static_cast<double>(finished.size());
  state.counters["capped"] = static_cast<double>(longest.size() - finished.size());
  state.counters["median_stall"] = quantile(0.5);
  state.counters["p99_stall"] = quantile(0.99);
  state.counters["longest_stall"] = quantile(1.0);
  for (const std::int64_t limit : {1'000, 10'000, 100'000, 1'000'000}) {
    const auto over =
        std::count_if(finished.begin(), finished.end(), [&](std::int64_t s) { return s >= limit; });
    state.counters["finishing_over_" + std::to_string(limit)] = static_cast<double>(over);
  }
}

// Notes the time every 256 trials, so that the time of the trials given up can be read off.
class TimeWatch final : public ChainWatch {
 public:
  TimeWatch() : m_start(Clock::now()) {}
  std::int64_t check(std::int64_t, std::int64_t trials, std::int64_t) override {
    m_marks.push_back({trials, Clock::now()});
    return trials + 256;
  }
  // Seconds from the start to the first mark at or after `trials`, or to now.
  double secondsAt(std::int64_t trials) const {
    for (const auto& [t, when] : m_marks) {
      if (t >= trials) return std::chrono::duration<double>(when - m_start).count();
    }
    return std::chrono::duration<double>(Clock::now() - m_start).count();
  }

 private:
  struct Mark {
    std::int64_t trials;
    Clock::time_point when;
  };
  Clock::time_point m_start;
  std::vector<Mark> m_marks;
};

// Grows the chains with the old rule (`newRule` 0) or the new one (1).
void shares(benchmark::State& state, std::int32_t model) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  const auto chains = static_cast<std::int32_t>(state.range(1));
  const bool newRule = state.range(2) != 0;
  double givenUpSeconds = 0, allSeconds = 0, givenUpTrials = 0, allTrials = 0, restarts = 0;
  for (auto _ : state) {
    const std::vector<RandomSource> from = streams(chains);
#pragma omp parallel reduction(+ : givenUpSeconds, allSeconds, givenUpTrials, allTrials, restarts)
    {
      const auto g = grower(model, steps);
      std::vector<Point> sites;
#pragma omp for schedule(dynamic, 1)
      for (std::int32_t c = 0; c < chains; ++c) {
        TimeWatch watch;
        TrialCounter counter = newRule ? TrialCounter(watch, kDefaultRestartTrapped, 256)
                                       : TrialCounter(watch, 10'000'000, 256, TrialCounter::kNever);
        RandomSource random = from[static_cast<std::size_t>(c)];
        const ChainGrowth growth = g->grow(random, sites, counter);
        const double seconds = watch.secondsAt(growth.trials + 1);
        allSeconds += seconds;
        givenUpSeconds += growth.restarts > 0 ? watch.secondsAt(counter.trialsAtStart()) : 0.0;
        allTrials += static_cast<double>(growth.trials);
        givenUpTrials += static_cast<double>(counter.trialsAtStart());
        restarts += static_cast<double>(growth.restarts);
      }
    }
  }
  state.counters["restarts"] = restarts;
  state.counters["trapped_time_share"] = givenUpSeconds / allSeconds;
  state.counters["trapped_trial_share"] = givenUpTrials / allTrials;
}

void BM_AvoidOneStalls(benchmark::State& state) { stalls(state, 1); }
void BM_AvoidTwoStalls(benchmark::State& state) { stalls(state, 2); }
void BM_AvoidThreeStalls(benchmark::State& state) { stalls(state, 3); }
void BM_ShortRangeStalls(benchmark::State& state) { stalls(state, -1); }
BENCHMARK(BM_AvoidOneStalls)
    ->Args({1000, 4000, 2'000'000})
    ->Args({10000, 800, 2'000'000})
    ->Args({100000, 100, 2'000'000})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_AvoidTwoStalls)
    ->Args({30, 2000, 2'000'000})
    ->Args({60, 1000, 2'000'000})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
// The first 100 chains again with a cap of 10^7: those held past 10^6 trials stay held.
BENCHMARK(BM_AvoidThreeStalls)
    ->Args({20, 400, 1'000'000})
    ->Args({20, 100, 10'000'000})
    ->Args({30, 2000, 200'000})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_ShortRangeStalls)
    ->Args({10000, 200, 2'000'000})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

void BM_AvoidOneShares(benchmark::State& state) { shares(state, 1); }
void BM_AvoidTwoShares(benchmark::State& state) { shares(state, 2); }
void BM_AvoidThreeShares(benchmark::State& state) { shares(state, 3); }
// Few chains where the old rule costs seconds for each trapped one.
BENCHMARK(BM_AvoidOneShares)
    ->ArgsProduct({{1000, 10000}, {200}, {0, 1}})
    ->ArgsProduct({{100000}, {50}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_AvoidTwoShares)
    ->ArgsProduct({{30, 60}, {40}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_AvoidThreeShares)
    ->ArgsProduct({{20, 43}, {30}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

// The new rule's time against the old one's, for each case of the shares.
void printRatios(const RatioReporter& reporter) {
  for (const char* name : {"BM_AvoidOneShares", "BM_AvoidTwoShares", "BM_AvoidThreeShares"}) {
    for (const int steps : {20, 30, 43, 60, 1000, 10000, 100000}) {
      const std::string base = std::string(name) + "/" + std::to_string(steps) + "/";
      for (const int chains : {30, 40, 50, 200}) {
        const std::string stem = base + std::to_string(chains) + "/";
        const double* old = reporter.time(stem + "0");
        const double* now = reporter.time(stem + "1");
        if (old != nullptr && now != nullptr) {
          std::printf("%s: new rule / old rule time %.3f\n", (stem + "*").c_str(), *now / *old);
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
