#include "reference/shapemodel.h"

#include <algorithm>
#include <mutex>

#include "chain/chainshape.h"
#include "polychain/presentation.h"
#include "run/runner.h"

namespace polychain::reference {

namespace {

// kappa^2 = 1 - 3 I2 / I1^2 from the invariants of the gyration tensor.
double anisotropy(const ChainShape& shape) {
  const auto& [xx, yy, zz, xy, xz, yz] = shape.gyration;
  const double trace = xx + yy + zz;
  const double second = xx * yy + yy * zz + zz * xx - xy * xy - xz * xz - yz * yz;
  return trace > 0.0 ? 1.0 - 3.0 * second / (trace * trace) : 0.0;
}

double largestExtent(const ChainShape& shape) {
  return std::max(
      {shape.high.x - shape.low.x, shape.high.y - shape.low.y, shape.high.z - shape.low.z});
}

const MeasureInfo kShapeMeasures[] = {
    {.name = "anisotropy", .kind = MeasureKind::Estimate, .ofChain = anisotropy},
    {.name = "extent", .kind = MeasureKind::Estimate, .ofChain = largestExtent},
};

const MeasurePresentation kShapeShown[] = {
    {.name = "anisotropy",
     .json = "anisotropy",
     .caption = "kappa^2",
     .meaning = "relative shape anisotropy, mean over the chains",
     .label = "κ²",
     .description = "Relative shape anisotropy"},
    {.name = "extent",
     .json = "extent/largest",
     .caption = "Largest extent",
     .meaning = "the chain's longest side along an axis, mean over the chains",
     .label = "Largest extent",
     .description = "The chain's longest side along an axis"},
};

}  // namespace

const ModelInfo& shapeModel() {
  static const ModelInfo model = [] {
    ModelInfo m = modelInfo(MeanderSettings{});
    m.key = "test-shape";
    m.measures = kShapeMeasures;
    m.measuresKey = "shape";
    m.measuresTitle = "Shape";
    addPresentation(m.key, kShapeShown);
    return m;
  }();
  return model;
}

RunResult growWith(const ModelInfo& model, const RunParams& p,
                   std::map<std::int64_t, std::vector<Point>>* chains) {
  RunObserver quiet;
  RunControl control(quiet, p);
  const auto tally = chainTally(model, p);
  std::vector<Point> last;
  std::mutex lock;
  ChainSitesSink keep;
  if (chains != nullptr) {
    keep = [&](std::int64_t chain, std::span<const Point> sites) {
      const std::lock_guard hold(lock);
      (*chains)[chain].assign(sites.begin(), sites.end());
    };
  }
  growBlock(
      model, p, control, RandomSource(*p.seed), 0, p.iterations,
      [&](std::int64_t, const ChainSummary& summary) { tally->add(resultBytes(summary)); }, last,
      keep);
  RunResult r;
  tally->finish(r);
  return r;
}

std::array<double, 2> shapeOfSites(const std::vector<Point>& sites) {
  const double c = static_cast<double>(sites.size());
  double centre[3] = {};
  for (const Point& s : sites) {
    centre[0] += s.x / c;
    centre[1] += s.y / c;
    centre[2] += s.z / c;
  }
  double g[3][3] = {};
  int extent = 0;
  for (int a = 0; a < 3; ++a) {
    const auto coordinate = [a](const Point& s) { return a == 0 ? s.x : a == 1 ? s.y : s.z; };
    const auto [low, high] = std::ranges::minmax(sites, {}, coordinate);
    extent = std::max(extent, coordinate(high) - coordinate(low));
    for (int b = 0; b < 3; ++b) {
      const auto other = [b](const Point& s) { return b == 0 ? s.x : b == 1 ? s.y : s.z; };
      for (const Point& s : sites) {
        g[a][b] += (coordinate(s) - centre[a]) * (other(s) - centre[b]) / c;
      }
    }
  }
  const double trace = g[0][0] + g[1][1] + g[2][2];
  const double second = g[0][0] * g[1][1] + g[1][1] * g[2][2] + g[2][2] * g[0][0] -
                        g[0][1] * g[1][0] - g[0][2] * g[2][0] - g[1][2] * g[2][1];
  return {1.0 - 3.0 * second / (trace * trace), static_cast<double>(extent)};
}

}  // namespace polychain::reference
