// A boxed sample (the melt's) for a view: each chain's drawn pieces, wrapped into the box or
// unwrapped, and the box with its walls. No toolkit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "polychain/run.h"
#include "window/tubemesh.h"

namespace polychain {

// A stretch of one chain drawn as one line, in lattice units.
struct BoxPiece {
  std::int64_t chain = 0;  // its chain in the sample, from 0
  std::vector<MeshPoint> points;
};

struct BoxView {
  // The box spans [low, high] on each axis: the cells of its sites 0 to side - 1.
  double low = 0.0;
  double high = 0.0;
  std::array<bool, 3> walls{false, false, false};  // walls normal to x, y, z
  std::vector<BoxPiece> pieces;                    // chain after chain
  std::int64_t chains = 0;                         // in the sample
  std::int64_t chainsDrawn = 0;
  std::size_t sites = 0;  // in the sample
  std::size_t sitesDrawn = 0;
};

// The chains of `box` for a view. Wrapped: each site moved into the box along its periodic
// axes, a chain cut into pieces where a bond leaves through a side; else each chain whole,
// as it grew from its first site in the box. At most about `maxSites` (at least 2 per drawn
// chain) sites are drawn: evenly spread chains, then evenly spread sites of each, the first
// and last of a chain always among them. Linear in the sites drawn.
BoxView boxView(const ChainBox& box, bool wrapped, std::size_t maxSites);

// The twelve edges of the cube [low, high]^3, each as its two corners.
std::array<std::array<MeshPoint, 2>, 12> cubeEdges(double low, double high);

}  // namespace polychain
