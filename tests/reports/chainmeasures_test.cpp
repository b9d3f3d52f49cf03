// A growth model's measures of each chain, with a model that only the tests offer: the free
// walk with the relative shape anisotropy of each chain and its largest extent. Grown by the
// growers' runner, they match a direct computation over each chain's sites, leave the six
// results as the free walk's own run has them, and show in the texts and the JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "chain/chainshape.h"
#include "polychain/json.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "run/quietrun.h"
#include "run/runner.h"

namespace polychain {
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
    {.name = "anisotropy",
     .json = "anisotropy",
     .caption = "kappa^2",
     .meaning = "relative shape anisotropy, mean over the chains",
     .kind = MeasureKind::Estimate,
     .label = "κ²",
     .description = "Relative shape anisotropy",
     .ofChain = anisotropy},
    {.name = "extent",
     .json = "extent/largest",
     .caption = "Largest extent",
     .meaning = "the chain's longest side along an axis, mean over the chains",
     .kind = MeasureKind::Estimate,
     .ofChain = largestExtent},
};

const ModelInfo& shapeModel() {
  static const ModelInfo model = [] {
    ModelInfo m = modelInfo(MeanderSettings{});
    m.key = "test-shape";
    m.measures = kShapeMeasures;
    m.measuresKey = "shape";
    m.measuresTitle = "Shape";
    return m;
  }();
  return model;
}

// The run of `p` with `model`'s measures, as the run frame makes it, and each chain's sites.
RunResult grow(const ModelInfo& model, const RunParams& p,
               std::map<std::int64_t, std::vector<Point>>* chains = nullptr) {
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

// Each measure straight from the sites: the tensor about the centre found first.
std::array<double, 2> direct(const std::vector<Point>& sites) {
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

TEST(ChainMeasures, MatchTheSitesAndLeaveTheFreeWalksResults) {
  const RunParams p = reference::runParams(MeanderSettings{}, 300, 400, 21, 2);
  std::map<std::int64_t, std::vector<Point>> chains;
  const RunResult r = grow(shapeModel(), p, &chains);
  ASSERT_EQ(chains.size(), 400u);
  ASSERT_EQ(r.measures.size(), 2u);
  for (std::size_t m = 0; m < 2; ++m) {
    SCOPED_TRACE(kShapeMeasures[m].name);
    double sum = 0.0, squares = 0.0;
    for (const auto& [chain, sites] : chains) {
      const double v = direct(sites)[m];
      sum += v;
      squares += v * v;
    }
    const double mean = sum / 400.0;
    const double error = std::sqrt((squares / 400.0 - mean * mean) / 399.0);
    EXPECT_NEAR(r.measures[m].value, mean, 1e-9 * mean);
    EXPECT_NEAR(r.measures[m].standardError, error, 1e-6 * error);
  }
  // The measures ride on the pass that gives the size: the free walk's own run is unchanged.
  const RunResult own = quietRun(p);
  EXPECT_TRUE(own.measures.empty());
  EXPECT_EQ(r.sums.distanceSum, own.sums.distanceSum);
  EXPECT_EQ(r.sums.rgSum, own.sums.rgSum);
  EXPECT_EQ(r.extended.meanSquaredRg.value, own.extended.meanSquaredRg.value);
  // The same bits on one thread.
  RunParams one = p;
  one.threads = 1;
  const RunResult single = grow(shapeModel(), one);
  EXPECT_EQ(single.measures[0].value, r.measures[0].value);
  EXPECT_EQ(single.measures[1].standardError, r.measures[1].standardError);
}

TEST(ChainMeasures, ShowInTheTextsAndTheJson) {
  const RunParams p = reference::runParams(MeanderSettings{}, 50, 20, 4, 1);
  const RunResult r = grow(shapeModel(), p);
  const std::string text = extendedStatsText(shapeModel(), r.extended, r.measures);
  EXPECT_NE(text.find("  kappa^2"), std::string::npos) << text;
  EXPECT_NE(text.find(measureText(kShapeMeasures[1], r.measures[1])), std::string::npos) << text;
  const nlohmann::json j = measuresJson(shapeModel(), r.measures, false);
  EXPECT_EQ(j["anisotropy"]["value"].get<double>(), r.measures[0].value);
  EXPECT_EQ(j["extent"]["largest"]["se"].get<double>(), r.measures[1].standardError);
}

// A growth model's measure without a function of each chain is refused when its run is set up.
TEST(ChainMeasures, AMeasureWithoutItsFunctionIsRefusedBeforeTheRun) {
  static const MeasureInfo unmeasured[] = {{.name = "nothing", .kind = MeasureKind::Estimate}};
  ModelInfo model = modelInfo(MeanderSettings{});
  model.measures = unmeasured;
  EXPECT_THROW(chainTally(model, reference::runParams(MeanderSettings{}, 5, 2, 1, 1)),
               std::logic_error);
}

}  // namespace
}  // namespace polychain
