// A site of the simple cubic lattice.
#pragma once

#include <cstdint>

namespace polychain {

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

}  // namespace polychain
