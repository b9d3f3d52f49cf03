// What the polychain commands share: the Ctrl-C flag, the terminal observer, the options
// every command reads, and writing to standard output with its failures reported.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run/params.h"
#include "run/sweep.h"

namespace polychain::cli {

// Exit codes.
inline constexpr int kExitWriteFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitTrialLimit = 3;
inline constexpr int kExitCancelled = 130;

// Installs the Ctrl-C handler: the first Ctrl-C asks the running work to cancel.
void catchInterrupt();

// Progress bars on stderr when it is a terminal; the trapped-chain notice always. For a
// sweep the bar also names the N being run.
class CliObserver final : public SweepObserver {
 public:
  explicit CliObserver(bool bars);

  void progress(const RunProgress& p) override;
  void correlationProgress(float percent) override;
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override;
  bool cancelRequested() override;
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override;

  // Erases a drawn bar so that the next line starts clean.
  void clearLine();

 private:
  bool m_bars;
  bool m_drawn = false;
  std::string m_point;  // "N = 400: " during a sweep
};

// The options of `run` and `sweep` that say what to grow, as typed.
struct ModelOptions {
  std::string model = "meander";
  std::string iterations;
  std::string avoid = "1";
  std::string kuhn = "1";
  std::string seed;
  std::string threads;
  std::string maxTrials;
};

// Adds those options to `command`.
void addModelOptions(CLI::App& command, ModelOptions& options);

// Reads them into `params` (all but steps), by the one parameter reader. Throws InputError
// naming the option.
void readModelOptions(const ModelOptions& options, RunParams& params);

// Writes `text` to standard output; false (and a message on stderr) when it could not be
// written whole.
bool writeOut(std::string_view text);

// Writes each (path, text) whole, in order, reporting "wrote PATH" on standard output unless
// `quiet`, and a failure on stderr; a failed file does not stop the others. Returns 0, or
// kExitWriteFailed when anything could not be written.
int writeFiles(const std::vector<std::pair<std::string, std::string>>& files, bool quiet);

// Prints "polychain: <text>" on stderr.
void printError(std::string_view text);

}  // namespace polychain::cli
