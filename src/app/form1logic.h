// The main window's logic without any toolkit: the parameters as the user typed them, what
// pressing "Run Simulation" or "Run Sweep" amounts to, and what a finished run leaves in the
// result boxes and the hidden window's buffers. A window (or a test) copies its controls
// into Form1Inputs and shows Form1State.
#pragma once

#include <cstdint>
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
  bool RLOPT = false;
  bool SAWOPT = false;
  bool ShortOpt = false;
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

// The run dispatch. Options are tested in the order RLOPT, SAWOPT, ShortOpt and the first
// selected one wins; its fields are read in the order N, Iterations, then Avoid (SAW) or
// Kuhn (short range) only, then Seed. Refuses what the parameter reader cannot read and
// what validateParams refuses; anything else is passed on unchanged.
Dispatch dispatchRun(const Form1Inputs& inputs);

// The field names the Scaling tab's messages use.
inline constexpr std::string_view kSweepStepsField = "Steps (N) list";
inline constexpr std::string_view kSweepIterationsField = "Iterations per N";
inline constexpr std::string_view kSweepSeedField = "Sweep seed";

// The sweep the Scaling tab would start: the model of the first selected option with its
// Avoid or Kuhn field, and the tab's own three fields. Throws InputError naming the field at
// fault; an empty seed stays empty.
SweepParams sweepFromInputs(const Form1Inputs& main, std::string_view steps,
                            std::string_view iterations, std::string_view seed);

// The state runs leave in the window: the six result texts and the hidden buffers.
class Form1State {
 public:
  const ResultTexts& results() const { return m_results; }
  const Form2& buffers() const { return m_buffers; }

  // Takes in a run of `params`: when it finished, the six results and ChainBox, and gofrBox
  // and gofqBox when it computed g(r). A run that did not finish changes nothing. Returns
  // whether anything changed.
  bool applyRun(const RunParams& params, const RunResult& result);

 private:
  ResultTexts m_results;
  Form2 m_buffers;
};

}  // namespace polychain
