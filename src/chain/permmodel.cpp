// The growth model of the true self-avoiding walk with free energies: chains grown by the
// pruned-enriched Rosenbluth method (chain/perm.h) in tours, weighed by exp(-energy); its
// runner is run/permrun.cpp.
#include <string>

#include "chain/perm.h"
#include "chain/settingaccess.h"
#include "polychain/inputerror.h"

namespace polychain {

namespace {

constexpr std::int32_t kPermMaxSteps = 100'000;

const SettingInfo kPermSettings[] = {
    energySetting<PermSettings, &PermSettings::contactEnergy>(
        EnergyTerm::Contact,
        "perm: energy in kT of each pair of non-bonded nearest neighbours, negative "
        "attracts (default 0)"),
    energySetting<PermSettings, &PermSettings::bendEnergy>(
        EnergyTerm::Bend, "perm: energy in kT of each bend, positive stiffens (default 0)"),
};

// At N: ln Z_N with its error over the tours, the chains of N steps and the tours that reached
// N, and Kish's effective sample size (sum w)^2 / sum w^2 of the chains of N steps. The curves
// for n = 1 ... N, each a plain list in JSON beside "n".
const MeasureInfo kPermMeasures[] = {
    {.name = "log_partition", .kind = MeasureKind::Estimate},
    {.name = "effective_samples", .digits = 4},
    {.name = "chains", .kind = MeasureKind::Count, .csv = false},
    {.name = "tours_reaching", .kind = MeasureKind::Count, .csv = false},
    {.name = "n", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "log_partition_n", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "log_partition_n_se", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "R2_n", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "R2_n_se", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "Rg2_n", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "Rg2_n_se", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
    {.name = "effective_samples_n", .kind = MeasureKind::Curve, .indexed = false, .inSweep = false},
};

}  // namespace

const ModelInfo& modelInfo(const PermSettings&) {
  static const ModelInfo model{
      .key = "perm",
      .title = "PERM SAW",
      .caption = "PERM SAW (weighted growth with energies)",
      .exportHeading = "Pruned-Enriched Rosenbluth Self-Avoiding Walk",
      .summary =
          "self-avoiding walks weighed by exp(-energy), grown by the pruned-enriched "
          "Rosenbluth method, with ln Z_n for every n up to N",
      .runner = "perm",
      .sample = "tour",
      .samples = "tours",
      .describedSample = "tour",
      .describedSamples = "tours",
      .maxSteps = kPermMaxSteps,
      .selfAvoiding = true,
      .sizeExponent = 0.6,
      .persistence = [](double meanDistance, double n) { return meanDistance * meanDistance / n; },
      .persistencePower = 2.0,
      .settings = kPermSettings,
      .headline = 0,
      .exportLabel = "Contact energy (kT):",
      .phrase = "contact energy {} kT",
      .measures = kPermMeasures,
      .measuresKey = "perm",
      .measuresTitle = "Pruned-enriched growth",
      .statisticsHeading =
          "Extended statistics over {chains|weighted chain|weighted chains} of N steps from "
          "{tours_reaching|tour|tours} (weighted means +/- standard error over the tours):",
      .defaults = [] { return ModelSettings(PermSettings{}); },
      .check =
          [](const ModelSettings&, std::int32_t steps) {
            if (steps > kPermMaxSteps) {
              throw InputError("Steps (N) of the perm model must be at most " +
                               std::to_string(kPermMaxSteps) + "; " + std::to_string(steps) +
                               " is too large.");
            }
          },
      // A tour's chain with its sums and stack (68 bytes a site) and the sums of one tour
      // (64 bytes a step) on their way to be added up.
      .bytesPerSite = [](const ModelSettings&) -> std::uint64_t { return 160; },
      .stepLength = [](const ModelSettings&) -> std::int64_t { return 1; },
      .grower = nullptr,
  };
  return model;
}

}  // namespace polychain
