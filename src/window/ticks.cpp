#include "window/ticks.h"

#include <cmath>

#include "chain/numbertext.h"

namespace polychain {

namespace {

// The multiples of m 10^e in [low, high], as the first and last multiplier.
struct Multiples {
  double first;
  double last;
  double count() const { return last - first + 1.0; }
};

// A multiple that misses an end by rounding alone still counts as inside.
Multiples multiplesIn(double low, double high, double step) {
  constexpr double kSlack = 1e-9;
  return {std::ceil(low / step - kSlack), std::floor(high / step + kSlack)};
}

// k m 10^e, exactly as the decimal k m followed or preceded by e places, rounded once.
double multiple(double k, int m, int e) {
  const double whole = k * m;
  return e >= 0 ? whole * std::pow(10.0, e) : whole / std::pow(10.0, -e);
}

}  // namespace

AxisTicks roundTicks(double low, double high, int maxCount, double minStep) {
  AxisTicks ticks;
  if (!std::isfinite(low) || !std::isfinite(high) || !(low < high) || maxCount < 1) return ticks;
  const double rough = std::max((high - low) / maxCount, minStep);
  if (!std::isfinite(rough)) return ticks;
  int e = static_cast<int>(std::floor(std::log10(rough))) - 1;
  for (;; ++e) {
    for (const int m : {1, 2, 5}) {
      const double step = multiple(1.0, m, e);
      if (step < minStep) continue;
      const Multiples k = multiplesIn(low, high, step);
      if (k.count() > maxCount) continue;
      ticks.step = step;
      const int decimals = e < 0 ? -e : 0;
      for (double i = k.first; i <= k.last; ++i) {
        const double value = i == 0.0 ? 0.0 : multiple(i, m, e);  // never -0
        ticks.values.push_back(value);
        ticks.labels.push_back(formatFixed(value, decimals));
      }
      return ticks;
    }
  }
}

}  // namespace polychain
