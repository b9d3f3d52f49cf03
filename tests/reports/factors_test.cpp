// Every model's table of measures as a run fills it and the JSON and texts show it, and the
// form and structure factors of whole runs: against direct sums over a melt's last sample,
// the same bits on any thread count, and the free walk's P(q) against the Debye function.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <nlohmann/json.hpp>
#include <utility>
#include <variant>

#include "polychain/json.h"
#include "polychain/presentation.h"
#include "polychain/run.h"
#include "polychain/texts.h"
#include "reference/runparams.h"

namespace polychain {
namespace {

using reference::runParams;

template <std::size_t... I>
std::vector<ModelSettings> everyModel(std::index_sequence<I...>) {
  return {ModelSettings(std::in_place_index<I>)...};
}

RunResult finished(const RunParams& p) {
  RunObserver quiet;
  RunResult r = runSimulation(p, quiet);
  EXPECT_EQ(r.status, RunStatus::Finished) << modelOf(p.model).key;
  return r;
}

// Small runs of each model in the table, sized so that each samples what it measures.
RunParams smallRun(const ModelSettings& settings) {
  RunParams p = runParams(settings, 40, 40, 17);
  if (auto* melt = std::get_if<MeltSettings>(&p.model)) {
    melt->chains = 12;
    p.steps = 10;
  }
  return p;
}

TEST(EveryModelsTable, EachMeasureIsFilledAndShownAndEveryRunHasItsFormFactor) {
  const std::vector<ModelSettings> models = everyModel(std::make_index_sequence<kModelCount>());
  for (std::size_t i = 0; i < models.size(); ++i) {
    const ModelInfo& model = modelOf(models[i]);
    SCOPED_TRACE(model.key);
    ASSERT_EQ(&model, modelTable()[i]);
    const RunParams p = smallRun(models[i]);
    const RunResult r = finished(p);
    const nlohmann::json j = runJsonObject(p, r);
    const std::string text = runReport(p, r);
    ASSERT_EQ(r.measures.size(), model.measures.size());
    for (std::size_t m = 0; m < model.measures.size(); ++m) {
      const MeasureInfo& measure = model.measures[m];
      const MeasurePresentation& shown = presentationOf(model, m);
      SCOPED_TRACE(measure.name);
      const MeasureValue& v = r.measures[m];
      const std::string path = "/" + std::string(model.measuresKey) + "/" + std::string(shown.json);
      ASSERT_TRUE(j.contains(nlohmann::json::json_pointer(path)));
      if (measure.kind == MeasureKind::Curve) {
        ASSERT_FALSE(v.curve.empty());
        for (const double c : v.curve) EXPECT_TRUE(std::isfinite(c));
        if (!v.at.empty()) {  // at its own n, with errors: {"n", "value", "se"}
          const nlohmann::json& c = j[nlohmann::json::json_pointer(path)];
          EXPECT_EQ(c["n"].size(), v.at.size());
          EXPECT_EQ(c["value"].size(), v.at.size());
          EXPECT_EQ(c["se"].size(), v.at.size());
        }
        continue;
      }
      // A move the melt never tried has no acceptance.
      if (measure.name.starts_with("acceptance_") && model.key == "melt" && std::isnan(v.value)) {
        continue;
      }
      EXPECT_TRUE(std::isfinite(v.value));
      EXPECT_FALSE(j[nlohmann::json::json_pointer(path)].is_null());
      if (!shown.caption.empty()) {
        EXPECT_NE(text.find("  " + std::string(shown.caption)), std::string::npos);
      }
    }
    ASSERT_TRUE(r.formFactor);
    const FormFactor& f = *r.formFactor;
    EXPECT_GT(f.chains, 0);
    ASSERT_EQ(f.P.size(), f.q.size());
    ASSERT_EQ(f.debye.size(), f.q.size());
    for (const double v : f.P) EXPECT_TRUE(v >= 0.0 && v <= 1.0) << v;
    EXPECT_EQ(j["form_factor"]["P"].size(), f.q.size());
    EXPECT_NE(text.find("Form factor P(q) over "), std::string::npos);
    EXPECT_EQ(r.structureFactor.has_value(), model.key == "melt");
    EXPECT_EQ(j.contains("structure_factor"), model.key == "melt");
  }
}

// |sum_j exp(i q c_j)|^2 along `axis`.
double directPower(std::span<const Point> sites, int axis, double q) {
  std::complex<double> sum;
  for (const Point& p : sites)
    sum += std::polar(1.0, q * (axis == 0 ? p.x : axis == 1 ? p.y : p.z));
  return std::norm(sum);
}

TEST(Factors, AMeltsOneSampleGivesTheDirectSumsOverItsBox) {
  for (const std::int32_t walls : {0, 1}) {  // periodic, and a slit with walls normal to z
    MeltSettings melt;
    melt.chains = 9;
    melt.walls = walls;
    RunParams p = runParams(melt, 12, 1, 5, 1);
    const RunResult r = finished(p);
    ASSERT_TRUE(r.box && r.formFactor && r.structureFactor);
    const ChainBox& box = *r.box;
    const auto chain = [&](std::int64_t c) {
      return std::span(box.sites).subspan(static_cast<std::size_t>(c * box.sitesPerChain),
                                          static_cast<std::size_t>(box.sitesPerChain));
    };
    const double n = static_cast<double>(box.sitesPerChain);
    for (std::size_t i = 0; i < r.formFactor->q.size(); ++i) {
      const double q = r.formFactor->q[i];
      double sum = 0.0;
      for (std::int64_t c = 0; c < box.chains(); ++c) {
        for (int axis = 0; axis < 3; ++axis) sum += directPower(chain(c), axis, q) / (3 * n * n);
      }
      EXPECT_NEAR(r.formFactor->P[i], sum / static_cast<double>(box.chains()), 1e-12);
    }
    const int periodic = walls == 0 ? 3 : 2;
    ASSERT_EQ(r.structureFactor->q.size(), static_cast<std::size_t>(box.side / 2));
    for (std::size_t i = 0; i < r.structureFactor->q.size(); ++i) {
      const double q = r.structureFactor->q[i];
      EXPECT_DOUBLE_EQ(q, 2 * M_PI * static_cast<double>(i + 1) / box.side);
      double sum = 0.0;
      for (int axis = 0; axis < periodic; ++axis) sum += directPower(box.sites, axis, q);
      EXPECT_NEAR(r.structureFactor->S[i], sum / (periodic * static_cast<double>(box.sites.size())),
                  1e-9);
    }
  }
}

TEST(Factors, SameBitsOnAnyThreadCount) {
  for (const ModelSettings& model : {ModelSettings(MeanderSettings{}), ModelSettings(SawSettings{}),
                                     ModelSettings(PivotSettings{.pivotsPerSample = 50})}) {
    const RunResult one = finished(runParams(model, 60, 300, 9, 1));
    const RunResult three = finished(runParams(model, 60, 300, 9, 3));
    ASSERT_TRUE(one.formFactor && three.formFactor);
    EXPECT_EQ(one.formFactor->P, three.formFactor->P) << modelOf(model).key;
    EXPECT_EQ(one.formFactor->chains, three.formFactor->chains);
  }
}

// The free walk's P(q) is the ideal chain's: within its errors of the Debye function at the
// run's <Rg^2> where q is well below the lattice scale (there q Rg runs from 0.07 to 2.5).
TEST(Factors, FreeWalkFollowsTheDebyeFunctionWithinItsErrors) {
  const RunResult r = finished(runParams(MeanderSettings{}, 200, 96000, 23, 2));
  ASSERT_TRUE(r.formFactor);
  const FormFactor& f = *r.formFactor;
  // Chains 0, every, 2 every, ...
  EXPECT_GT(f.every, 1);
  EXPECT_EQ(f.chains, (96000 + f.every - 1) / f.every);
  int compared = 0;
  for (std::size_t i = 0; i < f.q.size() && f.q[i] < 0.45; ++i, ++compared) {
    SCOPED_TRACE("q = " + std::to_string(f.q[i]));
    ASSERT_GT(f.error[i], 0.0);
    EXPECT_LT(std::abs(f.P[i] - f.debye[i]), 4.0 * f.error[i]);
  }
  EXPECT_GE(compared, 10);
  // 1 as q -> 0, and small at the lattice's pi.
  EXPECT_GT(f.P.front(), 0.99);
  EXPECT_LT(f.P.back(), 0.02);
}

}  // namespace
}  // namespace polychain
