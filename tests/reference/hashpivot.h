// The plain pivot walk: sites in a vector, each site's number in a hash map keyed by the packed
// site. A pivot moves the shorter side (O(N) per accepted pivot), checking the moved sites
// outward from the pivot site against the sites that stay; the SAW-tree's baseline and oracle.
// A map, not a set: a moved site may land where another moved site was, which is no clash.
#pragma once

#include <absl/container/flat_hash_map.h>

#include <cstdint>
#include <vector>

#include "chain/lattice.h"
#include "chain/random.h"

namespace polychain::reference {

class HashPivotWalk {
 public:
  // The walk through `sites` (origin first); throws std::invalid_argument when they are not a
  // self-avoiding walk of at least one step with unit steps. Exact for walks of fewer than 2^19
  // steps; a longer one whose sites reach 2^19 from the pivot site makes a pivot throw
  // std::out_of_range rather than answer wrongly (equilibrated walks of 10^7 steps stay far
  // inside).
  explicit HashPivotWalk(const std::vector<Point>& sites);

  std::int32_t steps() const { return static_cast<std::int32_t>(m_stored.size()) - 1; }
  // The same contract as PivotWalk::pivot and PivotWalk::attempt, with the same draws.
  bool pivot(std::int32_t site, int symmetry);
  bool attempt(RandomSource& random);
  Point end() const { return actual(m_stored.back()); }
  void sites(std::vector<Point>& out) const;

 private:
  // The shorter side moves, so the stored sites are the walk seen through a frame:
  // a site is m_offset + m_frame(stored).
  Point actual(const Point& stored) const;
  void recentre();

  std::vector<Point> m_stored;
  absl::flat_hash_map<std::uint64_t, std::int32_t> m_index;  // packed stored site -> its number
  std::vector<Point> m_moved;
  int m_frame = 0;
  Point m_offset{};
};

}  // namespace polychain::reference
