// The melt model's entry in the model table: many self- and mutually avoiding chains in a
// periodic or walled box, equilibrated by lattice Monte Carlo moves (chain/melt.h); its runner
// is run/meltrun.cpp.
#include "chain/meltmodel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "chain/numbertext.h"
#include "chain/settingaccess.h"
#include "polychain/inputerror.h"

namespace polychain {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
// The largest box side a refusal states (meltSide goes up to 10^15 for tiny densities).
constexpr std::int64_t kLargestSideStated = 1'000'000'000;
constexpr std::string_view kWalls[] = {"none", "z", "yz", "xyz"};
// Energies in kT beyond this freeze a melt into a few configurations that its moves barely
// leave.

// The least side: 3 where an axis is periodic, so that a bond's direction follows from its two
// sites; a closed box may be 2 wide.
std::int64_t leastSide(const MeltSettings& settings) {
  return meltWalls(settings) == MeltWalls::XYZ ? 2 : 3;
}

const SettingInfo kMeltSettings[] = {
    {
        .key = "chains",
        .option = "--chains",
        .help = "melt: chains in the box (default 100)",
        .field = "Chains",
        .caption = "Chains",
        .least = 1,
        .most = std::numeric_limits<std::int32_t>::max(),
        .get = getWhole<MeltSettings, &MeltSettings::chains>,
        .set = setWhole<MeltSettings, &MeltSettings::chains>,
    },
    {
        .key = "density",
        .option = "--density",
        .help = "melt: volume fraction C (N + 1) / L^3, above 0 and at most 0.8; the box side "
                "is the whole number that comes closest (default 0.5; or give --box)",
        .field = "Density",
        .caption = "Density (volume fraction)",
        .kind = SettingKind::Real,
        .lowest = 0.0,
        .highest = kMostMeltDensity,
        .lowestIncluded = false,
        .get = getReal<MeltSettings, &MeltSettings::density>,
        .set = setReal<MeltSettings, &MeltSettings::density>,
    },
    {
        .key = "box",
        .option = "--box",
        .help = "melt: side L of the cubic box in lattice units, instead of --density",
        .field = "Box side",
        .caption = "Box side (L)",
        .least = 2,
        .most = Melt::kMostSide,
        .get = getWhole<MeltSettings, &MeltSettings::box>,
        .set = setWhole<MeltSettings, &MeltSettings::box>,
    },
    {
        .key = "walls",
        .option = "--walls",
        .help = "melt: hard walls normal to none (periodic box), z (a slit), yz (a square "
                "channel) or xyz (a closed box); default none",
        .field = "Walls",
        .caption = "Walls",
        .kind = SettingKind::Choice,
        .choices = kWalls,
        .get = getWhole<MeltSettings, &MeltSettings::walls>,
        .set = setWhole<MeltSettings, &MeltSettings::walls>,
    },
    {
        .key = "burn_in",
        .option = "--burn-in",
        .help = "melt: Monte Carlo sweeps before the first sample (default: enough for the "
                "chains to forget their start, by measurement)",
        .least = 0,
        .most = kMax,
        .physical = false,
        .get = getWhole<MeltSettings, &MeltSettings::burnIn>,
        .set = setWhole<MeltSettings, &MeltSettings::burnIn>,
    },
    {
        .key = "sweeps_per_sample",
        .option = "--sweeps-per-sample",
        .help = "melt: Monte Carlo sweeps between samples (default: by measurement)",
        .least = 1,
        .most = kMax,
        .physical = false,
        .get = getWhole<MeltSettings, &MeltSettings::sweepsPerSample>,
        .set = setWhole<MeltSettings, &MeltSettings::sweepsPerSample>,
    },
    energySetting<MeltSettings, &MeltSettings::contactEnergy>(
        EnergyTerm::Contact,
        "melt: energy in kT of each contact, two beads one unit apart that no bond "
        "joins, of one chain or of two (default 0; negative attracts)"),
    energySetting<MeltSettings, &MeltSettings::bendEnergy>(
        EnergyTerm::Bend,
        "melt: energy in kT of each bend, a bead where two bonds are not parallel "
        "(default 0; positive stiffens)"),
    energySetting<MeltSettings, &MeltSettings::wallEnergy>(
        EnergyTerm::Wall,
        "melt: energy in kT of each bead on a layer next to a wall, with --walls only "
        "(default 0; negative adsorbs)"),
};

// What a melt run measures besides the common statistics. The move kinds' acceptances follow
// MeltMove's order.
const MeasureInfo kMeltMeasures[] = {
    {.name = "side", .kind = MeasureKind::Count},
    {.name = "volume_fraction", .digits = 6},
    {.name = "samples", .kind = MeasureKind::Count, .csv = false},
    {.name = "chains_sampled", .kind = MeasureKind::Count, .csv = false},
    {.name = "burn_in", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "sweeps_per_sample", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "sweeps", .kind = MeasureKind::Count},
    {.name = "tau_end_to_end", .digits = 3},
    {.name = "tau_settled", .kind = MeasureKind::Count, .csv = false},
    {.name = "burn_in_taus", .digits = 3},
    {.name = "sampling_taus", .digits = 3},
    {.name = "R2_first_half", .kind = MeasureKind::Estimate, .csv = false},
    {.name = "R2_second_half", .kind = MeasureKind::Estimate, .csv = false},
    {.name = "acceptance_end", .digits = 4},
    {.name = "acceptance_kink", .digits = 4},
    {.name = "acceptance_crankshaft", .digits = 4},
    {.name = "acceptance_reptation", .digits = 4},
    {.name = "acceptance_pivot", .digits = 4},
    {.name = "acceptance_tail_swap", .digits = 4},
    {.name = "attempts_end", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "attempts_kink", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "attempts_crankshaft", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "attempts_reptation", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "attempts_pivot", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "attempts_tail_swap", .kind = MeasureKind::Count, .csv = false, .inSweep = false},
    {.name = "internal_distances", .kind = MeasureKind::Curve, .csv = false, .inSweep = false},
};

// The value of the melt's measure `name` among `values`; NaN when absent.
double measure(std::span<const MeasureValue> values, std::string_view name) {
  const int at = modelInfo(MeltSettings{}).findMeasure(name);
  return at >= 0 && static_cast<std::size_t>(at) < values.size()
             ? values[static_cast<std::size_t>(at)].value
             : std::numeric_limits<double>::quiet_NaN();
}
double measureError(std::span<const MeasureValue> values, std::string_view name) {
  const int at = modelInfo(MeltSettings{}).findMeasure(name);
  return at >= 0 && static_cast<std::size_t>(at) < values.size()
             ? values[static_cast<std::size_t>(at)].standardError
             : std::numeric_limits<double>::quiet_NaN();
}

// True when both halves of the samples have errors, so that their drift can be judged.
bool halvesJudged(std::span<const MeasureValue> m) {
  return std::isfinite(measureError(m, "R2_first_half")) &&
         std::isfinite(measureError(m, "R2_second_half"));
}

// True when each half has the two samples an error needs: a half without one then kept <R^2>
// the same while the chains differ in size (the melt's runner states no error there).
bool halvesLongEnough(std::span<const MeasureValue> m) { return measure(m, "samples") >= 4.0; }

const ModelNote kMeltNotes[] = {
    {.text =
         "Note: the autocorrelation time of the end-to-end vector could not be measured "
         "over the {sweeps|sweep|sweeps} of the sampling, so whether the melt is in equilibrium "
         "could not be judged (give more {-iterations|sweeps_per_sample}).",
     .applies =
         [](std::span<const MeasureValue> m) {
           return !std::isfinite(measure(m, "tau_end_to_end"));
         }},
    {.text = "Note: the burn-in covered {burn_in_taus} and the sampling {sampling_taus} "
             "autocorrelation times of the end-to-end vector; fewer than 10 of either may leave "
             "the melt out of equilibrium (give more {-burn_in}, or more {-iterations|"
             "sweeps_per_sample}).",
     .applies =
         [](std::span<const MeasureValue> m) {
           return std::isfinite(measure(m, "tau_end_to_end")) &&
                  (!(measure(m, "burn_in_taus") >= 10.0) || !(measure(m, "sampling_taus") >= 10.0));
         }},
    {.text = "Note: with {samples|sample|samples} the drift between the first and second halves "
             "of the samples could not be judged (each half needs two samples: give more "
             "{-iterations}).",
     .applies =
         [](std::span<const MeasureValue> m) { return !halvesJudged(m) && !halvesLongEnough(m); }},
    {.text = "Note: the chains did not move over a half of the {samples|sample|samples} or all "
             "of them (<R^2> stayed the same though the chains differ in size), so the errors "
             "of what stayed the same could not be judged (strong energies may refuse every "
             "move).",
     .applies =
         [](std::span<const MeasureValue> m) { return !halvesJudged(m) && halvesLongEnough(m); }},
    {.text = "Note: the first and second halves of the samples disagree on <R^2> "
             "({R2_first_half} against {R2_second_half}, beyond three of their errors): the "
             "melt may still be drifting.",
     .applies =
         [](std::span<const MeasureValue> m) {
           const double spread =
               std::hypot(measureError(m, "R2_first_half"), measureError(m, "R2_second_half"));
           return halvesJudged(m) && std::abs(measure(m, "R2_first_half") -
                                              measure(m, "R2_second_half")) > 3.0 * spread;
         }},
};

void checkMelt(const ModelSettings& settings, std::int32_t steps) {
  const MeltSettings& m = std::get<MeltSettings>(settings);
  if (m.wallEnergy.value_or(0.0) != 0.0 && meltWalls(m) == MeltWalls::None) {
    throw InputError("wall_energy",
                     "{wall_energy} needs walls: a periodic box has no layer next to a wall. "
                     "Choose {walls}, or leave the wall energy at 0.");
  }
  if (m.density && m.box) {
    throw InputError("density",
                     "{density} and {box} are either-or: give the volume fraction or the side "
                     "of the box, not both.");
  }
  const std::int64_t beads = std::int64_t{m.chains} * (std::int64_t{steps} + 1);
  const std::string chains = std::to_string(m.chains) + (m.chains == 1 ? " chain" : " chains") +
                             " of N = " + std::to_string(steps);
  if (!m.box) {
    // The box the density asks for, before it is rounded to a whole side that may not fit.
    const double density = m.density.value_or(kDefaultMeltDensity);
    const double most = static_cast<double>(Melt::kMostSide);
    if (!(std::cbrt(static_cast<double>(beads) / density) <= most + 1.0)) {
      throw InputError(
          "density", "{density} of " + formatNumber(density) + " is too low for " + chains +
                         ": their box would be wider than the " + std::to_string(Melt::kMostSide) +
                         " a melt may have. Here it accepts numbers from " +
                         formatSignificant(static_cast<double>(beads) / (most * most * most), 4) +
                         " to " + formatNumber(kMostMeltDensity) +
                         "; or choose more chains or a larger N.");
    }
  }
  const std::string_view sideField = m.box ? "box" : "density";
  const std::int64_t side = meltPlan(m, steps).side;
  if (side < leastSide(m)) {
    throw InputError(sideField, "{box} must be at least " + std::to_string(leastSide(m)) +
                                    " where the box is periodic along an axis; " +
                                    std::to_string(side) + " is too small.");
  }
  if (side > Melt::kMostSide) {
    throw InputError(sideField, chains + " need a box of side " +
                                    (side <= kLargestSideStated ? std::to_string(side)
                                                                : std::string("beyond 10^9")) +
                                    ", more than the " + std::to_string(Melt::kMostSide) +
                                    " a melt may have: lower {chains} or {steps}, or raise "
                                    "{density}.");
  }
  const double fraction = static_cast<double>(beads) / std::pow(static_cast<double>(side), 3.0);
  if (fraction > kMostMeltDensity) {
    throw InputError(sideField, chains + " fill a box of side " + std::to_string(side) +
                                    " to a volume fraction of " + formatSignificant(fraction, 4) +
                                    ", above the " + formatNumber(kMostMeltDensity) +
                                    " a melt may have: raise {box}, or lower {chains} or "
                                    "{steps}.");
  }
}

// The integrated autocorrelation time of the chains' end-to-end vectors in sweeps that a melt
// of these settings, in a box of side `boxSide`, is expected to have with the standard mix: the
// sampling interval after a burn-in given, and the cap and progress of a measured burn-in (a
// run measures its own time when no burn-in is given). A law fitted to the runner's own
// estimate (the "tau(R)" it reports) over 2000 to 20000 sweeps, 100 to 500 chains in periodic
// boxes of side 16 to 47 (where two seeds were run they agree within 5 %):
// - At phi 0.5, the short chains' mix: N = 20 13.2 sweeps (phi 0.478), 50 41.7 (0.514), 100
//   105 (0.514), 200 285 (0.511): 0.25 N^(4/3) (with the density factor below, the law gives
//   1.04, 0.86, 0.86 and 1.07 of them). The long chains' mix from N = 250
//   (bench_meltrelax, the figures at MeltMoveMix::standard): N = 300 358, 400 393, 1000 538:
//   52 N^0.34 within 2 %; its tail swaps remake chains at a rate a sweep that hardly falls
//   with N.
// - Other densities: (0.5 / (1 - phi))^1.75 times that, as free volume would have it. N = 100
//   at phi 0.208 45.7 sweeps (the law 51.8), 0.254 50.5 (57.6), 0.748 416 (385); N = 50 at
//   phi 0.777 172 (190).
// - Below phi 0.2 the pivots cut it further: N = 100 at phi 0.098 6.3 sweeps, 0.15 of the law
//   without pivots, at 0.195 30.4, 0.60; N = 50 at 0.103 3.9, 0.24. The law takes 0.17 up to
//   phi 0.1 and rises linearly to 0.65 at 0.2.
// Walls are not in the law.
double meltTau(const MeltSettings& settings, std::int32_t steps, std::int64_t boxSide) {
  const double n = steps;
  const double atHalf =
      steps >= kMeltLongChains ? 52.0 * std::pow(n, 0.34) : 0.25 * std::pow(n, 4.0 / 3.0);
  const auto side = static_cast<double>(boxSide);
  const double phi = std::min(
      static_cast<double>(settings.chains) * (n + 1.0) / (side * side * side), kMostMeltDensity);
  double tau = atHalf * std::pow(0.5 / (1.0 - phi), 1.75);
  if (phi < kMeltDilute) tau *= std::clamp(0.17 + 4.8 * (phi - 0.1), 0.17, 0.65);
  return tau;
}

}  // namespace

MeltWalls meltWalls(const MeltSettings& settings) {
  switch (settings.walls) {
    case 1:
      return MeltWalls::Z;
    case 2:
      return MeltWalls::YZ;
    case 3:
      return MeltWalls::XYZ;
    default:
      return MeltWalls::None;
  }
}

std::int64_t meltSide(const MeltSettings& settings, std::int32_t steps) {
  if (settings.box) return *settings.box;
  const double beads = static_cast<double>(settings.chains) * (static_cast<double>(steps) + 1.0);
  const double density = settings.density.value_or(kDefaultMeltDensity);
  // Far beyond any side a melt may have for tiny densities, but a whole number still.
  auto side = static_cast<std::int64_t>(std::llround(std::min(std::cbrt(beads / density), 1e15)));
  const auto fraction = [beads](std::int64_t l) {
    return beads / std::pow(static_cast<double>(l), 3.0);
  };
  // The neighbour whose volume fraction lies nearer the one asked for, then no denser than
  // the densest melt allowed.
  if (side > 1 && std::abs(fraction(side - 1) - density) < std::abs(fraction(side) - density)) {
    --side;
  }
  if (std::abs(fraction(side + 1) - density) < std::abs(fraction(side) - density)) ++side;
  while (fraction(side) > kMostMeltDensity && side < Melt::kMostSide + 1) ++side;
  return std::max(side, leastSide(settings));
}

MeltEnergy meltEnergy(const MeltSettings& settings) {
  return {settings.contactEnergy.value_or(0.0), settings.bendEnergy.value_or(0.0),
          settings.wallEnergy.value_or(0.0)};
}

MeltPlan meltPlan(const MeltSettings& settings, std::int32_t steps) {
  MeltPlan plan;
  plan.side = meltSide(settings, steps);
  plan.burnIn = settings.burnIn;
  plan.expectedTau = meltTau(settings, steps, plan.side);
  plan.sweepsPerSample = settings.sweepsPerSample;
  if (!plan.sweepsPerSample && plan.burnIn) {
    plan.sweepsPerSample = std::max<std::int64_t>(1, std::llround(plan.expectedTau));
  }
  return plan;
}

const ModelInfo& modelInfo(const MeltSettings&) {
  static const ModelInfo model{
      .key = "melt",
      .title = "Melt",
      .caption = "Melt (many chains at a density)",
      .exportHeading = "Lattice Melt",
      .summary =
          "C self- and mutually avoiding chains of N steps in a periodic or walled box at "
          "a density, equilibrated by lattice Monte Carlo moves",
      .runner = "melt",
      .sample = "sample",
      .samples = "samples",
      .describedSample = "sample",
      .describedSamples = "samples",
      .sampleCount = "chains",
      .sampleIterations = 20,
      .countsTrials = false,
      .selfAvoiding = true,
      // Chains in a melt are ideal (Flory), so their size goes as N^0.5, and lp as the free
      // walk's.
      .sizeExponent = 0.5,
      .persistence = [](double meanDistance, double n) { return meanDistance / std::pow(n, 0.5); },
      .persistencePower = 1.0,
      .settings = kMeltSettings,
      .headline = 0,
      .exportLabel = "Chains:",
      .phrase = "{} chains",
      .measures = kMeltMeasures,
      .measuresKey = "melt",
      .measuresTitle = "Melt",
      .statisticsHeading =
          "Extended statistics over {chains_sampled} chains in {samples|sample|samples} of the "
          "melt (means +/- standard error from the autocorrelation of the samples):",
      .notes = kMeltNotes,
      .settledNote =
          "Equilibrated: the burn-in covered {burn_in_taus} and the sampling "
          "{sampling_taus} autocorrelation times of the end-to-end vector, and the two "
          "halves of the samples agree on <R^2>.",
      .defaults = [] { return ModelSettings(MeltSettings{}); },
      .check = checkMelt,
      // A chain's unwrapped sites while it is measured.
      .bytesPerSite = [](const ModelSettings&) -> std::uint64_t { return 12; },
      .stepLength = [](const ModelSettings&) -> std::int64_t { return 1; },
      .grower = nullptr,
  };
  return model;
}

}  // namespace polychain
