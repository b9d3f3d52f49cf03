#include "polychain/json.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "polychain/texts.h"

namespace polychain {

namespace {

nlohmann::json number(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json estimateJson(const Estimate& e) {
  return {{"value", number(e.value)}, {"se", number(e.standardError)}};
}

// {"chains", "rms_R", "R2", "mean_R", "rms_Rg", "Rg2", "ratio"} with each measure as
// {"value", "se"}, and for the self-avoiding models "trials", "discarded" and "backups"
// as {"mean", "max"} and "restarts", how many times a trapped chain began again.
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
  if (stats.trials) j["restarts"] = stats.restarts;
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

nlohmann::json correctedJson(const std::optional<CorrectedFit>& fit) {
  if (!fit) return nullptr;
  const CorrectedFit& f = *fit;
  return {{"nu", number(f.exponent)},
          {"nu_se", number(f.exponentError)},
          {"amplitude", number(f.amplitude)},
          {"amplitude_se", number(f.amplitudeError)},
          {"correction", number(f.correction)},
          {"correction_se", number(f.correctionError)},
          {"delta", number(f.delta)},
          {"from_steps", number(f.fromSteps)},
          {"points", f.points},
          {"chi2_per_dof", number(f.chiSquaredPerDof)},
          {"acceptable", f.acceptable}};
}

nlohmann::json limitJson(const std::optional<LimitFit>& fit) {
  if (!fit) return nullptr;
  const LimitFit& f = *fit;
  return {{"limit", number(f.limit)},
          {"limit_se", number(f.limitError)},
          {"correction", number(f.correction)},
          {"delta", number(f.delta)},
          {"from_steps", number(f.fromSteps)},
          {"points", f.points},
          {"chi2_per_dof", number(f.chiSquaredPerDof)},
          {"acceptable", f.acceptable}};
}

// A pivot run's chains: what `polychain run --json` writes under "pivot" without its settings.
nlohmann::json pivotJson(const PivotStats& p) {
  return {{"walkers", p.walkers},
          {"attempts", p.attempts},
          {"accepted", p.accepted},
          {"acceptance", number(p.acceptance)},
          {"measured", p.measured},
          {"autocorrelation_time", {{"R2", number(p.tauR2)}, {"Rg2", number(p.tauRg2)}}},
          {"autocorrelation_time_accepted",
           {{"R2", number(p.tauR2Accepted)}, {"Rg2", number(p.tauRg2Accepted)}}}};
}

nlohmann::json indexed(const std::vector<double>& values) {
  nlohmann::json rows = nlohmann::json::array();
  for (std::size_t i = 0; i < values.size(); ++i) rows.push_back({i, values[i]});
  return rows;
}

// The settings that choose the model's walks, by key.
void modelSetting(nlohmann::json& j, const RunParams& params) {
  for (const SettingInfo& setting : modelOf(params.model).settings) {
    if (!setting.physical) continue;
    if (const auto value = setting.get(params.model)) j[std::string(setting.key)] = *value;
  }
}

}  // namespace

nlohmann::json runJsonObject(const RunParams& params, const RunResult& result) {
  const ResultTexts r = resultTexts(result.values);
  nlohmann::json j;
  j["model"] = modelOf(params.model).key;
  j["seed"] = result.seed;
  j["steps"] = params.steps;
  j["iterations"] = params.iterations;
  modelSetting(j, params);
  j["results"] = {{"eR", r.eR},           {"TR", r.TR},     {"Rsqred", r.Rsqred},
                  {"TRsqred", r.TRsqred}, {"pers", r.pers}, {"Rgtxt", r.Rgtxt}};
  if (result.correlation) {
    j["gofr"] = indexed(result.correlation->gofr);
    j["gofq"] = indexed(result.correlation->gofq);
  }
  j["extended"] = extendedJson(result.extended);
  if (result.pivot) {
    const PivotStats& p = *result.pivot;
    j["pivot"] = pivotJson(p);
    j["pivot"]["pivots_per_sample"] = std::get<PivotSettings>(params.model).pivotsPerSample;
    j["pivot"]["burn_in"] = pivotBurnIn(params);
  }
  return j;
}

nlohmann::json sweepJsonObject(const SweepParams& params, const SweepResult& result) {
  nlohmann::json j;
  j["model"] = modelOf(params.run.model).key;
  j["seed"] = result.seed;
  j["iterations"] =
      params.pivotBudget ? nlohmann::json(nullptr) : nlohmann::json(params.run.iterations);
  modelSetting(j, params.run);
  j["points"] = nlohmann::json::array();
  for (const SweepPoint& point : result.points) {
    j["points"].push_back(
        {{"steps", point.steps}, {"seed", point.seed}, {"extended", extendedJson(point.stats)}});
    if (point.pivot) j["points"].back()["pivot"] = pivotJson(*point.pivot);
  }
  j["fit"] = result.fit ? fitJson(*result.fit) : nlohmann::json(nullptr);
  if (params.pivotBudget) j["budget"] = *params.pivotBudget;
  j["corrected_fit"] = {{"R2", correctedJson(result.correctedR2)},
                        {"Rg2", correctedJson(result.correctedRg2)}};
  j["ratio_limit"] = limitJson(result.ratioLimit);
  j["reference"] = {{"ideal_chain", kIdealChainExponent},
                    {"self_avoiding_walk", kSelfAvoidingExponent}};
  return j;
}

std::string runJson(const RunParams& params, const RunResult& result) {
  return runJsonObject(params, result).dump(2) + "\n";
}

std::string sweepJson(const SweepParams& params, const SweepResult& result) {
  return sweepJsonObject(params, result).dump(2) + "\n";
}

}  // namespace polychain
