#include "analysis/sizemeasure.h"

#include <algorithm>

namespace polychain {

namespace {

constexpr std::size_t kBlock = 512;

// Distances of a block of sites. Kept free of the sums so that it vectorises; square roots
// are correctly rounded in every instruction set, so the values are the same bits.
__attribute__((target_clones("avx2", "default"))) void distancesOf(const Point* sites,
                                                                   std::size_t count, double* out) {
  for (std::size_t i = 0; i < count; ++i) out[i] = distanceFromOrigin(sites[i]);
}

// The same, adding the block's coordinates to `sums` (integer sums: exact in any order).
__attribute__((target_clones("avx2", "default"))) void distancesAndSumsOf(const Point* sites,
                                                                          std::size_t count,
                                                                          double* out,
                                                                          SiteSums& sums) {
  std::int64_t sx = 0, sy = 0, sz = 0;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = distanceFromOrigin(sites[i]);
    sx += sites[i].x;
    sy += sites[i].y;
    sz += sites[i].z;
  }
  sums.x += sx;
  sums.y += sy;
  sums.z += sz;
}

}  // namespace

double CalcRgTotal(std::span<const Point> sites, std::int32_t m, SiteSums* sums) {
  const double reciprocal = 1.0 / static_cast<double>(m);
  double d[kBlock];
  double sum = 0.0;
  for (std::size_t at = 0; at < sites.size(); at += kBlock) {
    const std::size_t count = std::min(kBlock, sites.size() - at);
    if (sums != nullptr) {
      distancesAndSumsOf(sites.data() + at, count, d, *sums);
    } else {
      distancesOf(sites.data() + at, count, d);
    }
    for (std::size_t i = 0; i < count; ++i) sum += d[i];
  }
  if (sums != nullptr) sums->distances = sum;
  const double mean = sum * reciprocal;
  double squares = 0.0;
  for (std::size_t at = 0; at < sites.size(); at += kBlock) {
    const std::size_t count = std::min(kBlock, sites.size() - at);
    distancesOf(sites.data() + at, count, d);
    for (std::size_t i = 0; i < count; ++i) {
      const double deviation = d[i] - mean;
      squares += deviation * deviation;
    }
  }
  return squares * reciprocal;
}

}  // namespace polychain
