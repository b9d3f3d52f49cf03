#include "analysis/scalingfit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

namespace polychain {

namespace {

constexpr std::size_t kMostTerms = 4;

// A weighted linear least-squares fit of y on `terms` basis values per point: the
// coefficients, their covariance (the inverse normal matrix) and chi^2.
struct Linear {
  std::array<double, kMostTerms> c{};
  std::array<std::array<double, kMostTerms>, kMostTerms> covariance{};
  double chi2 = 0.0;
  bool ok = false;
};

Linear solve(const std::vector<std::array<double, kMostTerms>>& basis, const std::vector<double>& y,
             const std::vector<double>& w, std::size_t terms) {
  Linear out;
  double a[kMostTerms][2 * kMostTerms] = {};
  double b[kMostTerms] = {};
  for (std::size_t i = 0; i < y.size(); ++i) {
    for (std::size_t j = 0; j < terms; ++j) {
      b[j] += w[i] * basis[i][j] * y[i];
      for (std::size_t k = 0; k < terms; ++k) a[j][k] += w[i] * basis[i][j] * basis[i][k];
    }
  }
  // Gauss-Jordan with partial pivoting, the inverse built beside.
  for (std::size_t j = 0; j < terms; ++j) a[j][terms + j] = 1.0;
  for (std::size_t col = 0; col < terms; ++col) {
    std::size_t pivot = col;
    for (std::size_t r = col + 1; r < terms; ++r) {
      if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
    }
    if (!(std::abs(a[pivot][col]) > 0.0)) return out;
    for (std::size_t k = 0; k < 2 * terms; ++k) std::swap(a[col][k], a[pivot][k]);
    const double d = a[col][col];
    for (std::size_t k = 0; k < 2 * terms; ++k) a[col][k] /= d;
    for (std::size_t r = 0; r < terms; ++r) {
      if (r == col) continue;
      const double f = a[r][col];
      for (std::size_t k = 0; k < 2 * terms; ++k) a[r][k] -= f * a[col][k];
    }
  }
  for (std::size_t j = 0; j < terms; ++j) {
    for (std::size_t k = 0; k < terms; ++k) {
      out.covariance[j][k] = a[j][terms + k];
      out.c[j] += a[j][terms + k] * b[k];
    }
  }
  for (std::size_t i = 0; i < y.size(); ++i) {
    double fit = 0.0;
    for (std::size_t j = 0; j < terms; ++j) fit += out.c[j] * basis[i][j];
    out.chi2 += w[i] * (y[i] - fit) * (y[i] - fit);
  }
  out.ok = std::all_of(out.c.begin(), out.c.end(), [](double v) { return std::isfinite(v); });
  return out;
}

// The points' order by N, when every N, value and error is positive and finite and there
// are at least `least` distinct N.
std::optional<std::vector<std::size_t>> orderOf(std::span<const double> x,
                                                std::span<const double> y,
                                                std::span<const double> e, std::size_t least) {
  if (y.size() != x.size() || e.size() != x.size()) return std::nullopt;
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (const double v : {x[i], y[i], e[i]}) {
      if (!(v > 0.0) || !std::isfinite(v)) return std::nullopt;
    }
  }
  std::vector<std::size_t> order(x.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&x](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  std::size_t distinct = order.empty() ? 0 : 1;
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (x[order[i]] != x[order[i - 1]]) ++distinct;
  }
  if (distinct < least) return std::nullopt;
  return order;
}

// Fits the points order[from..] for from = 0, 1, ... while chi^2 is not acceptable and more
// than `least` points would stay; `fitFrom` fits those points and returns (fit, chi2, dof).
template <class Fit, class FitFrom>
std::optional<Fit> dropUntilAcceptable(std::size_t count, std::size_t least,
                                       const FitFrom& fitFrom) {
  std::optional<Fit> best;
  for (std::size_t from = 0; from + least <= count; ++from) {
    std::optional<Fit> fit = fitFrom(from);
    if (!fit) continue;
    best = fit;
    if (fit->acceptable) break;
  }
  return best;
}

double scaleOf(double chi2PerDof) { return chi2PerDof > 1.0 ? std::sqrt(chi2PerDof) : 1.0; }

}  // namespace

double chiSquaredAcceptable(double dof) {
  if (!(dof > 0.0)) return 0.0;
  const double a = 2.0 / (9.0 * dof);
  const double t = 1.0 - a + 1.6448536269514722 * std::sqrt(a);
  return dof * t * t * t;
}

std::optional<CorrectedFit> fitCorrectedPowerLaw(std::span<const double> steps,
                                                 std::span<const double> mean,
                                                 std::span<const double> error, double delta) {
  constexpr std::size_t kLeast = 4;
  const auto order = orderOf(steps, mean, error, kLeast);
  if (!order) return std::nullopt;
  const auto fitFrom = [&](std::size_t from) -> std::optional<CorrectedFit> {
    std::vector<std::array<double, kMostTerms>> basis;
    std::vector<double> y, w;
    for (std::size_t i = from; i < order->size(); ++i) {
      const std::size_t p = (*order)[i];
      basis.push_back({1.0, std::log(steps[p]), std::pow(steps[p], -delta), 0.0});
      y.push_back(std::log(mean[p]));
      const double sigma = error[p] / mean[p];
      w.push_back(1.0 / (sigma * sigma));
    }
    const Linear l = solve(basis, y, w, 3);
    if (!l.ok) return std::nullopt;
    CorrectedFit f;
    f.delta = delta;
    f.fromSteps = steps[(*order)[from]];
    f.points = y.size();
    const double dof = static_cast<double>(y.size()) - 3.0;
    f.chiSquaredPerDof = l.chi2 / dof;
    f.acceptable = l.chi2 <= chiSquaredAcceptable(dof);
    const double scale = scaleOf(f.chiSquaredPerDof);
    f.exponent = l.c[1] / 2.0;
    f.exponentError = std::sqrt(l.covariance[1][1]) / 2.0 * scale;
    f.amplitude = std::exp(l.c[0]);
    f.amplitudeError = f.amplitude * std::sqrt(l.covariance[0][0]) * scale;
    f.correction = l.c[2];
    f.correctionError = std::sqrt(l.covariance[2][2]) * scale;
    return f;
  };
  return dropUntilAcceptable<CorrectedFit>(order->size(), kLeast, fitFrom);
}

std::optional<LimitFit> fitLimit(std::span<const double> steps, std::span<const double> value,
                                 std::span<const double> error, double delta) {
  constexpr std::size_t kLeast = 3;
  const auto order = orderOf(steps, value, error, kLeast);
  if (!order) return std::nullopt;
  const auto fitFrom = [&](std::size_t from) -> std::optional<LimitFit> {
    std::vector<std::array<double, kMostTerms>> basis;
    std::vector<double> y, w;
    for (std::size_t i = from; i < order->size(); ++i) {
      const std::size_t p = (*order)[i];
      basis.push_back({1.0, std::pow(steps[p], -delta), 0.0, 0.0});
      y.push_back(value[p]);
      w.push_back(1.0 / (error[p] * error[p]));
    }
    const Linear l = solve(basis, y, w, 2);
    if (!l.ok) return std::nullopt;
    LimitFit f;
    f.delta = delta;
    f.fromSteps = steps[(*order)[from]];
    f.points = y.size();
    const double dof = static_cast<double>(y.size()) - 2.0;
    f.chiSquaredPerDof = l.chi2 / dof;
    f.acceptable = l.chi2 <= chiSquaredAcceptable(dof);
    f.limit = l.c[0];
    f.limitError = std::sqrt(l.covariance[0][0]) * scaleOf(f.chiSquaredPerDof);
    f.correction = l.c[1];
    return f;
  };
  return dropUntilAcceptable<LimitFit>(order->size(), kLeast, fitFrom);
}

std::optional<GrowthFit> fitGrowth(std::span<const double> steps, std::span<const double> logZ,
                                   std::span<const double> error, double delta) {
  constexpr std::size_t kLeast = 5;
  const auto order = orderOf(steps, logZ, error, kLeast);
  if (!order) return std::nullopt;
  const auto fitFrom = [&](std::size_t from) -> std::optional<GrowthFit> {
    std::vector<std::array<double, kMostTerms>> basis;
    std::vector<double> y, w;
    for (std::size_t i = from; i < order->size(); ++i) {
      const std::size_t p = (*order)[i];
      basis.push_back({steps[p], std::log(steps[p]), 1.0, std::pow(steps[p], -delta)});
      y.push_back(logZ[p]);
      w.push_back(1.0 / (error[p] * error[p]));
    }
    const Linear l = solve(basis, y, w, 4);
    if (!l.ok) return std::nullopt;
    GrowthFit f;
    f.delta = delta;
    f.fromSteps = steps[(*order)[from]];
    f.points = y.size();
    const double dof = static_cast<double>(y.size()) - 4.0;
    f.chiSquaredPerDof = l.chi2 / dof;
    f.acceptable = l.chi2 <= chiSquaredAcceptable(dof);
    const double scale = scaleOf(f.chiSquaredPerDof);
    f.mu = std::exp(l.c[0]);
    f.muError = f.mu * std::sqrt(l.covariance[0][0]) * scale;
    f.gamma = l.c[1] + 1.0;
    f.gammaError = std::sqrt(l.covariance[1][1]) * scale;
    return f;
  };
  return dropUntilAcceptable<GrowthFit>(order->size(), kLeast, fitFrom);
}

}  // namespace polychain
