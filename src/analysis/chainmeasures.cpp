#include "analysis/chainmeasures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "analysis/sizemeasure.h"

namespace polychain {

namespace {

// Mean squared distance of the sites from their centre of mass, <r^2> - |<r>|^2, from what
// the size measure's pass gathered: the coordinate sums, and sum d_i^2 recovered from
// V = (1/m) sum (d_i - mu)^2 and S = sum d_i (mu = S/m over c sites) as
// sum d_i^2 = mV + mu (2S - c mu). No second pass over the sites.
double meanSquaredRadiusAboutCentre(double rgTotal, const SiteSums& sums, std::size_t sites,
                                    std::int32_t m) {
  const double c = static_cast<double>(sites);
  const double mu = sums.distances * (1.0 / static_cast<double>(m));
  const double squares = m * rgTotal + mu * (2.0 * sums.distances - c * mu);
  const double cx = static_cast<double>(sums.x) / c;
  const double cy = static_cast<double>(sums.y) / c;
  const double cz = static_cast<double>(sums.z) / c;
  return std::max(0.0, squares / c - (cx * cx + cy * cy + cz * cz));
}

// The chain's shape from what the pass over its sites gathered.
ChainShape shapeOf(const ChainSummary& summary, const SiteSums& sums, const SiteMoments& moments) {
  ChainShape shape;
  const double c = static_cast<double>(summary.sites);
  shape.sites = c;
  shape.end = summary.end;
  shape.rg2CentreOfMass = summary.rg2CentreOfMass;
  shape.centre = {static_cast<double>(sums.x) / c, static_cast<double>(sums.y) / c,
                  static_cast<double>(sums.z) / c};
  const auto& [x, y, z] = shape.centre;
  shape.gyration = {moments.xx / c - x * x, moments.yy / c - y * y, moments.zz / c - z * z,
                    moments.xy / c - x * y, moments.xz / c - x * z, moments.yz / c - y * z};
  shape.low = moments.low;
  shape.high = moments.high;
  return shape;
}

}  // namespace

std::vector<ChainMeasure> chainMeasures(const ModelInfo& model) {
  std::vector<ChainMeasure> measures;
  for (const MeasureInfo& measure : model.measures) {
    if (measure.ofChain == nullptr) {
      throw std::logic_error(std::string(model.key) + "'s measure " + std::string(measure.name) +
                             " is not a measure of each chain");
    }
    measures.push_back(measure.ofChain);
  }
  if (measures.size() > kChainMeasures) {
    throw std::logic_error(std::string(model.key) + " lists more than " +
                           std::to_string(kChainMeasures) + " measures of each chain");
  }
  return measures;
}

ChainSummary summarizeChain(std::span<const Point> sites, std::int32_t divisor,
                            std::span<const ChainMeasure> measures) {
  ChainSummary s;
  s.end = sites.back();
  SiteSums sums;
  SiteMoments moments;
  s.rgTotal = CalcRgTotal(sites, divisor, &sums, measures.empty() ? nullptr : &moments);
  s.rg2CentreOfMass = meanSquaredRadiusAboutCentre(s.rgTotal, sums, sites.size(), divisor);
  s.sites = static_cast<std::int64_t>(sites.size());
  if (!measures.empty()) {
    const ChainShape shape = shapeOf(s, sums, moments);
    for (std::size_t k = 0; k < measures.size(); ++k) s.measures[k] = measures[k](shape);
  }
  return s;
}

void RunSums::add(const ChainSummary& chain) {
  ++chains;
  const std::int64_t end = std::int64_t{chain.end.x} + chain.end.y + chain.end.z;
  endSum += end;
  const double distance = distanceFromOrigin(chain.end);
  distanceSum += distance;
  rgSum += chain.rgTotal;
  endSquares += static_cast<double>(end) * static_cast<double>(end);
  distanceSquares += distance * distance;
  rgSquares += chain.rgTotal * chain.rgTotal;
}

void RunSums::merge(const RunSums& later) {
  chains += later.chains;
  endSum += later.endSum;
  distanceSum += later.distanceSum;
  rgSum += later.rgSum;
  endSquares += later.endSquares;
  distanceSquares += later.distanceSquares;
  rgSquares += later.rgSquares;
}

namespace {

// The standard error of the mean of M values from their sum and sum of squares; NaN for
// fewer than two.
double meanError(double sum, double squares, double m) {
  if (!(m >= 2.0)) return std::numeric_limits<double>::quiet_NaN();
  const double variance = std::max(0.0, (squares - sum * sum / m) / (m - 1.0));
  return std::sqrt(variance / m);
}

}  // namespace

void ChainMeasureSums::add(const ChainSummary& chain) {
  m_chains += 1.0;
  for (std::size_t k = 0; k < m_count; ++k) {
    m_sums[k] += chain.measures[k];
    m_squares[k] += chain.measures[k] * chain.measures[k];
  }
}

std::vector<MeasureValue> ChainMeasureSums::values() const {
  std::vector<MeasureValue> values(m_count);
  for (std::size_t k = 0; k < m_count; ++k) {
    values[k].value = m_sums[k] / m_chains;
    values[k].standardError = meanError(m_sums[k], m_squares[k], m_chains);
  }
  return values;
}

ResultValues resultValues(const ModelInfo& model, std::int32_t steps, const RunSums& sums,
                          bool independent) {
  const double chains = static_cast<double>(sums.chains);
  const double n = steps;
  const double meanDistance = sums.distanceSum / chains;
  ResultValues r;
  r.eR.value = static_cast<double>(sums.endSum) / (chains * n);
  r.TR.value = 0.0;
  r.Rsqred.value = meanDistance;
  r.TRsqred.value = std::pow(n, model.sizeExponent);
  r.pers.value = model.persistence(meanDistance, n);
  r.Rgtxt.value = std::sqrt(sums.rgSum / chains);
  if (independent) {
    r.eR.standardError = meanError(static_cast<double>(sums.endSum), sums.endSquares, chains) / n;
    r.Rsqred.standardError = meanError(sums.distanceSum, sums.distanceSquares, chains);
    r.pers.standardError = meanDistance > 0.0 ? model.persistencePower * r.pers.value /
                                                    meanDistance * r.Rsqred.standardError
                                              : 0.0;
    const double rgError = meanError(sums.rgSum, sums.rgSquares, chains);
    r.Rgtxt.standardError = r.Rgtxt.value > 0.0 ? rgError / (2.0 * r.Rgtxt.value) : 0.0;
    if (!(chains >= 2.0)) r.pers.standardError = r.Rgtxt.standardError = r.Rsqred.standardError;
  }
  return r;
}

}  // namespace polychain
