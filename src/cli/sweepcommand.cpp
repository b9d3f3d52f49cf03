#include "cli/sweepcommand.h"

#include <unistd.h>

#include "polychain/json.h"
#include "polychain/loglogplot.h"
#include "polychain/paramreader.h"
#include "polychain/sweep.h"
#include "polychain/teamrun.h"
#include "polychain/texts.h"

namespace polychain::cli {

namespace {

SweepParams toParams(const SweepOptions& o) {
  SweepParams p;
  readModelOptions(o.model, p.run);
  p.steps = readStepList(o.steps, "--steps", 1, modelOf(p.run.model).maxSteps);
  p.seed = p.run.seed;
  p.run.seed.reset();
  validateSweep(p, "--steps");
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
  cmd->add_option("--steps,-N", o.steps, "Step counts N, separated by commas (100,200,400,...)")
      ->required();
  addModelOptions(*cmd, o.model);
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
  if (!checkOnEveryRank(team, [&] { checkSweepMemory(params, team.processesHere()); })) {
    return kExitBadInput;
  }
  params.seed = team.agreeOnSeed(params.seed);
  const ThreadStartWatch watch;
  CliObserver observer(team.leader() && ::isatty(STDERR_FILENO) != 0);
  int stoppedAt = -1;
  const SweepResult result = sweepTeam(team, params, observer, stoppedAt);
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
