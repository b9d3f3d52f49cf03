#include "app/extendedstats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>
#include <vector>

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

template <class Field>
CountSummary countSummary(std::span<const ChainSummary> chains, Field field) {
  CountSummary c;
  double sum = 0.0;
  for (const ChainSummary& s : chains) {
    const std::int64_t v = s.*field;
    sum += static_cast<double>(v);
    c.max = std::max(c.max, v);
  }
  c.mean = sum / static_cast<double>(chains.size());
  return c;
}

// `value` in fixed notation with `decimals` digits after the point, locale-free.
std::string fixed(double value, int decimals) {
  std::array<char, 400> buffer{};
  const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::fixed, decimals);
  return std::string(buffer.data(), r.ptr);
}

// `value` with up to `digits` significant digits, locale-free.
std::string general(double value, int digits) {
  std::array<char, 64> buffer{};
  const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::general, digits);
  return std::string(buffer.data(), r.ptr);
}

}  // namespace

ExtendedStats extendedStats(std::span<const ChainSummary> chains, Model model) {
  if (chains.empty()) throw std::invalid_argument("extendedStats needs at least one chain");
  const std::size_t m = chains.size();
  std::vector<double> r2(m), r(m), rg2(m);
  for (std::size_t i = 0; i < m; ++i) {
    r2[i] = squaredLength(chains[i].end);
    r[i] = distanceFromOrigin(chains[i].end);
    rg2[i] = chains[i].rg2CentreOfMass;
  }
  ExtendedStats s;
  s.chains = static_cast<std::int64_t>(m);
  s.meanSquaredEnd = plainMean(r2);
  s.rmsEnd = rootOf(s.meanSquaredEnd);
  s.meanEnd = plainMean(r);
  s.meanSquaredRg = plainMean(rg2);
  s.rmsRg = rootOf(s.meanSquaredRg);
  s.ratio = ratioOf(rg2, s.meanSquaredRg, r2, s.meanSquaredEnd);
  if (model == Model::SAW || model == Model::ShortRange) {
    s.trials = countSummary(chains, &ChainSummary::trials);
    s.discarded = countSummary(chains, &ChainSummary::discarded);
    s.backups = countSummary(chains, &ChainSummary::backups);
  }
  return s;
}

std::string estimateText(const Estimate& estimate) {
  if (!std::isfinite(estimate.value)) return "n/a";
  if (!estimate.hasError()) return general(estimate.value, 6) + " +/- n/a";
  const double se = estimate.standardError;
  if (se == 0.0) return general(estimate.value, 6) + " +/- 0";
  // Two significant digits of the error; the value to the same decimal place.
  const int decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(se))), 0, 15);
  return fixed(estimate.value, decimals) + " +/- " + fixed(se, decimals);
}

std::string extendedStatsText(const ExtendedStats& stats) {
  std::string text = "Extended statistics over " + std::to_string(stats.chains) +
                     (stats.chains == 1 ? " chain" : " chains") + " (mean +/- standard error):\n";
  const auto line = [&text](const char* name, const std::string& value, const char* meaning) {
    std::string row = "  ";
    row += name;
    row.resize(std::max<std::size_t>(row.size() + 1, 17), ' ');
    row += value;
    row.resize(std::max<std::size_t>(row.size() + 2, 42), ' ');
    text += row + meaning + "\n";
  };
  line("sqrt(<R^2>)", estimateText(stats.rmsEnd), "root-mean-square end-to-end distance");
  line("<R^2>", estimateText(stats.meanSquaredEnd), "mean squared end-to-end distance");
  line("<|R|>", estimateText(stats.meanEnd), "mean end-to-end distance");
  line("sqrt(<Rg^2>)", estimateText(stats.rmsRg), "radius of gyration about the centre of mass");
  line("<Rg^2>/<R^2>", estimateText(stats.ratio), "(1/6 for a long ideal chain)");
  const auto count = [&line](const char* name, const std::optional<CountSummary>& c,
                             const char* meaning) {
    if (c) line(name, "mean " + general(c->mean, 6) + ", max " + std::to_string(c->max), meaning);
  };
  count("trials", stats.trials, "trial steps per chain");
  count("discarded", stats.discarded, "refused trials per chain");
  count("back-ups", stats.backups, "sites abandoned by back-ups per chain");
  return text;
}

}  // namespace polychain
