// The end of a command: its results on standard output and its files put in place, and the
// exit code and message of a run that did not finish.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "polychain/fileset.h"
#include "polychain/run.h"

namespace polychain::cli {

// How a write to standard output ended.
enum class Written { Whole, Failed, Cancelled };

// Writes `text` to standard output, in pieces that never block for long, so that a signal
// cancels even a write to a pipe nobody reads; Failed when it could not be written whole
// (with a message on stderr when `sayWhy`), Cancelled (no message) when a signal came first.
Written writeOut(std::string_view text, bool sayWhy = true);

// Ends a command that has its results: `write` writes the command's files as one set
// (writeFileSet, writeEnsembleFiles) with the steps it is given, which print `report` on
// standard output once every file is whole under its temporary name and then let the files go
// in place; each file is then said as "wrote PATH" unless `quiet`. Returns the exit code:
//   130 when a signal came before the first rename: no file is replaced;
//   1 when standard output could not be written (no file is replaced), or a file (the results
//     are printed still, and no file is replaced);
//   2 when the data do not fit a file's format (nothing is printed or replaced);
//   0 otherwise. From the first rename on, the point of no return, neither a signal nor a
//   failed write of the "wrote" lines changes it.
int deliver(std::string_view report, bool quiet,
            const std::function<FileSetResult(const FileSetSteps& steps)>& write);

// The exit code and message for a run or sweep that did not finish; 0 when it did. On a
// team the message names `rank`, where a chain passed the trial limit or memory ran out.
int failedRun(RunStatus status, std::string_view message, std::uint64_t seed, int rank = -1);

}  // namespace polychain::cli
