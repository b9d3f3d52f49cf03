#include "chain/perm.h"

namespace polychain {

PermTree::PermTree(std::int32_t steps, const PermSettings& settings)
    : m_steps(steps),
      m_contacts(settings.contactEnergy != 0.0),
      m_counting(settings.contactEnergy != 0.0 || settings.bendEnergy != 0.0),
      m_sites(static_cast<std::size_t>(steps) + 1),
      m_dirs(static_cast<std::size_t>(steps) + 1, -1),
      m_head(std::size_t{1} << (3 * kCellBits), -1),
      m_next(static_cast<std::size_t>(steps) + 1, -1),
      m_sums(static_cast<std::size_t>(steps) + 1),
      m_terms(static_cast<std::size_t>(steps) + 1, {0, 0}),
      m_stack(static_cast<std::size_t>(steps) + 1) {
  for (int contacts = 0; contacts < 6; ++contacts) {
    for (int bend = 0; bend < 2; ++bend) {
      m_boltzmann[static_cast<std::size_t>(2 * contacts + bend)] =
          std::exp(-(settings.contactEnergy * contacts + settings.bendEnergy * bend));
    }
  }
  m_sites[0] = {0, 0, 0};
  m_sums[0] = {0, 0, 0, 0};
  place(0);
}

void PermTree::place(std::int32_t n) {
  const auto at = static_cast<std::size_t>(n);
  const Point& p = m_sites[at];
  std::int32_t& head = m_head[cellOf(p)];
  m_next[at] = head;
  head = n;
  if (n > 0) {
    const auto& before = m_sums[at - 1];
    m_sums[at] = {
        before[0] + p.x, before[1] + p.y, before[2] + p.z,
        before[3] + std::int64_t{p.x} * p.x + std::int64_t{p.y} * p.y + std::int64_t{p.z} * p.z};
  }
  if (m_counting && n > 0) {
    std::int32_t contacts = 0;
    for (int around = 0; around < 6; ++around) {
      Point neighbour = p;
      moveAlong(neighbour, around, 1);
      if (neighbour != m_sites[at - 1] && occupied(neighbour)) ++contacts;
    }
    const std::int32_t bend = n >= 2 && m_dirs[at] != m_dirs[at - 1] ? 1 : 0;
    m_terms[at] = {m_terms[at - 1][0] + contacts, m_terms[at - 1][1] + bend};
  }
}

void PermTree::lift(std::int32_t n) {
  const auto at = static_cast<std::size_t>(n);
  m_head[cellOf(m_sites[at])] = m_next[at];
}

double PermTree::atmosphere(std::int32_t n, std::array<double, 6>& q) const {
  const auto at = static_cast<std::size_t>(n);
  const Point& end = m_sites[at];
  const int last = m_dirs[at];
  double sum = 0.0;
  for (int dir = 0; dir < 6; ++dir) {
    Point next = end;
    moveAlong(next, dir, 1);
    double& factor = q[static_cast<std::size_t>(dir)];
    if (occupied(next)) {
      factor = 0.0;
      continue;
    }
    int contacts = 0;
    if (m_contacts) {
      for (int around = 0; around < 6; ++around) {
        Point neighbour = next;
        moveAlong(neighbour, around, 1);
        if (neighbour != end && occupied(neighbour)) ++contacts;
      }
    }
    const int bend = last >= 0 && dir != last ? 1 : 0;
    factor = m_boltzmann[static_cast<std::size_t>(2 * contacts + bend)];
    sum += factor;
  }
  return sum;
}

PermNode PermTree::node(std::int32_t n, double weight) const {
  const auto at = static_cast<std::size_t>(n);
  const Point& end = m_sites[at];
  const auto& s = m_sums[at];
  const double sites = n + 1.0;
  const double cx = static_cast<double>(s[0]) / sites;
  const double cy = static_cast<double>(s[1]) / sites;
  const double cz = static_cast<double>(s[2]) / sites;
  PermNode node;
  node.steps = n;
  node.weight = weight;
  node.squaredEnd = static_cast<double>(std::int64_t{end.x} * end.x + std::int64_t{end.y} * end.y +
                                        std::int64_t{end.z} * end.z);
  node.squaredGyration =
      std::max(0.0, static_cast<double>(s[3]) / sites - (cx * cx + cy * cy + cz * cz));
  node.contacts = m_terms[at][0];
  node.bends = m_terms[at][1];
  node.sites = std::span<const Point>(m_sites.data(), at + 1);
  return node;
}

}  // namespace polychain
