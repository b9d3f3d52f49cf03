// The table of chain models. Each model is one file that declares everything the rest of the
// program asks about it (its ModelInfo) beside its grower; its settings are one plain struct
// below, held in the ModelSettings variant that a run's parameters carry. Texts, JSON, the
// parameter readers, the command's options, the window's options and the memory check loop
// over modelTable() instead of naming models. A new model is its settings struct and the
// declaration of its info here, and its own file.
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

namespace polychain {

struct ModelInfo;
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
// every `pivotsPerSample` attempts after `burnIn` attempts (none: N, at least kMinimumBurnIn).
inline constexpr std::int64_t kDefaultPivotsPerSample = 1000;
inline constexpr std::int64_t kMinimumBurnIn = 10'000;
inline constexpr std::int32_t kDefaultWalkers = 8;
struct PivotSettings {
  std::int64_t pivotsPerSample = kDefaultPivotsPerSample;
  std::optional<std::int64_t> burnIn;
  std::int32_t walkers = kDefaultWalkers;
};
const ModelInfo& modelInfo(const PivotSettings&);

// Which model a run grows, with its settings; the alternatives' order is the table's.
using ModelSettings = std::variant<MeanderSettings, SawSettings, ShortRangeSettings, PivotSettings>;

// Chains grown from the origin, one per iteration; or a Markov chain of walks sampled.
enum class ModelKind { Grower, Sampler };

// One setting of a model, as every reader and writer of settings sees it.
struct SettingInfo {
  std::string_view key;      // JSON key and Python keyword, such as "avoid"
  std::string_view option;   // the command's option, such as "--avoid"
  std::string_view help;     // the option's help, its default included
  std::string_view field;    // the window's name for it in messages; empty: not in the window
  std::string_view caption;  // the window's caption
  std::int64_t least = 0;    // what the readers accept
  std::int64_t most = 0;
  // True when it changes which walks are sampled, false when only how (the pivot's settings).
  bool physical = true;
  std::optional<std::int64_t> (*get)(const ModelSettings&) = nullptr;  // none: its default rule
  void (*set)(ModelSettings&, std::int64_t) = nullptr;
};

struct ModelInfo {
  std::string_view key;            // the command's and JSON's name, such as "short-range"
  std::string_view title;          // the window's short name in texts, such as "Short Range"
  std::string_view caption;        // the window's option caption, such as "Short Range (1-10)"
  std::string_view exportHeading;  // the first line of the chain export
  std::string_view summary;        // one line on what it grows
  ModelKind kind = ModelKind::Grower;
  bool countsTrials = false;  // reports trials, discarded trials, back-ups and regrowing
  std::int32_t maxSteps = std::numeric_limits<std::int32_t>::max();  // the longest N it takes
  // Sites a chain of N steps holds at most, beyond N: 1 (the origin), or 0 for a model that
  // counts the origin among its N sites.
  std::int32_t sitesBeyondSteps = 1;
  bool selfAvoiding = false;  // no site of a finished chain is taken twice
  double sizeExponent = 0.5;  // the theoretical Sqr<R^2> is N^sizeExponent
  // lp from the mean end-to-end distance and N.
  double (*persistence)(double meanDistance, double steps) = nullptr;
  std::span<const SettingInfo> settings;
  // The setting that texts name beside the model, with the export header's label for it and
  // how a description words it ("{}" for the value): -1 for none.
  int headline = -1;
  std::string_view exportLabel;
  std::string_view phrase;
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

}  // namespace polychain
