// How far a pivot walker's start by pseudo-dimerization lies from equilibrium, and how many
// attempted pivots take it there: the data behind the default burn-in of a pivot run.
//
// For each N, kWalkers walkers (the streams of a run of seed 2024) start from
// PivotWalk::initialised and make 2^k >= kLength N attempted pivots, measuring after every
// attempt R^2, Rg^2 and M^2, the squared distance of the middle site from the two ends (the
// mean of the halves' R^2). The attempts are binned by [2^(k-1), 2^k) (bin 0: the start); each
// bin's mean over all walkers is given relative to the walkers' mean over the last bin (the
// equilibrium), with its standard error from the spread of the walkers' own bin means.
// --benchmark_filter=BM_PivotStart/1000$ and so on runs fewer.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chain/pivot.h"
#include "ratioreporter.h"

namespace {

using namespace polychain;

constexpr int kObservables = 3;
const char* const kNames[kObservables] = {"R^2", "Rg^2", "M^2"};
constexpr int kReferenceSnapshots = 8;

double squared(const Point& p) {
  const double x = p.x, y = p.y, z = p.z;
  return x * x + y * y + z * z;
}

// Each walker's means: of each observable over each bin of attempts, and of the squared
// distance between sites m = 2^j apart over all such pairs, at each bin's end.
struct Relaxation {
  int walkers = 0;
  int bins = 0;
  int scales = 0;
  std::vector<double> means;      // [walker][bin][observable]
  std::vector<double> distances;  // [walker][bin][scale]; the last bin: the reference
  double& mean(int walker, int bin, int k) {
    return means[(static_cast<std::size_t>(walker) * static_cast<std::size_t>(bins) +
                  static_cast<std::size_t>(bin)) *
                     kObservables +
                 static_cast<std::size_t>(k)];
  }
  double& distance(int walker, int bin, int j) {
    return distances[(static_cast<std::size_t>(walker) * static_cast<std::size_t>(bins) +
                      static_cast<std::size_t>(bin)) *
                         static_cast<std::size_t>(scales) +
                     static_cast<std::size_t>(j)];
  }
};
std::map<std::int32_t, Relaxation> g_relaxation;

// Adds the mean squared distance of sites 2^j apart, for each scale j, to `out`, times `weight`.
void addDistances(const std::vector<Point>& sites, int scales, double weight, double* out) {
  for (int j = 0; j < scales; ++j) {
    const std::size_t m = std::size_t{1} << j;
    double sum = 0.0;
    for (std::size_t i = 0; i + m < sites.size(); ++i) {
      const Point& a = sites[i];
      const Point& b = sites[i + m];
      sum += squared(Point{b.x - a.x, b.y - a.y, b.z - a.z});
    }
    out[j] += weight * sum / static_cast<double>(sites.size() - m);
  }
}

void BM_PivotStart(benchmark::State& state) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  Relaxation r;
  r.walkers = static_cast<int>(state.range(1));
  r.bins = 1;
  while ((std::int64_t{1} << (r.bins - 1)) < state.range(2) * steps) ++r.bins;
  while ((std::int64_t{1} << r.scales) <= steps) ++r.scales;
  r.means.assign(static_cast<std::size_t>(r.walkers * r.bins * kObservables), 0.0);
  r.distances.assign(static_cast<std::size_t>(r.walkers * r.bins * r.scales), 0.0);
  std::vector<RandomSource> streams;
  RandomSource stream(2024);
  for (int w = 0; w < r.walkers; ++w, stream.jump()) streams.push_back(stream);
  const std::int32_t middle = steps / 2;
  for (auto _ : state) {
#pragma omp parallel for schedule(dynamic, 1)
    for (int w = 0; w < r.walkers; ++w) {
      RandomSource random = streams[static_cast<std::size_t>(w)];
      std::optional<PivotWalk> walk = PivotWalk::initialised(steps, random, [] { return true; });
      std::vector<Point> sites;
      double value[kObservables];
      const auto measure = [&] {
        const Point end = walk->end();
        const Point mid = walk->site(middle);
        value[0] = squared(end);
        value[1] = walk->squaredGyrationRadius();
        value[2] = (squared(mid) + squared(Point{end.x - mid.x, end.y - mid.y, end.z - mid.z})) / 2;
      };
      measure();
      for (int k = 0; k < kObservables; ++k) r.mean(w, 0, k) = value[k];
      walk->sites(sites);
      addDistances(sites, r.scales, 1.0, &r.distance(w, 0, 0));
      std::int64_t t = 1;
      for (int b = 1; b < r.bins; ++b) {
        const std::int64_t end = std::int64_t{1} << b;
        const std::int64_t count = end - t;
        const bool last = b == r.bins - 1;
        const std::int64_t snapshotEvery = last ? count / kReferenceSnapshots : count;
        double sum[kObservables] = {0, 0, 0};
        for (std::int64_t done = 1; t < end; ++t, ++done) {
          if (walk->attempt(random)) measure();
          for (int k = 0; k < kObservables; ++k) sum[k] += value[k];
          if (done % snapshotEvery == 0 &&
              done / snapshotEvery <= (last ? kReferenceSnapshots : 1)) {
            walk->sites(sites);
            addDistances(sites, r.scales, last ? 1.0 / kReferenceSnapshots : 1.0,
                         &r.distance(w, b, 0));
          }
        }
        for (int k = 0; k < kObservables; ++k) {
          r.mean(w, b, k) = sum[k] / static_cast<double>(count);
        }
      }
    }
  }
  g_relaxation[steps] = r;
}
BENCHMARK(BM_PivotStart)
    ->Args({1000, 4096, 16})
    ->Args({4000, 2048, 16})
    ->Args({16000, 512, 8})
    ->Args({64000, 128, 8})
    ->Args({256000, 32, 4})
    ->Args({1000000, 16, 4})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

// The walkers' mean of x(walker) and its standard error.
template <class Value>
std::pair<double, double> overWalkers(int walkers, const Value& x) {
  double sum = 0.0, square = 0.0;
  for (int w = 0; w < walkers; ++w) {
    const double v = x(w);
    sum += v;
    square += v * v;
  }
  const double mean = sum / walkers;
  return {mean, std::sqrt(std::max(0.0, square / walkers - mean * mean) / (walkers - 1))};
}

std::string range(int bin, std::int32_t steps) {
  char text[64];
  if (bin == 0) return "0 (start)";
  std::snprintf(text, sizeof text, "%lld-%lld (%.3g N)",
                static_cast<long long>(std::int64_t{1} << (bin - 1)),
                static_cast<long long>((std::int64_t{1} << bin) - 1),
                static_cast<double>(std::int64_t{1} << bin) / steps);
  return text;
}

void printRelaxation(const RatioReporter&) {
  for (auto& [steps, r] : g_relaxation) {
    const int last = r.bins - 1;
    std::printf(
        "\nN = %d, %d walkers: mean over each bin of attempts / equilibrium - 1, in per "
        "cent (+/- error)\n  %-24s",
        steps, r.walkers, "attempts");
    for (const char* name : kNames) std::printf("  %-18s", name);
    std::printf("\n");
    double reference[kObservables];
    for (int k = 0; k < kObservables; ++k) {
      reference[k] = overWalkers(r.walkers, [&](int w) { return r.mean(w, last, k); }).first;
    }
    for (int b = 0; b < last; ++b) {
      std::printf("  %-24s", range(b, steps).c_str());
      for (int k = 0; k < kObservables; ++k) {
        const auto [mean, se] =
            overWalkers(r.walkers, [&](int w) { return r.mean(w, b, k) / reference[k] - 1.0; });
        std::printf("  %+7.2f +/- %5.2f  ", 100 * mean, 100 * se);
      }
      std::printf("\n");
    }
    std::printf(
        "  mean squared distance of sites m apart at the bin's end / equilibrium - 1, "
        "in per cent:\n  %-24s",
        "attempts");
    const int first = 6;
    for (int j = first; j < r.scales; j += 2) std::printf("  m=%-14d", 1 << j);
    std::printf("\n");
    for (int b = 0; b < last; ++b) {
      std::printf("  %-24s", range(b, steps).c_str());
      for (int j = first; j < r.scales; j += 2) {
        const double ref =
            overWalkers(r.walkers, [&](int w) { return r.distance(w, last, j); }).first;
        const auto [mean, se] =
            overWalkers(r.walkers, [&](int w) { return r.distance(w, b, j) / ref - 1.0; });
        std::printf("  %+6.2f +/- %5.2f", 100 * mean, 100 * se);
      }
      std::printf("\n");
    }
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRelaxation); }
