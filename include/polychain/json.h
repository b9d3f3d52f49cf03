// The JSON forms of a run and of a sweep, as `--json` prints them. An absent standard error
// (NaN) is written as null.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "polychain/run.h"
#include "polychain/sweep.h"

namespace polychain {

// One object: "model", "seed", "steps", "iterations", "avoid" or "kuhn" for the models that
// read them, "results" (the six texts under their control names), "extended", for the pivot
// model "pivot" (walkers, pivots per sample, burn-in, attempts, accepted, acceptance, the
// attempts measured, autocorrelation times of R2 and Rg2 in attempts and in accepted pivots)
// and, when the run computed them, "gofr" and
// "gofq" as [index, value] pairs; "form_factor" ("q", "P", "debye", "P_se", "chains", "every")
// and for a boxed sampler "structure_factor" ("q", "S", "samples"). Ends with a line feed.
std::string runJson(const RunParams& params, const RunResult& result);
// The same object as a tree, for front ends that hand it on without text (the Python module).
nlohmann::json runJsonObject(const RunParams& params, const RunResult& result);

// One object: "model", "seed", "iterations" (null with a pivot budget), "budget" when given,
// "avoid" or "kuhn", "points" (each with "steps", "seed", "extended" and for pivot "pivot"),
// "fit" (or null), "corrected_fit" ("R2" and "Rg2", each null when there were too few N),
// "ratio_limit" (or null) and "reference". Ends with a line feed.
std::string sweepJson(const SweepParams& params, const SweepResult& result);
nlohmann::json sweepJsonObject(const SweepParams& params, const SweepResult& result);

}  // namespace polychain
