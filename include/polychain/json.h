// The JSON forms of a run and of a sweep, as `--json` prints them. An absent standard error
// (NaN) is written as null.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

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

// A model's measures as one object, each at its place (levels joined by '/'), as a run's JSON
// has them under the model's key; only those a sweep keeps when `sweep`.
nlohmann::json measuresJson(const ModelInfo& model, const std::vector<MeasureValue>& values,
                            bool sweep);

// One object: "model", "seed", "iterations" (null with a pivot budget), "budget" when given,
// "avoid" or "kuhn", "points" (each with "steps", "seed", "extended" and for pivot "pivot"),
// "fit" (or null), "corrected_fit" ("R2" and "Rg2", each null when there were too few N),
// "ratio_limit" (or null) and "reference". Ends with a line feed.
std::string sweepJson(const SweepParams& params, const SweepResult& result);
nlohmann::json sweepJsonObject(const SweepParams& params, const SweepResult& result);

// A sweep over several values of a real setting: "model", "seed", "varied" (the setting's
// key) and "series", one object a value: the setting's key with the value, the value's
// sweep as sweepJson has it (its own "seed"), and "curve" with "steps", "R2_per_N",
// "R2_per_N_se" and, between neighbouring N, "nu_eff" and "nu_eff_se".
std::string sweepSeriesJson(const SweepParams& params, const SweepVaried& varied,
                            std::uint64_t seed, const std::vector<SweepResult>& results);
nlohmann::json sweepSeriesJsonObject(const SweepParams& params, const SweepVaried& varied,
                                     std::uint64_t seed, const std::vector<SweepResult>& results);

}  // namespace polychain
