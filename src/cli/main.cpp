// polychain: grows chains from the command line, for scripted and batch runs.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "app/json.h"
#include "app/paramreader.h"
#include "app/texts.h"
#include "cli/common.h"
#include "cli/sweepcommand.h"
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

RunParams toParams(const RunOptions& o) {
  RunParams p;
  p.steps = readInt32(o.steps, "--steps");
  readModelOptions(o.model, p);
  p.calcParCF = o.gofr;
  validateParams(p);
  return p;
}

// Writes the export files; returns the exit code (0, or 1 when a file could not be written).
int writeExports(const std::string& name, const RunParams& params, const RunResult& result,
                 bool quiet) {
  std::vector<std::pair<std::string, std::string>> files = {
      {name + ".cdat", chainExportText(params, result, params.threads)}};
  if (result.correlation) {
    files.emplace_back(name + ".gor", gofrText(*result.correlation));
    files.emplace_back(name + ".goq", gofqText(*result.correlation));
  }
  return writeFiles(files, quiet);
}

int runCommand(const RunOptions& options) {
  RunParams params;
  try {
    params = toParams(options);
  } catch (const InputError& e) {
    printError(e.what());
    return kExitBadInput;
  }
  catchInterrupt();
  CliObserver observer(::isatty(STDERR_FILENO) != 0);
  const RunResult result = runSimulation(params, observer);
  observer.clearLine();
  if (result.status == RunStatus::Cancelled) {
    printError("cancelled; nothing was written (seed " + std::to_string(result.seed) + ").");
    return kExitCancelled;
  }
  if (result.status == RunStatus::TrialLimit) {
    printError(runStopMessage(result.status, params) + " (seed " + std::to_string(result.seed) +
               ")");
    return kExitTrialLimit;
  }
  if (!writeOut(options.json ? runJson(params, result) : runReport(params, result))) {
    return kExitWriteFailed;
  }
  if (!options.exportName.empty()) {
    return writeExports(options.exportName, params, result, options.json);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"polychain: statistics of polymer chains grown as walks on the cubic lattice"};
  app.require_subcommand(1);
  RunOptions run;
  CLI::App* runCmd = addRunCommand(app, run);
  SweepOptions sweep;
  CLI::App* sweepCmd = addSweepCommand(app, sweep);

  if (argc > 1 && argv[1][0] != '-' && std::string(argv[1]) != "run" &&
      std::string(argv[1]) != "sweep") {
    printError("unknown command '" + std::string(argv[1]) + "'; the commands are: run, sweep.");
    std::cerr << "Run 'polychain --help' for the usage.\n";
    return kExitBadInput;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    printError(e.what());
    std::cerr << "Run 'polychain --help' for the usage.\n";
    return kExitBadInput;
  }
  if (runCmd->parsed()) return runCommand(run);
  if (sweepCmd->parsed()) return sweepCommand(sweep);
  return 0;
}
