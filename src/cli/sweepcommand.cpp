#include "cli/sweepcommand.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "polychain/json.h"
#include "polychain/loglogplot.h"
#include "polychain/numbertext.h"
#include "polychain/paramreader.h"
#include "polychain/sweep.h"
#include "polychain/teamrun.h"
#include "polychain/texts.h"

namespace polychain::cli {

namespace {

// A positive decimal number such as 0.528, the whole text.
double readPositiveNumber(const std::string& text, const std::string& field) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) ||
      !(value > 0.0)) {
    throw InputError(field + " must be a positive decimal number such as 0.528; \"" + text +
                     "\" is not one.");
  }
  return value;
}

SweepParams toParams(const SweepOptions& o) {
  SweepParams p;
  ModelOptions model = o.model;
  // Only a sampler takes a budget of attempts instead of a number of samples.
  const bool sampler = readModelKey(model.model, "--model").kind == ModelKind::Sampler;
  if (!o.budget.empty() && !sampler) throw InputError("--budget is for the pivot model only.");
  if (!o.budget.empty() && !model.iterations.empty()) {
    throw InputError("--budget sets the samples of each N: give it or --iterations, not both.");
  }
  if (model.iterations.empty()) {
    if (!sampler) {
      throw InputError("--iterations is required (only the pivot model has a budget).");
    }
    p.pivotBudget = o.budget.empty() ? kDefaultPivotBudget
                                     : readWholeNumber(o.budget, "--budget", 1,
                                                       std::numeric_limits<std::int64_t>::max());
    model.iterations = "1";  // not used: the budget sets each N's samples
  }
  if (!o.correctionExponent.empty()) {
    p.correctionExponent = readPositiveNumber(o.correctionExponent, "--correction-exponent");
  }
  readModelOptions(model, p.run);
  p.steps = o.steps.empty() && sampler
                ? defaultPivotSweepSteps()
                : readStepList(o.steps, "--steps", 1, modelOf(p.run.model).maxSteps);
  p.seed = p.run.seed;
  p.run.seed.reset();
  if (o.model.command != nullptr) {
    refuseEmpty(*o.model.command, "--csv", "a file name, such as sweep.csv");
    refuseEmpty(*o.model.command, "--plot", "a file name, such as sweep.svg");
  }
  std::vector<std::pair<std::string, std::string>> outputs;
  if (!o.csvPath.empty()) outputs.push_back({"--csv", o.csvPath});
  if (!o.plotPath.empty()) outputs.push_back({"--plot", o.plotPath});
  refuseSharedOutputs(outputs);
  return p;
}

}  // namespace

CLI::App* addSweepCommand(CLI::App& app, SweepOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "sweep", "Run several chain lengths N and fit the exponent nu of sqrt(<R^2>) ~ N^nu");
  cmd->add_option("--steps,-N", o.steps,
                  "Step counts N, separated by commas (100,200,400,...); for pivot the default "
                  "is " +
                      std::to_string(kDefaultPivotSweepFirst) + " to " +
                      std::to_string(kDefaultPivotSweepLast) + ", doubling");
  addModelOptions(*cmd, o.model);
  cmd->get_option("--iterations")
      ->required(false)
      ->description(
          "Samples or chains for each N (required but for pivot, whose default is "
          "its --budget)");
  cmd->add_option("--budget", o.budget,
                  "pivot: attempted pivots for each N, burn-in included, given for N = 1000; "
                  "longer N get fewer, (1000/N)^" +
                      formatNumber(kPivotCostExponent) +
                      " times as many, so that each N takes about the same time (default " +
                      std::to_string(kDefaultPivotBudget) + " when -I is not given)");
  cmd->add_option("--correction-exponent", o.correctionExponent,
                  "Delta1 of the fits with a correction to scaling (default " +
                      formatNumber(kDefaultCorrectionExponent) + ")");
  cmd->add_option("--csv", o.csvPath, "Write the per-N statistics to this CSV file");
  cmd->add_option("--plot", o.plotPath, "Write the log-log plot to this SVG file");
  cmd->add_flag("--json", o.json, "Print the sweep as one JSON object");
  return cmd;
}

int sweepCommand(Team& team, const SweepOptions& options) {
  SweepParams params;
  try {
    params = toParams(options);
  } catch (const InputError& e) {
    printError(e.what());
    return kExitBadInput;
  }
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
  std::vector<OutputFile> files;
  if (!options.csvPath.empty()) {
    files.push_back({options.csvPath, sweepCsv(result, modelOf(params.run.model))});
  }
  if (!options.plotPath.empty()) {
    files.push_back(
        {options.plotPath, svgLogLogPlot(sweepPlot(result, modelOf(params.run.model)))});
  }
  return deliver(options.json ? sweepJson(params, result) : sweepReport(params, result), files,
                 options.json);
}

}  // namespace polychain::cli
