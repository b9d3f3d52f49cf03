// The JSON forms of the extended statistics and of a sweep's fit, for --json. An absent
// standard error (NaN) is written as null.
#pragma once

#include <nlohmann/json.hpp>

#include "app/extendedstats.h"
#include "app/sweep.h"

namespace polychain::cli {

// {"chains", "rms_R", "R2", "mean_R", "rms_Rg", "Rg2", "ratio"} with each measure as
// {"value", "se"}, and for the self-avoiding models "trials", "discarded" and "backups"
// as {"mean", "max"}.
nlohmann::json extendedJson(const ExtendedStats& stats);

// {"nu", "nu_se", "amplitude", "method", "points", "chi2_per_dof"}.
nlohmann::json fitJson(const PowerLawFit& fit);

}  // namespace polychain::cli
