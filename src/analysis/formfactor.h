// The single chain's form factor P(q) and a box's structure factor S(q) on lattice wave vectors
// along the three axes, q = 2 pi m / period: each site's exp(i q x) comes from a table of x mod
// the period, after the sites are counted per layer, so a chain costs O(N) and a layer per q.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "chain/lattice.h"
#include "polychain/results.h"

namespace polychain {

// The most wave numbers a form or structure factor is taken at.
inline constexpr std::size_t kWavePoints = 24;

// Wave numbers q = 2 pi m / period for whole m from 1 to period / 2: every m while there are at
// most kWavePoints of them, otherwise up to kWavePoints spread evenly on a log scale.
struct WaveNumbers {
  std::int32_t period = 0;
  std::int32_t count = 0;
  std::array<std::int32_t, kWavePoints> m{};

  double q(std::size_t i) const;
  std::vector<double> qs() const;
};
WaveNumbers waveNumbers(std::int32_t period);

// The period of a chain's form factor for chains of N = `steps` whose size grows as
// N^sizeExponent: a power of two at least 32 N^sizeExponent (from 64), so that the smallest q
// lies well inside the chain's Guinier range and the largest is the lattice's pi.
std::int32_t formFactorPeriod(std::int32_t steps, double sizeExponent);

// Per-q sums of a factor over what was added (chains or samples), in the order added, and of
// its squares for the spread.
struct WaveSums {
  std::int64_t added = 0;
  std::array<double, kWavePoints> sum{};
  std::array<double, kWavePoints> squares{};

  template <class Value>
  void add(const std::array<Value, kWavePoints>& values) {
    ++added;
    for (std::size_t i = 0; i < kWavePoints; ++i) {
      const auto v = static_cast<double>(values[i]);
      sum[i] += v;
      squares[i] += v * v;
    }
  }
  void merge(const WaveSums& later);
};

// Turns layer counts into powers |sum_j exp(i q x_j)|^2 at a fixed set of wave numbers; holds
// the table of exp(2 pi i k / period) and the counts, so one per thread.
class AxisFourier {
 public:
  explicit AxisFourier(const WaveNumbers& waves);

  const WaveNumbers& waves() const { return m_waves; }

  // P(q) of one chain: |sum_j exp(i q x_j)|^2 / n^2 over its n sites, averaged over the three
  // axes.
  std::array<double, kWavePoints> formFactor(std::span<const Point> sites);

  // Adds the sites' coordinates along the axes marked in `axes`, wrapped into [0, period), to the
  // counts of the box under way.
  void countInBox(std::span<const Point> sites, const std::array<bool, 3>& axes);
  // S(q) of the box counted since the last call: |sum_j exp(i q x_j)|^2 / n over its n sites,
  // averaged over the axes counted, and clears the counts. Zeros when no axis was counted.
  std::array<double, kWavePoints> takeStructureFactor(const std::array<bool, 3>& axes);

 private:
  // Adds the power of `counts` (counts[d] sites at x = d) at each wave number to `power`.
  void addPowers(std::span<const std::int64_t> counts,
                 std::array<double, kWavePoints>& power) const;

  WaveNumbers m_waves;
  std::vector<double> m_cos, m_sin;
  std::array<std::vector<std::int64_t>, 3> m_counts;
  std::int64_t m_boxSites = 0;
};

// The Debye function of an ideal chain, 2 (e^-x - 1 + x) / x^2 at x = q^2 Rg^2 (1 at q = 0).
double debyeFunction(double q, double squaredGyration);

// The form factor of a run from its sums at `waves`, with the Debye function at <Rg^2> =
// `squaredGyration` beside it, and standard errors when the chains are `independent`.
FormFactor formFactorResult(const WaveNumbers& waves, const WaveSums& sums, double squaredGyration,
                            bool independent, std::int64_t every);

// The structure factor of a run from its sums over samples at `waves`.
StructureFactor structureFactorResult(const WaveNumbers& waves, const WaveSums& sums);

}  // namespace polychain
