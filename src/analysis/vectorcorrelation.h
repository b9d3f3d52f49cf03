// The autocorrelation of many vectors sampled together at equal intervals (the end-to-end
// vectors of a melt's chains after every sweep), in memory set by the number of vectors and
// not by the length of the series: a multiple-tau correlator, which keeps the lags 0 to p - 1
// at full resolution and then, level by level, lags p/2 to p - 1 of the series averaged over
// blocks of 2, 4, 8, ... samples.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <utility>
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
  // still positive there). `error` is the statistical error of a settled tau, taking the
  // components of the vectors followed as independent series: for one series of n samples
  // Var(tau) = 2 (2 W + 1) / n tau^2 (Madras and Sokal).
  struct Time {
    double tau = std::numeric_limits<double>::quiet_NaN();
    bool settled = false;
    double error = std::numeric_limits<double>::quiet_NaN();
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

// Watches a Markov chain leave its start: given the same vectors after every sweep, it says
// when the sweeps so far cover `taus` integrated autocorrelation times of them, the time
// measured on the later sweeps alone and taken kErrors of its statistical errors high (few
// vectors measure it loosely, and the first of many looks that passes tends to be one that
// measured it short). Two correlators take turns: one is restarted whenever
// the sweeps reach leastSweeps times a power of two, and the one read is the other, which
// never holds the first quarter of the sweeps (where the chain still leaves its start) and
// always at least half of them once past 2 leastSweeps. It looks every sweep up to
// leastSweeps and then every 1/64 of the sweeps so far, so it answers at most 2 % late.
class EquilibrationWatch {
 public:
  EquilibrationWatch(std::int64_t vectors, double taus, std::int64_t leastSweeps);
  static constexpr double kErrors = 4.0;

  // The vectors after the next sweep (as VectorAutocorrelation::add); true once the sweeps
  // cover `taus` times a settled measured time plus kErrors of its errors, and at least
  // leastSweeps.
  bool add(std::span<const double> components);
  std::int64_t sweeps() const { return m_sweeps; }
  // The last settled time, in sweeps; NaN before one settled.
  double tau() const { return m_tau; }
  // The correlator read (the one holding the most of the later sweeps), to go on with.
  VectorAutocorrelation takeCorrelation() && { return std::move(m_correlation[readIndex()]); }

 private:
  int readIndex() const { return m_began[0] <= m_began[1] ? 0 : 1; }

  std::int64_t m_vectors;
  double m_taus;
  std::int64_t m_sweeps = 0;
  std::int64_t m_nextLook;
  std::int64_t m_nextRestart;
  double m_tau = std::numeric_limits<double>::quiet_NaN();
  VectorAutocorrelation m_correlation[2];
  std::int64_t m_began[2] = {0, 0};
};

}  // namespace polychain
