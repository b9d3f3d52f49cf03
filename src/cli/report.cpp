#include "cli/report.h"

#include <cmath>

namespace polychain::cli {

namespace {

nlohmann::json number(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json estimateJson(const Estimate& e) {
  return {{"value", number(e.value)}, {"se", number(e.standardError)}};
}

}  // namespace

nlohmann::json extendedJson(const ExtendedStats& stats) {
  nlohmann::json j;
  j["chains"] = stats.chains;
  j["rms_R"] = estimateJson(stats.rmsEnd);
  j["R2"] = estimateJson(stats.meanSquaredEnd);
  j["mean_R"] = estimateJson(stats.meanEnd);
  j["rms_Rg"] = estimateJson(stats.rmsRg);
  j["Rg2"] = estimateJson(stats.meanSquaredRg);
  j["ratio"] = estimateJson(stats.ratio);
  const auto count = [&j](const char* key, const std::optional<CountSummary>& c) {
    if (c) j[key] = {{"mean", c->mean}, {"max", c->max}};
  };
  count("trials", stats.trials);
  count("discarded", stats.discarded);
  count("backups", stats.backups);
  return j;
}

nlohmann::json fitJson(const PowerLawFit& fit) {
  return {{"nu", number(fit.exponent)},
          {"nu_se", number(fit.exponentError)},
          {"amplitude", number(fit.amplitude)},
          {"method", fit.weighted ? "weighted" : "ordinary"},
          {"points", fit.points},
          {"chi2_per_dof", number(fit.chiSquaredPerDof)}};
}

}  // namespace polychain::cli
