#include "cli/sweepcommand.h"

#include <unistd.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "cli/exitcodes.h"
#include "cli/interrupts.h"
#include "cli/output.h"
#include "cli/progressline.h"
#include "cli/ranks.h"
#include "cli/refusals.h"
#include "polychain/fileset.h"
#include "polychain/json.h"
#include "polychain/loglogplot.h"
#include "polychain/paramreader.h"
#include "polychain/sweep.h"
#include "polychain/teamrun.h"
#include "polychain/texts.h"

namespace polychain::cli {

namespace {

// A positive number such as 0.528, read as every other number is.
double readPositiveNumber(const std::string& text, const std::string& field) {
  const double value = readRealNumber(text, field);
  if (!(value > 0.0)) {
    throw InputError(field + " must be a positive number, such as 0.528; \"" + text +
                     "\" is not one.");
  }
  return value;
}

// A file's writer handing over a text of a few kilobytes whole.
auto wholeText(std::string content) {
  return [content = std::move(content)](ByteSink& sink) {
    return sink.put(content) && sink.keepGoing(1.0);
  };
}

// The models whose sweeps may spend a budget on each N instead of a number of samples.
std::vector<const ModelInfo*> budgetModels() {
  std::vector<const ModelInfo*> models;
  for (const ModelInfo* model : modelTable()) {
    if (model->budget != nullptr) models.push_back(model);
  }
  return models;
}

// "the pivot model", "the pivot and melt models".
std::string budgetModelNames() {
  std::string text = "the ";
  const auto models = budgetModels();
  for (std::size_t i = 0; i < models.size(); ++i) {
    if (i > 0) text += i + 1 == models.size() ? " and " : ", ";
    text += models[i]->key;
  }
  return text + (models.size() == 1 ? " model" : " models");
}

// A real setting of the model given as a comma list, such as --contact-energy
// -0.22,-0.269,-0.32: its values, each read and checked as the setting alone is, and the
// first left in `model` for the run's other checks. None when no setting is a list.
std::optional<SweepVaried> readVaried(ModelOptions& model) {
  std::optional<SweepVaried> varied;
  for (const SettingInfo& setting : readModelKey(model.model, "--model").settings) {
    const auto text = model.settings.find(setting.option);
    if (text == model.settings.end() || text->second.find(',') == std::string::npos) continue;
    const std::string option(setting.option);
    if (setting.kind != SettingKind::Real) {
      throw InputError(option +
                       " takes one value; a sweep varies a real setting, such as "
                       "--contact-energy -0.22,-0.269,-0.32.");
    }
    if (varied) {
      throw InputError(option + ": a sweep varies one setting besides N; " +
                       std::string(varied->setting->option) + " is already a list.");
    }
    varied = SweepVaried{&setting, readRealSettingList(setting, text->second, option)};
    text->second = text->second.substr(0, text->second.find(','));
  }
  return varied;
}

SweepParams toParams(const CLI::App& command, const SweepOptions& o,
                     std::optional<SweepVaried>& varied) {
  refuseEmptyValues(command);
  SweepParams p;
  ModelOptions model = o.model;
  varied = readVaried(model);
  const SweepBudget* budget = readModelKey(model.model, "--model").budget;
  if (!o.budget.empty() && budget == nullptr) {
    throw InputError("--budget is for " + budgetModelNames() + " only.");
  }
  if (!o.budget.empty() && !model.iterations.empty()) {
    throw InputError("--budget sets the samples of each N: give it or --iterations, not both.");
  }
  if (model.iterations.empty()) {
    if (budget == nullptr) {
      throw InputError("--iterations is required (only " + budgetModelNames() + " has a budget).");
    }
    p.budget = o.budget.empty() ? budget->defaultBudget
                                : readWholeNumber(o.budget, "--budget", 1,
                                                  std::numeric_limits<std::int64_t>::max());
    model.iterations = "1";  // not used: the budget sets each N's samples
  }
  if (!o.correctionExponent.empty()) {
    p.correctionExponent = readPositiveNumber(o.correctionExponent, "--correction-exponent");
  }
  readModelOptions(model, p.run);
  p.steps = o.steps.empty() && budget != nullptr
                ? defaultSweepSteps(modelOf(p.run.model))
                : readStepList(o.steps, "--steps", 1, modelOf(p.run.model).maxSteps);
  p.seed = p.run.seed;
  p.run.seed.reset();
  std::vector<std::pair<std::string, std::string>> outputs;
  if (!o.csvPath.empty()) outputs.push_back({"--csv", o.csvPath});
  if (!o.plotPath.empty()) outputs.push_back({"--plot", o.plotPath});
  checkOutputs(outputs);
  return p;
}

}  // namespace

CLI::App* addSweepCommand(CLI::App& app, SweepOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "sweep",
      "Run several chain lengths N and fit the exponent nu of sqrt(<R^2>) ~ N^nu; a real "
      "setting given as a comma list (--contact-energy -0.22,-0.269,-0.32) runs them for each "
      "value");
  std::string stepsHelp = "Step counts N, separated by commas (100,200,400,...)";
  std::string budgetKeys;
  for (const ModelInfo* model : budgetModels()) {
    const SweepBudget& rule = *model->budget;
    const std::string key(model->key);
    stepsHelp += "; for " + key + " the default is " + std::to_string(rule.first) + " to " +
                 std::to_string(rule.last) + ", doubling";
    budgetKeys += (budgetKeys.empty() ? "" : ", ") + key;
  }
  cmd->add_option("--steps,-N", o.steps, stepsHelp);
  addModelOptions(*cmd, o.model);
  cmd->get_option("--iterations")
      ->required(false)
      ->description("Samples or chains for each N (required but for " + budgetKeys +
                    ", whose default is its --budget)");
  cmd->add_option("--budget", o.budget, budgetHelp());
  cmd->add_option("--correction-exponent", o.correctionExponent, correctionExponentHelp());
  cmd->add_option("--csv", o.csvPath, "Write the per-N statistics to this CSV file");
  cmd->add_option(
      "--plot", o.plotPath,
      "Write the log-log plot to this SVG file (a sweep over a setting's values: one curve "
      "of <R^2>/N a value)");
  cmd->add_flag("--json", o.json, "Print the sweep as one JSON object");
  return cmd;
}

// The sweep of each value of `varied` in turn, each as a sweep alone from its derived seed.
int sweepSeriesCommand(Team& team, const SweepOptions& options, SweepParams params,
                       const SweepVaried& varied) {
  std::vector<CheckedSweep> checked;
  for (std::size_t v = 0; v < varied.values.size(); ++v) {
    const SweepParams one = sweepSeriesParams(params, varied, v);
    const auto check =
        checkOnEveryRank(team, [&] { return checkSweep(one, "--steps", team.processesHere()); });
    if (!check) return kExitBadInput;
    checked.push_back(*check);
  }
  params.seed = team.agreeOnSeed(params.seed);
  const ThreadStartWatch watch;
  CliObserver observer(team.leader() && ::isatty(STDERR_FILENO) != 0);
  std::vector<SweepResult> results;
  for (std::size_t v = 0; v < checked.size(); ++v) {
    const std::uint64_t seed = sweepSeriesSeed(*params.seed, v, params.steps.size());
    int stoppedAt = -1;
    results.push_back(sweepTeam(team, checked[v].seeded(seed), observer, stoppedAt));
    observer.clearLine();
    const SweepResult& result = results.back();
    if (result.status != RunStatus::Finished) {
      // Which value it stopped at, then where in that value's sweep.
      const std::string at = std::string(varied.setting->option) + " " +
                             settingText(*varied.setting, SettingValue{varied.values[v]}) +
                             " (value " + std::to_string(v + 1) + " of " +
                             std::to_string(varied.values.size()) + "): ";
      return failedRun(result.status, at + sweepStopMessage(checked[v].params(), result),
                       result.seed, stoppedAt);
    }
  }
  if (!team.leader()) return 0;
  std::vector<FileJob> files;
  const ModelInfo& model = modelOf(params.run.model);
  if (!options.csvPath.empty()) {
    files.push_back({options.csvPath, wholeText(sweepSeriesCsv(varied, results, model))});
  }
  if (!options.plotPath.empty()) {
    files.push_back(
        {options.plotPath, wholeText(svgLogLogPlot(sweepSeriesPlot(varied, results, model)))});
  }
  return deliver(options.json ? sweepSeriesJson(params, varied, *params.seed, results)
                              : sweepSeriesReport(params, varied, *params.seed, results),
                 options.json, [&files](const FileSetSteps& steps) {
                   return writeFileSet(files, steps, FileSetPolicy::AllOrNone);
                 });
}

int sweepCommand(Team& team, const CLI::App& command, const SweepOptions& options) {
  SweepParams params;
  std::optional<SweepVaried> varied;
  try {
    params = toParams(command, options, varied);
  } catch (const InputError& e) {
    printError(e);
    return kExitBadInput;
  }
  if (varied) return sweepSeriesCommand(team, options, std::move(params), *varied);
  const auto checked =
      checkOnEveryRank(team, [&] { return checkSweep(params, "--steps", team.processesHere()); });
  if (!checked) return kExitBadInput;
  params.seed = team.agreeOnSeed(params.seed);
  const ThreadStartWatch watch;
  CliObserver observer(team.leader() && ::isatty(STDERR_FILENO) != 0);
  int stoppedAt = -1;
  const SweepResult result = sweepTeam(team, checked->seeded(*params.seed), observer, stoppedAt);
  observer.clearLine();
  if (result.status != RunStatus::Finished) {
    return failedRun(result.status, sweepStopMessage(params, result), result.seed, stoppedAt);
  }
  if (!team.leader()) return 0;
  std::vector<FileJob> files;
  const ModelInfo& model = modelOf(params.run.model);
  if (!options.csvPath.empty()) {
    files.push_back({options.csvPath, wholeText(sweepCsv(result, model))});
  }
  if (!options.plotPath.empty()) {
    files.push_back({options.plotPath, wholeText(svgLogLogPlot(sweepPlot(result, model)))});
  }
  return deliver(options.json ? sweepJson(params, result) : sweepReport(params, result),
                 options.json, [&files](const FileSetSteps& steps) {
                   return writeFileSet(files, steps, FileSetPolicy::AllOrNone);
                 });
}

}  // namespace polychain::cli
