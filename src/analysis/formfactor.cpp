#include "analysis/formfactor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace polychain {

double WaveNumbers::q(std::size_t i) const {
  return 2.0 * std::numbers::pi * m[i] / static_cast<double>(period);
}

std::vector<double> WaveNumbers::qs() const {
  std::vector<double> out;
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) out.push_back(q(i));
  return out;
}

WaveNumbers waveNumbers(std::int32_t period) {
  WaveNumbers w;
  w.period = period;
  const std::int32_t most = period / 2;
  if (most < 1) return w;
  if (most <= static_cast<std::int32_t>(kWavePoints)) {
    for (std::int32_t m = 1; m <= most; ++m) w.m[static_cast<std::size_t>(w.count++)] = m;
    return w;
  }
  // Geometric from 1 to `most`, each at least one above the one before.
  const double ratio = std::log(static_cast<double>(most)) / (kWavePoints - 1);
  std::int32_t last = 0;
  for (std::size_t i = 0; i < kWavePoints; ++i) {
    const auto left = static_cast<std::int32_t>(kWavePoints - 1 - i);
    const auto m =
        std::clamp(static_cast<std::int32_t>(std::lround(std::exp(ratio * static_cast<double>(i)))),
                   last + 1, most - left);
    w.m[static_cast<std::size_t>(w.count++)] = m;
    last = m;
  }
  return w;
}

std::int32_t formFactorPeriod(std::int32_t steps, double sizeExponent) {
  const double size = 32.0 * std::pow(std::max(1.0, static_cast<double>(steps)), sizeExponent);
  std::int32_t period = 64;
  while (period < size && period < (std::int32_t{1} << 24)) period *= 2;
  return period;
}

void WaveSums::merge(const WaveSums& later) {
  added += later.added;
  for (std::size_t i = 0; i < kWavePoints; ++i) {
    sum[i] += later.sum[i];
    squares[i] += later.squares[i];
  }
}

AxisFourier::AxisFourier(const WaveNumbers& waves)
    : m_waves(waves),
      m_cos(static_cast<std::size_t>(waves.period)),
      m_sin(static_cast<std::size_t>(waves.period)) {
  for (std::int32_t k = 0; k < waves.period; ++k) {
    const double angle = 2.0 * std::numbers::pi * k / static_cast<double>(waves.period);
    m_cos[static_cast<std::size_t>(k)] = std::cos(angle);
    m_sin[static_cast<std::size_t>(k)] = std::sin(angle);
  }
}

void AxisFourier::addPowers(std::span<const std::int64_t> counts,
                            std::array<double, kWavePoints>& power) const {
  const std::int32_t period = m_waves.period;
  for (std::size_t i = 0; i < static_cast<std::size_t>(m_waves.count); ++i) {
    const std::int32_t m = m_waves.m[i];
    double re = 0.0, im = 0.0;
    std::int32_t at = 0;  // m d mod period
    for (const std::int64_t c : counts) {
      const auto h = static_cast<double>(c);
      re += h * m_cos[static_cast<std::size_t>(at)];
      im += h * m_sin[static_cast<std::size_t>(at)];
      at += m;
      if (at >= period) at -= period;
    }
    power[i] += re * re + im * im;
  }
}

std::array<double, kWavePoints> AxisFourier::formFactor(std::span<const Point> sites) {
  std::array<double, kWavePoints> power{};
  if (sites.empty()) return power;
  Point low = sites.front(), high = low;
  for (const Point& p : sites) {
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
  // The counts by x - low; the power does not depend on the shift.
  const auto layers = [](std::int32_t a, std::int32_t b) {
    return static_cast<std::size_t>(std::int64_t{b} - a + 1);
  };
  m_counts[0].assign(layers(low.x, high.x), 0);
  m_counts[1].assign(layers(low.y, high.y), 0);
  m_counts[2].assign(layers(low.z, high.z), 0);
  for (const Point& p : sites) {
    ++m_counts[0][static_cast<std::size_t>(p.x - low.x)];
    ++m_counts[1][static_cast<std::size_t>(p.y - low.y)];
    ++m_counts[2][static_cast<std::size_t>(p.z - low.z)];
  }
  for (const std::vector<std::int64_t>& counts : m_counts) addPowers(counts, power);
  const double n = static_cast<double>(sites.size());
  for (double& p : power) p /= 3.0 * n * n;
  return power;
}

void AxisFourier::countInBox(std::span<const Point> sites, const std::array<bool, 3>& axes) {
  const std::int32_t period = m_waves.period;
  for (int axis = 0; axis < 3; ++axis) {
    if (!axes[static_cast<std::size_t>(axis)]) continue;
    std::vector<std::int64_t>& counts = m_counts[static_cast<std::size_t>(axis)];
    counts.resize(static_cast<std::size_t>(period), 0);
    for (const Point& p : sites) {
      const std::int32_t x = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
      ++counts[static_cast<std::size_t>(((x % period) + period) % period)];
    }
  }
  m_boxSites += std::ssize(sites);
}

std::array<double, kWavePoints> AxisFourier::takeStructureFactor(const std::array<bool, 3>& axes) {
  std::array<double, kWavePoints> power{};
  int counted = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (!axes[axis]) continue;
    ++counted;
    addPowers(m_counts[axis], power);
    std::ranges::fill(m_counts[axis], 0);
  }
  if (counted > 0 && m_boxSites > 0) {
    for (double& p : power) p /= counted * static_cast<double>(m_boxSites);
  }
  m_boxSites = 0;
  return power;
}

FormFactor formFactorResult(const WaveNumbers& waves, const WaveSums& sums, double squaredGyration,
                            bool independent, std::int64_t every) {
  FormFactor f;
  f.q = waves.qs();
  f.chains = sums.added;
  f.every = every;
  const double n = static_cast<double>(sums.added);
  for (std::size_t i = 0; i < f.q.size(); ++i) {
    const double mean = sums.sum[i] / n;
    f.P.push_back(mean);
    f.error.push_back(
        independent && n >= 2.0
            ? std::sqrt(std::max(0.0, (sums.squares[i] - sums.sum[i] * mean) / (n - 1.0) / n))
            : std::numeric_limits<double>::quiet_NaN());
    f.debye.push_back(debyeFunction(f.q[i], squaredGyration));
  }
  return f;
}

StructureFactor structureFactorResult(const WaveNumbers& waves, const WaveSums& sums) {
  StructureFactor s;
  s.q = waves.qs();
  s.samples = sums.added;
  for (std::size_t i = 0; i < s.q.size(); ++i)
    s.S.push_back(sums.sum[i] / static_cast<double>(sums.added));
  return s;
}

double debyeFunction(double q, double squaredGyration) {
  const double x = q * q * squaredGyration;
  if (x < 1e-6) return 1.0 - x / 3.0;
  return 2.0 * (std::expm1(-x) + x) / (x * x);
}

}  // namespace polychain
