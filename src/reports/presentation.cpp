#include "polychain/presentation.h"

#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace polychain {

namespace {

// The pivot model: what its walkers did and how correlated their samples were.
const MeasurePresentation kPivotShown[] = {
    {.name = "walkers", .json = "walkers"},
    {.name = "attempts", .json = "attempts", .unit = "attempted pivots"},
    {.name = "accepted", .json = "accepted", .unit = "accepted pivots"},
    {.name = "measured",
     .json = "measured",
     .unit = "attempted pivots",
     .column = "attempts",
     .columnWidth = 13},
    {.name = "acceptance",
     .json = "acceptance",
     .caption = "acceptance",
     .meaning = "of {attempts} attempted pivots",
     .label = "Acceptance",
     .description = "Acceptance of pivot moves",
     .hint = "share of the attempted pivots taken"},
    {.name = "tau_R2",
     .json = "autocorrelation_time/R2",
     .caption = "tau(R^2)",
     .meaning = "autocorrelation time in attempts (1/2: independent); {tau_R2_accepted} in "
                "accepted pivots",
     .unit = "attempts",
     .column = "tau(R^2)",
     .label = "τ(R²)",
     .description = "Autocorrelation time of R squared",
     .hint = "in attempted pivots; 1/2 when independent"},
    {.name = "tau_Rg2",
     .json = "autocorrelation_time/Rg2",
     .caption = "tau(Rg^2)",
     .meaning = "autocorrelation time in attempts (1/2: independent); {tau_Rg2_accepted} in "
                "accepted pivots",
     .unit = "attempts",
     .label = "τ(Rg²)",
     .description = "Autocorrelation time of Rg squared",
     .hint = "in attempted pivots; 1/2 when independent"},
    {.name = "tau_R2_accepted",
     .json = "autocorrelation_time_accepted/R2",
     .unit = "accepted pivots"},
    {.name = "tau_Rg2_accepted",
     .json = "autocorrelation_time_accepted/Rg2",
     .unit = "accepted pivots"},
    {.name = "pivots_per_sample", .json = "pivots_per_sample", .unit = "attempted pivots"},
    {.name = "burn_in", .json = "burn_in", .unit = "attempted pivots"},
};

// The melt: its box, its sampling and equilibration, and its move kinds' acceptances in
// MeltMove's order.
const MeasurePresentation kMeltShown[] = {
    {.name = "side",
     .json = "box/side",
     .caption = "box side",
     .meaning = "lattice units",
     .column = "L",
     .columnWidth = 6,
     .label = "Box side L",
     .description = "Side of the box",
     .hint = "lattice units"},
    {.name = "volume_fraction",
     .json = "box/volume_fraction",
     .caption = "phi",
     .meaning = "volume fraction C (N + 1) / L^3",
     .column = "phi",
     .columnWidth = 10,
     .label = "Volume fraction φ",
     .description = "Volume fraction of the box",
     .hint = "C (N + 1) / L³"},
    {.name = "samples", .json = "samples"},
    {.name = "chains_sampled", .json = "chains_sampled"},
    {.name = "burn_in", .json = "burn_in", .unit = "sweeps"},
    {.name = "sweeps_per_sample", .json = "sweeps_per_sample", .unit = "sweeps"},
    {.name = "sweeps", .json = "sweeps", .unit = "sweeps"},
    {.name = "tau_end_to_end",
     .json = "autocorrelation_time/end_to_end",
     .caption = "tau(R)",
     .meaning = "autocorrelation time of the end-to-end vector in sweeps",
     .unit = "sweeps",
     .column = "tau(R)",
     .label = "τ(R)",
     .description = "Autocorrelation time of the end-to-end vector",
     .hint = "in sweeps"},
    {.name = "tau_settled", .json = "autocorrelation_time/settled"},
    {.name = "burn_in_taus",
     .json = "equilibration/burn_in_taus",
     .caption = "burn-in",
     .meaning = "end-to-end autocorrelation times ({burn_in|sweep|sweeps})",
     .label = "Burn-in",
     .description = "Burn-in in end-to-end autocorrelation times",
     .hint = "autocorrelation times of the end-to-end vector; 10 or more: equilibrated"},
    {.name = "sampling_taus",
     .json = "equilibration/sampling_taus",
     .caption = "sampling",
     .meaning = "end-to-end autocorrelation times ({sweeps|sweep|sweeps})",
     .label = "Sampling",
     .description = "Sampling in end-to-end autocorrelation times",
     .hint = "autocorrelation times of the end-to-end vector; 10 or more: enough"},
    {.name = "R2_first_half",
     .json = "equilibration/R2_first_half",
     .caption = "<R^2> 1st half",
     .meaning = "over the first half of the samples"},
    {.name = "R2_second_half",
     .json = "equilibration/R2_second_half",
     .caption = "<R^2> 2nd half",
     .meaning = "over the second half of the samples"},
    {.name = "acceptance_end",
     .json = "acceptance/end",
     .caption = "end moves",
     .meaning = "acceptance of {attempts_end} attempts",
     .label = "End moves",
     .description = "Acceptance of end moves",
     .hint = "share accepted"},
    {.name = "acceptance_kink",
     .json = "acceptance/kink",
     .caption = "kink jumps",
     .meaning = "acceptance of {attempts_kink} attempts",
     .label = "Kink jumps",
     .description = "Acceptance of kink jumps",
     .hint = "share accepted"},
    {.name = "acceptance_crankshaft",
     .json = "acceptance/crankshaft",
     .caption = "crankshafts",
     .meaning = "acceptance of {attempts_crankshaft} attempts",
     .label = "Crankshafts",
     .description = "Acceptance of crankshaft moves",
     .hint = "share accepted"},
    {.name = "acceptance_reptation",
     .json = "acceptance/reptation",
     .caption = "reptation",
     .meaning = "acceptance of {attempts_reptation} attempts (slithering snake)",
     .label = "Reptation",
     .description = "Acceptance of reptation moves",
     .hint = "share accepted"},
    {.name = "acceptance_pivot",
     .json = "acceptance/pivot",
     .caption = "pivots",
     .meaning = "acceptance of {attempts_pivot} attempts",
     .label = "Pivots",
     .description = "Acceptance of pivot moves",
     .hint = "share accepted"},
    {.name = "acceptance_tail_swap",
     .json = "acceptance/tail_swap",
     .caption = "tail swaps",
     .meaning = "acceptance of {attempts_tail_swap} attempts (chains swap ends)",
     .label = "Tail swaps",
     .description = "Acceptance of tail swaps",
     .hint = "share accepted"},
    {.name = "attempts_end", .json = "attempts/end"},
    {.name = "attempts_kink", .json = "attempts/kink"},
    {.name = "attempts_crankshaft", .json = "attempts/crankshaft"},
    {.name = "attempts_reptation", .json = "attempts/reptation"},
    {.name = "attempts_pivot", .json = "attempts/pivot"},
    {.name = "attempts_tail_swap", .json = "attempts/tail_swap"},
    {.name = "internal_distances",
     .json = "internal_distances",
     .label = "<R²(n)>/n",
     .description = "Mean squared internal distances over n",
     .hint = "at every n to 16, then each an eighth more, then N; flat at large n in an "
             "equilibrated melt"},
};

// The perm model: ln Z_N, the chains and tours of N steps, the effective sample size, and the
// curves for n = 1 ... N.
const MeasurePresentation kPermShown[] = {
    {.name = "log_partition",
     .json = "log_partition",
     .caption = "ln Z_N",
     .meaning = "log of the partition function (at zero energies of the number of walks)",
     .column = "ln Z_N",
     .columnWidth = 22,
     .label = "ln Z_N",
     .description = "Logarithm of the partition function",
     .hint = "at zero energies the logarithm of the number of self-avoiding walks of N steps"},
    {.name = "effective_samples",
     .json = "effective_samples",
     .caption = "ESS",
     .meaning = "effective sample size, Kish's (sum w)^2 / sum w^2 over the chains of N steps",
     .label = "Effective samples",
     .description = "Effective sample size of the chains of N steps",
     .hint = "(sum of weights)^2 / sum of squared weights"},
    {.name = "chains", .json = "chains", .unit = "chains of N steps"},
    {.name = "tours_reaching", .json = "tours_reaching", .unit = "tours"},
    {.name = "n", .json = "curves/n"},
    {.name = "log_partition_n",
     .json = "curves/log_partition",
     .label = "ln Z_n",
     .description = "Logarithm of the partition function against n",
     .hint = "for n = 1 to N"},
    {.name = "log_partition_n_se", .json = "curves/log_partition_se"},
    {.name = "R2_n", .json = "curves/R2"},
    {.name = "R2_n_se", .json = "curves/R2_se"},
    {.name = "Rg2_n", .json = "curves/Rg2"},
    {.name = "Rg2_n_se", .json = "curves/Rg2_se"},
    {.name = "effective_samples_n", .json = "curves/effective_samples"},
};

struct ModelPresentation {
  std::string_view key;
  std::span<const MeasurePresentation> measures;
};

const ModelPresentation kPresentations[] = {
    {"pivot", kPivotShown},
    {"melt", kMeltShown},
    {"perm", kPermShown},
};

std::vector<ModelPresentation>& addedPresentations() {
  static std::vector<ModelPresentation> added;
  return added;
}

const MeasurePresentation* findIn(std::span<const ModelPresentation> models,
                                  std::string_view modelKey, std::string_view name) {
  for (const ModelPresentation& model : models) {
    if (model.key != modelKey) continue;
    for (const MeasurePresentation& shown : model.measures) {
      if (shown.name == name) return &shown;
    }
  }
  return nullptr;
}

}  // namespace

void addPresentation(std::string_view modelKey, std::span<const MeasurePresentation> measures) {
  addedPresentations().push_back({modelKey, measures});
}

const MeasurePresentation* findPresentation(std::string_view modelKey, std::string_view name) {
  if (const MeasurePresentation* shown = findIn(kPresentations, modelKey, name)) return shown;
  return findIn(addedPresentations(), modelKey, name);
}

const MeasurePresentation& presentationOf(const ModelInfo& model, std::size_t m) {
  const std::string_view name = model.measures[m].name;
  if (const MeasurePresentation* shown = findPresentation(model.key, name)) return *shown;
  throw std::logic_error("the " + std::string(model.key) + " model's measure " + std::string(name) +
                         " has no presentation");
}

}  // namespace polychain
