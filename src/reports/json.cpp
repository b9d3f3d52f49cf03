#include "polychain/json.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "polychain/commonstats.h"
#include "polychain/presentation.h"
#include "polychain/texts.h"

namespace polychain {

namespace {

nlohmann::json number(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json estimateJson(const Estimate& e) {
  return {{"value", number(e.value)}, {"se", number(e.standardError)}};
}

// {"chains"} and each common statistic under its key as {"value", "se"}, and for the self-avoiding
// models "trials", "discarded" and "backups" as {"mean", "max"} and "restarts", how many times a
// trapped chain began again.
nlohmann::json extendedJson(const ExtendedStats& stats) {
  nlohmann::json j;
  j["chains"] = stats.chains;
  for (const CommonStatistic& s : commonStatistics()) {
    j[std::string(s.shown.json)] = estimateJson(stats.*s.value);
  }
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

nlohmann::json growthJson(const std::optional<GrowthFit>& fit) {
  if (!fit) return nullptr;
  const GrowthFit& f = *fit;
  return {{"mu", number(f.mu)},        {"mu_se", number(f.muError)},
          {"gamma", number(f.gamma)},  {"gamma_se", number(f.gammaError)},
          {"delta", number(f.delta)},  {"from_steps", number(f.fromSteps)},
          {"points", f.points},        {"chi2_per_dof", number(f.chiSquaredPerDof)},
          {"acceptable", f.acceptable}};
}

nlohmann::json numbers(const std::vector<double>& values) {
  nlohmann::json list = nlohmann::json::array();
  for (const double v : values) list.push_back(number(v));
  return list;
}

}  // namespace

// The model's measures as one object, each at its place (levels joined by '/'): a count as
// a whole number, a number as a number (null when absent), an estimate as {"value", "se"}, a
// curve as [[n, value], ...] from n = 1, or as [value, ...] when not indexed, or, when it has
// its own abscissae (whole n), as {"n": [...], "value": [...], "se": [...]}. Only those a sweep
// keeps when `sweep`.
nlohmann::json measuresJson(const ModelInfo& model, const std::vector<MeasureValue>& values,
                            bool sweep) {
  nlohmann::json j = nlohmann::json::object();
  for (std::size_t m = 0; m < model.measures.size() && m < values.size(); ++m) {
    const MeasureInfo& measure = model.measures[m];
    if (sweep && !measure.inSweep) continue;
    const MeasureValue& v = values[m];
    nlohmann::json value;
    switch (measure.kind) {
      case MeasureKind::Count:
        value = std::isfinite(v.value) ? nlohmann::json(std::llround(v.value))
                                       : nlohmann::json(nullptr);
        break;
      case MeasureKind::Number:
        value = number(v.value);
        break;
      case MeasureKind::Estimate:
        value = estimateJson({v.value, v.standardError});
        break;
      case MeasureKind::Curve:
        if (!v.at.empty()) {
          // Its n are whole numbers: printed as such, as the indexed curves' n are.
          nlohmann::json n = nlohmann::json::array();
          for (const double a : v.at) n.push_back(std::llround(a));
          value = {{"n", std::move(n)}, {"value", numbers(v.curve)}, {"se", numbers(v.curveError)}};
          break;
        }
        value = nlohmann::json::array();
        for (std::size_t i = 0; i < v.curve.size(); ++i) {
          if (measure.indexed) {
            value.push_back({i + 1, number(v.curve[i])});
          } else {
            value.push_back(number(v.curve[i]));
          }
        }
        break;
    }
    j[nlohmann::json::json_pointer("/" + std::string(presentationOf(model, m).json))] = value;
  }
  return j;
}

namespace {

// {"q", "P", "debye"} with P's standard error "P_se" (null for correlated samples), the chains
// it was averaged over and their spacing by index.
nlohmann::json formFactorJson(const FormFactor& f) {
  return {{"q", numbers(f.q)},        {"P", numbers(f.P)},  {"debye", numbers(f.debye)},
          {"P_se", numbers(f.error)}, {"chains", f.chains}, {"every", f.every}};
}

// {"q", "S"} and the samples it was averaged over.
nlohmann::json structureFactorJson(const StructureFactor& s) {
  return {{"q", numbers(s.q)}, {"S", numbers(s.S)}, {"samples", s.samples}};
}

// A run's energy terms, each {"value", "se"}; "wall_contacts" is null for a model without
// walls.
nlohmann::json energyJson(const EnergyEstimates& e) {
  nlohmann::json j = nlohmann::json::object();
  for (const EnergyTerm& term : energyTerms()) {
    const Estimate* value = term.of(e);
    j[std::string(term.name)] = value != nullptr ? estimateJson(*value) : nullptr;
  }
  return j;
}

nlohmann::json indexed(const std::vector<double>& values) {
  nlohmann::json rows = nlohmann::json::array();
  for (std::size_t i = 0; i < values.size(); ++i) rows.push_back({i, values[i]});
  return rows;
}

// The settings that choose the model's walks, by key: a whole number, a real number, a
// choice's word or a flag.
void modelSetting(nlohmann::json& j, const RunParams& params) {
  for (const SettingInfo& setting : modelOf(params.model).settings) {
    if (!setting.physical) continue;
    const auto value = setting.get(params.model);
    if (!value) continue;
    nlohmann::json& out = j[std::string(setting.key)];
    switch (setting.kind) {
      case SettingKind::Whole:
        out = std::get<std::int64_t>(*value);
        break;
      case SettingKind::Real:
        out = std::get<double>(*value);
        break;
      case SettingKind::Choice:
        out = settingText(setting, *value);
        break;
      case SettingKind::Flag:
        out = std::get<bool>(*value);
        break;
    }
  }
}

}  // namespace

nlohmann::json runJsonObject(const RunParams& params, const RunResult& result) {
  const ResultTexts texts = resultTexts(result.values);
  nlohmann::json j;
  j["model"] = modelOf(params.model).key;
  j["seed"] = result.seed;
  j["steps"] = params.steps;
  j["iterations"] = params.iterations;
  modelSetting(j, params);
  nlohmann::json& results = j["results"];
  for (const CommonResult& r : commonResults()) {
    results[std::string(r.shown.json)] = texts.*r.text;
  }
  if (result.correlation) {
    j["gofr"] = indexed(result.correlation->gofr);
    j["gofq"] = indexed(result.correlation->gofq);
  }
  j["extended"] = extendedJson(result.extended);
  if (result.formFactor) j["form_factor"] = formFactorJson(*result.formFactor);
  if (result.structureFactor) j["structure_factor"] = structureFactorJson(*result.structureFactor);
  const ModelInfo& model = modelOf(params.model);
  if (!model.measures.empty()) {
    j[std::string(model.measuresKey)] = measuresJson(model, result.measures, false);
  }
  if (!model.notes.empty()) j["notes"] = runNotes(model, result.measures);
  if (result.energy) j["energy"] = energyJson(*result.energy);
  return j;
}

nlohmann::json sweepJsonObject(const SweepParams& params, const SweepResult& result) {
  nlohmann::json j;
  j["model"] = modelOf(params.run.model).key;
  j["seed"] = result.seed;
  const ModelInfo& model = modelOf(params.run.model);
  const bool budget = params.budget && model.budget != nullptr;
  j["iterations"] = budget ? nlohmann::json(nullptr) : nlohmann::json(params.run.iterations);
  modelSetting(j, params.run);
  j["points"] = nlohmann::json::array();
  for (const SweepPoint& point : result.points) {
    j["points"].push_back(
        {{"steps", point.steps}, {"seed", point.seed}, {"extended", extendedJson(point.stats)}});
    if (!model.measures.empty()) {
      j["points"].back()[std::string(model.measuresKey)] =
          measuresJson(model, point.measures, true);
    }
    if (!model.notes.empty()) j["points"].back()["notes"] = runNotes(model, point.measures);
  }
  j["fit"] = result.fit ? fitJson(*result.fit) : nlohmann::json(nullptr);
  if (budget) j["budget"] = *params.budget;
  j["corrected_fit"] = {{"R2", correctedJson(result.correctedR2)},
                        {"Rg2", correctedJson(result.correctedRg2)}};
  j["ratio_limit"] = limitJson(result.ratioLimit);
  j["reference"] = {{"ideal_chain", kIdealChainExponent},
                    {"self_avoiding_walk", kSelfAvoidingExponent}};
  if (model.findMeasure("log_partition") >= 0) {
    j["growth_fit"] = growthJson(result.growth);
    j["reference"]["self_avoiding_walk_mu"] = kSelfAvoidingGrowth;
    j["reference"]["self_avoiding_walk_gamma"] = kSelfAvoidingGamma;
  }
  return j;
}

nlohmann::json sweepSeriesJsonObject(const SweepParams& params, const SweepVaried& varied,
                                     std::uint64_t seed, const std::vector<SweepResult>& results) {
  const std::string key(varied.setting->key);
  nlohmann::json j;
  j["model"] = modelOf(params.run.model).key;
  j["seed"] = seed;
  j["varied"] = key;
  j["series"] = nlohmann::json::array();
  for (std::size_t v = 0; v < results.size(); ++v) {
    nlohmann::json one = sweepJsonObject(sweepSeriesParams(params, varied, v), results[v]);
    one[key] = varied.values[v];
    const SweepCurve curve = sweepCurve(results[v]);
    nlohmann::json& c = one["curve"];
    c["steps"] = nlohmann::json::array();
    for (const SweepPoint& p : results[v].points) c["steps"].push_back(p.steps);
    const auto put = [&c](const char* name, const std::vector<Estimate>& values) {
      c[name] = nlohmann::json::array();
      c[std::string(name) + "_se"] = nlohmann::json::array();
      for (const Estimate& e : values) {
        c[name].push_back(number(e.value));
        c[std::string(name) + "_se"].push_back(number(e.standardError));
      }
    };
    put("R2_per_N", curve.perStep);
    put("nu_eff", curve.effectiveExponent);
    j["series"].push_back(std::move(one));
  }
  return j;
}

std::string sweepSeriesJson(const SweepParams& params, const SweepVaried& varied,
                            std::uint64_t seed, const std::vector<SweepResult>& results) {
  return sweepSeriesJsonObject(params, varied, seed, results).dump(2) + "\n";
}

std::string runJson(const RunParams& params, const RunResult& result) {
  return runJsonObject(params, result).dump(2) + "\n";
}

std::string sweepJson(const SweepParams& params, const SweepResult& result) {
  return sweepJsonObject(params, result).dump(2) + "\n";
}

}  // namespace polychain
