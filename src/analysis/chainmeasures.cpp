#include "analysis/chainmeasures.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

}  // namespace

ChainSummary summarizeChain(std::span<const Point> sites, std::int32_t divisor) {
  ChainSummary s;
  s.end = sites.back();
  SiteSums sums;
  s.rgTotal = CalcRgTotal(sites, divisor, &sums);
  s.rg2CentreOfMass = meanSquaredRadiusAboutCentre(s.rgTotal, sums, sites.size(), divisor);
  s.sites = static_cast<std::int64_t>(sites.size());
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
