#include "cli/samplecommand.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "cli/exitcodes.h"
#include "cli/interrupts.h"
#include "cli/output.h"
#include "cli/progressline.h"
#include "cli/ranks.h"
#include "cli/refusals.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"
#include "polychain/inputerror.h"
#include "polychain/paramreader.h"
#include "polychain/placement.h"
#include "polychain/sample.h"
#include "polychain/texts.h"

namespace polychain::cli {

namespace {

// Bytes a site takes besides its sampled copy: the placed copy and its images, and the set of
// taken sites. The files are written in pieces and take no memory a site.
constexpr std::uint64_t kPlacementBytesPerSite = 24 + 32;

struct SamplePlan {
  RunParams run;
  std::optional<CheckedRun> checked;  // the run, with the memory for the placing
  double bondLength = 1.0;
  std::optional<std::int64_t> box;
  bool boxed = false;  // the model's chains sit in a box of their own
  std::vector<const FormatInfo*> formats;
};

// The formats of placed chains in the table's order, each as `show` words it, joined with
// `comma` and `last` before the last one.
std::string listFormats(std::string (*show)(const FormatInfo&), const char* comma,
                        const char* last) {
  std::vector<std::string> items;
  for (const FormatInfo& format : formatTable()) {
    if (format.writeEnsemble != nullptr) items.push_back(show(format));
  }
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == items.size() ? last : comma) + items[i];
  }
  return text;
}

double readBondLength(const std::string& text) {
  const double value = readRealNumber(text, "--bond-length");
  if (!(value > 0)) {
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

// The bond length against what the formats take, before anything runs: the least box the
// chains can have (the side given, else one that holds every site when no two chains share
// one, else a cell a step wide for each chain), and sites as far from the origin as a chain
// may reach beyond the box or as the widest box the chains laid side by side may need.
void checkBondLengthBefore(const SamplePlan& plan, std::int64_t chains) {
  const ModelInfo& model = modelOf(plan.run.model);
  const std::int64_t step = model.stepLength(plan.run.model);
  const std::int64_t span = std::int64_t{plan.run.steps} * step;
  std::int64_t k = 1;
  while (k * k * k < chains) ++k;
  std::int64_t least = std::min(k * (step + 1), kMaxBoxSide);
  double widest = 0;
  const SettingInfo* ownBox = model.findSetting("box");
  const std::optional<SettingValue> givenBox =
      ownBox != nullptr ? ownBox->get(plan.run.model) : std::nullopt;
  if (plan.box || givenBox) {
    least = plan.box ? *plan.box : std::get<std::int64_t>(*givenBox);
    widest = static_cast<double>(least + span + 1);
  } else {
    widest = static_cast<double>(std::min(k * (span + 1), kMaxBoxSide));
    if (model.selfAvoiding) {
      const std::int64_t sites = chains * (std::int64_t{plan.run.steps} + model.sitesBeyondSteps);
      while (least * least * least < sites) ++least;
    }
  }
  checkBondLength(plan.bondLength, plan.formats, least, widest, "--bond-length");
}

SamplePlan toPlan(const CLI::App& command, const SampleOptions& o) {
  refuseEmptyValues(command);
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
  plan.checked = checkSample(plan.run, kPlacementBytesPerSite);
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
  checkBondLengthBefore(plan, chains);
  std::vector<std::pair<std::string, std::string>> outputs;
  for (const FormatInfo* format : plan.formats) {
    outputs.push_back({"--export", o.exportName + std::string(format->extension)});
  }
  checkOutputs(outputs);
  return plan;
}

// A field a note names, as this command's option: none for the iterations, which it lacks (it
// takes the model's own number of samples).
std::string sampleFieldName(std::string_view key) {
  return key == "iterations" ? std::string() : optionFieldName(key);
}

std::string report(const SamplePlan& plan, std::uint64_t seed, const Ensemble& e,
                   const std::vector<MeasureValue>& measures) {
  std::string text = runDescription(plan.run, seed) + "\n";
  text += ensembleText(e, !plan.box && !plan.boxed) + "\n";
  for (const std::string& note : sampleNotes(modelOf(plan.run.model), measures, sampleFieldName)) {
    text += note + "\n";
  }
  return text;
}

}  // namespace

CLI::App* addSampleCommand(CLI::App& app, SampleOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "sample",
      "Grow many chains (or a melt) in one box and write them for simulations and "
      "viewers (" +
          listFormats([](const FormatInfo& f) { return std::string(f.name); }, ", ", ", ") + ")");
  cmd->add_option("--steps,-N", o.steps, "Steps N of each chain")->required();
  addModelOptions(*cmd, o.model, {"--chains", "--box"});
  cmd->remove_option(cmd->get_option("--iterations"));
  cmd->add_option("--chains,-C", o.chains, "Chains to grow and place, 1 or more")->required();
  cmd->add_option("--bond-length,-b", o.bondLength,
                  "Length of one lattice unit in the files (default 1)");
  cmd->add_option("--box,-L", o.box,
                  "Side of the periodic cubic box in lattice units (default: the chains side "
                  "by side in a box that holds them)");
  cmd->add_option(
         "--format,-f", o.formats,
         listFormats([](const FormatInfo& f) { return std::string(f.key); }, ", ", " or ") +
             "; repeat it or separate by commas (default gsd)")
      ->delimiter(',');
  cmd->add_option(
         "--export", o.exportName,
         "Write " +
             listFormats([](const FormatInfo& f) { return "NAME" + std::string(f.extension); },
                         ", ", " and ") +
             " as chosen")
      ->required();
  return cmd;
}

int sampleCommand(Team& team, const CLI::App& command, const SampleOptions& options) {
  // A team's other processes have nothing to do: the leader samples alone.
  if (!team.leader()) return 0;
  SamplePlan plan;
  try {
    plan = toPlan(command, options);
  } catch (const InputError& e) {
    printError(e);
    return kExitBadInput;
  }
  const std::uint64_t seed = plan.run.seed.value_or(clockSeed());
  plan.run.seed = seed;
  const ThreadStartWatch watch;
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
  if (!ensemble) return failedRun(RunStatus::Cancelled, "The run was cancelled.", seed);
  const std::vector<MeasureValue> measures = std::move(sample.measures);
  sample = ChainSample{};
  try {
    return deliver(report(plan, seed, *ensemble, measures), false, [&](const FileSetSteps& steps) {
      return writeEnsembleFiles(options.exportName, *ensemble, plan.formats, steps);
    });
  } catch (const std::bad_alloc&) {
    return failedRun(RunStatus::OutOfMemory, runStopMessage(RunStatus::OutOfMemory, plan.run),
                     seed);
  }
}

}  // namespace polychain::cli
