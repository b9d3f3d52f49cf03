#include "reference/walkclasses.h"

#include <cmath>
#include <cstddef>
#include <functional>
#include <stdexcept>

#include "chain/lattice.h"

namespace polychain::reference {

WalkClasses::WalkClasses(int steps) {
  if (steps < 1 || steps > 12) throw std::invalid_argument("WalkClasses: 1 to 12 steps");
  const auto n = static_cast<std::size_t>(steps);
  // At most N + 1 sites, so fewer contacts than 3 (N + 1) and bends than N.
  m_count.assign(3 * n + 3, std::vector<double>(n + 1, 0.0));
  m_r2 = m_count;
  m_rg2 = m_count;
  m_r = m_count;
  const int side = 2 * steps + 3;
  std::vector<char> taken(static_cast<std::size_t>(side * side * side), 0);
  const auto index = [side, steps](const Point& p) {
    return static_cast<std::size_t>(((p.x + steps + 1) * side + p.y + steps + 1) * side + p.z +
                                    steps + 1);
  };
  // The walks whose first step is +x, and of those that turn, whose first turn is to +y, stand
  // for the others: a lattice symmetry keeps contacts, bends and R^2, so the first turn to +y
  // weighs 4 and the first step 6.
  Point here{};
  taken[index(here)] = 1;
  // The sums over the sites so far of their coordinates and squared lengths, for Rg^2.
  double sx = 0, sy = 0, sz = 0, squares = 0;
  const std::function<void(int, int, int, int, double)> extend = [&](int done, int previous,
                                                                     int contacts, int bends,
                                                                     double weight) {
    // Until the first turn every step is +x.
    if (done == steps) {
      const auto c = static_cast<std::size_t>(contacts);
      const auto b = static_cast<std::size_t>(bends);
      const auto r2 = static_cast<double>(here.x * here.x + here.y * here.y + here.z * here.z);
      const double sites = steps + 1;
      m_count[c][b] += weight;
      m_r2[c][b] += weight * r2;
      m_rg2[c][b] += weight * (squares / sites - (sx * sx + sy * sy + sz * sz) / (sites * sites));
      m_r[c][b] += weight * std::sqrt(r2);
      return;
    }
    const bool straight = bends == 0;
    for (int d = 0; d < 6; ++d) {
      double w = weight;
      if (done == 0) {
        if (d != 0) continue;
        w *= 6;
      } else if (straight && d != 0) {
        if (d != 2) continue;
        w *= 4;
      }
      const Point from = here;
      const Point next{here.x + kUnitMove[d].x, here.y + kUnitMove[d].y, here.z + kUnitMove[d].z};
      if (taken[index(next)] != 0) continue;
      int touching = 0;
      for (const Point& m : kUnitMove) {
        touching += taken[index(Point{next.x + m.x, next.y + m.y, next.z + m.z})];
      }
      taken[index(next)] = 1;
      here = next;
      const double length = next.x * next.x + next.y * next.y + next.z * next.z;
      sx += next.x;
      sy += next.y;
      sz += next.z;
      squares += length;
      extend(done + 1, d, contacts + touching - 1, bends + (done > 0 && d != previous ? 1 : 0), w);
      sx -= next.x;
      sy -= next.y;
      sz -= next.z;
      squares -= length;
      here = from;
      taken[index(next)] = 0;
    }
  };
  extend(0, -1, 0, 0, 1.0);
}

double WalkClasses::walks() const {
  double total = 0.0;
  for (const auto& row : m_count) {
    for (const double c : row) total += c;
  }
  return total;
}

WalkMeans WalkClasses::means(double contactEnergy, double bendEnergy) const {
  // Weights relative to the lowest energy's, which keeps them finite at any energies.
  double lowest = INFINITY;
  for (std::size_t c = 0; c < m_count.size(); ++c) {
    for (std::size_t b = 0; b < m_count[c].size(); ++b) {
      if (m_count[c][b] > 0) {
        lowest = std::fmin(
            lowest, contactEnergy * static_cast<double>(c) + bendEnergy * static_cast<double>(b));
      }
    }
  }
  double z = 0, contacts = 0, bends = 0, energy = 0, square = 0, r2 = 0, rg2 = 0, r = 0;
  for (std::size_t c = 0; c < m_count.size(); ++c) {
    for (std::size_t b = 0; b < m_count[c].size(); ++b) {
      if (m_count[c][b] == 0) continue;
      const double u = contactEnergy * static_cast<double>(c) + bendEnergy * static_cast<double>(b);
      const double w = m_count[c][b] * std::exp(-(u - lowest));
      z += w;
      contacts += w * static_cast<double>(c);
      bends += w * static_cast<double>(b);
      energy += w * u;
      square += w * u * u;
      r2 += m_r2[c][b] / m_count[c][b] * w;
      rg2 += m_rg2[c][b] / m_count[c][b] * w;
      r += m_r[c][b] / m_count[c][b] * w;
    }
  }
  WalkMeans m;
  m.contacts = contacts / z;
  m.bends = bends / z;
  m.energy = energy / z;
  m.heatCapacity = square / z - m.energy * m.energy;
  m.r2 = r2 / z;
  m.rg2 = rg2 / z;
  m.r = r / z;
  m.logZ = std::log(z) - lowest;
  return m;
}

}  // namespace polychain::reference
