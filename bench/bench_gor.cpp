// The pair count of g(r) against two baselines in this binary, on free walks of 10^4, 10^5
// and 10^6 steps and a self-avoiding chain of 10^5 steps:
//  - the edge walk (PairCountMethod::EdgeWalk), bin by bin over the distinct distances, the
//    method the automatic choice replaces for chains: ratio edge walk / automatic, at one
//    and two threads;
//  - the plain double loop over every ordered pair, estimated at 10^5 steps from every 50th
//    row j (2% of the pairs) and scaled up by the rows it skipped.
// Before timing, the automatic count must equal the edge walk's for every chain, and at
// 10^4 and 10^5 steps the full plain histogram, bin for bin.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "analysis/paircorrelation.h"
#include "analysis/sizemeasure.h"
#include "chain/growth.h"
#include "chain/lattice.h"
#include "chain/random.h"
#include "ratioreporter.h"

namespace {

using polychain::PairCountMethod;
using polychain::PairHistogram;

constexpr std::size_t kRowStride = 50;

std::vector<double> distancesOf(const std::vector<polychain::Point>& sites) {
  std::vector<double> d;
  d.reserve(sites.size());
  for (const polychain::Point& p : sites) d.push_back(polychain::distanceFromOrigin(p));
  return d;
}

// Chain 0 to 2: free walks of 10^4, 10^5, 10^6 steps; chain 3: a self-avoiding walk of
// 10^5 steps (a seed whose chain finishes).
const std::vector<double>& chainDistances(int chain) {
  static const std::vector<std::vector<double>> chains = [] {
    std::vector<std::vector<double>> all;
    for (const std::int32_t steps : {10'000, 100'000, 1'000'000}) {
      polychain::RandomSource random(12345);
      std::vector<polychain::Point> sites{polychain::Point{}};
      polychain::Point p;
      for (std::int32_t i = 0; i < steps; ++i) {
        polychain::ChooseDir(random, p, 1);
        sites.push_back(p);
      }
      all.push_back(distancesOf(sites));
    }
    LetGrow watch;
    const auto grower = polychain::makeGrower(polychain::SawSettings{}, 100'000);
    polychain::RandomSource random(3);
    polychain::TrialCounter counter = watch.counter();
    std::vector<polychain::Point> sites;
    grower->grow(random, sites, counter);
    all.push_back(distancesOf(sites));
    return all;
  }();
  return chains[static_cast<std::size_t>(chain)];
}

const char* const kChainNames[] = {"walk 1e4", "walk 1e5", "walk 1e6", "saw 1e5"};

PairHistogram count(int chain, PairCountMethod method, int threads) {
  polychain::PairCountOptions options;
  options.threads = threads;
  options.method = method;
  return *polychain::countDistancePairs(chainDistances(chain), nullptr, options);
}

struct PlainCount {
  std::vector<double> h;
  double total = 0;
  std::int32_t top = 0;
};

// Rows j = first, first + stride, ... of the plain loop, every k for each.
void plainRows(const std::vector<double>& d, std::size_t first, std::size_t stride,
               PlainCount& out) {
  for (std::size_t j = first; j < d.size(); j += stride) {
    for (std::size_t k = 0; k < d.size(); ++k) {
      const double b = std::nearbyint(d[j] - d[k]);
      if (b >= 0) {
        const auto bin = static_cast<std::size_t>(b);
        if (bin >= out.h.size()) out.h.resize(bin + 1, 0.0);
        out.h[bin] += 1;
        out.total += 1;
        if (out.top < b) out.top = static_cast<std::int32_t>(b);
      }
    }
  }
}

bool samePlain(const std::vector<double>& d, const PairHistogram& fast) {
  std::vector<PlainCount> parts(kRowStride);
#pragma omp parallel for schedule(dynamic, 1)
  for (std::size_t first = 0; first < kRowStride; ++first)
    plainRows(d, first, kRowStride, parts[first]);
  PlainCount plain;
  for (const PlainCount& part : parts) {
    if (plain.h.size() < part.h.size()) plain.h.resize(part.h.size(), 0.0);
    for (std::size_t b = 0; b < part.h.size(); ++b) plain.h[b] += part.h[b];
    plain.total += part.total;
    plain.top = std::max(plain.top, part.top);
  }
  bool same = fast.top == plain.top && static_cast<double>(fast.total) == plain.total;
  for (std::size_t b = 0; b < plain.h.size() && same; ++b) {
    same = static_cast<double>(fast.count(static_cast<std::int64_t>(b))) == plain.h[b];
  }
  return same;
}

void checkSameHistograms() {
  for (int chain = 0; chain < 4; ++chain) {
    const PairHistogram fast = count(chain, PairCountMethod::Automatic, 2);
    bool same = fast == count(chain, PairCountMethod::EdgeWalk, 2) &&
                fast == count(chain, PairCountMethod::Automatic, 1);
    if (same && chain < 2) same = samePlain(chainDistances(chain), fast);
    if (!same) {
      std::fprintf(stderr, "%s: the pair counts differ\n", kChainNames[chain]);
      std::exit(1);
    }
    std::fprintf(stderr, "%s: %zu sites, top %lld, %lld pairs, the same by every method%s\n",
                 kChainNames[chain], chainDistances(chain).size(), static_cast<long long>(fast.top),
                 static_cast<long long>(fast.total), chain < 2 ? " and the plain loop" : "");
  }
}

void BM_PlainLoopEstimate(benchmark::State& state) {
  const std::vector<double>& d = chainDistances(1);
  for (auto _ : state) {
    PlainCount sample;
    const auto start = std::chrono::steady_clock::now();
    plainRows(d, 0, kRowStride, sample);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(sample.total);
    state.SetIterationTime(took.count() * static_cast<double>(kRowStride));
  }
}
BENCHMARK(BM_PlainLoopEstimate)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Args: chain, threads.
void BM_EdgeWalk(benchmark::State& state) {
  const auto chain = static_cast<int>(state.range(0));
  for (auto _ : state) {
    PairHistogram h = count(chain, PairCountMethod::EdgeWalk, static_cast<int>(state.range(1)));
    benchmark::DoNotOptimize(h.total);
  }
  state.SetLabel(kChainNames[chain]);
}
BENCHMARK(BM_EdgeWalk)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 2}})
    ->MinTime(0.5)
    ->Unit(benchmark::kMillisecond);

void BM_Automatic(benchmark::State& state) {
  const auto chain = static_cast<int>(state.range(0));
  for (auto _ : state) {
    PairHistogram h = count(chain, PairCountMethod::Automatic, static_cast<int>(state.range(1)));
    benchmark::DoNotOptimize(h.total);
  }
  state.SetLabel(kChainNames[chain]);
}
BENCHMARK(BM_Automatic)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 2}})
    ->MinTime(0.5)
    ->Unit(benchmark::kMillisecond);

void printRatios(const RatioReporter& reporter) {
  std::printf("\nThe pair count, edge walk / automatic (times faster):\n");
  for (int chain = 0; chain < 4; ++chain) {
    for (const int threads : {1, 2}) {
      const std::string args = "/" + std::to_string(chain) + "/" + std::to_string(threads);
      const double* edge = reporter.time("BM_EdgeWalk" + args);
      const double* automatic = reporter.time("BM_Automatic" + args);
      if (edge == nullptr || automatic == nullptr) continue;
      std::printf("  %-9s %d thread%s: %8.1f  (%.1f ms against %.1f ms)\n", kChainNames[chain],
                  threads, threads == 1 ? " " : "s", *edge / *automatic, *automatic, *edge);
    }
  }
  const double* plain = reporter.time("BM_PlainLoopEstimate");
  const double* automatic = reporter.time("BM_Automatic/1/1");
  if (plain != nullptr && automatic != nullptr) {
    std::printf("The plain loop / automatic at 10^5 steps, one thread: %.0f\n",
                *plain / *automatic);
  }
}

}  // namespace

int main(int argc, char** argv) {
  checkSameHistograms();
  return runBenchmarksWithRatios(argc, argv, printRatios);
}
