// The self-avoiding and short-range growers against two baselines in this binary:
//  - a plain walk over exact coordinates in an absl::flat_hash_set with the same trial and
//    back-up logic (time per trial; the growers answer the substring rule instead);
//  - the text model, chains held as strings (time per chain, same parameters and seed).
// Ratios are printed after the table. The text model takes minutes at N = 5000. Peak
// memory: run BM_SawAvoidTwoMemory on its own (--benchmark_filter=Memory), read peak_rss_mib.
#include <absl/container/flat_hash_set.h>
#include <absl/hash/hash.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "chain/growth.h"
#include "polychain/formats.h"
#include "polychain/run.h"
#include "ratioreporter.h"
#include "reference/textwalks.h"

namespace {

using polychain::ChainGrower;
using polychain::ModelSettings;
using polychain::Point;
using polychain::RandomSource;
using polychain::RunObserver;
using polychain::RunParams;
using polychain::SawSettings;
using polychain::ShortRangeSettings;
using polychain::TrialCounter;
using polychain::TrialVerdict;

RunParams params(ModelSettings model, std::int32_t steps) {
  RunParams p;
  p.model = model;
  p.steps = steps;
  p.iterations = 1;
  p.threads = 1;
  return p;
}

// Seeds whose chains of 10^5 steps finish (with avoidance 1 some wander for millions of
// trials in a pocket of sites that the substring rule closes).
const std::vector<std::uint64_t> kFinishingSeeds = {3, 5, 7, 8, 9, 10, 13};

struct PointHash {
  std::size_t operator()(const Point& p) const {
    return absl::Hash<std::tuple<std::int32_t, std::int32_t, std::int32_t>>{}(
        std::make_tuple(p.x, p.y, p.z));
  }
};

// The baseline: exact sites in a hash set, the growers' trial and back-up rules.
class HashSetWalk {
 public:
  explicit HashSetWalk(bool shortRange, std::int32_t steps, std::int32_t step)
      : m_shortRange(shortRange), m_steps(steps), m_step(step) {}

  std::int64_t grow(RandomSource& random, TrialCounter& counter) {
    m_set.clear();
    m_set.reserve(static_cast<std::size_t>(m_steps) + 1);
    m_sites.clear();
    m_sites.push_back(Point{});
    m_set.insert(Point{});
    Point p;
    std::int64_t n = m_shortRange ? 1 : 0;
    while (n < m_steps) {
      const Point saved = p;
      polychain::ChooseDir(random, p, m_step);
      if (m_set.insert(p).second) {
        m_sites.push_back(p);
        ++n;
      } else {
        p = saved;
        if (allNeighbours(p)) {
          if (m_shortRange) {
            dropEnd(p);
          } else {
            do {
              if (m_sites.size() > 1) dropEnd(p);
              n = std::max<std::int64_t>(n - 1, 0);
            } while (neighbours(p) == 5);
          }
        }
      }
      if (counter.onTrial(n) != TrialVerdict::Go) break;
    }
    return counter.trials();
  }

 private:
  bool has(std::int32_t x, std::int32_t y, std::int32_t z) const {
    return m_set.contains(Point{x, y, z});
  }
  bool allNeighbours(const Point& p) const {
    const std::int32_t s = m_step;
    return has(p.x + s, p.y, p.z) && has(p.x - s, p.y, p.z) && has(p.x, p.y - s, p.z) &&
           has(p.x, p.y + s, p.z) && has(p.x, p.y, p.z + s) && has(p.x, p.y, p.z - s);
  }
  int neighbours(const Point& p) const {
    return has(p.x + 1, p.y, p.z) + has(p.x - 1, p.y, p.z) + has(p.x, p.y - 1, p.z) +
           has(p.x, p.y + 1, p.z) + has(p.x, p.y, p.z + 1) + has(p.x, p.y, p.z - 1);
  }
  void dropEnd(Point& p) {
    m_set.erase(m_sites.back());
    m_sites.pop_back();
    p = m_sites.back();
  }

  bool m_shortRange;
  std::int32_t m_steps;
  std::int32_t m_step;
  absl::flat_hash_set<Point, PointHash> m_set;
  std::vector<Point> m_sites;
};

const benchmark::Counter::Flags kPerTrial =
    benchmark::Counter::Flags(benchmark::Counter::kIsRate | benchmark::Counter::kInvert);

// Grows one finishing chain per iteration with the grower of the model.
void growerPerTrial(benchmark::State& state, ModelSettings model, std::int32_t steps) {
  LetGrow watch;
  std::unique_ptr<ChainGrower> grower = polychain::makeGrower(model, steps);
  std::vector<Point> sites;
  std::int64_t trials = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    RandomSource random(kFinishingSeeds[next++ % kFinishingSeeds.size()]);
    TrialCounter counter = watch.counter();
    trials += grower->grow(random, sites, counter).trials;
    benchmark::DoNotOptimize(sites.data());
  }
  state.counters["time_per_trial"] = benchmark::Counter(static_cast<double>(trials), kPerTrial);
}

void hashSetPerTrial(benchmark::State& state, bool shortRange, std::int32_t steps) {
  LetGrow watch;
  HashSetWalk walk(shortRange, steps, 1);
  std::int64_t trials = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    RandomSource random(kFinishingSeeds[next++ % kFinishingSeeds.size()]);
    TrialCounter counter = watch.counter();
    trials += walk.grow(random, counter);
  }
  state.counters["time_per_trial"] = benchmark::Counter(static_cast<double>(trials), kPerTrial);
}

void BM_SawAvoidOneGrower(benchmark::State& state) {
  growerPerTrial(state, SawSettings{1}, 100000);
}
void BM_SawAvoidOneHashSet(benchmark::State& state) { hashSetPerTrial(state, false, 100000); }
void BM_ShortRangeKuhnOneGrower(benchmark::State& state) {
  growerPerTrial(state, ShortRangeSettings{1}, 100000);
}
void BM_ShortRangeKuhnOneHashSet(benchmark::State& state) { hashSetPerTrial(state, true, 100000); }
BENCHMARK(BM_SawAvoidOneGrower)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SawAvoidOneHashSet)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ShortRangeKuhnOneGrower)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ShortRangeKuhnOneHashSet)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Whole one-chain runs, fast and as text, seed 2 (seed 1 with avoidance 1 is trapped
// for millions of trials at N = 20000).
void BM_SawRun(benchmark::State& state) {
  RunParams p = params(SawSettings{static_cast<std::int32_t>(state.range(1))},
                       static_cast<std::int32_t>(state.range(0)));
  p.seed = 2;
  RunObserver quiet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(polychain::chainExportText(p, polychain::runSimulation(p, quiet)));
  }
}
void BM_SawTextModel(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        polychain::reference::textSAW(static_cast<std::int32_t>(state.range(0)), 1,
                                      static_cast<std::int32_t>(state.range(1)), 2)
            .chainText.data());
  }
}
BENCHMARK(BM_SawRun)
    ->Args({1000, 2})
    ->Args({2000, 2})
    ->Args({5000, 2})
    ->Args({20000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SawTextModel)
    ->Args({1000, 2})
    ->Args({2000, 2})
    ->Args({5000, 2})
    ->Args({20000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One chain of 10^5 steps with avoidance 2; the process's peak resident memory.
void BM_SawAvoidTwoMemory(benchmark::State& state) {
  RunParams p = params(SawSettings{2}, 100000);
  p.seed = 1;
  RunObserver quiet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(polychain::chainExportText(p, polychain::runSimulation(p, quiet)));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mib"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_SawAvoidTwoMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void perTrial(const RatioReporter& r, const char* what, const std::string& fast,
              const std::string& base) {
  const double* f = r.counter("time_per_trial", fast);
  const double* b = r.counter("time_per_trial", base);
  if (f == nullptr || b == nullptr) return;
  std::printf("  %-66s %6.2f  (%.1f ns vs %.1f ns)\n", what, *f / *b, *f * 1e9, *b * 1e9);
}

void speedUp(const RatioReporter& r, const char* what, const std::string& text,
             const std::string& fast) {
  const double* t = r.time(text);
  const double* f = r.time(fast);
  if (t == nullptr || f == nullptr) return;
  std::printf("  %-66s %8.0fx  (%.4g ms vs %.4g ms)\n", what, *t / *f, *t, *f);
}

void printRatios(const RatioReporter& r) {
  std::printf("\nRatios (lower is better for the growers):\n");
  perTrial(r, "SAW A=1, N=1e5: grower / hash-set walk, time per trial", "BM_SawAvoidOneGrower",
           "BM_SawAvoidOneHashSet");
  perTrial(r, "ShortRange K=1, N=1e5: grower / hash-set walk, time per trial",
           "BM_ShortRangeKuhnOneGrower", "BM_ShortRangeKuhnOneHashSet");
  std::printf("\nSpeed-ups over the text model (text time / grower time, one chain, seed 2):\n");
  speedUp(r, "SAW A=2, N=1000", "BM_SawTextModel/1000/2", "BM_SawRun/1000/2");
  speedUp(r, "SAW A=2, N=2000", "BM_SawTextModel/2000/2", "BM_SawRun/2000/2");
  speedUp(r, "SAW A=2, N=5000", "BM_SawTextModel/5000/2", "BM_SawRun/5000/2");
  speedUp(r, "SAW A=1, N=20000", "BM_SawTextModel/20000/1", "BM_SawRun/20000/1");
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
