#include "reference/hashpivot.h"

#include <cstdlib>
#include <stdexcept>

#include "chain/pivot.h"

namespace polychain::reference {

namespace {

constexpr std::int32_t kHalfRange = 1 << 20;  // packed coordinates lie in [-2^20, 2^20)
constexpr std::int32_t kRecentreBeyond = 1 << 19;

bool inside(std::int32_t v, std::int32_t bound) { return v >= -bound && v < bound; }

std::uint64_t pack(const Point& p) {
  if (!inside(p.x, kHalfRange) || !inside(p.y, kHalfRange) || !inside(p.z, kHalfRange)) {
    throw std::out_of_range("HashPivotWalk: a site is beyond the packed range");
  }
  return static_cast<std::uint64_t>(p.x + kHalfRange) |
         static_cast<std::uint64_t>(p.y + kHalfRange) << 21 |
         static_cast<std::uint64_t>(p.z + kHalfRange) << 42;
}

Point plus(const Point& a, const Point& b) { return Point{a.x + b.x, a.y + b.y, a.z + b.z}; }
Point minus(const Point& a, const Point& b) { return Point{a.x - b.x, a.y - b.y, a.z - b.z}; }

}  // namespace

HashPivotWalk::HashPivotWalk(const std::vector<Point>& sites) : m_stored(sites) {
  if (sites.size() < 2 || !(sites[0] == Point{})) {
    throw std::invalid_argument("HashPivotWalk: a walk needs a step from the origin");
  }
  m_index.reserve(sites.size());
  for (std::size_t j = 0; j < sites.size(); ++j) {
    if (j > 0) {
      const Point d = minus(sites[j], sites[j - 1]);
      if (std::abs(d.x) + std::abs(d.y) + std::abs(d.z) != 1) {
        throw std::invalid_argument("HashPivotWalk: sites are not joined by unit steps");
      }
    }
    if (!m_index.emplace(pack(sites[j]), static_cast<std::int32_t>(j)).second) {
      throw std::invalid_argument("HashPivotWalk: sites are not self-avoiding");
    }
  }
}

Point HashPivotWalk::actual(const Point& stored) const {
  return plus(m_offset, applySymmetry(m_frame, stored));
}

void HashPivotWalk::recentre() {
  for (Point& p : m_stored) p = actual(p);
  m_frame = 0;
  m_offset = Point{};
  m_index.clear();
  for (std::size_t j = 0; j < m_stored.size(); ++j) {
    m_index.emplace(pack(m_stored[j]), static_cast<std::int32_t>(j));
  }
}

bool HashPivotWalk::pivot(std::int32_t site, int symmetry) {
  const std::int32_t n = steps();
  if (site < 0 || site >= n || symmetry < 1 || symmetry >= kLatticeSymmetries) {
    throw std::out_of_range("HashPivotWalk::pivot: site or symmetry out of range");
  }
  const auto i = static_cast<std::size_t>(site);
  if (!inside(m_stored[i].x, kRecentreBeyond) || !inside(m_stored[i].y, kRecentreBeyond) ||
      !inside(m_stored[i].z, kRecentreBeyond)) {
    recentre();
  }
  // The pivot seen in the stored frame.
  const int stored =
      composeSymmetries(inverseSymmetry(m_frame), composeSymmetries(symmetry, m_frame));
  const Point centre = m_stored[i];
  const bool moveRight = n - site <= site;
  const int g = moveRight ? stored : inverseSymmetry(stored);
  const std::int32_t first = moveRight ? site + 1 : site - 1;
  const std::int32_t stop = moveRight ? n + 1 : -1;
  const std::int32_t step = moveRight ? 1 : -1;
  m_moved.clear();
  for (std::int32_t j = first; j != stop; j += step) {
    const Point p =
        plus(centre, applySymmetry(g, minus(m_stored[static_cast<std::size_t>(j)], centre)));
    const auto hit = m_index.find(pack(p));
    // A hit on a site that stays is a clash; one on a moving site's old place is not.
    if (hit != m_index.end() && (moveRight ? hit->second <= site : hit->second >= site)) {
      return false;
    }
    m_moved.push_back(p);
  }
  for (std::int32_t j = first; j != stop; j += step) {
    m_index.erase(pack(m_stored[static_cast<std::size_t>(j)]));
  }
  std::size_t k = 0;
  for (std::int32_t j = first; j != stop; j += step) {
    m_stored[static_cast<std::size_t>(j)] = m_moved[k++];
    m_index.emplace(pack(m_stored[static_cast<std::size_t>(j)]), j);
  }
  if (!moveRight) {
    // The left side turned by the inverse: turn the whole frame by the pivot about the pivot
    // site, which puts the left side back and the right side where the pivot sends it.
    const Point pivotSite = actual(centre);
    m_frame = composeSymmetries(symmetry, m_frame);
    m_offset = minus(pivotSite, applySymmetry(m_frame, centre));
  }
  return true;
}

bool HashPivotWalk::attempt(RandomSource& random) {
  const auto site =
      static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(steps())));
  const int symmetry = 1 + static_cast<int>(uniformBelow(random, kLatticeSymmetries - 1));
  return pivot(site, symmetry);
}

void HashPivotWalk::sites(std::vector<Point>& out) const {
  out.resize(m_stored.size());
  for (std::size_t j = 0; j < m_stored.size(); ++j) out[j] = actual(m_stored[j]);
}

}  // namespace polychain::reference
