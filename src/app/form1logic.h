// The main window's logic without any toolkit: the parameters as the user typed them, what
// pressing "Run Simulation" or "Run Sweep" amounts to, and what a finished run leaves in the
// result boxes and the hidden window's buffers. A window (or a test) copies its controls
// into Form1Inputs and shows Form1State.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/texts.h"
#include "run/run.h"
#include "run/sweep.h"

namespace polychain {

// The text every buffer of the hidden window holds until a run first replaces it.
inline constexpr std::string_view kBufferStartText = "RichTextBox1";

// The hidden window's three text buffers: what the export writes out.
struct Form2 {
  std::string ChainBox{kBufferStartText};
  std::string gofrBox{kBufferStartText};
  std::string gofqBox{kBufferStartText};
};

// The controls the run dispatch reads, as they stand when "Run Simulation" is pressed.
struct Form1Inputs {
  std::string StepNum;
  std::string Iterations;
  std::string Avoid{"1"};
  std::string Kuhn{"1"};
  std::string Seed;  // empty: a seed from the clock
  // Trials without growth after which a SAW or short-range chain is regrown; 0: never.
  std::string RestartTrapped{std::to_string(kDefaultRestartTrapped)};
  bool RLOPT = false;
  bool SAWOPT = false;
  bool ShortOpt = false;
  bool PivotOpt = false;  // the true self-avoiding walk, sampled by pivots
  std::string PivotsPerSample{std::to_string(kDefaultPivotsPerSample)};
  bool CalcParCF = false;
};

// What pressing "Run Simulation" amounts to.
struct Dispatch {
  enum class Kind {
    Nothing,  // no model option selected: the button does nothing
    Refused,  // a parameter cannot be used: show `message`, run nothing
    Run,      // run `params`
  };
  Kind kind = Kind::Nothing;
  RunParams params;
  std::string message;
};

// The run dispatch. Options are tested in the order RLOPT, SAWOPT, ShortOpt, PivotOpt and
// the first selected one wins; its fields are read in the order N, Iterations, then Avoid
// (SAW) or Kuhn (short range) only, the regrowing limit (both) or the pivots per sample
// (pivot), then Seed. Refuses what the parameter
// reader cannot read, what validateParams refuses and a run too big for the memory
// available; anything else is passed on unchanged.
Dispatch dispatchRun(const Form1Inputs& inputs);

// The field names the Scaling tab's messages use.
inline constexpr std::string_view kSweepStepsField = "Steps (N) list";
inline constexpr std::string_view kSweepIterationsField = "Iterations per N";
inline constexpr std::string_view kSweepSeedField = "Sweep seed";
// The caption of the regrowing limit.
inline constexpr std::string_view kRestartField = "Regrow trapped chains after (trials)";
// The caption of the pivot model's sampling interval.
inline constexpr std::string_view kPivotsField = "Pivots per sample";

// The sweep the Scaling tab would start: the model of the first selected option with its
// Avoid or Kuhn field, and the tab's own three fields. Throws InputError naming the field at
// fault; an empty seed stays empty.
SweepParams sweepFromInputs(const Form1Inputs& main, std::string_view steps,
                            std::string_view iterations, std::string_view seed);

// What a finished run puts in the window: the six result texts and the buffer texts.
struct RunTexts {
  ResultTexts results;
  std::string chain;                // the chain export text, for ChainBox
  std::optional<std::string> gofr;  // when the run computed g(r)
  std::optional<std::string> gofq;
};

// The texts of a finished run of `params`, built wherever the long work may go (for a long
// chain this takes a while); nothing when the run did not finish or `keepGoing` answered
// false on the way.
std::optional<RunTexts> runTexts(const RunParams& params, const RunResult& result,
                                 const std::function<bool()>& keepGoing = {});

// The state runs leave in the window: the six result texts and the hidden buffers.
class Form1State {
 public:
  const ResultTexts& results() const { return m_results; }
  const Form2& buffers() const { return m_buffers; }

  // Takes in a finished run's texts: the six results and ChainBox always, gofrBox and
  // gofqBox only when the run computed g(r).
  void apply(RunTexts texts);

 private:
  ResultTexts m_results;
  Form2 m_buffers;
};

}  // namespace polychain
