#include "cli/samplecommand.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "polychain/ensemble.h"
#include "polychain/formats.h"
#include "polychain/numbertext.h"
#include "polychain/paramreader.h"
#include "polychain/placement.h"
#include "polychain/sample.h"
#include "polychain/texts.h"

namespace polychain::cli {

namespace {

// Bytes a site takes besides its sampled copy and the files: the placed copy and its images,
// and the set of taken sites.
constexpr std::uint64_t kPlacementBytesPerSite = 24 + 32;

struct SamplePlan {
  RunParams run;
  std::optional<CheckedRun> checked;  // the run, with the memory for the placing and the files
  double bondLength = 1.0;
  std::optional<std::int64_t> box;
  bool boxed = false;  // the model's chains sit in a box of their own
  std::vector<const FormatInfo*> formats;
};

double readBondLength(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0) {
    throw InputError("--bond-length must be a finite number above 0, such as 1 or 0.97; \"" + text +
                     "\" is not.");
  }
  return value;
}

std::vector<const FormatInfo*> readFormats(const std::vector<std::string>& keys) {
  std::vector<const FormatInfo*> formats;
  for (const std::string& key : keys) {
    const FormatInfo* format = findFormat(key);
    if (format == nullptr || format->writeEnsemble == nullptr) {
      throw InputError("--format \"" + key + "\" is not a format; the formats are " +
                       ensembleFormatKeys() + ".");
    }
    if (std::find(formats.begin(), formats.end(), format) == formats.end()) {
      formats.push_back(format);
    }
  }
  if (formats.empty()) formats.push_back(findFormat("gsd"));
  return formats;
}

SamplePlan toPlan(const SampleOptions& o) {
  SamplePlan plan;
  plan.run.steps = readInt32(o.steps, "--steps");
  const std::int64_t chains =
      readWholeNumber(o.chains, "--chains", 1, std::numeric_limits<std::int32_t>::max());
  ModelOptions model = o.model;
  model.iterations = std::to_string(chains);
  // A model with a box of its own (the melt) reads --box as its setting.
  const ModelInfo& info = readModelKey(model.model, "--model");
  const bool ownBox = info.findSetting("box") != nullptr;
  plan.boxed = ownBox;
  if (ownBox && !o.box.empty()) model.settings["--box"] = o.box;
  readModelOptions(model, plan.run);
  setSampleCount(plan.run, chains);
  plan.bondLength = readBondLength(o.bondLength);
  if (!o.box.empty() && !ownBox) plan.box = readWholeNumber(o.box, "--box", 1, kMaxBoxSide);
  plan.formats = readFormats(o.formats);
  if (o.exportName.empty() || o.exportName.back() == '/') {
    throw InputError("--export needs a file name, such as melt (which writes melt.gsd); \"" +
                     o.exportName + "\" names no file.");
  }
  std::uint64_t textBytes = kPlacementBytesPerSite;
  for (const FormatInfo* format : plan.formats) textBytes += format->bytesPerSite;
  plan.checked = checkSample(plan.run, textBytes);
  const std::int64_t perChain =
      std::int64_t{plan.run.steps} + modelOf(plan.run.model).sitesBeyondSteps;
  const std::int64_t sites = chains * perChain;
  for (const FormatInfo* format : plan.formats) checkFits(*format, sites);
  if (plan.box) {
    try {
      checkBoxSide(*plan.box, static_cast<std::uint64_t>(sites));
    } catch (const InputError& e) {
      throw InputError(std::string("--box: ") + e.what());
    }
  }
  return plan;
}

std::string report(const SamplePlan& plan, std::uint64_t seed, const Ensemble& e,
                   const std::vector<MeasureValue>& measures) {
  std::string text = runDescription(plan.run, seed) + "\n";
  text += formatInteger(e.chains) + " chains, " + formatInteger(e.siteCount()) + " sites, " +
          formatInteger(e.bondCount()) + " bonds, in a " + boxText(e.periodic) + " of side " +
          formatInteger(e.box) + " lattice units" +
          (plan.box || plan.boxed ? "" : " (laid side by side)") + ": volume fraction " +
          formatSignificant(e.volumeFraction(), 4) + ", bond length " + formatNumber(e.bondLength) +
          ".\n";
  for (const std::string& note : runNotes(modelOf(plan.run.model), measures)) text += note + "\n";
  return text;
}

}  // namespace

CLI::App* addSampleCommand(CLI::App& app, SampleOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "sample",
      "Grow many chains, place them in one periodic box and write them for simulations and "
      "viewers (GSD, LAMMPS data, PDB, extended XYZ)");
  cmd->add_option("--steps,-N", o.steps, "Steps N of each chain")->required();
  addModelOptions(*cmd, o.model, {"--chains", "--box"});
  cmd->remove_option(cmd->get_option("--iterations"));
  cmd->add_option("--chains,-C", o.chains, "Chains to grow and place, 1 or more")->required();
  cmd->add_option("--bond-length,-b", o.bondLength,
                  "Length of one lattice unit in the files (default 1)");
  cmd->add_option("--box,-L", o.box,
                  "Side of the periodic cubic box in lattice units (default: the chains side "
                  "by side in a box that holds them)");
  cmd->add_option("--format,-f", o.formats,
                  "gsd, lammps, pdb or xyz; repeat it or separate by commas (default gsd)")
      ->delimiter(',');
  cmd->add_option("--export", o.exportName,
                  "Write NAME.gsd, NAME.data, NAME.pdb and NAME.xyz as chosen")
      ->required();
  return cmd;
}

int sampleCommand(Team& team, const SampleOptions& options) {
  // A team's other processes have nothing to do: the leader samples alone.
  if (!team.leader()) return 0;
  SamplePlan plan;
  try {
    plan = toPlan(options);
  } catch (const InputError& e) {
    printError(e.what());
    return kExitBadInput;
  }
  const std::uint64_t seed = plan.run.seed.value_or(clockSeed());
  plan.run.seed = seed;
  CliObserver observer(::isatty(STDERR_FILENO) != 0);
  ChainSample sample = sampleChains(plan.checked->seeded(seed), observer);
  observer.clearLine();
  if (sample.status != RunStatus::Finished) {
    return failedRun(sample.status, runStopMessage(sample.status, plan.run), seed);
  }
  PlacementParams placement;
  placement.box = plan.box;
  placement.seed = seed;
  placement.bondLength = plan.bondLength;
  placement.selfAvoiding = modelOf(plan.run.model).selfAvoiding;
  std::optional<Ensemble> ensemble;
  std::vector<OutputFile> files;
  try {
    ensemble = placeChains(sample, placement, [] { return !interrupted(); });
  } catch (const InputError& e) {
    printError(std::string(plan.box ? "--box: " : "") + e.what() + " Nothing was written (seed " +
               std::to_string(seed) + ").");
    return kExitBadInput;
  } catch (const std::bad_alloc&) {
    return failedRun(RunStatus::OutOfMemory, runStopMessage(RunStatus::OutOfMemory, plan.run),
                     seed);
  }
  const std::vector<MeasureValue> measures = std::move(sample.measures);
  sample = ChainSample{};
  if (!ensemble) return failedRun(RunStatus::Cancelled, "The run was cancelled.", seed);
  try {
    for (const FormatInfo* format : plan.formats) {
      files.push_back(
          {options.exportName + std::string(format->extension), format->writeEnsemble(*ensemble)});
      if (interrupted()) return failedRun(RunStatus::Cancelled, "The run was cancelled.", seed);
    }
  } catch (const InputError& e) {
    printError(std::string(e.what()) + " Nothing was written (seed " + std::to_string(seed) + ").");
    return kExitBadInput;
  } catch (const std::bad_alloc&) {
    return failedRun(RunStatus::OutOfMemory, runStopMessage(RunStatus::OutOfMemory, plan.run),
                     seed);
  }
  return deliver(report(plan, seed, *ensemble, measures), files, false);
}

}  // namespace polychain::cli
