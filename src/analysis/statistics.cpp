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

// Sample (co)variance of the means over n chains from a sum of products of deviations:
// sum / (n (n - 1)). NaN for a single chain.
double ofMeans(double sum, std::int64_t n) {
  if (n < 2) return kNaN;
  const double nd = static_cast<double>(n);
  return sum / (nd * (nd - 1.0));
}

Estimate meanOf(const RunningMoments& m) {
  return {m.sum / static_cast<double>(m.n), std::sqrt(ofMeans(m.squares, m.n))};
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

// <A>/<B> with its error by the delta method; `coMoment` is sum (a - <a>)(b - <b>).
Estimate ratioOf(const RunningMoments& a, const RunningMoments& b, double coMoment) {
  Estimate e;
  const Estimate meanA = meanOf(a);
  const Estimate meanB = meanOf(b);
  if (!(meanB.value > 0.0)) return e;
  const double q = meanA.value / meanB.value;
  e.value = q;
  const double var =
      ofMeans(a.squares, a.n) + q * q * ofMeans(b.squares, b.n) - 2.0 * q * ofMeans(coMoment, a.n);
  // Rounding can take a near-zero variance below 0; a NaN (one chain) stays NaN.
  e.standardError = (var < 0.0 ? 0.0 : std::sqrt(var)) / meanB.value;
  return e;
}

void addCount(CountSummary& c, std::int64_t value) {
  c.total += value;
  c.max = std::max(c.max, value);
}

CountSummary finished(CountSummary c, std::int64_t chains) {
  c.mean = static_cast<double>(c.total) / static_cast<double>(chains);
  return c;
}

}  // namespace

void RunningMoments::add(double x) {
  ++n;
  sum += x;
  const double delta = x - mean;
  mean += delta / static_cast<double>(n);
  squares += delta * (x - mean);
}

ExtendedAccumulator::ExtendedAccumulator(bool countsTrials) : m_countsTrials(countsTrials) {}

void ExtendedAccumulator::add(const ChainSummary& chain) {
  const double r2 = squaredLength(chain.end);
  const double rg2Deviation = chain.rg2CentreOfMass - m_rg2.mean;  // from the mean before
  m_r2.add(r2);
  m_r.add(distanceFromOrigin(chain.end));
  m_rg2.add(chain.rg2CentreOfMass);
  m_coMoment += rg2Deviation * (r2 - m_r2.mean);  // and the mean after
  addCount(m_trials, chain.trials);
  addCount(m_discarded, chain.discarded);
  addCount(m_backups, chain.backups);
  addCount(m_restarts, chain.restarts);
}

ExtendedStats ExtendedAccumulator::result() const {
  if (m_r.n == 0) {
    throw std::invalid_argument("the extended statistics need at least one chain");
  }
  ExtendedStats s;
  s.chains = m_r.n;
  s.meanSquaredEnd = meanOf(m_r2);
  s.rmsEnd = rootOf(s.meanSquaredEnd);
  s.meanEnd = meanOf(m_r);
  s.meanSquaredRg = meanOf(m_rg2);
  s.rmsRg = rootOf(s.meanSquaredRg);
  s.ratio = ratioOf(m_rg2, m_r2, m_coMoment);
  if (m_countsTrials) {
    s.trials = finished(m_trials, s.chains);
    s.discarded = finished(m_discarded, s.chains);
    s.backups = finished(m_backups, s.chains);
    s.restarts = m_restarts.total;
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
