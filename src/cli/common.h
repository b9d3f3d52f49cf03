// What the polychain commands share: the Ctrl-C flag, the terminal observer, the options
// every command reads, and writing to standard output with its failures reported.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "polychain/params.h"
#include "polychain/resources.h"
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
// process at once, removing any temporary file first, unless it comes while files are being
// put in place. A closed pipe and the file size limit become write errors (EPIPE, EFBIG)
// instead of signals that end the process. Call first thing in main.
void catchInterrupt();
// True once such a signal came.
bool interrupted();

// Reports a failure of libgomp to start the worker threads (which ends the process through
// exit()) as its own message and exit code 4, while an object of this type lives.
class ThreadStartWatch {
 public:
  ThreadStartWatch();
  ~ThreadStartWatch();
  ThreadStartWatch(const ThreadStartWatch&) = delete;
  ThreadStartWatch& operator=(const ThreadStartWatch&) = delete;
};

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
  const CLI::App* command = nullptr;  // where they were parsed, to tell which were given
};

// Adds those options to `command`: the model settings of every model of the table (an option
// that several models share once, with each model's help), but those named in `own`, which
// the command reads itself.
void addModelOptions(CLI::App& command, ModelOptions& options,
                     const std::vector<std::string>& own = {});

// Reads them into `params` (all but steps), by the one parameter reader. Throws InputError
// naming the option; an option given with an empty value is refused like a wrong one.
void readModelOptions(const ModelOptions& options, RunParams& params);

// Throws InputError when `option` was given on `command` with an empty (or blank) value;
// `what` says what it takes ("a file name, such as run1").
void refuseEmpty(const CLI::App& command, const std::string& option, const std::string& what);

// Throws InputError (exit 2) when two of `outputs` (option, path) would write one file, or
// one of them is the file standard output goes to.
void refuseSharedOutputs(const std::vector<std::pair<std::string, std::string>>& outputs);

// How a write to standard output ended.
enum class Written { Whole, Failed, Cancelled };

// Writes `text` to standard output, in pieces that never block for long, so that a signal
// cancels even a write to a pipe nobody reads; Failed (and a message on stderr) when it
// could not be written whole, Cancelled (no message) when a signal came first.
Written writeOut(std::string_view text);

// A file the command writes: its path and whole text.
struct OutputFile {
  std::string path;
  std::string text;
};

// Ends a command that has its results: writes every file to its temporary first, then
// prints `report` on standard output, then puts the files in place one rename after another
// under a lock on their folders, saying "wrote PATH" unless `quiet`. A cancel before the
// first rename (the point of no return) leaves no file behind (exit 130); after it the files
// all go in place and the exit code is as without it. A file that cannot be written is
// reported and the others still written (exit 1); when standard output cannot be written,
// no file is put in place (exit 1).
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

// Runs the core's `check` (checkRun, checkSweep, ...) on every rank of `team` and returns what
// it made, or nothing on every rank when any rank refused: a refusal of the parameters, the
// same on every rank, is told once; a refusal of the memory by each rank it concerns.
template <class Check>
auto checkOnEveryRank(const Team& team, Check&& check) -> std::optional<decltype(check())> {
  std::optional<decltype(check())> checked;
  try {
    checked.emplace(check());
  } catch (const MemoryRefusal& e) {
    printRankError(e.what());
  } catch (const InputError& e) {
    printError(e.what());
    return std::nullopt;
  }
  if (!team.allOk(checked.has_value())) return std::nullopt;
  return checked;
}

}  // namespace polychain::cli
