// g(r) of one chain: the histogram of rounded differences of the sites' distances from the
// origin over every ordered pair, normalised to bin 0, and its power spectrum g(q).
// The pair count is exact (the same histogram as visiting every pair). It sweeps the
// distances by their offset in half-unit cells: about (distinct distances) x (mean distance)
// vectorised multiply-adds, some 80 ms of one core for a free walk of 10^6 steps (bench_gor).
// Distances it does not take (a negative one, or a largest one from 2^20 or from half the
// number of distances plus 2^15 on) are walked bin by bin, about (distinct distances) x
// (largest distance) steps of a few nanoseconds, some forty times longer for that walk.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "chain/lattice.h"

#include "polychain/results.h"

namespace polychain {

// The pair histogram: how many ordered pairs (j, k) have d(j) - d(k), a double, rounding
// half to even to b, for every b >= 0. Exact integer counts.
struct PairHistogram {
  std::vector<std::int64_t> bins;  // bins 0 to top, or to the dense limit - 1 when lower
  std::vector<std::pair<std::int64_t, std::int64_t>> farBins;  // (b, count) beyond, ascending
  std::int64_t total = 0;                                      // pairs counted in any bin
  std::int64_t top = 0;  // largest bin counted, 0 when nothing was counted

  std::int64_t count(std::int64_t b) const;  // the count of any bin b >= 0
  friend bool operator==(const PairHistogram&, const PairHistogram&) = default;
};

// How the pairs are counted; every method gives the same histogram.
enum class PairCountMethod {
  Automatic,  // the cell sweep when the distances allow it, else the edge walk
  EdgeWalk,   // bin by bin over the distinct distances, for any finite distances
};

struct PairCountOptions {
  int threads = 0;                   // 0: all the machine offers; any count, same bins
  std::int64_t chunkWork = 0;        // work per parallel chunk; 0: from the input size
  std::int64_t denseBins = 1 << 22;  // bins kept in a plain array; the rest sparsely
  PairCountMethod method = PairCountMethod::Automatic;
};

// Counts the pairs of finite `distances`. `progress` receives 0 to 100 after each chunk of
// work (a few hundred calls at most, one at a time, 100 last) and answers false to cancel;
// then the result is empty.
std::optional<PairHistogram> countDistancePairs(std::span<const double> distances,
                                                const std::function<bool(float)>& progress,
                                                const PairCountOptions& options = {});

// The transform length for a histogram whose largest bin is `top`: the smallest power of
// two above top, but at least 8 and at most 512.
std::int32_t transformLength(std::int64_t top);

// g(r) and g(q) of a pair histogram, with g(b) = h(b) / (total * (h(0) / total)) and P(k)
// the squared magnitude of the forward transform of g(0 ... L-1). An empty histogram gives
// g = 0 throughout.
Correlation correlationOf(const PairHistogram& histogram);

// g(r) and g(q) over every site given (each site's distanceFromOrigin). `progress` as for
// countDistancePairs; false cancels and the result is empty.
std::optional<Correlation> gorCalc(std::span<const Point> sites,
                                   const std::function<bool(float)>& progress,
                                   const PairCountOptions& options = {});

}  // namespace polychain
