// The size measure behind "Rg": the mean squared deviation of the sites' distances from
// the chain's start (the origin) about their mean, both means taken with a divisor M that
// the caller gives (not the number of sites).
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "chain/lattice.h"

namespace polychain {

// Distance of `p` from the origin, sqrt(x^2 + y^2 + z^2) in double precision. Every
// measure of the program takes distances through this one expression.
inline double distanceFromOrigin(const Point& p) {
  const double x = p.x;
  const double y = p.y;
  const double z = p.z;
  return std::sqrt(x * x + y * y + z * z);
}

// What the size measure's first pass over the sites also gathers, at almost no cost, for
// the measures about the centre of mass.
struct SiteSums {
  std::int64_t x = 0, y = 0, z = 0;  // coordinate sums, exact
  double distances = 0.0;            // sum of the distances from the origin, in site order
};

// What the same pass gathers, only when asked, for the measures of a chain's shape: the sums of
// the coordinates' products (exact while they stay below 2^53) and their extents.
struct SiteMoments {
  double xx = 0.0, yy = 0.0, zz = 0.0, xy = 0.0, xz = 0.0, yz = 0.0;
  Point low{INT32_MAX, INT32_MAX, INT32_MAX};
  Point high{INT32_MIN, INT32_MIN, INT32_MIN};
};

// V = (1/M) * sum_i (d_i - (1/M) * sum_j d_j)^2 over the chain's sites, the reciprocals
// taken first, the sums in site order: the same bits as parsing the chain text record by
// record. Fills `sums` when it is not null, and `moments` too when both are not null. Linear
// in the sites; M must not be 0.
double CalcRgTotal(std::span<const Point> sites, std::int32_t m, SiteSums* sums = nullptr,
                   SiteMoments* moments = nullptr);

}  // namespace polychain
