#include "analysis/vectorcorrelation.h"

#include <algorithm>
#include <cmath>

#include "analysis/timeseries.h"

namespace polychain {

VectorAutocorrelation::VectorAutocorrelation(std::int64_t vectors, int levels, int perLevel)
    : m_vectors(std::clamp<std::int64_t>(vectors, 0, kMostVectors)),
      m_width(static_cast<std::size_t>(3 * m_vectors)),
      m_levels(static_cast<std::size_t>(std::max(levels, 1))),
      m_perLevel(static_cast<std::size_t>(std::max(perLevel, 4) / 2 * 2)),
      m_history(m_levels, std::vector<double>(m_perLevel * m_width)),
      m_head(m_levels, 0),
      m_held(m_levels, 0),
      m_block(m_levels, std::vector<double>(m_width)),
      m_inBlock(m_levels, 0),
      m_products(m_levels, std::vector<double>(m_perLevel)),
      m_counts(m_levels, std::vector<std::int64_t>(m_perLevel)) {}

void VectorAutocorrelation::add(std::span<const double> components) {
  if (m_width == 0 || components.size() < m_width) return;
  ++m_samples;
  push(0, components.data());
}

void VectorAutocorrelation::push(std::size_t level, const double* values) {
  std::vector<double>& history = m_history[level];
  const std::size_t p = m_perLevel;
  // The newest sample goes in at the head; lag j is then j slots behind it.
  m_head[level] = (m_head[level] + p - 1) % p;
  std::copy(values, values + m_width,
            history.begin() + static_cast<std::ptrdiff_t>(m_head[level] * m_width));
  m_held[level] = std::min(m_held[level] + 1, p);
  const std::size_t first = level == 0 ? 0 : p / 2;
  for (std::size_t j = first; j < m_held[level]; ++j) {
    const double* older = history.data() + ((m_head[level] + j) % p) * m_width;
    double sum = 0.0;
    for (std::size_t k = 0; k < m_width; ++k) sum += values[k] * older[k];
    m_products[level][j] += sum;
    ++m_counts[level][j];
  }
  if (level + 1 >= m_levels) return;
  std::vector<double>& block = m_block[level];
  for (std::size_t k = 0; k < m_width; ++k) block[k] += values[k];
  if (++m_inBlock[level] < 2) return;
  for (double& v : block) v *= 0.5;
  push(level + 1, block.data());
  std::fill(block.begin(), block.end(), 0.0);
  m_inBlock[level] = 0;
}

std::vector<VectorAutocorrelation::Point> VectorAutocorrelation::curve() const {
  std::vector<Point> out;
  if (m_counts.empty() || m_counts[0][0] == 0) return out;
  const double zero = m_products[0][0] / static_cast<double>(m_counts[0][0]);
  if (!(zero > 0.0)) return out;
  for (std::size_t level = 0; level < m_levels; ++level) {
    const double spacing = static_cast<double>(std::int64_t{1} << level);
    for (std::size_t j = level == 0 ? 0 : m_perLevel / 2; j < m_perLevel; ++j) {
      const std::int64_t n = m_counts[level][j];
      if (n == 0) continue;
      out.push_back(
          {static_cast<double>(j) * spacing, m_products[level][j] / static_cast<double>(n) / zero});
    }
  }
  return out;
}

VectorAutocorrelation::Time VectorAutocorrelation::integratedTime() const {
  const std::vector<Point> rho = curve();
  Time time;
  if (rho.size() < 2) return time;
  double tau = 0.5;
  for (std::size_t i = 1; i < rho.size(); ++i) {
    // Each lag stands for the lags from the one before it (exclusive) to itself.
    tau += rho[i].rho * (rho[i].lag - rho[i - 1].lag);
    if (rho[i].lag >= kWindowFactor * tau) {
      time.tau = tau;
      time.settled = true;
      const double series = 3.0 * static_cast<double>(m_vectors) * static_cast<double>(m_samples);
      time.error = tau * std::sqrt(2.0 * (2.0 * rho[i].lag + 1.0) / series);
      return time;
    }
  }
  time.tau = tau;
  return time;
}

EquilibrationWatch::EquilibrationWatch(std::int64_t vectors, double taus, std::int64_t leastSweeps)
    : m_vectors(vectors),
      m_taus(taus),
      m_nextLook(std::max<std::int64_t>(leastSweeps, 1)),
      m_nextRestart(std::max<std::int64_t>(leastSweeps, 1)),
      m_correlation{VectorAutocorrelation(vectors), VectorAutocorrelation(vectors)} {}

bool EquilibrationWatch::add(std::span<const double> components) {
  m_correlation[0].add(components);
  m_correlation[1].add(components);
  ++m_sweeps;
  // The correlator that began earlier is the one read, and the one restarted.
  const int older = readIndex();
  if (m_sweeps == m_nextRestart) {
    m_correlation[older] = VectorAutocorrelation(m_vectors);
    m_began[older] = m_sweeps;
    m_nextRestart *= 2;
  }
  if (m_sweeps < m_nextLook) return false;
  m_nextLook = m_sweeps + std::max<std::int64_t>(1, m_sweeps / 64);
  const VectorAutocorrelation::Time time = m_correlation[readIndex()].integratedTime();
  if (!time.settled) return false;
  m_tau = time.tau;
  return static_cast<double>(m_sweeps) >= m_taus * (m_tau + kErrors * time.error);
}

}  // namespace polychain
