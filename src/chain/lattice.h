// Lattice sites, the six unit directions and the random choice among them.
#pragma once

#include <cstdint>

#include "chain/random.h"
#include "polychain/point.h"

namespace polychain {

// Direction index of a draw r in [0, 1): 0 (+x) below 1/6, 1 (-x) below 2/6, 2 (+y),
// 3 (-y), 4 (+z), 5 (-z) above 5/6. Each boundary k/6 is the double nearest k/6; a draw
// exactly on a boundary belongs to the upper interval.
inline int directionOf(float r) {
  const double d = r;
  return (d >= 1.0 / 6.0) + (d >= 2.0 / 6.0) + (d >= 3.0 / 6.0) + (d >= 4.0 / 6.0) +
         (d >= 5.0 / 6.0);
}

// directionOf for the draw whose top 24 bits are `m` (the draw is m * 2^-24), without
// branches. No boundary k/6 * 2^24 lies within rounding of a whole number, so the draw is at
// or above boundary k/6 exactly when 6m >= k * 2^24.
inline int directionOfBits(std::uint64_t m) { return static_cast<int>((m * 6) >> 24); }

// Unit moves of the six directions.
inline constexpr Point kUnitMove[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                       {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};

// Moves `p` by `step` along direction `dir` (0..5 as directionOf).
inline void moveAlong(Point& p, int dir, std::int32_t step) {
  switch (dir) {
    case 0:
      p.x += step;
      break;
    case 1:
      p.x -= step;
      break;
    case 2:
      p.y += step;
      break;
    case 3:
      p.y -= step;
      break;
    case 4:
      p.z += step;
      break;
    default:
      p.z -= step;
      break;
  }
}

// One draw from `random`, then a move of `step` along the direction it selects.
inline void ChooseDir(RandomSource& random, Point& position, std::int32_t step) {
  moveAlong(position, directionOf(random.uniform()), step);
}

}  // namespace polychain
