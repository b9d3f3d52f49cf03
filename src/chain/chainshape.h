// A chain's shape as the one pass over its sites that gives its size gathers it: what a growth
// model's measure of each chain (MeasureInfo::ofChain) finishes its value from, so that a new
// measure costs its arithmetic and never another pass over the sites.
#pragma once

#include <array>

#include "polychain/point.h"

namespace polychain {

struct ChainShape {
  double sites = 0.0;              // how many sites the chain has
  Point end;                       // its last site
  double rg2CentreOfMass = 0.0;    // mean squared distance of the sites from their centre of mass
  std::array<double, 3> centre{};  // the centre of mass
  // The gyration tensor about the centre of mass, (1/sites) sum (r - centre)_a (r - centre)_b,
  // as xx, yy, zz, xy, xz, yz.
  std::array<double, 6> gyration{};
  Point low;   // the smallest x, y and z among the sites
  Point high;  // the largest
};

}  // namespace polychain
