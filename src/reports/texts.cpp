#include "polychain/texts.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "chain/numbertext.h"
#include "polychain/commonstats.h"
#include "polychain/inputerror.h"
#include "polychain/presentation.h"

namespace polychain {

std::string settingText(const SettingInfo& setting, const SettingValue& value) {
  switch (setting.kind) {
    case SettingKind::Whole:
      return formatInteger(std::get<std::int64_t>(value));
    case SettingKind::Real:
      return formatNumber(std::get<double>(value));
    case SettingKind::Choice:
      return std::string(setting.choices[static_cast<std::size_t>(std::get<std::int64_t>(value))]);
    case SettingKind::Flag:
      return std::get<bool>(value) ? "on" : "off";
  }
  return {};
}

std::string headlineText(const RunParams& params) {
  const ModelInfo& model = modelOf(params.model);
  const SettingInfo* setting = model.headlineSetting();
  if (setting == nullptr) return {};
  const std::optional<SettingValue> value = setting->get(params.model);
  std::string text(model.phrase);
  const std::size_t at = text.find("{}");
  return text.replace(at, 2, value ? settingText(*setting, *value) : std::string("default"));
}

ResultTexts resultTexts(const ResultValues& values) {
  ResultTexts texts;
  for (const CommonResult& r : commonResults()) {
    texts.*r.text = formatNumber((values.*r.value).value);
  }
  return texts;
}

std::string measureText(const MeasureInfo& measure, const MeasureValue& value) {
  switch (measure.kind) {
    case MeasureKind::Count:
      return std::isfinite(value.value) ? formatInteger(std::llround(value.value)) : "n/a";
    case MeasureKind::Number:
      return std::isfinite(value.value) ? formatSignificant(value.value, measure.digits) : "n/a";
    case MeasureKind::Estimate:
      return estimateText({value.value, value.standardError});
    case MeasureKind::Curve:
      return formatInteger(static_cast<std::int64_t>(value.curve.size())) + " values";
  }
  return {};
}

namespace {

// `text` left-aligned in a field of `width` characters, and at least `gap` blanks after it.
std::string padded(std::string text, std::size_t width, std::size_t gap = 0) {
  text.resize(std::max(text.size() + gap, width), ' ');
  return text;
}

// `text` with each {name} replaced by value(name), and each {name|one|many} also followed by a
// blank and `one` when isOne(name), else `many`.
std::string fillTemplate(std::string_view text,
                         const std::function<std::string(std::string_view name)>& value,
                         const std::function<bool(std::string_view name)>& isOne) {
  std::string out;
  while (!text.empty()) {
    const std::size_t open = text.find('{');
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
    if (close == std::string_view::npos) break;
    out += text.substr(0, open);
    const std::string_view inside = text.substr(open + 1, close - open - 1);
    const std::size_t bar = inside.find('|');
    const std::string_view name = inside.substr(0, bar);
    out += value(name);
    if (bar != std::string_view::npos) {
      const std::string_view words = inside.substr(bar + 1);
      const std::size_t second = words.find('|');
      out += ' ';
      out += isOne(name) ? words.substr(0, second) : words.substr(second + 1);
    }
    text.remove_prefix(close + 1);
  }
  out += text;
  return out;
}

}  // namespace

namespace {

// The fields `keys` ("iterations|sweeps_per_sample") names, as fieldName names them, joined by
// " or ", leaving out those fieldName gives no name (the front end lacks them).
std::string fieldNames(std::string_view keys, std::string (*fieldName)(std::string_view key)) {
  std::string names;
  while (true) {
    const std::size_t bar = keys.find('|');
    const std::string name = fieldName(keys.substr(0, bar));
    if (!name.empty()) names += (names.empty() ? "" : " or ") + name;
    if (bar == std::string_view::npos) return names;
    keys.remove_prefix(bar + 1);
  }
}

// measureTemplate with each {-key} replaced by fieldName(key), and each {-key|key...} by
// fieldNames.
std::string noteTemplate(std::string_view text, const ModelInfo& model,
                         std::span<const MeasureValue> values,
                         std::string (*fieldName)(std::string_view key)) {
  std::string named;
  for (std::size_t open = text.find("{-"); open != std::string_view::npos; open = text.find("{-")) {
    const std::size_t close = text.find('}', open);
    if (close == std::string_view::npos) break;
    named += text.substr(0, open);
    named += fieldNames(text.substr(open + 2, close - open - 2), fieldName);
    text.remove_prefix(close + 1);
  }
  named += text;
  return measureTemplate(named, model, values);
}

}  // namespace

std::string measureTemplate(std::string_view text, const ModelInfo& model,
                            std::span<const MeasureValue> values) {
  const auto find = [&](std::string_view name) -> const MeasureValue* {
    const int at = model.findMeasure(name);
    return at >= 0 && static_cast<std::size_t>(at) < values.size()
               ? &values[static_cast<std::size_t>(at)]
               : nullptr;
  };
  return fillTemplate(
      text,
      [&](std::string_view name) {
        const MeasureValue* v = find(name);
        return v != nullptr
                   ? measureText(model.measures[static_cast<std::size_t>(model.findMeasure(name))],
                                 *v)
                   : std::string("?");
      },
      [&](std::string_view name) {
        const MeasureValue* v = find(name);
        return v != nullptr && v->value == 1.0;
      });
}

std::string settingTemplate(std::string_view text, const ModelInfo& model,
                            const ModelSettings& settings) {
  const auto find = [&](std::string_view name) -> std::optional<SettingValue> {
    const SettingInfo* setting = model.findSetting(name);
    return setting != nullptr ? setting->get(settings) : std::nullopt;
  };
  return fillTemplate(
      text,
      [&](std::string_view name) {
        const std::optional<SettingValue> v = find(name);
        return v ? settingText(*model.findSetting(name), *v) : std::string("default");
      },
      [&](std::string_view name) {
        const std::optional<SettingValue> v = find(name);
        return v && std::holds_alternative<std::int64_t>(*v) && std::get<std::int64_t>(*v) == 1;
      });
}

std::string estimateText(const Estimate& estimate, std::string_view plusMinus) {
  if (!std::isfinite(estimate.value)) return "n/a";
  const std::string pm(plusMinus);
  if (!estimate.hasError()) return formatSignificant(estimate.value, 6) + pm + "n/a";
  const double se = estimate.standardError;
  if (se == 0.0) return formatSignificant(estimate.value, 6) + pm + "0";
  // Two significant digits of the error; the value to the same decimal place.
  const int decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(se))), 0, 15);
  return formatFixed(estimate.value, decimals) + pm + formatFixed(se, decimals);
}

std::string countText(const CountSummary& count) {
  return "mean " + formatSignificant(count.mean, 6) + ", max " + formatInteger(count.max);
}

std::string extendedStatsText(const ModelInfo& model, const ExtendedStats& stats,
                              std::span<const MeasureValue> measures) {
  std::string text = !model.statisticsHeading.empty() && !measures.empty()
                         ? measureTemplate(model.statisticsHeading, model, measures) + "\n"
                         : "Extended statistics over " + formatInteger(stats.chains) +
                               (stats.chains == 1 ? " chain" : " chains") +
                               " (mean +/- standard error):\n";
  const auto line = [&text](std::string_view name, const std::string& value,
                            const std::string& meaning) {
    text += padded(padded("  " + std::string(name), 17, 1) + value, 42, 2) + meaning + "\n";
  };
  for (const CommonStatistic& s : commonStatistics()) {
    if (!s.shown.caption.empty()) {
      line(s.shown.caption, estimateText(stats.*s.value), std::string(s.shown.meaning));
    }
  }
  const auto count = [&line](const char* name, const std::optional<CountSummary>& c,
                             const char* meaning) {
    if (c) line(name, countText(*c), meaning);
  };
  count("trials", stats.trials, "trial steps per chain");
  count("discarded", stats.discarded, "refused trials per chain");
  count("back-ups", stats.backups, "sites abandoned by back-ups per chain");
  if (stats.trials)
    line("regrown", formatInteger(stats.restarts), "times a trapped chain began again");
  for (std::size_t m = 0; m < measures.size() && m < model.measures.size(); ++m) {
    const MeasureInfo& measure = model.measures[m];
    const MeasurePresentation& shown = presentationOf(model, m);
    if (shown.caption.empty() || measure.kind == MeasureKind::Curve) continue;
    line(shown.caption, measureText(measure, measures[m]),
         measureTemplate(shown.meaning, model, measures));
  }
  return text;
}

// A run's energy terms per chain, lined up as the extended statistics are.
std::string energyText(const EnergyEstimates& energy) {
  std::string text = "Energy per chain (kT; mean +/- standard error):\n";
  const auto line = [&text](std::string_view name, const Estimate& value,
                            std::string_view meaning) {
    text += padded(padded("  " + std::string(name), 17, 1) + estimateText(value), 42, 2) +
            std::string(meaning) + "\n";
  };
  for (const EnergyTerm& term : energyTerms()) {
    if (const Estimate* value = term.of(energy)) line(term.caption, *value, term.meaning);
  }
  return text;
}

std::vector<std::string> runNotes(const ModelInfo& model, std::span<const MeasureValue> measures,
                                  std::string (*fieldName)(std::string_view key)) {
  std::vector<std::string> notes;
  if (measures.size() != model.measures.size()) return notes;
  for (const ModelNote& note : model.notes) {
    if (note.applies(measures)) {
      notes.push_back(
          noteTemplate(note.text, model, measures, fieldName ? fieldName : optionFieldName));
    }
  }
  if (notes.empty() && !model.settledNote.empty()) {
    notes.push_back(measureTemplate(model.settledNote, model, measures));
  }
  return notes;
}

std::vector<std::string> sampleNotes(const ModelInfo& model, std::span<const MeasureValue> measures,
                                     std::string (*fieldName)(std::string_view key)) {
  std::vector<std::string> notes = runNotes(model, measures, fieldName);
  if (!model.selfAvoiding) {
    notes.emplace_back(
        "Note: the beads of a free walk overlap (it revisits sites), so a simulation needs a "
        "soft start to push them apart before a Lennard-Jones pair style: a soft pair "
        "potential whose strength is ramped up (LAMMPS pair_style soft), or HOOMD's capped "
        "displacements (hoomd.md.methods.DisplacementCapped).");
  }
  return notes;
}

namespace {

// "over 1250 chains (one in 16 by index)", "over 500 chains (one sample in 8)".
std::string averagedOver(std::int64_t count, std::string_view what, std::int64_t every,
                         std::string_view unit) {
  std::string text =
      "over " + formatInteger(count) + " " + std::string(what) + (count == 1 ? "" : "s");
  if (every > 1) {
    text += " (one " + (unit == "chain" ? "in " : std::string(unit) + " in ") +
            formatInteger(every) + (unit == "chain" ? " by index)" : ")");
  }
  return text;
}

// One line each for the form and structure factors, whose values are in the JSON.
std::string factorLines(const RunResult& result, std::string_view sample) {
  std::string text;
  const auto range = [](const std::vector<double>& q) {
    return "q " + formatSignificant(q.front(), 3) + " to " + formatSignificant(q.back(), 3);
  };
  if (const auto& f = result.formFactor; f && !f->q.empty()) {
    text += "Form factor P(q) " + averagedOver(f->chains, "chain", f->every, sample) + ", " +
            range(f->q) + ": in the JSON\n";
  }
  if (const auto& s = result.structureFactor; s && !s->q.empty()) {
    text += "Structure factor S(q) of the box " + averagedOver(s->samples, "sample", 1, "sample") +
            ", " + range(s->q) + ": in the JSON\n";
  }
  return text;
}

}  // namespace

std::string runReport(const RunParams& params, const RunResult& result) {
  const ResultTexts r = resultTexts(result.values);
  std::string text = std::string(modelOf(params.model).key) +
                     ": N = " + formatInteger(params.steps) + ", " +
                     formatInteger(params.iterations) + " " +
                     std::string(params.iterations == 1 ? modelOf(params.model).sample
                                                        : modelOf(params.model).samples) +
                     ", seed " + std::to_string(result.seed) + "\n";
  const auto row = [&text](const std::string& caption, const std::string& calculated,
                           const std::string& theoretical) {
    text += padded(caption, 10) + " " + padded(calculated, 22) + " " + theoretical + "\n";
  };
  row("", "Calculated", "Theoretical");
  row("<R>", r.eR, r.TR);
  row("Sqr<R^2>", r.Rsqred, r.TRsqred);
  text += padded("Rg", 10) + " " + r.Rgtxt + "\n";
  text += padded("lp", 10) + " " + r.pers + "\n";
  text += "\n" + extendedStatsText(modelOf(params.model), result.extended, result.measures);
  if (result.energy) text += energyText(*result.energy);
  text += factorLines(result, modelOf(params.model).sample);
  for (const std::string& note : runNotes(modelOf(params.model), result.measures)) {
    text += note + "\n";
  }
  return text;
}

namespace {

// The model and the settings that choose its walks, such as "saw, 100 chains per N, avoidance
// 2"; a sampler's settings of how it samples are not named.
std::string sweepSettings(const SweepParams& p) {
  const ModelInfo& model = modelOf(p.run.model);
  if (model.budget != nullptr && p.budget) {
    const SweepBudget& rule = *model.budget;
    const std::string reference = formatInteger(rule.referenceSteps);
    return std::string(model.key) + ", budget " + formatInteger(*p.budget) + " " +
           std::string(rule.unit) + " for N = " + reference + ", (" + reference + "/N)^" +
           formatNumber(rule.costExponent) + " as many for longer N (burn-in included), " +
           settingTemplate(rule.phrase, model, p.run.model);
  }
  std::string s = std::string(model.key) + ", " + formatInteger(p.run.iterations) +
                  (p.run.iterations == 1 ? " chain" : " chains") + " per N";
  const SettingInfo* setting = model.headlineSetting();
  if (setting != nullptr && setting->physical) s += ", " + headlineText(p.run);
  return s;
}

// A CSV field: the number, or nothing when it is absent.
std::string field(double value) { return std::isfinite(value) ? formatNumber(value) : ""; }

// Which N a corrected fit used, its chi^2/dof, and whether that is acceptable.
std::string fitScope(double fromSteps, std::size_t points, double chi2PerDof, bool acceptable) {
  std::string s = "N >= " + formatNumber(fromSteps) + ", " + std::to_string(points) + " points";
  if (std::isfinite(chi2PerDof)) s += ", chi^2/dof " + formatSignificant(chi2PerDof, 3);
  if (!acceptable) s += ", above its 95% point even without the smaller N";
  return s;
}

std::string correctedFitLine(const char* measure, const CorrectedFit& f) {
  return "nu = " + estimateText({f.exponent, f.exponentError}) + " (corrected: " + measure +
         " = A N^(2 nu) (1 + b N^-" + formatNumber(f.delta) + "), " +
         fitScope(f.fromSteps, f.points, f.chiSquaredPerDof, f.acceptable) +
         "; A = " + estimateText({f.amplitude, f.amplitudeError}) +
         ", b = " + estimateText({f.correction, f.correctionError}) + ")\n";
}

}  // namespace

std::string sweepReport(const SweepParams& params, const SweepResult& result) {
  std::string text =
      "sweep: " + sweepSettings(params) + ", seed " + std::to_string(result.seed) + "\n";
  text +=
      "seed of each N: SplitMix64 output k+1 from the sweep seed, k its place in the list (from "
      "0)\n";
  // N and the seed, the common statistics' columns, then the model's own, such as what each
  // N measured and how correlated it was; the last column is not padded.
  const ModelInfo& model = modelOf(params.run.model);
  std::vector<const CommonStatistic*> common;
  for (const CommonStatistic& s : commonStatistics()) {
    if (!s.shown.column.empty()) common.push_back(&s);
  }
  std::vector<std::size_t> columns;
  for (std::size_t m = 0; m < model.measures.size(); ++m) {
    if (!presentationOf(model, m).column.empty() && model.measures[m].inSweep) {
      columns.push_back(m);
    }
  }
  std::vector<std::size_t> widths{9, 22};
  for (const CommonStatistic* s : common) {
    widths.push_back(static_cast<std::size_t>(s->shown.columnWidth));
  }
  for (const std::size_t m : columns) {
    widths.push_back(static_cast<std::size_t>(presentationOf(model, m).columnWidth));
  }
  const auto row = [&text, &widths](const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c + 1 < cells.size(); ++c) text += padded(cells[c], widths[c], 2);
    text += cells.back() + "\n";
  };
  std::vector<std::string> heading{"N", "seed"};
  for (const CommonStatistic* s : common) heading.emplace_back(s->shown.column);
  for (const std::size_t m : columns) heading.emplace_back(presentationOf(model, m).column);
  row(heading);
  for (const SweepPoint& point : result.points) {
    std::vector<std::string> cells{formatInteger(point.steps), std::to_string(point.seed)};
    for (const CommonStatistic* s : common) cells.push_back(estimateText(point.stats.*s->value));
    for (const std::size_t m : columns) {
      cells.push_back(m < point.measures.size() ? measureText(model.measures[m], point.measures[m])
                                                : std::string());
    }
    row(cells);
  }
  if (result.fit) {
    const PowerLawFit& f = *result.fit;
    std::string how = f.weighted ? "weighted" : "ordinary";
    how += " least squares of log sqrt(<R^2>) on log N, " + std::to_string(f.points) + " points";
    if (std::isfinite(f.chiSquaredPerDof)) {
      how += ", chi^2/dof " + formatSignificant(f.chiSquaredPerDof, 3);
    }
    text += "nu = " + estimateText({f.exponent, f.exponentError}) + " (" + how + ")\n";
  }
  if (result.correctedR2) text += correctedFitLine("<R^2>", *result.correctedR2);
  if (result.correctedRg2) text += correctedFitLine("<Rg^2>", *result.correctedRg2);
  if (result.ratioLimit) {
    const LimitFit& f = *result.ratioLimit;
    text += "<Rg^2>/<R^2> -> " + estimateText({f.limit, f.limitError}) +
            " as N -> infinity (r + c N^-" + formatNumber(f.delta) + ", " +
            fitScope(f.fromSteps, f.points, f.chiSquaredPerDof, f.acceptable) + ")\n";
  }
  text += "reference: nu = 0.5 (ideal chain), 0.5876 (self-avoiding walk, cubic lattice)\n";
  if (result.growth) {
    const GrowthFit& f = *result.growth;
    text += "mu = " + estimateText({f.mu, f.muError}) +
            ", gamma = " + estimateText({f.gamma, f.gammaError}) +
            " (ln Z_N = N ln mu + (gamma - 1) ln N + a + b N^-" + formatNumber(f.delta) + ", " +
            fitScope(f.fromSteps, f.points, f.chiSquaredPerDof, f.acceptable) + ")\n";
    text += "reference: mu = " + formatNumber(kSelfAvoidingGrowth) +
            ", gamma = " + formatNumber(kSelfAvoidingGamma) +
            " (self-avoiding walk, cubic lattice, zero energies)\n";
  }
  for (const SweepPoint& point : result.points) {
    for (const std::string& note : runNotes(model, point.measures)) {
      text += "N = " + formatInteger(point.steps) + ": " + note + "\n";
    }
  }
  return text;
}

std::string sweepCsv(const SweepResult& sweep, const ModelInfo& model) {
  const bool counts = model.countsTrials;
  // The common statistics in the order of their places among the columns.
  std::vector<const CommonStatistic*> common;
  for (const CommonStatistic& s : commonStatistics()) common.push_back(&s);
  std::ranges::sort(common, {}, &CommonStatistic::csvPlace);
  std::string text = "N,seed,chains";
  for (const CommonStatistic* s : common) {
    text += "," + std::string(s->measure.name) + "," + std::string(s->measure.name) + "_se";
  }
  if (counts) {
    text += ",trials_mean,trials_max,discarded_mean,discarded_max,backups_mean,backups_max";
  }
  for (const MeasureInfo& measure : model.measures) {
    if (measure.csv && measure.inSweep && measure.kind != MeasureKind::Curve) {
      text += "," + std::string(measure.name);
      if (measure.kind == MeasureKind::Estimate) text += "," + std::string(measure.name) + "_se";
    }
  }
  text += "\n";
  for (const SweepPoint& p : sweep.points) {
    const ExtendedStats& s = p.stats;
    text += formatInteger(p.steps) + "," + std::to_string(p.seed) + "," + formatInteger(s.chains);
    for (const CommonStatistic* statistic : common) {
      const Estimate& e = s.*statistic->value;
      text += "," + field(e.value) + "," + field(e.standardError);
    }
    if (counts) {
      for (const auto* c : {&s.trials, &s.discarded, &s.backups}) {
        text += c->has_value() ? "," + field((*c)->mean) + "," + formatInteger((*c)->max)
                               : std::string(",,");
      }
    }
    for (std::size_t m = 0; m < model.measures.size(); ++m) {
      const MeasureInfo& measure = model.measures[m];
      if (!measure.csv || !measure.inSweep || measure.kind == MeasureKind::Curve) continue;
      const MeasureValue value = m < p.measures.size() ? p.measures[m] : MeasureValue{};
      if (measure.kind == MeasureKind::Count) {
        text += "," + (std::isfinite(value.value) ? formatInteger(std::llround(value.value))
                                                  : std::string());
      } else {
        text += "," + field(value.value);
        if (measure.kind == MeasureKind::Estimate) text += "," + field(value.standardError);
      }
    }
    text += "\n";
  }
  return text;
}

std::string sweepSeriesReport(const SweepParams& params, const SweepVaried& varied,
                              std::uint64_t seed, const std::vector<SweepResult>& results) {
  const std::string key(varied.setting->key);
  std::string values;
  for (const double v : varied.values) values += (values.empty() ? "" : ", ") + formatNumber(v);
  std::string text = "sweep over " + key + " = " + values + ", seed " + std::to_string(seed) +
                     "\nseed of each sweep: SplitMix64 state after the earlier values' " +
                     "outputs, so its N take the outputs that follow\n";
  for (std::size_t v = 0; v < results.size(); ++v) {
    text += "\n" + key + " = " + formatNumber(varied.values[v]) + "\n";
    text += sweepReport(sweepSeriesParams(params, varied, v), results[v]);
    const SweepCurve curve = sweepCurve(results[v]);
    text += padded("N", 9, 2) + padded("<R^2>/N", 24, 2) + "nu_eff (to the next N)\n";
    for (std::size_t k = 0; k < curve.perStep.size(); ++k) {
      text += padded(formatInteger(results[v].points[k].steps), 9, 2);
      if (k < curve.effectiveExponent.size()) {
        text += padded(estimateText(curve.perStep[k]), 24, 2) +
                estimateText(curve.effectiveExponent[k]) + "\n";
      } else {
        text += estimateText(curve.perStep[k]) + "\n";
      }
    }
  }
  return text;
}

std::string sweepSeriesCsv(const SweepVaried& varied, const std::vector<SweepResult>& results,
                           const ModelInfo& model) {
  std::string text;
  for (std::size_t v = 0; v < results.size(); ++v) {
    const std::string one = sweepCsv(results[v], model);
    const std::size_t header = one.find('\n') + 1;
    if (v == 0) text = std::string(varied.setting->key) + "," + one.substr(0, header);
    const std::string value = formatNumber(varied.values[v]) + ",";
    for (std::size_t at = header; at < one.size();) {
      const std::size_t end = one.find('\n', at) + 1;
      text += value + one.substr(at, end - at);
      at = end;
    }
  }
  return text;
}

std::string runStopMessage(RunStatus status, const RunParams& params) {
  switch (status) {
    case RunStatus::Finished:
      return {};
    case RunStatus::Cancelled:
      return "The run was cancelled.";
    case RunStatus::TrialLimit:
      return "A chain passed the limit of " + formatInteger(params.maxTrials) +
             " trials; the run was stopped.";
    case RunStatus::OutOfMemory:
      return "The machine ran out of memory for N = " + formatInteger(params.steps) +
             "; the run was stopped.";
  }
  return {};
}

std::string sweepStopMessage(const SweepParams& params, const SweepResult& result) {
  const std::size_t done = result.points.size();
  const std::string where = "after " + std::to_string(done) + " of " +
                            std::to_string(params.steps.size()) + " step counts";
  switch (result.status) {
    case RunStatus::Finished:
      return {};
    case RunStatus::Cancelled:
      return "The sweep was cancelled " + where + ".";
    case RunStatus::TrialLimit:
    case RunStatus::OutOfMemory:
      return runStopMessage(result.status, params.run) +
             " (N = " + formatInteger(params.steps.at(done)) + ", " + where + ")";
  }
  return {};
}

std::string runDescription(const RunParams& params, std::uint64_t seed) {
  std::string text(modelOf(params.model).title);
  if (const std::string headline = headlineText(params); !headline.empty()) {
    text += " (" + headline + ")";
  }
  const ModelInfo& model = modelOf(params.model);
  return text + ", N = " + formatInteger(params.steps) + ", " + formatInteger(params.iterations) +
         " " +
         std::string(params.iterations == 1 ? model.describedSample : model.describedSamples) +
         ", seed " + std::to_string(seed);
}

std::string boxText(const std::array<bool, 3>& periodic) {
  constexpr std::string_view kAxes[] = {"x", "y", "z"};
  std::string walls;
  for (std::size_t k = 0; k < 3; ++k) {
    if (!periodic[k]) walls += kAxes[k];
  }
  if (walls.empty()) return "periodic box";
  if (walls.size() == 3) return "closed box";
  return "box walled normal to " + walls + " and periodic along the other " +
         (walls.size() == 1 ? "axes" : "axis");
}

std::string ensembleText(const Ensemble& e, bool laidSideBySide) {
  return formatInteger(e.chains) + (e.chains == 1 ? " chain, " : " chains, ") +
         formatInteger(e.siteCount()) + " sites, " + formatInteger(e.bondCount()) +
         " bonds, in a " + boxText(e.periodic) + " of side " + formatInteger(e.box) +
         " lattice units" + (laidSideBySide ? " (laid side by side)" : "") + ": volume fraction " +
         formatSignificant(e.volumeFraction(), 4) + ", bond length " + formatNumber(e.bondLength) +
         ".";
}

std::string budgetHelp() {
  std::string help;
  for (const ModelInfo* model : modelTable()) {
    if (!model->budget) continue;
    const SweepBudget& rule = *model->budget;
    const std::string reference = std::to_string(rule.referenceSteps);
    help += (help.empty() ? "" : "; ") + std::string(model->key) + ": " + std::string(rule.unit) +
            " for each N, burn-in included, given for N = " + reference +
            "; longer N get fewer, (" + reference + "/N)^" + formatNumber(rule.costExponent) +
            " times as many, so that each N takes about the same time (default " +
            std::to_string(rule.defaultBudget) + " when -I is not given)";
  }
  return help;
}

std::string correctionExponentHelp() {
  return "Delta1 of the fits with a correction to scaling (default " +
         formatNumber(kDefaultCorrectionExponent) + ")";
}

}  // namespace polychain
