#include "analysis/paircorrelation.h"

#include <absl/container/flat_hash_map.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
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

// Distances a linear pass takes between two questions to `progress` (some milliseconds).
constexpr std::size_t kPassPiece = std::size_t{1} << 20;

// The work of one count shared by its threads: each piece of work done goes to `progress`
// as a percentage, one call at a time; a false answer or an exception stops the count.
class SharedWork {
 public:
  SharedWork(const std::function<bool(float)>& progress, std::int64_t total)
      : m_progress(progress), m_total(std::max<std::int64_t>(total, 1)) {}

  bool stopped() const { return m_stop.load(std::memory_order_relaxed); }

  // Never reports the end: the caller reports 100 once the result is whole.
  void done(std::int64_t work) {
    if (!m_progress) return;
    const std::lock_guard lock(m_mutex);
    m_done += work;
    if (m_stop.load() || m_done >= m_total) return;
    const double percent = static_cast<double>(m_done) / static_cast<double>(m_total) * 100.0;
    if (!m_progress(static_cast<float>(percent))) m_stop = true;
  }

  // Inside a catch block: keeps the first exception for rethrow().
  void fail() {
    const std::lock_guard lock(m_mutex);
    if (!m_failure) m_failure = std::current_exception();
    m_stop = true;
  }

  void rethrow() const {
    if (m_failure) std::rethrow_exception(m_failure);
  }

 private:
  const std::function<bool(float)>& m_progress;
  const std::int64_t m_total;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::int64_t m_done = 0;
  std::exception_ptr m_failure;
};

int threadsFor(const PairCountOptions& options, std::size_t tasks) {
  const int wanted = options.threads > 0 ? options.threads : omp_get_max_threads();
  return static_cast<int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(tasks), 1, wanted));
}

// The histogram of bins 0 to `top` split at the dense limit.
PairHistogram histogramOf(const std::vector<std::int64_t>& counts, std::int64_t top,
                          const PairCountOptions& options) {
  PairHistogram result;
  const std::int64_t denseBins = std::min(top + 1, std::max<std::int64_t>(options.denseBins, 1));
  result.bins.assign(counts.begin(), counts.begin() + denseBins);
  for (std::int64_t b = denseBins; b <= top; ++b) {
    const std::int64_t pairs = counts[static_cast<std::size_t>(b)];
    if (pairs != 0) result.farBins.emplace_back(b, pairs);
  }
  for (const std::int64_t pairs : counts) result.total += pairs;
  result.top = top;
  return result;
}

// ---------------------------------------------------------------------------------------------
// The edge walk: over the distinct distances in ascending order, bin by bin, about
// (distinct distances) x (largest bin) steps of a few nanoseconds. It takes any finite
// distances and keeps far bins in a map, so it counts what the cell sweep does not take.

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

std::optional<PairHistogram> countByEdgeWalk(std::span<const double> distances,
                                             const std::function<bool(float)>& progress,
                                             const PairCountOptions& options) {
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
  const int threads = threadsFor(options, static_cast<std::size_t>(chunks));
  std::vector<BinSink> sinks(static_cast<std::size_t>(threads));
  for (BinSink& sink : sinks) sink.dense.assign(static_cast<std::size_t>(denseBins), 0);

  SharedWork shared(progress, totalWork);
#pragma omp parallel num_threads(threads)
  {
    BinSink& sink = sinks[static_cast<std::size_t>(omp_get_thread_num())];
    ChunkCounter counter(groups, sink);
#pragma omp for schedule(dynamic, 1)
    for (std::int64_t c = 0; c < chunks; ++c) {
      if (shared.stopped()) continue;
      const auto at = static_cast<std::size_t>(c);
      try {
        counter.count(chunkStart[at], chunkStart[at + 1]);
        shared.done(chunkWorkDone[at]);
      } catch (...) {
        shared.fail();
      }
    }
  }
  shared.rethrow();
  if (shared.stopped()) return std::nullopt;

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
  return result;
}

// ---------------------------------------------------------------------------------------------
// The cell sweep. A distance u >= 0 lies in the half-unit cell a = floor(2u) at the offset
// o = u - a/2 in [0, 1/2), both exact. For a pair in cells a_j >= a_k the difference is
// (a_j - a_k)/2 + (o_j - o_k): at an even cell lag 2D it rounds to D; at an odd lag 2D + 1
// to D + 1 when o_j > o_k and to D otherwise. So the histogram follows from the pairs at
// every cell lag (a correlation of the cells' weights) and, for the odd lags, the pairs
// whose upper distance has the larger offset: visiting the distances by ascending offset,
// each adds its weight times the weights already visited in the cells an odd lag below it,
// one contiguous multiply-add over about u cells. In all about (distinct distances) x (mean
// distance) + (cells)^2 / 2 vectorised multiply-adds.
//
// The double difference u_j - u_k can round otherwise than its exact value only within an
// ulp of a half: for two offsets within a margin of each other at an odd lag, or for an
// offset within the margin of 0 and one within it of 1/2 at an even lag. The first pairs
// are tested one by one as the sweep meets them (the distances visited as one cluster);
// the second are tested one by one afterwards and moved to their bins.

struct CellPlace {
  std::int64_t cell = 0;
  double offset = 0.0;
};

// For 0 <= u < 2^62: truncation is the floor there (and far cheaper than std::floor without
// SSE4.1); -0 goes to cell 0 at offset -0, which compares as 0.
inline CellPlace cellPlaceOf(double u) {
  const auto cell = static_cast<std::int64_t>(2.0 * u);
  return {cell, u - 0.5 * static_cast<double>(cell)};
}

// The distinct distances by ascending offset (then value) and how many entries share each,
// with the weights of the cells and the multiply-adds their sweep takes.
struct SweepElements {
  std::vector<double> value;
  std::vector<std::uint32_t> weight;
  std::vector<std::uint32_t> cellWeight;
  std::int64_t sweepWork = 0;

  std::size_t size() const { return value.size(); }
  CellPlace place(std::size_t k) const { return cellPlaceOf(value[k]); }

  // Takes the distances in order: equal ones one after the other.
  void add(double u) {
    const std::int64_t cell = cellPlaceOf(u).cell;
    ++cellWeight[static_cast<std::size_t>(cell)];
    if (!value.empty() && value.back() == u) {
      ++weight.back();
      return;
    }
    value.push_back(u);
    weight.push_back(1);
    sweepWork += cell / 2 + 1;
  }
};

// Buckets of offset for the first pass of the sort: few enough that counting and
// scattering stay in the cache.
constexpr std::size_t kOffsetBuckets = 2048;
constexpr double kBucketScale = 2.0 * kOffsetBuckets;  // offsets in [0, 1/2) to [0, buckets)

// Sorts the values of one bucket of offset by (offset, value) and appends them to the
// elements, equal values as one. A bucket of up to kSubBucketLimit values is scattered once
// more, into about one sub-bucket a value which are then sorted on their own; a larger one
// (many equal offsets) is sorted in place.
class BucketSorter {
 public:
  static constexpr std::size_t kSubBucketLimit = std::size_t{1} << 16;

  void sortInto(std::span<double> values, std::size_t bucket, SweepElements& elements) {
    if (values.size() > kSubBucketLimit) {
      std::sort(values.begin(), values.end(), [](double a, double b) {
        const double offsetA = cellPlaceOf(a).offset;
        const double offsetB = cellPlaceOf(b).offset;
        return offsetA < offsetB || (offsetA == offsetB && a < b);
      });
      for (const double u : values) elements.add(u);
      return;
    }
    const std::size_t subBuckets = std::bit_ceil(std::max<std::size_t>(values.size(), 1));
    const double scale = kBucketScale * static_cast<double>(subBuckets);
    const std::size_t first = bucket * subBuckets;
    m_start.assign(subBuckets + 1, 0);
    m_keys.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      m_keys[i] = static_cast<std::uint32_t>(
          static_cast<std::size_t>(cellPlaceOf(values[i]).offset * scale) - first);
      ++m_start[m_keys[i] + 1];
    }
    for (std::size_t b = 0; b < subBuckets; ++b) m_start[b + 1] += m_start[b];
    m_sorted.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      m_sorted[m_start[m_keys[i]]++] = {cellPlaceOf(values[i]).offset, values[i]};
    }
    // m_start[b] now ends sub-bucket b.
    std::uint32_t from = 0;
    for (std::size_t b = 0; b < subBuckets; ++b) {
      const std::uint32_t to = m_start[b];
      if (to - from > 1) std::sort(m_sorted.begin() + from, m_sorted.begin() + to);
      from = to;
    }
    for (const auto& [offset, u] : m_sorted) elements.add(u);
  }

 private:
  std::vector<std::uint32_t> m_start;
  std::vector<std::uint32_t> m_keys;
  std::vector<std::pair<double, double>> m_sorted;  // (offset, value)
};

// The elements of a sweep over `cells` cells: the distances scattered into buckets of
// offset, each bucket then sorted; nothing when `keepGoing` answers false.
std::optional<SweepElements> sweepElements(std::span<const double> distances, std::size_t cells,
                                           const std::function<bool()>& keepGoing) {
  const std::size_t n = distances.size();
  const auto bucketOf = [](double u) {
    return static_cast<std::size_t>(cellPlaceOf(u).offset * kBucketScale);
  };

  std::vector<std::size_t> start(kOffsetBuckets + 1, 0);
  for (std::size_t from = 0; from < n; from += kPassPiece) {
    if (!keepGoing()) return std::nullopt;
    for (std::size_t i = from; i < std::min(n, from + kPassPiece); ++i) {
      ++start[bucketOf(distances[i]) + 1];
    }
  }
  for (std::size_t b = 0; b < kOffsetBuckets; ++b) start[b + 1] += start[b];

  const auto scattered = std::make_unique_for_overwrite<double[]>(n);
  {
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t from = 0; from < n; from += kPassPiece) {
      if (!keepGoing()) return std::nullopt;
      for (std::size_t i = from; i < std::min(n, from + kPassPiece); ++i) {
        scattered[next[bucketOf(distances[i])]++] = distances[i];
      }
    }
  }

  SweepElements elements;
  elements.value.reserve(n);
  elements.weight.reserve(n);
  elements.cellWeight.assign(cells, 0);
  BucketSorter sorter;
  std::size_t sortedUpTo = 0;
  for (std::size_t b = 0; b < kOffsetBuckets; ++b) {
    if (start[b + 1] - sortedUpTo >= kPassPiece) {
      if (!keepGoing()) return std::nullopt;
      sortedUpTo = start[b + 1];
    }
    sorter.sortInto(std::span(scattered.get() + start[b], start[b + 1] - start[b]), b, elements);
  }
  return elements;
}

// to[i] += times * from[i] for i < count, exact: every product and sum must stay below
// 2^64, or 2^32 for the narrow one (which does twice the lanes an instruction).
__attribute__((target_clones("avx2", "default"))) void addMultiple(std::uint64_t* to,
                                                                   const std::uint32_t* from,
                                                                   std::size_t count,
                                                                   std::uint32_t times) {
  for (std::size_t i = 0; i < count; ++i) {
    to[i] += static_cast<std::uint64_t>(times) * static_cast<std::uint64_t>(from[i]);
  }
}

__attribute__((target_clones("avx2", "default"))) void addMultipleNarrow(std::uint32_t* to,
                                                                         const std::uint32_t* from,
                                                                         std::size_t count,
                                                                         std::uint32_t times) {
  for (std::size_t i = 0; i < count; ++i) to[i] += times * from[i];
}

// What the threads of a sweep share: the elements and their cells, and the counts they add
// to (each count by integer additions, so the same whatever the threads and their order).
struct SweepShared {
  const SweepElements& elements;
  double margin;  // offsets closer than this decide nothing
  std::uint32_t heaviestCell = 0;
  std::vector<std::uint64_t> lags;  // lags[L]: pairs at cell lag L
  std::vector<std::uint64_t> up;    // up[D]: pairs at cell lag 2D + 1 rounding to D + 1

  std::size_t cells() const { return elements.cellWeight.size(); }
  std::size_t halves() const { return cells() / 2 + 1; }
};

// The pairs at the cell lags [first, last): each task its own lags, so no thread's counts
// meet another's.
void addLags(SweepShared& shared, std::size_t first, std::size_t last) {
  const std::vector<std::uint32_t>& cellWeight = shared.elements.cellWeight;
  const std::size_t cells = cellWeight.size();
  for (std::size_t b = 0; b + first < cells; ++b) {
    if (cellWeight[b] == 0) continue;
    const std::size_t end = std::min(last, cells - b);
    addMultiple(shared.lags.data() + first, cellWeight.data() + b + first, end - first,
                cellWeight[b]);
  }
}

// One thread's sweep: the weights of the distances it has visited by cell, and its counts
// upwards in 32 bits until they could overflow, then added to the shared ones.
class SweepCounter {
 public:
  explicit SweepCounter(SweepShared& shared)
      : m_shared(shared), m_halves(shared.halves()), m_upNarrow(m_halves, 0) {
    m_seen[0].assign(m_halves, 0);
    m_seen[1].assign(m_halves, 0);
  }

  // Sweeps the elements [first, last), which start and end a cluster and come after any this
  // counter swept before.
  void sweep(std::size_t first, std::size_t last) {
    const SweepElements& elements = m_shared.elements;
    for (; m_visited < first; ++m_visited) visit(m_visited);
    std::size_t i = first;
    while (i < last) {
      std::size_t end = i + 1;
      while (end < last &&
             elements.place(end).offset - elements.place(end - 1).offset <= m_shared.margin) {
        ++end;
      }
      for (std::size_t k = i; k < end; ++k) countUp(k);
      if (end - i > 1) countCluster(i, end);
      for (std::size_t k = i; k < end; ++k) visit(k);
      i = end;
    }
    m_visited = last;
  }

  void flush() {
    for (std::size_t d = 0; d < m_halves; ++d) {
      if (m_upNarrow[d] != 0) addShared(d, m_upNarrow[d]);
    }
    std::fill(m_upNarrow.begin(), m_upNarrow.end(), 0);
    m_narrowRoom = kNarrowRoom;
  }

 private:
  // The pairs of element k with the visited elements in the cells an odd lag below it; a
  // weight too heavy for the room left goes in several parts.
  void countUp(std::size_t k) {
    const std::int64_t cell = m_shared.elements.place(k).cell;
    const std::int64_t odd = cell & 1;
    // The highest such cell is cell - 1; its half index:
    const std::int64_t highest = (cell >> 1) - 1 + odd;
    if (highest < 0) return;
    const std::uint32_t* seen = m_seen[static_cast<std::size_t>(1 - odd)].data() +
                                (m_halves - 1 - static_cast<std::size_t>(highest));
    const auto count = static_cast<std::size_t>(highest) + 1;
    std::uint32_t weight = m_shared.elements.weight[k];
    const std::uint64_t heaviest = std::max<std::uint32_t>(m_shared.heaviestCell, 1);
    while (weight > 0) {
      if (m_narrowRoom < heaviest) flush();
      const auto part =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(weight, m_narrowRoom / heaviest));
      addMultipleNarrow(m_upNarrow.data(), seen, count, part);
      m_narrowRoom -= part * heaviest;
      weight -= part;
    }
  }

  // Cells by parity, half index h at [halves - 1 - h]: reversed, so that the cells below a
  // distance are read upwards.
  void visit(std::size_t k) {
    const std::int64_t cell = m_shared.elements.place(k).cell;
    m_seen[static_cast<std::size_t>(cell & 1)]
          [m_halves - 1 - static_cast<std::size_t>(cell >> 1)] += m_shared.elements.weight[k];
  }

  // Offsets this close decide nothing: each pair at an odd lag within the cluster is rounded
  // as a double.
  void countCluster(std::size_t first, std::size_t last) {
    const SweepElements& elements = m_shared.elements;
    m_byParity[0].clear();
    m_byParity[1].clear();
    for (std::size_t k = first; k < last; ++k) {
      m_byParity[static_cast<std::size_t>(elements.place(k).cell & 1)].push_back(k);
    }
    for (const std::size_t x : m_byParity[0]) {
      for (const std::size_t y : m_byParity[1]) {
        const std::int64_t cellX = elements.place(x).cell;
        const std::int64_t cellY = elements.place(y).cell;
        const double difference = cellX > cellY ? elements.value[x] - elements.value[y]
                                                : elements.value[y] - elements.value[x];
        const std::int64_t d = (std::abs(cellX - cellY) - 1) / 2;
        if (binOf(difference) == d + 1) {
          addShared(static_cast<std::size_t>(d),
                    std::uint64_t{elements.weight[x]} * elements.weight[y]);
        }
      }
    }
  }

  void addShared(std::size_t d, std::uint64_t pairs) {
    std::atomic_ref<std::uint64_t>(m_shared.up[d]).fetch_add(pairs, std::memory_order_relaxed);
  }

  static constexpr std::uint64_t kNarrowRoom = 0xffffffff;

  SweepShared& m_shared;
  const std::size_t m_halves;
  std::vector<std::uint32_t> m_seen[2];
  std::vector<std::uint32_t> m_upNarrow;
  std::uint64_t m_narrowRoom = kNarrowRoom;  // what may still be added to any narrow count
  std::vector<std::size_t> m_byParity[2];
  std::size_t m_visited = 0;
};

// The even-lag pairs of an offset within `margin` of 0 and one within it of 1/2, in both
// orders, moved from the bin of their cells to the bin of their double difference.
void moveEdgePairs(const SweepElements& elements, double margin,
                   std::vector<std::int64_t>& counts) {
  // The elements go by ascending offset: the edges are at both ends.
  std::vector<std::size_t> low;
  std::vector<std::size_t> high;
  for (std::size_t i = 0; i < elements.size() && elements.place(i).offset <= margin; ++i) {
    low.push_back(i);
  }
  for (std::size_t i = elements.size(); i-- > 0 && elements.place(i).offset >= 0.5 - margin;) {
    high.push_back(i);
  }
  const auto move = [&counts](std::int64_t from, std::int64_t to, std::int64_t pairs) {
    if (from == to) return;
    if (from >= 0) counts[static_cast<std::size_t>(from)] -= pairs;
    if (to >= 0) counts[static_cast<std::size_t>(to)] += pairs;
  };
  for (const std::size_t x : low) {
    for (const std::size_t y : high) {
      const std::int64_t lag = elements.place(y).cell - elements.place(x).cell;
      if ((lag & 1) != 0) continue;
      const auto pairs =
          static_cast<std::int64_t>(std::uint64_t{elements.weight[x]} * elements.weight[y]);
      // By their cells, (y, x) is in bin lag / 2 and (x, y) in bin -lag / 2, the negative one
      // counting nowhere.
      move(lag / 2, binOf(elements.value[y] - elements.value[x]), pairs);
      move(-lag / 2, binOf(elements.value[x] - elements.value[y]), pairs);
    }
  }
}

std::optional<PairHistogram> countByCellSweep(std::span<const double> distances, double largest,
                                              std::int64_t top,
                                              const std::function<bool(float)>& progress,
                                              const PairCountOptions& options) {
  const auto keepGoing = [&progress] { return !progress || progress(0.0F); };
  const auto cells = static_cast<std::size_t>(cellPlaceOf(largest).cell) + 1;
  const std::optional<SweepElements> sorted = sweepElements(distances, cells, keepGoing);
  if (!sorted) return std::nullopt;
  const SweepElements& elements = *sorted;
  const std::size_t count = elements.size();

  SweepShared shared{elements, (largest + 1.0) * 0x1p-50};  // an ulp of any half, twice over
  const std::vector<std::uint32_t>& cellWeight = elements.cellWeight;
  shared.heaviestCell = *std::max_element(cellWeight.begin(), cellWeight.end());
  shared.lags.assign(cells, 0);
  shared.up.assign(shared.halves(), 0);

  // The tasks, each of about chunkWork multiply-adds: runs of lags (each at least as many as
  // the cells it passes), then runs of elements in whole clusters.
  struct Task {
    bool lags;
    std::size_t first;
    std::size_t last;
    std::int64_t work;
  };
  // Lag L takes a multiply-add for each cell in use below cells - L.
  std::int64_t inUse = 0;
  std::int64_t totalWork = elements.sweepWork;
  for (std::size_t b = 0; b < cells; ++b) {
    if (cellWeight[b] == 0) continue;
    ++inUse;
    totalWork += static_cast<std::int64_t>(cells - b);
  }
  const std::int64_t chunkWork =
      options.chunkWork > 0 ? options.chunkWork : std::max<std::int64_t>(totalWork / 256, 1 << 20);
  std::vector<Task> tasks;
  std::int64_t inTask = 0;
  std::size_t taskStart = 0;
  for (std::size_t lag = 0; lag < cells; ++lag) {
    inTask += inUse;
    if (cellWeight[cells - 1 - lag] != 0) --inUse;
    const auto pass = static_cast<std::int64_t>(cells - taskStart);
    if (inTask >= std::max(chunkWork, pass) || lag + 1 == cells) {
      tasks.push_back({true, taskStart, lag + 1, inTask});
      taskStart = lag + 1;
      inTask = 0;
    }
  }
  taskStart = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % kPassPiece == 0 && !keepGoing()) return std::nullopt;
    inTask += elements.place(i).cell / 2 + 1;
    const bool clusterEnds =
        i + 1 == count || elements.place(i + 1).offset - elements.place(i).offset > shared.margin;
    if (clusterEnds && (inTask >= chunkWork || i + 1 == count)) {
      tasks.push_back({false, taskStart, i + 1, inTask});
      taskStart = i + 1;
      inTask = 0;
    }
  }

  // Each thread takes the next task in order, so that the sweep tasks a counter gets come
  // in ascending order of the elements, as it needs. A second thread only for at least four
  // chunks of work: less is done before a busy machine would even start it.
  const int threads =
      std::min(threadsFor(options, tasks.size()),
               static_cast<int>(std::clamp<std::int64_t>(totalWork / (4 * chunkWork), 1, 1024)));
  SharedWork work(progress, totalWork);
  std::atomic<std::size_t> nextTask{0};
#pragma omp parallel num_threads(threads)
  {
    try {
      SweepCounter counter(shared);
      for (;;) {
        const std::size_t t = nextTask.fetch_add(1);
        if (t >= tasks.size() || work.stopped()) break;
        const Task& task = tasks[t];
        if (task.lags) {
          addLags(shared, task.first, task.last);
        } else {
          counter.sweep(task.first, task.last);
        }
        work.done(task.work);
      }
      counter.flush();
    } catch (...) {
      work.fail();
    }
  }
  work.rethrow();
  if (work.stopped()) return std::nullopt;

  const auto bins = static_cast<std::size_t>(top) + 1;
  const std::size_t halves = shared.halves();
  std::vector<std::int64_t> counts(std::max(bins, halves + 1), 0);
  const auto lagPairs = [&shared, cells](std::size_t lag) {
    return lag < cells ? shared.lags[lag] : 0;
  };
  const auto upPairs = [&shared, halves](std::size_t d) { return d < halves ? shared.up[d] : 0; };
  for (std::size_t b = 0; b < counts.size(); ++b) {
    // Lag 2b rounds to b; lag 2b - 1 goes up to b; lag 2b + 1 stays at b unless it goes up.
    std::uint64_t pairs = lagPairs(2 * b) + lagPairs(2 * b + 1) - upPairs(b);
    if (b > 0) pairs += upPairs(b - 1);
    // The pairs at lag 1 that stay in bin 0 also count taken the other way round.
    if (b == 0) pairs += lagPairs(1) - upPairs(0);
    counts[b] = static_cast<std::int64_t>(pairs);
  }
  moveEdgePairs(elements, shared.margin, counts);
  counts.resize(bins);
  return histogramOf(counts, top, options);
}

}  // namespace

std::optional<PairHistogram> countDistancePairs(std::span<const double> distances,
                                                const std::function<bool(float)>& progress,
                                                const PairCountOptions& options) {
  double smallest = distances.empty() ? 0.0 : distances[0];
  double largest = smallest;
  bool finite = true;
  for (std::size_t from = 0; from < distances.size(); from += kPassPiece) {
    if (from > 0 && progress && !progress(0.0F)) return std::nullopt;
    for (std::size_t i = from; i < std::min(distances.size(), from + kPassPiece); ++i) {
      const double d = distances[i];
      finite = finite && std::isfinite(d);
      smallest = std::min(smallest, d);
      largest = std::max(largest, d);
    }
  }
  if (!finite) throw std::invalid_argument("countDistancePairs: a distance is not finite");
  // The sweep needs distances of at least 0 and weights that fit 32 bits. Its memory, 16
  // bytes a half-unit cell and 6 more each thread, stays below the edge walk's dense bins
  // (8 bytes a bin, up to 2^22 bins, each thread and their sum) with no more cells than 2^21,
  // nor than about one a distance.
  const auto n = static_cast<double>(distances.size());
  const bool sweepFits = !distances.empty() && smallest >= 0.0 && n < 0x1p32 &&
                         2.0 * largest < std::min(n + 0x1p16, 0x1p21);
  if (sweepFits && options.method != PairCountMethod::EdgeWalk) {
    const std::int64_t top = binOf(largest - smallest);
    std::optional<PairHistogram> result =
        countByCellSweep(distances, largest, top, progress, options);
    if (result && progress && !progress(100.0F)) return std::nullopt;
    return result;
  }
  std::optional<PairHistogram> result = countByEdgeWalk(distances, progress, options);
  if (result && progress && !progress(100.0F)) return std::nullopt;
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
  const auto distances = std::make_unique_for_overwrite<double[]>(sites.size());
  for (std::size_t from = 0; from < sites.size(); from += kPassPiece) {
    if (from > 0 && progress && !progress(0.0F)) return std::nullopt;
    for (std::size_t i = from; i < std::min(sites.size(), from + kPassPiece); ++i) {
      distances[i] = distanceFromOrigin(sites[i]);
    }
  }
  const std::optional<PairHistogram> histogram =
      countDistancePairs(std::span<const double>(distances.get(), sites.size()), progress, options);
  if (!histogram) return std::nullopt;
  return correlationOf(*histogram);
}

}  // namespace polychain
