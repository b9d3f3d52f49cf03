// The texts of results, from the numbers the core computes: the six result texts,
// settings and measures as words, the terminal tables, the CSV of a sweep, the notes and the
// stop messages (a file's bytes are its writer's, formats.h; the window's own texts are in
// window/windowtexts.h).
// Nothing here computes a result; everything is locale-free.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "polychain/placement.h"
#include "polychain/run.h"
#include "polychain/sweep.h"

namespace polychain {

// A setting's value as the program writes it: a whole number, a real number by the one
// number-to-text rule, a choice's word, or "on" or "off".
std::string settingText(const SettingInfo& setting, const SettingValue& value);

// The model's headline setting as its phrase words it, such as "avoidance 2" or "1000 pivots
// per sample"; empty for a model without one.
std::string headlineText(const RunParams& params);

// A model's measure as texts write it: a count in plain decimal, a number to the measure's
// significant digits, an estimate as estimateText, a curve as how many values it has.
std::string measureText(const MeasureInfo& measure, const MeasureValue& value);

// `text` with each {name} replaced by that measure's measureText (or that setting's
// settingText), and each {name|one|many} also followed by the word that fits its value.
std::string measureTemplate(std::string_view text, const ModelInfo& model,
                            std::span<const MeasureValue> values);
std::string settingTemplate(std::string_view text, const ModelInfo& model,
                            const ModelSettings& settings);

// The six result boxes, in the order they are written.
struct ResultTexts {
  std::string eR;       // <R> calculated
  std::string TR;       // <R> theoretical
  std::string Rsqred;   // Sqr<R^2> calculated
  std::string TRsqred;  // Sqr<R^2> theoretical
  std::string pers;     // lp
  std::string Rgtxt;    // Rg
};
ResultTexts resultTexts(const ResultValues& values);

// An estimate as "value<plusMinus>error" with the error to two significant digits and the
// value to the same decimal place, "value<plusMinus>n/a" without an error, or "n/a".
std::string estimateText(const Estimate& estimate, std::string_view plusMinus = " +/- ");
// A per-chain count as "mean M, max X".
std::string countText(const CountSummary& count);

// The extended statistics as aligned lines for a terminal, each ending in '\n', then a line
// for each of the model's measures that has a caption (such as a pivot run's acceptance and
// autocorrelation times), under the model's heading for time averages when it has one.
std::string extendedStatsText(const ModelInfo& model, const ExtendedStats& stats,
                              std::span<const MeasureValue> measures = {});

// A run's energy terms per chain (RunResult::energy) under a heading, aligned as the extended
// statistics, each line ending in '\n'.
std::string energyText(const EnergyEstimates& energy);

// The notes of the model that hold for a run's measures (ModelNote), each one line, or the
// model's line for when none holds; a field the notes name is named by `fieldName` (the
// command's options by default, windowFieldName for the window), and where a note offers
// fields as alternatives ({-iterations|sweeps_per_sample}) those fieldName names "" are left
// out (a front end that lacks them).
std::vector<std::string> runNotes(const ModelInfo& model, std::span<const MeasureValue> measures,
                                  std::string (*fieldName)(std::string_view key) = nullptr);

// The notes of a sample of placed chains: the run's (runNotes), then, for a model whose chains
// may take a site twice (ModelInfo::selfAvoiding false), that the beads overlap and a
// simulation must push them apart softly before a hard pair potential. Fields are named as
// runNotes names them.
std::vector<std::string> sampleNotes(const ModelInfo& model, std::span<const MeasureValue> measures,
                                     std::string (*fieldName)(std::string_view key) = nullptr);

// What `polychain run` prints: a line naming the run, the six results under the window's
// captions, then the extended statistics and the notes that hold.
std::string runReport(const RunParams& params, const RunResult& result);

// What `polychain sweep` prints: the settings, one line per N (with the model's measures that
// have a column, such as the pivot's measured attempts and tau(R^2)), the fitted exponent, the
// fits with a correction to scaling and the ratio's limit when there are enough N, and the
// reference values.
std::string sweepReport(const SweepParams& params, const SweepResult& result);

// The sweep as comma-separated text, a header line then one line per point:
//   N,seed,chains,R2,R2_se,rms_R,rms_R_se,mean_R,mean_R_se,Rg2,Rg2_se,rms_Rg,rms_Rg_se,
//   ratio,ratio_se
// and, for the self-avoiding models, trials_mean,trials_max,discarded_mean,discarded_max,
// backups_mean,backups_max; then the model's measures that a sweep keeps, by name (an
// estimate also as name_se), such as the pivot's attempts,measured,acceptance,tau_R2,
// tau_Rg2,tau_R2_accepted,tau_Rg2_accepted. An absent value is an empty field. Lines end in
// '\n'.
std::string sweepCsv(const SweepResult& sweep, const ModelInfo& model);

// A sweep over several values of a real setting (`results` one sweep a value, in order): a
// line naming the setting, its values and the seed, then for each value a heading
// ("contact_energy = -0.22"), its sweep's text (sweepReport, with its own seed: the one that
// repeats it alone) and a table of <R^2>/N at each N and nu_eff to the next N (sweepCurve).
std::string sweepSeriesReport(const SweepParams& params, const SweepVaried& varied,
                              std::uint64_t seed, const std::vector<SweepResult>& results);
// The series as one CSV: sweepCsv's columns after a first column named by the setting's key,
// one line per (value, N).
std::string sweepSeriesCsv(const SweepVaried& varied, const std::vector<SweepResult>& results,
                           const ModelInfo& model);

// Why a run or a sweep stopped early: "The run was cancelled." or the trial cap's message.
std::string runStopMessage(RunStatus status, const RunParams& params);
std::string sweepStopMessage(const SweepParams& params, const SweepResult& result);

// Which run a plot or a table came from, such as "Meander, N = 1000, 50 chains, seed 7".
std::string runDescription(const RunParams& params, std::uint64_t seed);

// A box by its walls: "periodic box", "closed box" or "box walled normal to z and periodic
// along the other axes".
std::string boxText(const std::array<bool, 3>& periodic);

// What `polychain sample` placed: "C chains, S sites, B bonds, in a periodic box of side L
// lattice units: volume fraction phi, bond length b." (" (laid side by side)" after the box
// when the chains were laid out rather than placed in a box asked for).
std::string ensembleText(const Ensemble& ensemble, bool laidSideBySide);

// The help of a sweep's --budget for the models with a budget rule, and of
// --correction-exponent with its default.
std::string budgetHelp();
std::string correctionExponentHelp();

}  // namespace polychain
