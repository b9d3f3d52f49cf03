// polychain: grows chains from the command line, for scripted and batch runs.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "cli/exitcodes.h"
#include "cli/interrupts.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/progressline.h"
#include "cli/ranks.h"
#include "cli/refusals.h"
#include "cli/samplecommand.h"
#include "cli/sweepcommand.h"
#include "polychain/fileset.h"
#include "polychain/formats.h"
#include "polychain/json.h"
#include "polychain/paramreader.h"
#include "polychain/resources.h"
#include "polychain/run.h"
#include "polychain/teamrun.h"
#include "polychain/texts.h"

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

// The formats `run --export` writes: those of a run's own results that it has the source of,
// the chain, and g(r) and g(q) with --gofr (the formats of placed chains are polychain
// sample's).
std::vector<const FormatInfo*> runFormats(const RunParams& params) {
  std::vector<const FormatInfo*> formats;
  for (const FormatInfo& format : formatTable()) {
    if (format.writeEnsemble != nullptr) continue;
    if (format.source == FormatSource::Correlation && !params.calcParCF) continue;
    formats.push_back(&format);
  }
  return formats;
}

CLI::App* addRunCommand(CLI::App& app, RunOptions& o) {
  CLI::App* cmd = app.add_subcommand("run", "Grow chains of one model and print the results");
  cmd->add_option("--steps,-N", o.steps, "Steps N of each chain")->required();
  addModelOptions(*cmd, o.model);
  cmd->add_flag("--gofr", o.gofr, "Also compute g(r) and g(q) of the last chain");
  cmd->add_option("--export", o.exportName, "Write NAME.cdat (and NAME.gor, NAME.goq with --gofr)");
  cmd->add_flag("--json", o.json, "Print the results as one JSON object");
  return cmd;
}

RunParams toParams(const CLI::App& command, const RunOptions& o, bool exporting) {
  refuseEmptyValues(command);
  RunParams p;
  readModelOptions(o.model, p);
  p.steps =
      static_cast<std::int32_t>(readWholeNumber(o.steps, "--steps", 1, modelOf(p.model).maxSteps));
  p.calcParCF = o.gofr;
  if (exporting && (o.exportName.empty() || o.exportName.back() == '/')) {
    throw InputError("--export needs a file name, such as run1 (which writes run1.cdat); \"" +
                     o.exportName + "\" names no file.");
  }
  if (exporting) {
    std::vector<std::pair<std::string, std::string>> outputs;
    for (const FormatInfo* format : runFormats(p)) {
      outputs.push_back({"--export", o.exportName + std::string(format->extension)});
    }
    checkOutputs(outputs);
  }
  return p;
}

int runCommand(Team& team, const CLI::App& command, const RunOptions& options, bool exporting) {
  RunParams params;
  try {
    params = toParams(command, options, exporting);
  } catch (const InputError& e) {
    printError(e);
    return kExitBadInput;
  }
  const auto checked =
      checkOnEveryRank(team, [&] { return checkRun(params, team.processesHere()); });
  if (!checked) return kExitBadInput;
  params.seed = team.agreeOnSeed(params.seed);
  const ThreadStartWatch watch;
  CliObserver observer(team.leader() && ::isatty(STDERR_FILENO) != 0);
  TeamRun outcome = runTeam(team, checked->seeded(*params.seed), observer);
  observer.clearLine();
  const RunResult& result = outcome.result;
  if (result.status != RunStatus::Finished) {
    return failedRun(result.status, runStopMessage(result.status, params), result.seed,
                     outcome.stoppedAt);
  }
  if (!team.leader()) return 0;
  std::vector<FileJob> files;
  ExportData data{params, std::shared_ptr<const RunResult>(&result, [](const RunResult*) {}),
                  nullptr};
  if (result.correlation) {
    data.correlation =
        std::shared_ptr<const Correlation>(&*result.correlation, [](const Correlation*) {});
  }
  if (exporting) {
    for (const FormatInfo* format : runFormats(params)) {
      files.push_back({options.exportName + std::string(format->extension),
                       [format, &data, threads = params.threads](ByteSink& sink) {
                         return format->writer->write(sink, data, threads);
                       }});
    }
  }
  return deliver(options.json ? runJson(params, result) : runReport(params, result), options.json,
                 [&files](const FileSetSteps& steps) {
                   return writeFileSet(files, steps, FileSetPolicy::AllOrNone);
                 });
}

int command(Team& team, int argc, char** argv) {
  CLI::App app{"polychain: statistics of polymer chains grown as walks on the cubic lattice"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "polychain " POLYCHAIN_VERSION, "Print the version and exit");
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
  } catch (const CLI::CallForVersion& e) {
    return team.leader() ? app.exit(e) : 0;
  } catch (const CLI::ParseError& e) {
    printError(e.what());
    if (team.leader()) std::cerr << "Run 'polychain --help' for the usage.\n";
    return kExitBadInput;
  }
  if (runCmd->parsed()) return runCommand(team, *runCmd, run, runCmd->count("--export") > 0);
  if (sweepCmd->parsed()) return sweepCommand(team, *sweepCmd, sweep);
  if (sampleCmd->parsed()) return sampleCommand(team, *sampleCmd, sample);
  return 0;
}

}  // namespace

int main(int argc, char** argv) try {
  catchInterrupt();
  Team team(argc, argv);
  setRank(team.rank(), team.size());
  const int code = command(team, argc, argv);
  team.leave(code);
  return code;
} catch (const std::bad_alloc&) {
  // An allocation outside the run's own guard (which reports the run's) failed.
  printRankError("out of memory: an allocation failed. Nothing was written.");
  return kExitOutOfMemory;
}
