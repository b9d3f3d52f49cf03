// The pair count of g(r) against the plain double loop over every ordered pair, on one
// free-walk chain of 10^5 steps. The plain loop is timed on every 50th row j (2% of the
// pairs) and scaled up by the rows it skipped; the full plain histogram is computed once
// before timing and must equal the fast count's, bin for bin.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "analysis/paircorrelation.h"
#include "analysis/sizemeasure.h"
#include "chain/lattice.h"
#include "chain/random.h"

namespace {

using polychain::PairHistogram;

constexpr std::int32_t kSteps = 100'000;
constexpr std::size_t kRowStride = 50;

const std::vector<double>& chainDistances() {
  static const std::vector<double> distances = [] {
    polychain::RandomSource random(12345);
    polychain::Point p;
    std::vector<double> d{polychain::distanceFromOrigin(p)};
    for (std::int32_t i = 0; i < kSteps; ++i) {
      polychain::ChooseDir(random, p, 1);
      d.push_back(polychain::distanceFromOrigin(p));
    }
    return d;
  }();
  return distances;
}

struct PlainCount {
  std::vector<double> h = std::vector<double>(100001, 0.0);
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
        out.h[static_cast<std::size_t>(b)] += 1;
        out.total += 1;
        if (out.top < b) out.top = static_cast<std::int32_t>(b);
      }
    }
  }
}

PairHistogram fastCount(int threads) {
  polychain::PairCountOptions options;
  options.threads = threads;
  return *polychain::countDistancePairs(chainDistances(), nullptr, options);
}

// Seconds the whole plain loop takes, estimated from every kRowStride-th row.
double plainSecondsEstimate() {
  static const double seconds = [] {
    PlainCount sample;
    const auto start = std::chrono::steady_clock::now();
    plainRows(chainDistances(), 0, kRowStride, sample);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(sample.total);
    return took.count() * static_cast<double>(kRowStride);
  }();
  return seconds;
}

void checkSameHistogram() {
  const std::vector<double>& d = chainDistances();
  std::vector<PlainCount> parts(kRowStride);
#pragma omp parallel for schedule(dynamic, 1)
  for (std::size_t first = 0; first < kRowStride; ++first)
    plainRows(d, first, kRowStride, parts[first]);
  PlainCount plain;
  for (const PlainCount& part : parts) {
    for (std::size_t b = 0; b < plain.h.size(); ++b) plain.h[b] += part.h[b];
    plain.total += part.total;
    plain.top = std::max(plain.top, part.top);
  }
  for (const int threads : {1, 2}) {
    const PairHistogram fast = fastCount(threads);
    bool same = fast.top == plain.top && static_cast<double>(fast.total) == plain.total;
    for (std::size_t b = 0; b < plain.h.size() && same; ++b) {
      same = static_cast<double>(fast.count(static_cast<std::int64_t>(b))) == plain.h[b];
    }
    if (!same) {
      std::fprintf(stderr, "fast pair count (%d threads) differs from the plain loop\n", threads);
      std::exit(1);
    }
  }
  std::fprintf(stderr, "fast pair count equals the plain loop: %zu sites, top %d, %.0f pairs\n",
               d.size(), plain.top, plain.total);
}

void BM_PlainLoopEstimate(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(plainSecondsEstimate());
  state.counters["pairs"] = static_cast<double>(chainDistances().size() * chainDistances().size());
}
BENCHMARK(BM_PlainLoopEstimate)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_FastPairCount(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const double plain = plainSecondsEstimate();
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    PairHistogram h = fastCount(threads);
    benchmark::DoNotOptimize(h.total);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["times_faster_than_plain"] =
      plain / (seconds / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_FastPairCount)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  checkSameHistogram();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
