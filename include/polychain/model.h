// The table of chain models. Each model is one file that declares everything the rest of the
// program asks about it (its ModelInfo): what it grows or samples, its settings of any kind,
// the quantities it measures beyond the common statistics (how they read is beside the other
// models' in the presentation table, presentation.h), and the name of the runner that carries
// out its runs. Its settings are one plain struct below, held in the ModelSettings
// variant that a run's parameters carry. Texts, JSON, the parameter readers, the command's
// options, the window, the Python module, the memory check and the run frame loop over
// modelTable() instead of naming models.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace polychain {

struct ModelInfo;
struct ModelNote;
struct ChainShape;
class ChainGrower;

// The free walk: N unit steps, each in one of the six axis directions drawn afresh.
struct MeanderSettings {};
const ModelInfo& modelInfo(const MeanderSettings&);

// The self-avoiding growth walk with back-ups; an avoidance range A of 2 or 3 also keeps new
// steps out of a zone around the chain's older sites.
struct SawSettings {
  std::int32_t avoid = 1;
};
const ModelInfo& modelInfo(const SawSettings&);

// The short-range walk: steps of K lattice units that never land on a site of the chain.
struct ShortRangeSettings {
  std::int32_t kuhn = 1;
};
const ModelInfo& modelInfo(const ShortRangeSettings&);

// The true self-avoiding walk, sampled by `walkers` Markov chains of pivot moves, one sample
// every `pivotsPerSample` attempts after `burnIn` attempts (none: the model's rule, from N);
// no `walkers`: as many as the samples asked for pay for (the model's rule). Each walk weighs
// exp(-energy), in units of kT: `contactEnergy` for each pair of sites one unit apart that no
// step joins, `bendEnergy` for each site where the walk turns (none: 0, the athermal walk);
// under an energy, `localMoves` local moves (kink jumps and crankshafts in turn) follow each
// attempted pivot (none: 0).
struct PivotSettings {
  std::int64_t pivotsPerSample = 1000;
  std::optional<std::int64_t> burnIn;
  std::optional<std::int32_t> walkers;
  std::optional<double> contactEnergy;
  std::optional<double> bendEnergy;
  std::optional<std::int32_t> localMoves;
};
const ModelInfo& modelInfo(const PivotSettings&);

// Many chains at a density: `chains` self- and mutually avoiding chains of N steps in a cubic
// box, of side `box` or the side that comes closest to the volume fraction `density` (none of
// either: the model's default density), periodic or with hard walls normal to the axes
// `walls` names (none, z, yz or xyz), sampled by lattice Monte Carlo moves: one sample every
// `sweepsPerSample` sweeps after `burnIn` sweeps (none: the model's rules). Each
// configuration weighs exp(-energy), in units of kT: `contactEnergy` for each pair of beads
// one unit apart that no bond joins (of one chain or of two), `bendEnergy` for each bead where
// the chain turns, `wallEnergy` for each bead on a layer next to a wall (walls only); none: 0.
struct MeltSettings {
  std::int32_t chains = 100;
  std::optional<double> density;
  std::optional<std::int32_t> box;
  std::int32_t walls = 0;
  std::optional<std::int64_t> burnIn;
  std::optional<std::int64_t> sweepsPerSample;
  std::optional<double> contactEnergy;
  std::optional<double> bendEnergy;
  std::optional<double> wallEnergy;
};
const ModelInfo& modelInfo(const MeltSettings&);

// The true self-avoiding walk grown by the pruned-enriched Rosenbluth method, each walk
// weighed by exp(-energy): `contactEnergy` (kT) for each pair of non-bonded nearest
// neighbours, `bendEnergy` (kT) for each pair of consecutive steps that are not parallel.
struct PermSettings {
  double contactEnergy = 0.0;
  double bendEnergy = 0.0;
};
const ModelInfo& modelInfo(const PermSettings&);

// Which model a run grows, with its settings; the alternatives' order is the table's.
using ModelSettings = std::variant<MeanderSettings, SawSettings, ShortRangeSettings, PivotSettings,
                                   MeltSettings, PermSettings>;

// A setting's value: a whole number, a real number, or a flag. A choice is held as the index
// of its word among the setting's choices.
using SettingValue = std::variant<std::int64_t, double, bool>;

enum class SettingKind {
  Whole,   // a whole number from `least` to `most`
  Real,    // a finite real number within `lowest` and `highest`
  Choice,  // one of the words `choices`
  Flag,    // on or off
};

// One setting of a model, as every reader and writer of settings sees it.
struct SettingInfo {
  std::string_view key;      // JSON key and Python keyword, such as "avoid"
  std::string_view option;   // the command's option, such as "--avoid"
  std::string_view help;     // the option's help, its default included
  std::string_view field;    // the window's name for it in messages; empty: not in the window
  std::string_view caption;  // the window's caption
  SettingKind kind = SettingKind::Whole;
  std::int64_t least = 0;  // a whole number's range
  std::int64_t most = 0;
  bool zeroRefused = false;  // the whole number 0 lies in the range but is refused
  double lowest = 0.0;       // a real number's range; `lowest` itself only when lowestIncluded
  double highest = 0.0;
  bool lowestIncluded = true;
  std::span<const std::string_view> choices;  // a choice's words, in the order of their index
  // True when it changes which walks are sampled, false when only how (the pivot's settings).
  bool physical = true;
  // The value in `settings`; none: the model's default rule, which the run works out.
  std::optional<SettingValue> (*get)(const ModelSettings&) = nullptr;
  // Sets a value of this setting's kind (checkSetting has accepted it).
  void (*set)(ModelSettings&, const SettingValue&) = nullptr;
};

// The kind of a quantity that a model measures.
enum class MeasureKind {
  Count,     // a whole number, such as the attempted moves
  Number,    // a real number, such as an acceptance
  Estimate,  // a mean with its standard error
  Curve,     // values at 1, 2, ..., such as <R^2(n)>/n
};

// One quantity a model measures beyond the common statistics: its name and kind, and what a
// sweep and the writers do with it. A run's values are in RunResult::measures, in the order of
// ModelInfo::measures. How the texts, the JSON, the window and the Python module show it (its
// JSON path, captions, unit, column and hints) is its entry in the presentation table
// (presentation.h), under the model's key and this name.
struct MeasureInfo {
  std::string_view name;  // Python's name and the CSV column, such as "tau_R2"
  MeasureKind kind = MeasureKind::Number;
  int digits = 6;       // significant digits of a Number in texts
  bool csv = true;      // a column of the sweep's CSV
  bool indexed = true;  // a curve in JSON as [[n, value], ...]; false: [value, ...]
  bool inSweep = true;  // measured for every N of a sweep (false: a run's own, such as its
                        // burn-in)
  // A growth model's measure of each chain, from what the pass over its sites that gives its
  // size gathers (an Estimate: the mean over the chains with its standard error).
  double (*ofChain)(const ChainShape& shape) = nullptr;
};

// A quantity a model measures beyond the common statistics (MeasureInfo): its value, with the
// standard error of an estimate, or the values of a curve at 1, 2, ... or at the abscissae `at`
// when it has them, then with their standard errors in `curveError` (NaN where there is none).
struct MeasureValue {
  double value = std::numeric_limits<double>::quiet_NaN();
  double standardError = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> curve;
  std::vector<double> at;          // empty: the curve's values are at 1, 2, ...
  std::vector<double> curveError;  // empty, or one for each value of a curve with `at`
};

// A remark on a run that the texts add in one line when `applies` finds it true of the run's
// measures (in the order of the model's measures), such as a melt that may not be equilibrated;
// `text` may name measures as {name} and fields as {-key} (a setting's or a run's, such as
// {-iterations}), which each front end names its own way.
struct ModelNote {
  std::string_view text;
  bool (*applies)(std::span<const MeasureValue> measures) = nullptr;
};

// A sampler's sweep by budget: the work spent on each N is given for one reference N, and
// longer N get less in proportion to what one unit of work costs at each N, so that every N
// takes about the same time.
struct SweepBudget {
  std::string_view unit;  // what the budget counts, such as "attempted pivots"
  std::int64_t defaultBudget = 0;
  std::int32_t referenceSteps = 1000;
  double costExponent = 0.0;  // one unit of work costs about N^costExponent
  // The default sweep without --steps: from `first` to `last`, doubling.
  std::int32_t first = 0;
  std::int32_t last = 0;
  // The end of the sweep's heading, naming how the work is shared, such as "{walkers} walker".
  std::string_view phrase;
  // Fits a run of N = `steps` to `work` units of work: adjusts `settings` and returns the
  // samples (Iterations) that fill it.
  std::int32_t (*fit)(ModelSettings& settings, std::int32_t steps, std::int64_t work) = nullptr;
};

struct ModelInfo {
  std::string_view key;            // the command's and JSON's name, such as "short-range"
  std::string_view title;          // the window's short name in texts, such as "Short Range"
  std::string_view caption;        // the window's option caption, such as "Short Range (1-10)"
  std::string_view exportHeading;  // the first line of the chain export
  std::string_view summary;        // one line on what it grows
  // Which runner carries out its runs, asked for by this name ("grower": the one every
  // growth model shares).
  std::string_view runner = "grower";
  // What one of Iterations is, singular and plural: a chain grown, or a sample taken; and how
  // a run's description counts them.
  std::string_view sample = "chain";
  std::string_view samples = "chains";
  std::string_view describedSample = "chain";
  std::string_view describedSamples = "chains";
  // The setting that the count of a sample of chains sets (the melt's chains), and the
  // Iterations of such a sample; empty: the count is the Iterations.
  std::string_view sampleCount;
  std::int32_t sampleIterations = 1;
  bool countsTrials = false;  // reports trials, discarded trials, back-ups and regrowing
  std::int32_t maxSteps = std::numeric_limits<std::int32_t>::max();  // the longest N it takes
  // Sites a chain of N steps holds at most, beyond N: 1 (the origin), or 0 for a model that
  // counts the origin among its N sites.
  std::int32_t sitesBeyondSteps = 1;
  bool selfAvoiding = false;  // no site of a finished chain is taken twice
  double sizeExponent = 0.5;  // the theoretical Sqr<R^2> is N^sizeExponent
  // lp from the mean end-to-end distance and N, which goes as the mean distance to the power
  // `persistencePower` (for the standard error of lp).
  double (*persistence)(double meanDistance, double steps) = nullptr;
  double persistencePower = 1.0;
  std::span<const SettingInfo> settings;
  // The setting that texts name beside the model, with the export header's label for it and
  // how a description words it ("{}" for the value): -1 for none.
  int headline = -1;
  std::string_view exportLabel;
  std::string_view phrase;
  // What it measures beyond the common statistics, under this JSON key and window title.
  std::span<const MeasureInfo> measures;
  std::string_view measuresKey;
  std::string_view measuresTitle;
  // The heading of the extended statistics when they are time averages of its Markov chains
  // ({name} puts a measure's value, {name|one|many} it and the word that fits); empty: means
  // over independent chains.
  std::string_view statisticsHeading;
  // Notes a run may carry (not errors): each said when its test of the measures holds, and
  // the line said instead when none holds (empty: nothing).
  std::span<const ModelNote> notes;
  std::string_view settledNote;
  const SweepBudget* budget = nullptr;  // a sweep may spend a budget on each N instead
  ModelSettings (*defaults)() = nullptr;
  // Throws InputError, naming the setting, when chains of `steps` cannot take these settings.
  void (*check)(const ModelSettings&, std::int32_t steps) = nullptr;
  // Bytes a worker holds per site of a chain, with room for growth and indexes.
  std::uint64_t (*bytesPerSite)(const ModelSettings&) = nullptr;
  // Lattice units per step.
  std::int64_t (*stepLength)(const ModelSettings&) = nullptr;
  // A grower's chains of N = `steps` (null for a sampler).
  std::unique_ptr<ChainGrower> (*grower)(std::int32_t steps, const ModelSettings&) = nullptr;

  const SettingInfo* headlineSetting() const {
    return headline >= 0 ? &settings[static_cast<std::size_t>(headline)] : nullptr;
  }
  // The setting whose key is `key`; none when the model has no such setting.
  const SettingInfo* findSetting(std::string_view key) const;
  // The index in `measures` of the measure called `name`; -1 when there is none.
  int findMeasure(std::string_view name) const;
};

// Every model, in the order of ModelSettings's alternatives (the order the window shows).
inline constexpr std::size_t kModelCount = std::variant_size_v<ModelSettings>;
const std::array<const ModelInfo*, kModelCount>& modelTable();

// The model of `settings`.
inline const ModelInfo& modelOf(const ModelSettings& settings) {
  return std::visit([](const auto& s) -> const ModelInfo& { return modelInfo(s); }, settings);
}

// The model whose key is `key`; none when no model has it.
const ModelInfo* findModel(std::string_view key);

// The keys of every model, such as "meander, saw, short-range or pivot".
std::string_view modelKeyList();

// Throws InputError naming `field` when `value` is not of the setting's kind or out of its
// range: "Density (--density) must be ...". The one check of a setting's value, whoever read it.
void checkSetting(const SettingInfo& setting, const SettingValue& value, std::string_view field);
// The same check, its InputError about the setting's key (which each front end names).
void checkSetting(const SettingInfo& setting, const SettingValue& value);

// The range a setting accepts, as the readers' messages word it, such as "whole numbers from 1
// to 3", "numbers above 0 and at most 0.8" or "none, z, yz or xyz".
std::string settingRange(const SettingInfo& setting);

}  // namespace polychain
