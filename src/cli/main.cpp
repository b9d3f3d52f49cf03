// polychain: grows chains from the command line, for scripted and batch runs.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "app/atomicfile.h"
#include "app/extendedstats.h"
#include "chain/numtext.h"
#include "chain/run.h"
#include "cli/common.h"
#include "cli/report.h"
#include "cli/sweepcommand.h"

namespace {

using polychain::InputError;
using polychain::cli::CliObserver;

struct RunOptions {
  std::string model = "meander";
  std::string steps;
  std::string iterations;
  std::string avoid = "1";
  std::string kuhn = "1";
  bool gofr = false;
  std::string seed;
  int threads = 0;
  std::int64_t maxTrials = 0;
  std::string exportName;
  bool json = false;
};

polychain::RunParams toParams(const RunOptions& o) {
  polychain::RunParams p;
  p.model = polychain::cli::modelFromKey(o.model);
  p.steps = polychain::textToNumber(o.steps, "--steps");
  p.iterations = polychain::textToNumber(o.iterations, "--iterations");
  if (p.model == polychain::Model::SAW) p.avoid = polychain::textToNumber(o.avoid, "--avoid");
  if (p.model == polychain::Model::ShortRange) {
    p.kuhn = polychain::textToNumber(o.kuhn, "--kuhn");
  }
  p.calcParCF = o.gofr;
  if (!o.seed.empty()) p.seed = polychain::cli::parseSeed(o.seed);
  p.threads = o.threads;
  p.maxTrials = o.maxTrials;
  polychain::validateParams(p);
  return p;
}

nlohmann::json indexedValues(const std::string& text) {
  // "index,value" lines as [index, value] pairs.
  nlohmann::json rows = nlohmann::json::array();
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    const std::size_t comma = line.find(',');
    rows.push_back({std::stoll(line.substr(0, comma)), std::stod(line.substr(comma + 1))});
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return rows;
}

void printText(const polychain::RunParams& p, const polychain::RunOutput& out) {
  const auto& r = out.results;
  std::printf("%s: N = %d, %d chains, seed %llu\n",
              std::string(polychain::modelKey(p.model)).c_str(), p.steps, p.iterations,
              static_cast<unsigned long long>(out.seed));
  std::printf("%-10s %-22s %s\n", "", "Calculated", "Theoretical");
  std::printf("%-10s %-22s %s\n", "<R>", r.eR.c_str(), r.TR.c_str());
  std::printf("%-10s %-22s %s\n", "Sqr<R^2>", r.Rsqred.c_str(), r.TRsqred.c_str());
  std::printf("%-10s %s\n", "Rg", r.Rgtxt.c_str());
  std::printf("%-10s %s\n", "lp", r.pers.c_str());
  std::printf("\n%s",
              polychain::extendedStatsText(polychain::extendedStats(out.chains, p.model)).c_str());
}

void printJson(const polychain::RunParams& p, const polychain::RunOutput& out) {
  const auto& r = out.results;
  nlohmann::json j;
  j["model"] = polychain::modelKey(p.model);
  j["seed"] = out.seed;
  j["steps"] = p.steps;
  j["iterations"] = p.iterations;
  if (p.model == polychain::Model::SAW) j["avoid"] = p.avoid;
  if (p.model == polychain::Model::ShortRange) j["kuhn"] = p.kuhn;
  j["results"] = {{"eR", r.eR},           {"TR", r.TR},     {"Rsqred", r.Rsqred},
                  {"TRsqred", r.TRsqred}, {"pers", r.pers}, {"Rgtxt", r.Rgtxt}};
  if (out.gofr) j["gofr"] = indexedValues(*out.gofr);
  if (out.gofq) j["gofq"] = indexedValues(*out.gofq);
  j["extended"] = polychain::cli::extendedJson(polychain::extendedStats(out.chains, p.model));
  std::cout << j.dump(2) << "\n";
}

// Writes the export files; returns the exit code (0, or 1 when a file could not be written).
int writeExports(const std::string& name, const polychain::RunOutput& out, bool quiet) {
  std::vector<std::pair<std::string, const std::string*>> files = {
      {name + ".cdat", &out.chainText}};
  if (out.gofr) files.emplace_back(name + ".gor", &*out.gofr);
  if (out.gofq) files.emplace_back(name + ".goq", &*out.gofq);
  int code = 0;
  for (const auto& [path, text] : files) {
    if (auto error = polychain::writeFileAtomically(path, *text)) {
      std::cerr << "polychain: cannot write " << path << ": " << *error << "\n";
      code = 1;
    } else if (!quiet) {
      std::printf("wrote %s\n", path.c_str());
    }
  }
  return code;
}

int runCommand(const RunOptions& options) {
  polychain::RunParams params;
  try {
    params = toParams(options);
  } catch (const InputError& e) {
    std::cerr << "polychain: " << e.what() << "\n";
    return 2;
  }
  polychain::cli::catchInterrupt();
  CliObserver observer(::isatty(STDERR_FILENO) != 0);
  const polychain::RunOutput out = polychain::runSimulation(params, observer);
  observer.clearLine();
  if (out.status == polychain::RunStatus::Cancelled) {
    std::cerr << "polychain: cancelled; nothing was written (seed " << out.seed << ").\n";
    return 130;
  }
  if (out.status == polychain::RunStatus::TrialLimit) {
    std::cerr << "polychain: " << out.message << " (seed " << out.seed << ")\n";
    return 3;
  }
  if (options.json) {
    printJson(params, out);
  } else {
    printText(params, out);
  }
  if (!options.exportName.empty()) return writeExports(options.exportName, out, options.json);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"polychain: statistics of polymer chains grown as walks on the cubic lattice"};
  app.require_subcommand(1);
  RunOptions run;
  CLI::App* runCmd = app.add_subcommand("run", "Grow chains of one model and print the results");
  runCmd->add_option("--model", run.model, "meander, saw or short-range")
      ->check(CLI::IsMember({"meander", "saw", "short-range"}))
      ->default_str("meander");
  runCmd->add_option("--steps,-N", run.steps, "Steps N of each chain (1 - 100000)")->required();
  runCmd->add_option("--iterations,-I", run.iterations, "Chains to grow (1 - 100)")->required();
  runCmd->add_option("--avoid", run.avoid, "Self-avoidance range for saw (1-3)")->default_str("1");
  runCmd->add_option("--kuhn", run.kuhn, "Kuhn length for short-range (1-10)")->default_str("1");
  runCmd->add_flag("--gofr", run.gofr, "Also compute g(r) and g(q) of the last chain");
  runCmd->add_option("--seed", run.seed, "64-bit seed (default: from the time of day)");
  runCmd->add_option("--threads", run.threads, "Worker threads (default: all cores)")
      ->check(CLI::PositiveNumber);
  runCmd->add_option("--max-trials", run.maxTrials, "Stop when a chain passes this many trials")
      ->check(CLI::NonNegativeNumber);
  runCmd->add_option("--export", run.exportName,
                     "Write NAME.cdat (and NAME.gor, NAME.goq with --gofr)");
  runCmd->add_flag("--json", run.json, "Print the results as one JSON object");
  polychain::cli::SweepOptions sweep;
  CLI::App* sweepCmd = polychain::cli::addSweepCommand(app, sweep);

  if (argc > 1 && argv[1][0] != '-' && std::string(argv[1]) != "run" &&
      std::string(argv[1]) != "sweep") {
    std::cerr << "polychain: unknown command '" << argv[1] << "'; the commands are: run, sweep.\n";
    std::cerr << "Run 'polychain --help' for the usage.\n";
    return 2;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "polychain: " << e.what() << "\n";
    std::cerr << "Run 'polychain --help' for the usage.\n";
    return 2;
  }
  if (runCmd->parsed()) return runCommand(run);
  if (sweepCmd->parsed()) return polychain::cli::sweepCommand(sweep);
  return 0;
}
