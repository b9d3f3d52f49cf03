// What the polychain commands share: the Ctrl-C flag, the terminal observer, the options
// every command reads, and writing to standard output with its failures reported.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "polychain/params.h"
#include "polychain/sweep.h"
#include "polychain/team.h"

namespace polychain::cli {

// Exit codes.
inline constexpr int kExitWriteFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitTrialLimit = 3;
inline constexpr int kExitOutOfMemory = 4;
inline constexpr int kExitCancelled = 130;

// Installs the handler of Ctrl-C, SIGTERM and SIGHUP: the first asks the running work to
// cancel (it stops within a fraction of a second and writes nothing); a second ends the
// process at once, removing any temporary file first.
void catchInterrupt();
// True once such a signal came.
bool interrupted();

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
  std::map<std::string, std::string, std::less<>> settings;  // by option, as typed
  std::string seed;
  std::string threads;
  std::string maxTrials;
  std::string restartTrapped;
};

// Adds those options to `command`: the model settings of every model of the table.
void addModelOptions(CLI::App& command, ModelOptions& options);

// Reads them into `params` (all but steps), by the one parameter reader. Throws InputError
// naming the option.
void readModelOptions(const ModelOptions& options, RunParams& params);

// Writes `text` to standard output; false (and a message on stderr) when it could not be
// written whole.
bool writeOut(std::string_view text);

// A file the command writes: its path and whole text.
struct OutputFile {
  std::string path;
  std::string text;
};

// Ends a command that has its results: writes every file to its temporary first, then
// prints `report` on standard output, then puts the files in place, saying "wrote PATH"
// unless `quiet`. A cancel before the files are in place leaves nothing behind (exit 130);
// a file that cannot be written is reported and the others still written (exit 1).
int deliver(std::string_view report, const std::vector<OutputFile>& files, bool quiet);

// The exit code and message for a run or sweep that did not finish; 0 when it did. On a
// team the message names `rank`, where a chain passed the trial limit or memory ran out.
int failedRun(RunStatus status, std::string_view message, std::uint64_t seed, int rank = -1);

// Which process of a team this is. Only the leader prints what every rank would print
// alike; see printError and printRankError.
void setRank(int rank, int size);

// Prints "polychain: <text>" on stderr, on the leader only.
void printError(std::string_view text);

// Prints a message of this rank's own on stderr, naming the rank on a team:
// "polychain: rank 2: <text>".
void printRankError(std::string_view text);

// Runs `check` on every rank of `team`: true on every rank when it threw InputError on none,
// each rank where it did printing the message.
bool checkOnEveryRank(const Team& team, const std::function<void()>& check);

}  // namespace polychain::cli
