// polychain: grows chains from the command line, for scripted and batch runs.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "app/json.h"
#include "app/paramreader.h"
#include "app/texts.h"
#include "cli/common.h"
#include "cli/samplecommand.h"
#include "cli/sweepcommand.h"
#include "mpi/teamrun.h"
#include "run/resources.h"
#include "run/run.h"

namespace {

using namespace polychain;
using namespace polychain::cli;

struct RunOptions {
  ModelOptions model;
  std::string steps;
  bool gofr = false;
  std::string exportName;
  bool json = false;
};

CLI::App* addRunCommand(CLI::App& app, RunOptions& o) {
  CLI::App* cmd = app.add_subcommand("run", "Grow chains of one model and print the results");
  cmd->add_option("--steps,-N", o.steps, "Steps N of each chain")->required();
  addModelOptions(*cmd, o.model);
  cmd->add_flag("--gofr", o.gofr, "Also compute g(r) and g(q) of the last chain");
  cmd->add_option("--export", o.exportName, "Write NAME.cdat (and NAME.gor, NAME.goq with --gofr)");
  cmd->add_flag("--json", o.json, "Print the results as one JSON object");
  return cmd;
}

RunParams toParams(const RunOptions& o, bool exporting) {
  RunParams p;
  p.steps = readInt32(o.steps, "--steps");
  readModelOptions(o.model, p);
  p.calcParCF = o.gofr;
  if (exporting && (o.exportName.empty() || o.exportName.back() == '/')) {
    throw InputError("--export needs a file name, such as run1 (which writes run1.cdat); \"" +
                     o.exportName + "\" names no file.");
  }
  validateParams(p);
  return p;
}

int runCommand(Team& team, const RunOptions& options, bool exporting) {
  RunParams params;
  try {
    params = toParams(options, exporting);
  } catch (const InputError& e) {
    printError(e.what());
    return kExitBadInput;
  }
  if (!checkOnEveryRank(team, [&] { checkMemory(params, team.processesHere()); })) {
    return kExitBadInput;
  }
  params.seed = team.agreeOnSeed(params.seed);
  CliObserver observer(team.leader() && ::isatty(STDERR_FILENO) != 0);
  TeamRun outcome = runTeam(team, params, observer);
  observer.clearLine();
  const RunResult& result = outcome.result;
  if (result.status != RunStatus::Finished) {
    return failedRun(result.status, runStopMessage(result.status, params), result.seed,
                     outcome.stoppedAt);
  }
  if (!team.leader()) return 0;
  std::vector<OutputFile> files;
  if (exporting) {
    std::string chain =
        chainExportText(params, result, params.threads, [] { return !interrupted(); });
    if (interrupted())
      return failedRun(RunStatus::Cancelled, "The run was cancelled.", result.seed);
    files.push_back({options.exportName + ".cdat", std::move(chain)});
    if (result.correlation) {
      files.push_back({options.exportName + ".gor", gofrText(*result.correlation)});
      files.push_back({options.exportName + ".goq", gofqText(*result.correlation)});
    }
  }
  return deliver(options.json ? runJson(params, result) : runReport(params, result), files,
                 options.json);
}

}  // namespace

int main(int argc, char** argv) {
  Team team(argc, argv);
  setRank(team.rank(), team.size());
  catchInterrupt();
  CLI::App app{"polychain: statistics of polymer chains grown as walks on the cubic lattice"};
  app.require_subcommand(1);
  RunOptions run;
  CLI::App* runCmd = addRunCommand(app, run);
  SweepOptions sweep;
  CLI::App* sweepCmd = addSweepCommand(app, sweep);
  SampleOptions sample;
  CLI::App* sampleCmd = addSampleCommand(app, sample);

  if (argc > 1 && argv[1][0] != '-' && std::string(argv[1]) != "run" &&
      std::string(argv[1]) != "sweep" && std::string(argv[1]) != "sample") {
    printError("unknown command '" + std::string(argv[1]) +
               "'; the commands are: run, sweep, sample.");
    if (team.leader()) std::cerr << "Run 'polychain --help' for the usage.\n";
    return kExitBadInput;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return team.leader() ? app.exit(e) : 0;
  } catch (const CLI::CallForAllHelp& e) {
    return team.leader() ? app.exit(e) : 0;
  } catch (const CLI::ParseError& e) {
    printError(e.what());
    if (team.leader()) std::cerr << "Run 'polychain --help' for the usage.\n";
    return kExitBadInput;
  }
  if (runCmd->parsed()) return runCommand(team, run, runCmd->count("--export") > 0);
  if (sweepCmd->parsed()) return sweepCommand(team, sweep);
  if (sampleCmd->parsed()) return sampleCommand(team, sample);
  return 0;
}
