// The main window's logic without any toolkit: the parameters as the user typed them, what
// pressing "Run Simulation" or "Run Sweep" amounts to, and what finished runs leave for the
// result boxes and the export. A window (or a test) copies its controls into RunInputs and
// shows WindowState.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "polychain/formats.h"
#include "polychain/run.h"
#include "polychain/sweep.h"
#include "polychain/texts.h"

namespace polychain {

// The run parameters as the user typed them, before they are read.
struct RunInputs {
  const ModelInfo* model = nullptr;  // the model chosen; none: pressing Run does nothing
  std::string steps;
  std::string iterations;
  // The texts of the model settings the window shows, by setting key ("avoid" → "3"); only
  // the chosen model's are read, and a setting without a text keeps its default.
  std::map<std::string, std::string, std::less<>> settings;
  std::string seed;  // empty: a seed from the clock
  // Trials without growth after which a chain of a model that counts trials is regrown.
  std::string restartTrapped{std::to_string(kDefaultRestartTrapped)};
  bool gofr = false;
};

// What pressing "Run Simulation" amounts to.
struct Dispatch {
  enum class Kind {
    Nothing,  // no model chosen: nothing runs
    Refused,  // a parameter cannot be used: show `message`, run nothing
    Run,      // run `params`
  };
  Kind kind = Kind::Nothing;
  RunParams params;                   // what was read
  std::optional<CheckedRun> checked;  // when Run: params, checked (checkRun)
  std::string message;
};

// The run dispatch: reads N, Iterations, then the chosen model's settings that the window
// shows (in the model's order), the regrowing limit for a model that counts trials, then the
// seed. Refuses what the parameter reader cannot read, what validateParams refuses and a run
// too big for the memory available; anything else is passed on unchanged.
Dispatch dispatchRun(const RunInputs& inputs);

// The field names the Scaling tab's messages use.
inline constexpr std::string_view kSweepStepsField = "Steps (N) list";
inline constexpr std::string_view kSweepIterationsField = "Iterations per N";
inline constexpr std::string_view kSweepSeedField = "Sweep seed";

// The sweep the Scaling tab would start, checked (checkSweep): the chosen model with its
// settings, and the tab's own three fields. Throws InputError naming the field at fault; an
// empty seed stays empty.
CheckedSweep sweepFromInputs(const RunInputs& main, std::string_view steps,
                             std::string_view iterations, std::string_view seed);

// The sweeps the Scaling tab would start: sweepFromInputs's one, or, when the field of a real
// setting of the chosen model holds a comma list (the contact energy -0.22,-0.269,-0.32), one
// for each value in the order given, all checked before any runs. Each value's seed follows
// from the first's by sweepSeriesSeed, as the command's sweep over a list does.
struct SweepPlan {
  std::vector<CheckedSweep> sweeps;
  std::optional<SweepVaried> varied;  // none: one sweep
};
SweepPlan planSweep(const RunInputs& main, std::string_view steps, std::string_view iterations,
                    std::string_view seed);

// What finished runs leave in the window: the six result texts of the last one, and what the
// export writes (its chain, and g(r) of the last run that computed it). The export texts are
// built only when they are asked for.
class WindowState {
 public:
  const ResultTexts& results() const { return m_results; }
  const ExportData& exportData() const { return m_data; }

  // Takes in a finished run: its results and chain always, its g(r) and g(q) only when it
  // computed them (an earlier run's stay otherwise). A run that did not finish changes
  // nothing.
  void apply(const RunParams& params, RunResult result);

 private:
  ResultTexts m_results;
  ExportData m_data;
};

}  // namespace polychain
