#include "analysis/timeseries.h"

#include <algorithm>
#include <cmath>

namespace polychain {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kBatches = 32;

Estimate rootEstimate(const Estimate& meanSquare) {
  Estimate e;
  e.value = std::sqrt(meanSquare.value);
  if (meanSquare.value > 0.0) {
    e.standardError = meanSquare.standardError / (2.0 * e.value);
  } else if (meanSquare.hasError()) {
    e.standardError = 0.0;
  }
  return e;
}

}  // namespace

ObservableSeries::ObservableSeries(std::size_t observables, std::int64_t planned)
    : m_shift(observables, 0.0),
      m_sum(observables, 0.0),
      m_square(observables, 0.0),
      m_part(observables, 0.0) {
  while (planned / m_blockLength > static_cast<std::int64_t>(kMostBlocks)) m_blockLength *= 2;
  m_blocks.reserve(observables * static_cast<std::size_t>(std::min<std::int64_t>(
                                     planned / m_blockLength + 1, kMostBlocks)));
}

void ObservableSeries::add(std::span<const double> values) {
  const std::size_t count = m_shift.size();
  if (m_n == 0) std::copy_n(values.begin(), count, m_shift.begin());
  for (std::size_t k = 0; k < count; ++k) {
    const double d = values[k] - m_shift[k];
    m_sum[k] += d;
    m_square[k] += d * d;
    m_part[k] += d;
  }
  ++m_n;
  if (++m_inBlock == m_blockLength) closeBlock();
}

void ObservableSeries::closeBlock() {
  const std::size_t count = m_shift.size();
  m_blocks.insert(m_blocks.end(), m_part.begin(), m_part.end());
  std::ranges::fill(m_part, 0.0);
  m_inBlock = 0;
  if (m_blocks.size() < count * kMostBlocks) return;
  // Full: neighbouring blocks become one twice as long.
  for (std::size_t i = 0; i < kMostBlocks / 2; ++i) {
    for (std::size_t k = 0; k < count; ++k) {
      m_blocks[count * i + k] = m_blocks[2 * count * i + k] + m_blocks[2 * count * i + count + k];
    }
  }
  m_blocks.resize(count * kMostBlocks / 2);
  m_blockLength *= 2;
}

WindowedTau windowedTau(std::span<const double> x) {
  WindowedTau out;
  const std::size_t n = x.size();
  if (n < 8) return out;
  double mean = 0.0;
  for (const double v : x) mean += v;
  mean /= static_cast<double>(n);
  std::vector<double> d(n);
  double c0 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    d[i] = x[i] - mean;
    c0 += d[i] * d[i];
  }
  c0 /= static_cast<double>(n);
  if (!(c0 > 0.0)) return out;
  double tau = 0.5;
  std::size_t window = n / 2;
  for (std::size_t t = 1; t <= n / 2; ++t) {
    double c = 0.0;
    for (std::size_t i = 0; i + t < n; ++i) c += d[i] * d[i + t];
    tau += c / static_cast<double>(n - t) / c0;
    if (static_cast<double>(t) >= kWindowFactor * tau) {
      window = t;
      break;
    }
  }
  out.tau = tau;
  out.window = static_cast<std::int64_t>(window);
  out.varianceOfMean = std::max(0.0, 2.0 * tau * c0 / static_cast<double>(n));
  return out;
}

double studentFactor(double degrees) {
  // Exact at 1 and 2 degrees, linear between them and 3; from 3 on the Cornish-Fisher series
  // of the quantile at z = 1 (within 2e-4 at 3).
  constexpr double kOne = 1.8373;
  constexpr double kTwo = 1.3213;
  const auto series = [](double d) {
    return 1.0 + 0.5 / d + 0.25 / (d * d) + 0.0625 / (d * d * d);
  };
  if (!(degrees > 1.0)) return kOne;
  if (degrees < 2.0) return kOne + (kTwo - kOne) * (degrees - 1.0);
  if (degrees < 3.0) return kTwo + (series(3.0) - kTwo) * (degrees - 2.0);
  return series(degrees);
}

CalibratedVariance calibratedVariance(std::span<const double> x, double leastTau) {
  CalibratedVariance out;
  const std::size_t n = x.size();
  if (n < 2) return out;
  const double count = static_cast<double>(n);
  double mean = 0.0;
  for (const double v : x) mean += v;
  mean /= count;
  double squares = 0.0;
  for (const double v : x) squares += (v - mean) * (v - mean);
  double tau = std::max(0.5, leastTau);
  const WindowedTau w = windowedTau(x);
  if (std::isfinite(w.tau)) {
    tau = std::max(tau, w.tau * (1.0 + (2.0 * static_cast<double>(w.window) + 1.0) / count));
  }
  out.tau = tau;
  out.degreesOfFreedom = std::max(1.0, count / (2.0 * tau) - 1.0);
  const double factor = studentFactor(out.degreesOfFreedom);
  out.varianceOfMean = squares / (count - 1.0) * 2.0 * tau / count * factor * factor;
  return out;
}

namespace {

// The variance of the mean of a series' `means` (of blocks): the window's, or that of kBatches
// batch means when they spread more (a slow tail of the autocorrelation that the window cuts
// off still shows in the batches).
WindowedTau windowOrBatches(std::span<const double> means) {
  WindowedTau w = windowedTau(means);
  const std::size_t blocks = means.size();
  const std::size_t perBatch = blocks / kBatches;
  if (perBatch == 0 || !std::isfinite(w.varianceOfMean)) return w;
  double sum = 0.0, square = 0.0;
  for (std::size_t b = 0; b < kBatches; ++b) {
    double batch = 0.0;
    for (std::size_t i = b * perBatch; i < (b + 1) * perBatch; ++i) batch += means[i];
    batch /= static_cast<double>(perBatch);
    sum += batch;
    square += batch * batch;
  }
  const double k = static_cast<double>(kBatches);
  const double spread = std::max(0.0, (square - sum * sum / k) / (k - 1.0));
  // Of the mean over the batches' blocks, then over all blocks.
  const double batches =
      spread / k * (k * static_cast<double>(perBatch)) / static_cast<double>(blocks);
  if (batches > w.varianceOfMean) {
    w.tau *= batches / w.varianceOfMean;
    w.varianceOfMean = batches;
  }
  return w;
}

// True when the spread of a series' `n` values about their `mean` is no more than the rounding
// of numbers of that size: one value reached along different sums (an observable the moves
// leave unchanged), which is a constant series and has no error to estimate from its spread.
bool onlyRounding(double squares, double n, double mean) {
  const double unit = 64.0 * std::numeric_limits<double>::epsilon() * std::abs(mean);
  return squares <= n * unit * unit;
}

// A calibrated variance of a constant series is 0 where it can be stated at all and the
// constant is `known` (the series cannot take another value), else NaN (it did not move, and
// how far it would have is not to be judged from it).
double constantOr(bool constant, bool known, double variance) {
  if (!constant) return variance;
  return known && std::isfinite(variance) ? 0.0 : kNaN;
}

}  // namespace

std::vector<double> ObservableSeries::blockMeans(std::span<const double> weights) const {
  const std::size_t count = m_shift.size();
  const std::size_t blocks = count > 0 ? m_blocks.size() / count : 0;
  const double length = static_cast<double>(m_blockLength);
  std::vector<double> means(blocks);
  for (std::size_t i = 0; i < blocks; ++i) {
    // From the first weighed observable on, so that one weight of 1 gives the block's own sum.
    double value = 0.0;
    bool first = true;
    for (std::size_t k = 0; k < count; ++k) {
      if (weights[k] == 0.0) continue;
      const double term =
          weights[k] == 1.0 ? m_blocks[count * i + k] : weights[k] * m_blocks[count * i + k];
      value = first ? term : value + term;
      first = false;
    }
    means[i] = value / length;
  }
  return means;
}

double ObservableSeries::blockScale() const {
  const std::size_t count = m_shift.size();
  const std::size_t blocks = count > 0 ? m_blocks.size() / count : 0;
  return static_cast<double>(blocks) * static_cast<double>(m_blockLength) /
         static_cast<double>(m_n);
}

ObservableSummary ObservableSeries::summary(std::size_t k) const {
  ObservableSummary o;
  if (m_n == 0) return o;
  const double n = static_cast<double>(m_n);
  o.n = m_n;
  o.mean = m_shift[k] + m_sum[k] / n;
  o.squares = std::max(0.0, m_square[k] - m_sum[k] * m_sum[k] / n);
  if (onlyRounding(o.squares, n, o.mean)) {
    o.squares = 0.0;
    o.window = 0.0;
    return o;
  }
  std::vector<double> weights(m_shift.size(), 0.0);
  weights[k] = 1.0;
  const WindowedTau w = windowOrBatches(blockMeans(weights));
  o.varianceOfMean = w.varianceOfMean * blockScale();
  o.window = static_cast<double>(w.window) * static_cast<double>(m_blockLength);
  o.tau = o.squares > 0.0 ? n * o.varianceOfMean / (2.0 * o.squares / n) : kNaN;
  return o;
}

ObservableSummary ObservableSeries::calibratedSummary(std::size_t k, double leastTau,
                                                      bool constantKnown) const {
  ObservableSummary o = summary(k);
  if (m_n == 0) return o;
  std::vector<double> weights(m_shift.size(), 0.0);
  weights[k] = 1.0;
  o.varianceOfMean =
      constantOr(o.squares == 0.0, constantKnown, calibratedCombinedVariance(weights, leastTau));
  const double n = static_cast<double>(m_n);
  o.tau = o.squares > 0.0 ? n * o.varianceOfMean / (2.0 * o.squares / n) : kNaN;
  return o;
}

double ObservableSeries::combinedVariance(std::span<const double> weights) const {
  return windowOrBatches(blockMeans(weights)).varianceOfMean * blockScale();
}

double ObservableSeries::calibratedCombinedVariance(std::span<const double> weights,
                                                    double leastTau) const {
  const double length = static_cast<double>(m_blockLength);
  return calibratedVariance(blockMeans(weights), leastTau / length).varianceOfMean * blockScale();
}

SeriesSummary MeasuredSeries::summary() const {
  SeriesSummary out;
  if (m_series.steps() == 0) return out;
  out.r2 = m_series.summary(0);
  out.r = m_series.summary(1);
  out.rg2 = m_series.summary(2);
  if (out.r2.mean > 0.0 && (out.r2.squares > 0.0 || out.rg2.squares > 0.0)) {
    const double ratio[3] = {-(out.rg2.mean / out.r2.mean), 0.0, 1.0};
    out.ratioDeviationVariance = m_series.combinedVariance(ratio);
  }
  return out;
}

SeriesSummary MeasuredSeries::calibratedSummary(double leastTau, bool constantKnown) const {
  SeriesSummary out;
  out.r2 = m_series.calibratedSummary(0, leastTau, constantKnown);
  out.r = m_series.calibratedSummary(1, leastTau, constantKnown);
  out.rg2 = m_series.calibratedSummary(2, leastTau, constantKnown);
  if (out.r2.mean > 0.0) {
    const double ratio[3] = {-(out.rg2.mean / out.r2.mean), 0.0, 1.0};
    out.ratioDeviationVariance =
        constantOr(out.r2.squares == 0.0 && out.rg2.squares == 0.0, constantKnown,
                   m_series.calibratedCombinedVariance(ratio, leastTau));
  }
  return out;
}

MeasuredStats combineSeries(std::span<const SeriesSummary> chains) {
  MeasuredStats out;
  ObservableSummary all[3];
  double variance[3] = {0, 0, 0};
  double ratioVariance = 0.0;
  std::int64_t n = 0;
  for (const SeriesSummary& c : chains) n += c.r2.n;
  out.steps = n;
  if (n == 0) return out;
  const double total = static_cast<double>(n);
  for (const SeriesSummary& c : chains) {
    const ObservableSummary* parts[3] = {&c.r2, &c.r, &c.rg2};
    const double share = static_cast<double>(c.r2.n) / total;
    for (std::size_t k = 0; k < 3; ++k) {
      const ObservableSummary& p = *parts[k];
      ObservableSummary& a = all[k];
      if (p.n == 0) continue;
      // Chan's pairwise update of the mean and the squared deviations.
      const double na = static_cast<double>(a.n);
      const double nb = static_cast<double>(p.n);
      const double delta = p.mean - a.mean;
      a.squares += p.squares + delta * delta * na * nb / (na + nb);
      a.mean += delta * nb / (na + nb);
      a.n += p.n;
      variance[k] += share * share * p.varianceOfMean;
    }
    ratioVariance += share * share * c.ratioDeviationVariance;
  }
  const auto estimate = [](const ObservableSummary& a, double v) {
    return Estimate{a.mean, std::sqrt(v)};
  };
  ExtendedStats& s = out.stats;
  s.meanSquaredEnd = estimate(all[0], variance[0]);
  s.rmsEnd = rootEstimate(s.meanSquaredEnd);
  s.meanEnd = estimate(all[1], variance[1]);
  s.meanSquaredRg = estimate(all[2], variance[2]);
  s.rmsRg = rootEstimate(s.meanSquaredRg);
  if (all[0].mean > 0.0) {
    s.ratio = Estimate{all[2].mean / all[0].mean, std::sqrt(ratioVariance) / all[0].mean};
  }
  const auto tau = [total](const ObservableSummary& a, double v) {
    return a.squares > 0.0 ? total * v / (2.0 * a.squares / total) : kNaN;
  };
  out.tauR2 = tau(all[0], variance[0]);
  out.tauRg2 = tau(all[2], variance[2]);
  return out;
}

}  // namespace polychain
