// The main window's logic without any toolkit: the parameters as the user typed them, the
// run dispatch, and what a finished run leaves in the result boxes and the hidden buffers.
// A window (or a test) copies its controls into Form1Inputs and shows Form1State.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "chain/run.h"

namespace polychain {

// The text every buffer of the hidden window holds until a run first replaces it.
inline constexpr std::string_view kBufferStartText = "RichTextBox1";

// The hidden window's three text buffers: what the export writes out.
struct Form2 {
  std::string ChainBox{kBufferStartText};
  std::string gofrBox{kBufferStartText};
  std::string gofqBox{kBufferStartText};
};

// The controls SimRun_Click reads, as they stand when "Run Simulation" is pressed.
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

// The model's name as the window shows it: "Meander", "SAW" or "Short Range".
std::string_view modelTitle(Model model);

// The model of the first selected option, tested in the order RLOPT, SAWOPT, ShortOpt;
// none when no option is selected.
std::optional<Model> chosenModel(const Form1Inputs& inputs);

// Reads the field of the setting `params.model` uses into `params`: Avoid for SAW, Kuhn for
// the short-range walk, neither for the free walk. Throws InputError naming the field.
void readModelSetting(const Form1Inputs& inputs, RunParams& params);

// The run dispatch. Options are tested in the order RLOPT, SAWOPT, ShortOpt and the first
// selected one wins; its fields are converted in the order N, Iterations, then Avoid (SAW)
// or Kuhn (short range) only, then Seed. Refuses what textToNumber cannot read, N < 1,
// Iterations < 1 and a Kuhn length of 0; anything else is passed on unchanged.
Dispatch SimRun_Click(const Form1Inputs& inputs);

// Reads the Seed field: empty means none (the run takes one from the clock); otherwise a
// whole number from 0 to 2^64 - 1. Throws InputError naming the field.
std::optional<std::uint64_t> seedFromText(std::string_view text);

// The six result boxes by control name, in the order a run writes them.
std::array<std::pair<std::string_view, std::string_view>, 6> resultsInOrder(
    const ResultTexts& results);

// The state a run leaves in the window: the six result texts and the hidden buffers.
class Form1State {
 public:
  const ResultTexts& results() const { return m_results; }
  const Form2& buffers() const { return m_buffers; }

  // Takes in a finished run: the six results and ChainBox always, gofrBox and gofqBox only
  // when the run computed g(r). A cancelled or stopped run changes nothing. Returns whether
  // anything changed.
  bool applyRunOutput(const RunOutput& output);

 private:
  ResultTexts m_results;
  Form2 m_buffers;
};

// Status-bar texts.
std::string seedStatus(std::uint64_t seed);
std::string runStartStatus(const RunParams& params);
std::string runEndStatus(const RunOutput& output);
// `chain` is 0-based as the run reports it.
std::string trialsStatus(std::int64_t chain, std::int32_t iterations, std::int64_t trials);
// The notice offered when a chain makes many trials without growing longer.
std::string trappedNotice(std::int64_t chain, std::int64_t trials);

}  // namespace polychain
