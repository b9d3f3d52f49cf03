// A growth model's measures of each chain, with a model that only the tests offer: the free
// walk with the relative shape anisotropy of each chain and its largest extent. Grown by the
// growers' runner, they match a direct computation over each chain's sites, leave the six
// results as the free walk's own run has them, and show in the texts and the JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "polychain/json.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "reference/shapemodel.h"
#include "run/quietrun.h"
#include "run/runner.h"

namespace polychain {
namespace {

using reference::growWith;
using reference::shapeModel;

TEST(ChainMeasures, MatchTheSitesAndLeaveTheFreeWalksResults) {
  const RunParams p = reference::runParams(MeanderSettings{}, 300, 400, 21, 2);
  std::map<std::int64_t, std::vector<Point>> chains;
  const RunResult r = growWith(shapeModel(), p, &chains);
  ASSERT_EQ(chains.size(), 400u);
  ASSERT_EQ(r.measures.size(), 2u);
  for (std::size_t m = 0; m < 2; ++m) {
    SCOPED_TRACE(shapeModel().measures[m].name);
    double sum = 0.0, squares = 0.0;
    for (const auto& [chain, sites] : chains) {
      const double v = reference::shapeOfSites(sites)[m];
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
  const RunResult single = growWith(shapeModel(), one);
  EXPECT_EQ(single.measures[0].value, r.measures[0].value);
  EXPECT_EQ(single.measures[1].standardError, r.measures[1].standardError);
}

TEST(ChainMeasures, ShowInTheTextsAndTheJson) {
  const RunParams p = reference::runParams(MeanderSettings{}, 50, 20, 4, 1);
  const RunResult r = growWith(shapeModel(), p);
  const std::string text = extendedStatsText(shapeModel(), r.extended, r.measures);
  EXPECT_NE(text.find("  kappa^2"), std::string::npos) << text;
  EXPECT_NE(text.find(measureText(shapeModel().measures[1], r.measures[1])), std::string::npos)
      << text;
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
