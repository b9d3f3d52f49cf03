// The autocorrelation of many vectors sampled together at equal intervals (the end-to-end
// vectors of a melt's chains after every sweep), in memory set by the number of vectors and
// not by the length of the series: a multiple-tau correlator, which keeps the lags 0 to p - 1
// at full resolution and then, level by level, lags p/2 to p - 1 of the series averaged over
// blocks of 2, 4, 8, ... samples.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace polychain {

class VectorAutocorrelation {
 public:
  // `vectors` vectors of three components each (at most kMostVectors are followed: the first
  // ones; their mean decides), `levels` levels of `perLevel` lags (even, at least 4). Memory:
  // about 48 bytes a vector a lag.
  static constexpr std::int64_t kMostVectors = 1024;
  explicit VectorAutocorrelation(std::int64_t vectors, int levels = 24, int perLevel = 16);

  // The next sample: three components a vector, vector after vector (at least as many values
  // as the vectors followed need). Amortised cost about 2 perLevel operations a component.
  void add(std::span<const double> components);
  std::int64_t samples() const { return m_samples; }

  // The normalised autocorrelation rho(t) = <v(s) . v(s + t)> / <v . v> at each lag t that has
  // data, in samples, ascending (rho(0) = 1).
  struct Point {
    double lag = 0.0;
    double rho = 0.0;
  };
  std::vector<Point> curve() const;

  // The integrated autocorrelation time in samples, tau(W) = 1/2 + sum of rho over the lags
  // 1 to W (each coarse lag standing for the lags of its block), with the smallest window W
  // such that W >= kWindowFactor tau(W); `settled` false when no window up to the longest lag
  // with data satisfies it (tau is then the sum up to that lag, a lower bound while rho is
  // still positive there).
  struct Time {
    double tau = std::numeric_limits<double>::quiet_NaN();
    bool settled = false;
  };
  Time integratedTime() const;

 private:
  void push(std::size_t level, const double* values);

  std::int64_t m_vectors;  // followed
  std::size_t m_width;     // values a sample: 3 m_vectors
  std::size_t m_levels;
  std::size_t m_perLevel;
  std::int64_t m_samples = 0;
  // Per level: the last perLevel samples (newest at m_head), how many it holds, the block being
  // averaged for the next level and how many it has; the sums of products at each lag and how
  // many products each holds.
  std::vector<std::vector<double>> m_history;
  std::vector<std::size_t> m_head;
  std::vector<std::size_t> m_held;
  std::vector<std::vector<double>> m_block;
  std::vector<int> m_inBlock;
  std::vector<std::vector<double>> m_products;
  std::vector<std::vector<std::int64_t>> m_counts;
};

}  // namespace polychain
