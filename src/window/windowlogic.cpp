#include "window/windowlogic.h"

#include <limits>

#include "polychain/paramreader.h"
#include "polychain/resources.h"
#include "window/windowtexts.h"

namespace polychain {

namespace {

// Field names as the messages call them: the captions without their ranges.
constexpr std::string_view kStepsField = "Steps (N)";
constexpr std::string_view kIterationsField = "Iterations";
constexpr std::string_view kSeedField = "Seed";

// Reads the chosen model's settings that the window shows, and the regrowing limit for a
// model that counts trials; the model's defaults for the rest. A setting that may be left
// unset (its default is none, such as the melt's box side) is left so by a blank field.
void readModelSettings(const RunInputs& inputs, RunParams& params) {
  const ModelInfo& model = *inputs.model;
  params.model = model.defaults();
  for (const SettingInfo& setting : model.settings) {
    if (setting.field.empty()) continue;
    const auto text = inputs.settings.find(setting.key);
    if (text == inputs.settings.end()) continue;
    const bool blank = text->second.find_first_not_of(" \t") == std::string::npos;
    if (blank && !setting.get(params.model)) continue;
    setting.set(params.model, readSetting(setting, text->second, setting.field));
  }
  if (model.countsTrials) {
    params.restartTrapped = readWholeNumber(inputs.restartTrapped, kRestartField, 0,
                                            std::numeric_limits<std::int64_t>::max());
  }
}

}  // namespace

Dispatch dispatchRun(const RunInputs& inputs) {
  Dispatch dispatch;
  if (inputs.model == nullptr) return dispatch;
  RunParams& params = dispatch.params;
  try {
    params.steps = readCount(inputs.steps, kStepsField);
    params.iterations = readCount(inputs.iterations, kIterationsField);
    readModelSettings(inputs, params);
    params.seed = readSeed(inputs.seed, kSeedField);
    params.calcParCF = inputs.gofr;
    dispatch.checked = checkRun(params);
  } catch (const InputError& error) {
    dispatch.kind = Dispatch::Kind::Refused;
    dispatch.message = error.what();
    return dispatch;
  }
  dispatch.kind = Dispatch::Kind::Run;
  return dispatch;
}

CheckedSweep sweepFromInputs(const RunInputs& main, std::string_view steps,
                             std::string_view iterations, std::string_view seed) {
  if (main.model == nullptr) {
    std::string models;
    for (std::size_t i = 0; i < kModelCount; ++i) {
      if (i > 0) models += i + 1 == kModelCount ? " or " : ", ";
      models += modelTable()[i]->caption;
    }
    throw InputError("Choose the model to sweep under Parameters: " + models + ".");
  }
  SweepParams params;
  RunParams& run = params.run;
  params.steps = readStepList(steps, kSweepStepsField);
  run.iterations = readCount(iterations, kSweepIterationsField);
  readModelSettings(main, run);
  params.seed = readSeed(seed, kSweepSeedField);
  return checkSweep(params, kSweepStepsField);
}

SweepPlan planSweep(const RunInputs& main, std::string_view steps, std::string_view iterations,
                    std::string_view seed) {
  SweepPlan plan;
  RunInputs first = main;
  if (main.model != nullptr) {
    for (const SettingInfo& setting : main.model->settings) {
      const auto text = first.settings.find(setting.key);
      if (setting.kind != SettingKind::Real || setting.field.empty() ||
          text == first.settings.end() || text->second.find(',') == std::string::npos) {
        continue;
      }
      if (plan.varied) {
        throw InputError(std::string(setting.field) + ": a sweep varies one setting besides N; " +
                         std::string(plan.varied->setting->field) + " is already a list.");
      }
      plan.varied =
          SweepVaried{&setting, readRealSettingList(setting, text->second, setting.field)};
      text->second.erase(text->second.find(','));
    }
  }
  plan.sweeps.push_back(sweepFromInputs(first, steps, iterations, seed));
  if (!plan.varied) return plan;
  const SweepParams base = plan.sweeps.front().params();
  plan.sweeps.clear();
  for (std::size_t v = 0; v < plan.varied->values.size(); ++v) {
    plan.sweeps.push_back(checkSweep(sweepSeriesParams(base, *plan.varied, v), kSweepStepsField));
  }
  return plan;
}

void WindowState::apply(const RunParams& params, RunResult result) {
  if (result.status != RunStatus::Finished) return;
  m_results = resultTexts(result.values);
  if (result.correlation) m_data.correlation = std::make_shared<Correlation>(*result.correlation);
  m_data.params = params;
  m_data.run = std::make_shared<const RunResult>(std::move(result));
}

}  // namespace polychain
