#include "analysis/paircorrelation.h"

#include <absl/container/flat_hash_map.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "analysis/fourier.h"
#include "analysis/sizemeasure.h"

namespace polychain {

std::int64_t PairHistogram::count(std::int64_t b) const {
  if (b < 0) return 0;
  if (static_cast<std::uint64_t>(b) < bins.size()) return bins[static_cast<std::size_t>(b)];
  const auto far = std::lower_bound(farBins.begin(), farBins.end(), std::pair{b, std::int64_t{0}});
  return far != farBins.end() && far->first == b ? far->second : 0;
}

namespace {

// The bin of a distance difference: x rounded to the nearest whole number, halves to the
// even neighbour (-0.5 gives 0, so it counts in bin 0).
inline std::int64_t binOf(double x) { return static_cast<std::int64_t>(std::nearbyint(x)); }

// True when binOf(x) > b, decided exactly: b + 0.5 is a double, so comparing x with it
// gives the same answer as rounding x and comparing the result with b.
inline bool roundsAbove(double x, std::int64_t b) {
  const double half = static_cast<double>(b) + 0.5;
  return x > half || (x == half && (b & 1) != 0);
}

// The distinct distances in ascending order, each with how many entries share it.
struct DistanceGroups {
  std::vector<double> value;
  std::vector<std::int64_t> below;  // below[k]: entries less than value[k]; one extra at the end

  std::size_t size() const { return value.size(); }
  std::int64_t weight(std::size_t k) const { return below[k + 1] - below[k]; }
};

// Sorted in blocks of kSortBlock and merged pairwise, asking `keepGoing` between the pieces
// (each some milliseconds of work) so that a long list can be abandoned; nothing then.
constexpr std::size_t kSortBlock = std::size_t{1} << 17;

std::optional<DistanceGroups> groupDistances(std::span<const double> distances,
                                             const std::function<bool()>& keepGoing) {
  std::vector<double> sorted(distances.begin(), distances.end());
  const auto at = [&sorted](std::size_t i) {
    return sorted.begin() + static_cast<std::ptrdiff_t>(std::min(i, sorted.size()));
  };
  for (std::size_t from = 0; from < sorted.size(); from += kSortBlock) {
    if (!keepGoing()) return std::nullopt;
    std::sort(at(from), at(from + kSortBlock));
  }
  for (std::size_t width = kSortBlock; width < sorted.size(); width *= 2) {
    for (std::size_t from = 0; from + width < sorted.size(); from += 2 * width) {
      if (!keepGoing()) return std::nullopt;
      std::inplace_merge(at(from), at(from + width), at(from + 2 * width));
    }
  }
  DistanceGroups groups;
  groups.below.push_back(0);
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i == 0 || sorted[i] != sorted[i - 1]) {
      if (i > 0) groups.below.push_back(static_cast<std::int64_t>(i));
      groups.value.push_back(sorted[i]);
    }
  }
  groups.below.push_back(static_cast<std::int64_t>(sorted.size()));
  return groups;
}

// One worker's share of the histogram: bins below the dense limit in an array, the rest
// in a map.
struct BinSink {
  std::vector<std::int64_t> dense;
  absl::flat_hash_map<std::int64_t, std::int64_t> sparse;

  void add(std::int64_t b, std::int64_t pairs) {
    if (static_cast<std::uint64_t>(b) < dense.size()) {
      dense[static_cast<std::size_t>(b)] += pairs;
    } else if (pairs != 0) {
      sparse[b] += pairs;
    }
  }
};

// Counts the pairs (j, k) for the groups j in [first, last) against every group k.
//
// For a fixed j the bin of u[j] - u[k] does not increase as k goes up, so each bin b is a
// run of consecutive groups, from edge(b) = the first k whose bin is at most b up to
// edge(b - 1). Each edge only moves up as j goes up (a larger u[j] never gives a smaller
// difference), so the edges are kept from one j to the next and advanced, every step
// deciding with the same double difference u[j] - u[k] the plain count rounds. A group
// whose bins outnumber the groups below it is counted pair by pair instead.
class ChunkCounter {
 public:
  ChunkCounter(const DistanceGroups& groups, BinSink& sink) : m_groups(groups), m_sink(sink) {}

  void count(std::size_t first, std::size_t last) {
    m_edgesSet = false;
    for (std::size_t j = first; j < last; ++j) {
      const std::int64_t top = binOf(m_groups.value[j] - m_groups.value[0]);
      if (top + 2 < static_cast<std::int64_t>(j) + 1) {
        byBins(j, top);
      } else {
        byPairs(j);
      }
    }
  }

 private:
  void byPairs(std::size_t j) {
    const double uj = m_groups.value[j];
    const std::int64_t weight = m_groups.weight(j);
    for (std::size_t k = 0; k < m_groups.size(); ++k) {
      const std::int64_t b = binOf(uj - m_groups.value[k]);
      if (b < 0) break;  // later groups are larger still
      m_sink.add(b, weight * m_groups.weight(k));
    }
  }

  // The first group at or after `from` whose bin against uj is at most b; the groups from
  // `from` on must start with those whose bin exceeds b.
  std::size_t firstNotAbove(double uj, std::int64_t b, std::size_t from) const {
    std::size_t lo = from;
    std::size_t hi = m_groups.size();
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (roundsAbove(uj - m_groups.value[mid], b)) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }

  void byBins(std::size_t j, std::int64_t top) {
    const std::vector<double>& u = m_groups.value;
    const double uj = u[j];
    const auto slots = static_cast<std::size_t>(top) + 2;  // edge(b) at [b + 1], b = -1 .. top
    if (!m_edgesSet) {
      m_edges.assign(slots, 0);
      for (std::size_t s = 0; s < slots; ++s) {
        m_edges[s] = firstNotAbove(uj, static_cast<std::int64_t>(s) - 1, 0);
      }
      m_edgesSet = true;
    } else if (m_edges.size() < slots) {
      m_edges.resize(slots, 0);  // a new top bin starts at group 0 and moves up from there
    }

    // b = -1: the groups with a non-negative bin end here. It may run to the last group.
    std::size_t upper = m_edges[0];
    while (upper < u.size() && roundsAbove(uj - u[upper], -1)) ++upper;
    m_edges[0] = upper;

    // b >= 0: u[j] - u[j] is 0, whose bin is not above b, so no edge passes group j.
    const std::int64_t weight = m_groups.weight(j);
    const std::vector<std::int64_t>& below = m_groups.below;
    for (std::int64_t b = 0; b <= top; ++b) {
      std::size_t& edge = m_edges[static_cast<std::size_t>(b) + 1];
      std::size_t k = edge;
      while (roundsAbove(uj - u[k], b)) ++k;
      edge = k;
      m_sink.add(b, weight * (below[upper] - below[k]));
      upper = k;
    }
  }

  const DistanceGroups& m_groups;
  BinSink& m_sink;
  std::vector<std::size_t> m_edges;
  bool m_edgesSet = false;
};

}  // namespace

std::optional<PairHistogram> countDistancePairs(std::span<const double> distances,
                                                const std::function<bool(float)>& progress,
                                                const PairCountOptions& options) {
  for (const double d : distances) {
    if (!std::isfinite(d))
      throw std::invalid_argument("countDistancePairs: a distance is not finite");
  }
  PairHistogram result;
  const auto keepGoing = [&progress] { return !progress || progress(0.0F); };
  const std::optional<DistanceGroups> grouped = groupDistances(distances, keepGoing);
  if (!grouped) return std::nullopt;
  const DistanceGroups& groups = *grouped;
  const std::size_t count = groups.size();

  // Work per group, as the counter will spend it, and the chunks cut from it.
  std::vector<std::size_t> chunkStart{0};
  std::int64_t totalWork = 0;
  std::vector<std::int64_t> work(count);
  for (std::size_t j = 0; j < count; ++j) {
    const std::int64_t bins = binOf(groups.value[j] - groups.value[0]) + 2;
    work[j] = std::min(bins, static_cast<std::int64_t>(j) + 1);
    totalWork += work[j];
  }
  const std::int64_t chunkWork =
      options.chunkWork > 0 ? options.chunkWork : std::max<std::int64_t>(totalWork / 4096, 1 << 18);
  std::vector<std::int64_t> chunkWorkDone;
  std::int64_t inChunk = 0;
  for (std::size_t j = 0; j < count; ++j) {
    inChunk += work[j];
    if (inChunk >= chunkWork || j + 1 == count) {
      chunkStart.push_back(j + 1);
      chunkWorkDone.push_back(inChunk);
      inChunk = 0;
    }
  }
  const auto chunks = static_cast<std::int64_t>(chunkStart.size()) - 1;

  const std::int64_t top = count > 0 ? binOf(groups.value[count - 1] - groups.value[0]) : 0;
  const std::int64_t denseBins = std::min(top + 1, std::max<std::int64_t>(options.denseBins, 1));
  int threads = options.threads > 0 ? options.threads : omp_get_max_threads();
  threads = static_cast<int>(std::clamp<std::int64_t>(chunks, 1, threads));
  std::vector<BinSink> sinks(static_cast<std::size_t>(threads));
  for (BinSink& sink : sinks) sink.dense.assign(static_cast<std::size_t>(denseBins), 0);

  std::atomic<bool> stop{false};
  std::mutex reportMutex;
  std::int64_t workDone = 0;
  std::exception_ptr failure;

#pragma omp parallel num_threads(threads)
  {
    BinSink& sink = sinks[static_cast<std::size_t>(omp_get_thread_num())];
    ChunkCounter counter(groups, sink);
#pragma omp for schedule(dynamic, 1)
    for (std::int64_t c = 0; c < chunks; ++c) {
      if (stop.load(std::memory_order_relaxed)) continue;
      const auto at = static_cast<std::size_t>(c);
      try {
        counter.count(chunkStart[at], chunkStart[at + 1]);
        if (!progress) continue;
        const std::lock_guard lock(reportMutex);
        workDone += chunkWorkDone[at];
        if (stop.load() || workDone == totalWork) continue;
        const double percent =
            static_cast<double>(workDone) / static_cast<double>(totalWork) * 100.0;
        if (!progress(static_cast<float>(percent))) stop = true;
      } catch (...) {
        const std::lock_guard lock(reportMutex);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
  if (stop) return std::nullopt;

  // Integer sums: the same bins whatever the split among threads.
  result.bins.assign(static_cast<std::size_t>(denseBins), 0);
  absl::flat_hash_map<std::int64_t, std::int64_t> far;
  for (const BinSink& sink : sinks) {
    for (std::size_t b = 0; b < sink.dense.size(); ++b) result.bins[b] += sink.dense[b];
    for (const auto& [b, pairs] : sink.sparse) far[b] += pairs;
  }
  for (const auto& [b, pairs] : far) {
    if (pairs != 0) result.farBins.emplace_back(b, pairs);
  }
  std::sort(result.farBins.begin(), result.farBins.end());
  for (const std::int64_t pairs : result.bins) result.total += pairs;
  for (const auto& [b, pairs] : result.farBins) result.total += pairs;
  result.top = top;

  if (progress && !progress(100.0F)) return std::nullopt;
  return result;
}

std::int32_t transformLength(std::int64_t top) {
  std::int32_t length = 8;
  while (length <= top && length < 512) length *= 2;
  return length;
}

Correlation correlationOf(const PairHistogram& histogram) {
  const std::int32_t length = transformLength(histogram.top);
  const auto bins = static_cast<std::size_t>(length);

  // g(b) for b = 0 .. L; the factor comes from g0, not from a replaced bin 0.
  std::vector<double> g(bins + 1, 0.0);
  const double total = static_cast<double>(histogram.total);
  if (histogram.total > 0) {
    const double g0 = static_cast<double>(histogram.count(0)) * (1.0 / total);
    const double factor = 1.0 / (total * g0);
    for (std::size_t b = 0; b <= bins; ++b) {
      g[b] = factor * static_cast<double>(histogram.count(static_cast<std::int64_t>(b)));
    }
  }

  const std::vector<double> imagIn(bins + 1, 0.0);
  std::vector<double> realOut(bins + 1, 0.0);
  std::vector<double> imagOut(bins + 1, 0.0);
  Fourier(length, g, imagIn, realOut, imagOut, false);  // lengths 8 to 512 are valid

  Correlation correlation;
  g.resize(bins);
  correlation.gofr = std::move(g);
  correlation.gofq.resize(bins / 2 + 1);
  for (std::size_t k = 0; k <= bins / 2; ++k) {
    correlation.gofq[k] = imagOut[k] * imagOut[k] + realOut[k] * realOut[k];
  }
  return correlation;
}

std::optional<Correlation> gorCalc(std::span<const Point> sites,
                                   const std::function<bool(float)>& progress,
                                   const PairCountOptions& options) {
  std::vector<double> distances;
  distances.reserve(sites.size());
  for (const Point& p : sites) distances.push_back(distanceFromOrigin(p));
  const std::optional<PairHistogram> histogram = countDistancePairs(distances, progress, options);
  if (!histogram) return std::nullopt;
  return correlationOf(*histogram);
}

}  // namespace polychain
