#include "cli/sweepcommand.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/atomicfile.h"
#include "app/sweep.h"
#include "chain/numtext.h"
#include "cli/common.h"
#include "cli/report.h"

namespace polychain::cli {

namespace {

SweepParams toParams(const SweepOptions& o) {
  SweepParams p;
  p.run.model = modelFromKey(o.model);
  p.steps = parseStepList(o.steps, "--steps");
  p.run.iterations = textToNumber(o.iterations, "--iterations");
  if (p.run.model == Model::SAW) p.run.avoid = textToNumber(o.avoid, "--avoid");
  if (p.run.model == Model::ShortRange) p.run.kuhn = textToNumber(o.kuhn, "--kuhn");
  if (!o.seed.empty()) p.seed = parseSeed(o.seed);
  p.run.threads = o.threads;
  p.run.maxTrials = o.maxTrials;
  validateSweep(p, "--steps");
  return p;
}

std::string settings(const SweepParams& p) {
  std::string s = std::string(modelKey(p.run.model)) + ", " + formatInteger(p.run.iterations) +
                  (p.run.iterations == 1 ? " chain" : " chains") + " per N";
  if (p.run.model == Model::SAW) s += ", avoidance " + formatInteger(p.run.avoid);
  if (p.run.model == Model::ShortRange) s += ", Kuhn length " + formatInteger(p.run.kuhn);
  return s;
}

std::string padded(std::string text, std::size_t width) {
  text.resize(std::max(text.size() + 2, width), ' ');
  return text;
}

void printText(const SweepParams& p, const SweepOutput& out) {
  std::printf("sweep: %s, seed %llu\n", settings(p).c_str(),
              static_cast<unsigned long long>(out.seed));
  std::printf(
      "seed of each N: SplitMix64 output k+1 from the sweep seed, k its place in the "
      "list (from 0)\n");
  std::printf("%s%s%s%s%s%s\n", padded("N", 9).c_str(), padded("seed", 22).c_str(),
              padded("sqrt(<R^2>)", 24).c_str(), padded("<|R|>", 24).c_str(),
              padded("sqrt(<Rg^2>)", 24).c_str(), "<Rg^2>/<R^2>");
  for (const SweepPoint& point : out.points) {
    const ExtendedStats& s = point.stats;
    std::printf("%s%s%s%s%s%s\n", padded(formatInteger(point.steps), 9).c_str(),
                padded(std::to_string(point.seed), 22).c_str(),
                padded(estimateText(s.rmsEnd), 24).c_str(),
                padded(estimateText(s.meanEnd), 24).c_str(),
                padded(estimateText(s.rmsRg), 24).c_str(), estimateText(s.ratio).c_str());
  }
  if (out.fit) {
    const PowerLawFit& f = *out.fit;
    std::string how = f.weighted ? "weighted" : "ordinary";
    how += " least squares of log sqrt(<R^2>) on log N, " + std::to_string(f.points) + " points";
    if (std::isfinite(f.chiSquaredPerDof)) {
      std::array<char, 32> text{};
      const auto r = std::to_chars(text.data(), text.data() + text.size(), f.chiSquaredPerDof,
                                   std::chars_format::general, 3);
      how += ", chi^2/dof " + std::string(text.data(), r.ptr);
    }
    std::printf("nu = %s (%s)\n", estimateText({f.exponent, f.exponentError}).c_str(), how.c_str());
  }
  std::printf("reference: nu = 0.5 (ideal chain), 0.5876 (self-avoiding walk, cubic lattice)\n");
}

void printJson(const SweepParams& p, const SweepOutput& out) {
  nlohmann::json j;
  j["model"] = modelKey(p.run.model);
  j["seed"] = out.seed;
  j["iterations"] = p.run.iterations;
  if (p.run.model == Model::SAW) j["avoid"] = p.run.avoid;
  if (p.run.model == Model::ShortRange) j["kuhn"] = p.run.kuhn;
  j["points"] = nlohmann::json::array();
  for (const SweepPoint& point : out.points) {
    j["points"].push_back(
        {{"steps", point.steps}, {"seed", point.seed}, {"extended", extendedJson(point.stats)}});
  }
  j["fit"] = out.fit ? fitJson(*out.fit) : nlohmann::json(nullptr);
  j["reference"] = {{"ideal_chain", kIdealChainExponent},
                    {"self_avoiding_walk", kSelfAvoidingExponent}};
  std::cout << j.dump(2) << "\n";
}

}  // namespace

CLI::App* addSweepCommand(CLI::App& app, SweepOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "sweep", "Run several chain lengths N and fit the exponent nu of sqrt(<R^2>) ~ N^nu");
  cmd->add_option("--model", o.model, "meander, saw or short-range")
      ->check(CLI::IsMember({"meander", "saw", "short-range"}))
      ->default_str("meander");
  cmd->add_option("--steps,-N", o.steps, "Step counts N, separated by commas (100,200,400,...)")
      ->required();
  cmd->add_option("--iterations,-I", o.iterations, "Chains to grow for each N")->required();
  cmd->add_option("--avoid", o.avoid, "Self-avoidance range for saw (1-3)")->default_str("1");
  cmd->add_option("--kuhn", o.kuhn, "Kuhn length for short-range (1-10)")->default_str("1");
  cmd->add_option("--seed", o.seed,
                  "64-bit sweep seed; each N's seed derives from it (default: time of day)");
  cmd->add_option("--threads", o.threads, "Worker threads (default: all cores)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--max-trials", o.maxTrials, "Stop when a chain passes this many trials")
      ->check(CLI::NonNegativeNumber);
  cmd->add_option("--csv", o.csvPath, "Write the per-N statistics to this CSV file");
  cmd->add_option("--plot", o.plotPath, "Write the log-log plot to this SVG file");
  cmd->add_flag("--json", o.json, "Print the sweep as one JSON object");
  return cmd;
}

int sweepCommand(const SweepOptions& options) {
  SweepParams params;
  try {
    params = toParams(options);
  } catch (const InputError& e) {
    printError(e.what());
    return 2;
  }
  catchInterrupt();
  CliObserver observer(::isatty(STDERR_FILENO) != 0);
  const SweepOutput out = runSweep(params, observer);
  observer.clearLine();
  if (out.status == RunStatus::Cancelled) {
    printError(out.message + " Nothing was written (seed " + std::to_string(out.seed) + ").");
    return 130;
  }
  if (out.status == RunStatus::TrialLimit) {
    printError(out.message + " (seed " + std::to_string(out.seed) + ")");
    return 3;
  }
  if (options.json) {
    printJson(params, out);
  } else {
    printText(params, out);
  }
  int code = 0;
  const auto write = [&](const std::string& path, const std::string& text) {
    if (path.empty()) return;
    if (auto error = writeFileAtomically(path, text)) {
      printError("cannot write " + path + ": " + *error);
      code = 1;
    } else if (!options.json) {
      std::printf("wrote %s\n", path.c_str());
    }
  };
  write(options.csvPath, sweepCsv(out, params.run.model));
  write(options.plotPath, sweepSvg(out, params.run.model));
  return code;
}

}  // namespace polychain::cli
