// The pivot model's entry in the model table: the true self-avoiding walk, sampled by Markov
// chains of pivot moves on a SAW-tree (chain/pivot.h) rather than grown.
#include <limits>
#include <string>

#include "chain/pivot.h"
#include "polychain/inputerror.h"
#include "polychain/model.h"

namespace polychain {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

PivotSettings& pivot(ModelSettings& s) { return std::get<PivotSettings>(s); }
const PivotSettings& pivot(const ModelSettings& s) { return std::get<PivotSettings>(s); }

const SettingInfo kPivotSettings[] = {
    {
        .key = "pivots_per_sample",
        .option = "--pivots-per-sample",
        .help = "pivot: attempted pivots between samples (default 1000)",
        .field = "Pivots per sample",
        .caption = "Pivots per sample",
        .least = 1,
        .most = kMax,
        .physical = false,
        .get = [](const ModelSettings& s) -> std::optional<std::int64_t> {
          return pivot(s).pivotsPerSample;
        },
        .set = [](ModelSettings& s, std::int64_t v) { pivot(s).pivotsPerSample = v; },
    },
    {
        .key = "burn_in",
        .option = "--burn-in",
        .help = "pivot: attempted pivots before the first sample (default: N, at least 10000)",
        .least = 0,
        .most = kMax,
        .physical = false,
        .get = [](const ModelSettings& s) { return pivot(s).burnIn; },
        .set = [](ModelSettings& s, std::int64_t v) { pivot(s).burnIn = v; },
    },
    {
        .key = "walkers",
        .option = "--walkers",
        .help = "pivot: independent Markov chains sharing the samples (default 8)",
        .least = 1,
        .most = 1'000'000,
        .physical = false,
        .get = [](const ModelSettings& s) -> std::optional<std::int64_t> {
          return pivot(s).walkers;
        },
        .set = [](ModelSettings& s,
                  std::int64_t v) { pivot(s).walkers = static_cast<std::int32_t>(v); },
    },
};

void checkPivot(const ModelSettings& settings, std::int32_t steps) {
  const PivotSettings& p = pivot(settings);
  if (steps > PivotWalk::kMaxSteps) {
    throw InputError("Steps (N) of the pivot model must be at most " +
                     std::to_string(PivotWalk::kMaxSteps) + "; " + std::to_string(steps) +
                     " is too large.");
  }
  requireAtLeastOne(p.pivotsPerSample, "Pivots per sample");
  requireAtLeastOne(p.walkers, "Walkers");
  if (p.burnIn && *p.burnIn < 0) {
    throw InputError("Burn-in must not be negative; " + std::to_string(*p.burnIn) +
                     " is too small.");
  }
}

}  // namespace

const ModelInfo& modelInfo(const PivotSettings&) {
  static const ModelInfo model{
      .key = "pivot",
      .title = "Pivot SAW",
      .caption = "Pivot SAW (true self-avoiding walk)",
      .exportHeading = "Pivot Self-Avoiding Walk",
      .summary = "uniformly distributed N-step self-avoiding walks, sampled by the pivot algorithm",
      .kind = ModelKind::Sampler,
      .countsTrials = false,
      .maxSteps = PivotWalk::kMaxSteps,
      .selfAvoiding = true,
      .sizeExponent = 0.6,
      .persistence = [](double meanDistance, double n) { return meanDistance * meanDistance / n; },
      .settings = kPivotSettings,
      .headline = 0,
      .exportLabel = "Pivots per sample:",
      .phrase = "{} pivots per sample",
      .defaults = [] { return ModelSettings(PivotSettings{}); },
      .check = checkPivot,
      // A walker's SAW-tree with its sums: 12.6 bytes a site measured at N = 10^7.
      .bytesPerSite = [](const ModelSettings&) -> std::uint64_t { return 16; },
      .stepLength = [](const ModelSettings&) -> std::int64_t { return 1; },
      .grower = nullptr,
  };
  return model;
}

}  // namespace polychain
