// The pivot model's entry in the model table: the true self-avoiding walk, sampled by Markov
// chains of pivot moves on a SAW-tree (chain/pivot.h) rather than grown; its runner is
// run/pivotrun.cpp.
#include "chain/pivotmodel.h"

#include <algorithm>
#include <limits>
#include <string>

#include "chain/pivot.h"
#include "chain/settingaccess.h"
#include "polychain/inputerror.h"

namespace polychain {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
// Energies in kT beyond this freeze a walk into a few shapes that pivots cannot leave.

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
        .get = getWhole<PivotSettings, &PivotSettings::pivotsPerSample>,
        .set = setWhole<PivotSettings, &PivotSettings::pivotsPerSample>,
    },
    {
        .key = "burn_in",
        .option = "--burn-in",
        .help = "pivot: attempted pivots before the first sample (default: N, at least 10000)",
        .least = 0,
        .most = kMax,
        .physical = false,
        .get = getWhole<PivotSettings, &PivotSettings::burnIn>,
        .set = setWhole<PivotSettings, &PivotSettings::burnIn>,
    },
    {
        .key = "walkers",
        .option = "--walkers",
        .help = "pivot: independent Markov chains sharing the samples (default: as many, 1 "
                "to 8, as measure at least what their starts cost)",
        .least = 1,
        .most = 1'000'000,
        .physical = false,
        .get = getWhole<PivotSettings, &PivotSettings::walkers>,
        .set = setWhole<PivotSettings, &PivotSettings::walkers>,
    },
    energySetting<PivotSettings, &PivotSettings::contactEnergy>(
        EnergyTerm::Contact,
        "pivot: energy in kT of each contact, two sites one unit apart that no step "
        "joins (default 0; negative attracts: -0.269 is about the theta point)"),
    energySetting<PivotSettings, &PivotSettings::bendEnergy>(
        EnergyTerm::Bend,
        "pivot: energy in kT of each bend, a site where two steps are not parallel "
        "(default 0; positive stiffens)"),
    {
        .key = "local_moves",
        .option = "--local-moves",
        .help = "pivot: under an energy, local moves (kink jumps and crankshafts in turn, which "
                "help compact walks mix) tried after each attempted pivot (default 0)",
        .least = 0,
        .most = 1000,
        .physical = false,
        .get = getWhole<PivotSettings, &PivotSettings::localMoves>,
        .set = setWhole<PivotSettings, &PivotSettings::localMoves>,
    },
};

// What the walkers did: their pivots over the whole run (burn-in included), the attempts
// measured after the burn-in, and the integrated autocorrelation times of R^2 and Rg^2 in
// attempts (1/2: independent), from Sokal's window, and in accepted pivots (times the
// acceptance).
const MeasureInfo kPivotMeasures[] = {
    {.name = "walkers", .kind = MeasureKind::Count, .csv = false},
    {.name = "attempts", .kind = MeasureKind::Count},
    {.name = "accepted", .kind = MeasureKind::Count, .csv = false},
    {.name = "measured", .kind = MeasureKind::Count},
    {.name = "acceptance", .digits = 4},
    {.name = "tau_R2", .digits = 3},
    {.name = "tau_Rg2", .digits = 3},
    {.name = "tau_R2_accepted", .digits = 3},
    {.name = "tau_Rg2_accepted", .digits = 3},
    {.name = "pivots_per_sample", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "burn_in", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
};

// An attempt costs about N^0.17 (bench_pivot: 0.75 us at N = 10^3, 1.7 us at 10^5, 4.9 us at
// 10^7); the default sweep, chosen by measurement (bench_pivotsweep), is N = 1000 to 256000
// doubling with a budget that ends within two minutes on two cores.
const SweepBudget kPivotBudget{
    .unit = "attempted pivots",
    .defaultBudget = 20'000'000,
    .referenceSteps = 1000,
    .costExponent = 0.17,
    .first = 1000,
    .last = 256000,
    .phrase = "{walkers|walker|walkers}",
    // One sample every max(pivots per sample, N) attempts, and as many samples (at least one
    // a walker) as fill the attempts left after the walkers' burn-in.
    .fit =
        [](ModelSettings& settings, std::int32_t steps, std::int64_t work) {
          PivotSettings& pivot = std::get<PivotSettings>(settings);
          pivot.pivotsPerSample = std::max<std::int64_t>(pivot.pivotsPerSample, steps);
          // The walkers grow with the samples: the most samples whose attempts fit the work,
          // by bisection.
          const std::int64_t burnIn = pivotBurnIn(pivot, steps);
          const auto fits = [&](std::int64_t samples) {
            const std::int64_t walkers = pivotWalkers(pivot, steps, samples);
            return burnIn <= work / walkers &&
                   samples <= (work - walkers * burnIn) / pivot.pivotsPerSample;
          };
          std::int64_t most = std::numeric_limits<std::int32_t>::max();
          std::int64_t least = 0;
          while (least < most) {
            const std::int64_t middle = least + (most - least + 1) / 2;
            if (fits(middle)) {
              least = middle;
            } else {
              most = middle - 1;
            }
          }
          return static_cast<std::int32_t>(
              std::max<std::int64_t>(least, pivot.walkers.value_or(1)));
        },
};

void checkPivot(const ModelSettings& settings, std::int32_t steps) {
  const PivotSettings& p = std::get<PivotSettings>(settings);
  if (steps > PivotWalk::kMaxSteps) {
    throw InputError("steps", "{steps} of the pivot model must be at most " +
                                  std::to_string(PivotWalk::kMaxSteps) + "; " +
                                  std::to_string(steps) + " is too large.");
  }
  requireAtLeastOne(p.pivotsPerSample, "pivots_per_sample");
  if (p.walkers) requireAtLeastOne(*p.walkers, "walkers");
  if (p.burnIn && *p.burnIn < 0) {
    throw InputError("burn_in", "{burn_in} must not be negative; " + std::to_string(*p.burnIn) +
                                    " is too small.");
  }
}

// What a walker's start costs, in attempted pivots of the same N: at N = 10^6 initialise
// took 0.4 to 0.5 s of processor time and 10^6 attempts 5 s (runs of one walker).
std::int64_t startCost(std::int32_t steps) { return std::int64_t{steps} / 8; }

}  // namespace

// A walker's start and burn-in (all of N: bench_pivotstart) are attempts it does not
// measure: a run of few samples spends them once rather than on eight walkers, and a walker
// is added only when the measured attempts pay for its start, so the attempts not measured
// are at most the measured ones, or one walker's start.
std::int64_t pivotWalkers(const PivotSettings& settings, std::int32_t steps, std::int64_t samples) {
  const std::int64_t most = std::max<std::int64_t>(samples, 1);
  if (settings.walkers) return std::min<std::int64_t>(*settings.walkers, most);
  const std::int64_t perSample = std::max<std::int64_t>(settings.pivotsPerSample, 1);
  const std::int64_t start = pivotBurnIn(settings, steps) + startCost(steps);
  const std::int64_t measured = most > kMax / perSample ? kMax : most * perSample;
  const std::int64_t walkers = measured / std::max<std::int64_t>(start, 1);
  return std::min(std::clamp<std::int64_t>(walkers, 1, kMostPivotWalkers), most);
}

const ModelInfo& modelInfo(const PivotSettings&) {
  static const ModelInfo model{
      .key = "pivot",
      .title = "Pivot SAW",
      .caption = "Pivot SAW (true self-avoiding walk)",
      .exportHeading = "Pivot Self-Avoiding Walk",
      .summary = "uniformly distributed N-step self-avoiding walks, sampled by the pivot algorithm",
      .runner = "pivot",
      .sample = "sample",
      .samples = "samples",
      .countsTrials = false,
      .maxSteps = PivotWalk::kMaxSteps,
      .selfAvoiding = true,
      .sizeExponent = 0.6,
      .persistence = [](double meanDistance, double n) { return meanDistance * meanDistance / n; },
      .persistencePower = 2.0,
      .settings = kPivotSettings,
      .headline = 0,
      .exportLabel = "Pivots per sample:",
      .phrase = "{} pivots per sample",
      .measures = kPivotMeasures,
      .measuresKey = "pivot",
      .measuresTitle = "Pivot moves",
      .statisticsHeading =
          "Extended statistics over {measured} attempted pivots of {walkers|walker|walkers}, "
          "each measured (time averages after the burn-in +/- standard error from the "
          "autocorrelation time):",
      .budget = &kPivotBudget,
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
