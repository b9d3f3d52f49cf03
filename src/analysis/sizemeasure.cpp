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

// The same, adding the block's coordinate products and extents to `moments`: the products
// summed exactly in whole numbers over the block (no block of coordinates below 2^27 can
// overflow), then added to the chain's sums in block order.
__attribute__((target_clones("avx2", "default"))) void distancesAndMomentsOf(
    const Point* sites, std::size_t count, double* out, SiteSums& sums, SiteMoments& moments) {
  std::int64_t sx = 0, sy = 0, sz = 0, xx = 0, yy = 0, zz = 0, xy = 0, xz = 0, yz = 0;
  std::int32_t lx = moments.low.x, ly = moments.low.y, lz = moments.low.z;
  std::int32_t hx = moments.high.x, hy = moments.high.y, hz = moments.high.z;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = distanceFromOrigin(sites[i]);
    const std::int64_t x = sites[i].x, y = sites[i].y, z = sites[i].z;
    sx += x;
    sy += y;
    sz += z;
    xx += x * x;
    yy += y * y;
    zz += z * z;
    xy += x * y;
    xz += x * z;
    yz += y * z;
    lx = std::min(lx, sites[i].x);
    ly = std::min(ly, sites[i].y);
    lz = std::min(lz, sites[i].z);
    hx = std::max(hx, sites[i].x);
    hy = std::max(hy, sites[i].y);
    hz = std::max(hz, sites[i].z);
  }
  sums.x += sx;
  sums.y += sy;
  sums.z += sz;
  moments.xx += static_cast<double>(xx);
  moments.yy += static_cast<double>(yy);
  moments.zz += static_cast<double>(zz);
  moments.xy += static_cast<double>(xy);
  moments.xz += static_cast<double>(xz);
  moments.yz += static_cast<double>(yz);
  moments.low = {lx, ly, lz};
  moments.high = {hx, hy, hz};
}

}  // namespace

double CalcRgTotal(std::span<const Point> sites, std::int32_t m, SiteSums* sums,
                   SiteMoments* moments) {
  const double reciprocal = 1.0 / static_cast<double>(m);
  double d[kBlock];
  double sum = 0.0;
  for (std::size_t at = 0; at < sites.size(); at += kBlock) {
    const std::size_t count = std::min(kBlock, sites.size() - at);
    if (moments != nullptr && sums != nullptr) {
      distancesAndMomentsOf(sites.data() + at, count, d, *sums, *moments);
    } else if (sums != nullptr) {
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
