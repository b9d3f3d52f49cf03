#include "analysis/statistics.h"

#include <algorithm>
#include <stdexcept>

#include "analysis/sizemeasure.h"

namespace polychain {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double squaredLength(const Point& p) {
  return static_cast<double>(std::int64_t{p.x} * p.x + std::int64_t{p.y} * p.y +
                             std::int64_t{p.z} * p.z);
}

double mean(const std::vector<double>& values) {
  double sum = 0.0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

// Sample covariance of the means of a and b: sum (a - <a>)(b - <b>) / (M (M - 1)).
// NaN for a single chain. Two passes, so no cancellation for large values.
double covarianceOfMeans(const std::vector<double>& a, double meanA, const std::vector<double>& b,
                         double meanB) {
  const std::size_t m = a.size();
  if (m < 2) return kNaN;
  double sum = 0.0;
  for (std::size_t i = 0; i < m; ++i) sum += (a[i] - meanA) * (b[i] - meanB);
  const double md = static_cast<double>(m);
  return sum / (md * (md - 1.0));
}

Estimate plainMean(const std::vector<double>& values) {
  Estimate e;
  e.value = mean(values);
  e.standardError = std::sqrt(covarianceOfMeans(values, e.value, values, e.value));
  return e;
}

Estimate rootOf(const Estimate& meanSquare) {
  Estimate e;
  e.value = std::sqrt(meanSquare.value);
  if (meanSquare.value > 0.0) {
    e.standardError = meanSquare.standardError / (2.0 * e.value);
  } else if (meanSquare.hasError()) {
    e.standardError = 0.0;  // every value is 0: no spread at all
  }
  return e;
}

Estimate ratioOf(const std::vector<double>& a, const Estimate& meanA, const std::vector<double>& b,
                 const Estimate& meanB) {
  Estimate e;
  if (!(meanB.value > 0.0)) return e;
  const double q = meanA.value / meanB.value;
  e.value = q;
  const double varA = covarianceOfMeans(a, meanA.value, a, meanA.value);
  const double varB = covarianceOfMeans(b, meanB.value, b, meanB.value);
  const double cov = covarianceOfMeans(a, meanA.value, b, meanB.value);
  const double var = varA + q * q * varB - 2.0 * q * cov;
  // Rounding can take a near-zero variance below 0; a NaN (one chain) stays NaN.
  e.standardError = (var < 0.0 ? 0.0 : std::sqrt(var)) / meanB.value;
  return e;
}

CountSummary countSummary(const std::vector<std::int64_t>& values) {
  CountSummary c;
  double sum = 0.0;
  for (const std::int64_t v : values) {
    sum += static_cast<double>(v);
    c.total += v;
    c.max = std::max(c.max, v);
  }
  c.mean = sum / static_cast<double>(values.size());
  return c;
}

bool countsTrials(Model model) { return model == Model::SAW || model == Model::ShortRange; }

}  // namespace

ExtendedAccumulator::ExtendedAccumulator(Model model) : m_model(model) {}

void ExtendedAccumulator::add(const ChainSummary& chain) {
  m_r2.push_back(squaredLength(chain.end));
  m_r.push_back(distanceFromOrigin(chain.end));
  m_rg2.push_back(chain.rg2CentreOfMass);
  if (countsTrials(m_model)) {
    m_trials.push_back(chain.trials);
    m_discarded.push_back(chain.discarded);
    m_backups.push_back(chain.backups);
  }
}

ExtendedStats ExtendedAccumulator::result() const {
  if (m_r.empty()) throw std::invalid_argument("the extended statistics need at least one chain");
  ExtendedStats s;
  s.chains = static_cast<std::int64_t>(m_r.size());
  s.meanSquaredEnd = plainMean(m_r2);
  s.rmsEnd = rootOf(s.meanSquaredEnd);
  s.meanEnd = plainMean(m_r);
  s.meanSquaredRg = plainMean(m_rg2);
  s.rmsRg = rootOf(s.meanSquaredRg);
  s.ratio = ratioOf(m_rg2, s.meanSquaredRg, m_r2, s.meanSquaredEnd);
  if (countsTrials(m_model)) {
    s.trials = countSummary(m_trials);
    s.discarded = countSummary(m_discarded);
    s.backups = countSummary(m_backups);
  }
  return s;
}

std::optional<PowerLawFit> fitPowerLaw(std::span<const double> x, std::span<const double> y,
                                       std::span<const double> yError) {
  const std::size_t n = x.size();
  if (y.size() != n || (!yError.empty() && yError.size() != n) || n < 2) return std::nullopt;
  bool distinct = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(x[i] > 0.0) || !(y[i] > 0.0) || !std::isfinite(x[i]) || !std::isfinite(y[i])) {
      return std::nullopt;
    }
    distinct = distinct || x[i] != x[0];
  }
  if (!distinct) return std::nullopt;

  PowerLawFit fit;
  fit.points = n;
  fit.weighted = !yError.empty() && std::all_of(yError.begin(), yError.end(), [](double e) {
    return std::isfinite(e) && e > 0.0;
  });
  std::vector<double> lx(n), ly(n), w(n, 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    lx[i] = std::log(x[i]);
    ly[i] = std::log(y[i]);
    if (fit.weighted) {
      const double sigma = yError[i] / y[i];  // the error of log y
      w[i] = 1.0 / (sigma * sigma);
    }
  }
  double sw = 0.0, swx = 0.0, swy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sw += w[i];
    swx += w[i] * lx[i];
    swy += w[i] * ly[i];
  }
  const double mx = swx / sw;
  const double my = swy / sw;
  double sxx = 0.0, sxy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += w[i] * (lx[i] - mx) * (lx[i] - mx);
    sxy += w[i] * (lx[i] - mx) * (ly[i] - my);
  }
  fit.exponent = sxy / sxx;
  const double intercept = my - fit.exponent * mx;
  fit.amplitude = std::exp(intercept);
  double chi2 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = ly[i] - intercept - fit.exponent * lx[i];
    chi2 += w[i] * r * r;
  }
  const double dof = static_cast<double>(n) - 2.0;
  if (fit.weighted) {
    fit.chiSquaredPerDof = dof > 0 ? chi2 / dof : kNaN;
    fit.exponentError = std::sqrt(1.0 / sxx);
    if (fit.chiSquaredPerDof > 1.0) fit.exponentError *= std::sqrt(fit.chiSquaredPerDof);
  } else {
    fit.chiSquaredPerDof = kNaN;
    fit.exponentError = dof > 0 ? std::sqrt(chi2 / dof / sxx) : kNaN;
  }
  return fit;
}

}  // namespace polychain
