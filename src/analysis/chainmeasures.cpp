#include "analysis/chainmeasures.h"

#include <algorithm>
#include <cmath>

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
  endSum += std::int64_t{chain.end.x} + chain.end.y + chain.end.z;
  distanceSum += distanceFromOrigin(chain.end);
  rgSum += chain.rgTotal;
}

void RunSums::merge(const RunSums& later) {
  chains += later.chains;
  endSum += later.endSum;
  distanceSum += later.distanceSum;
  rgSum += later.rgSum;
}

ResultValues resultValues(const ModelInfo& model, std::int32_t steps, const RunSums& sums) {
  const double chains = static_cast<double>(sums.chains);
  const double n = steps;
  const double meanDistance = sums.distanceSum / chains;
  ResultValues r;
  r.eR = static_cast<double>(sums.endSum) / (chains * n);
  r.TR = 0.0;
  r.Rsqred = meanDistance;
  r.TRsqred = std::pow(n, model.sizeExponent);
  r.pers = model.persistence(meanDistance, n);
  r.Rgtxt = std::sqrt(sums.rgSum / chains);
  return r;
}

}  // namespace polychain
