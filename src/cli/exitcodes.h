// The command's exit codes.
#pragma once

namespace polychain::cli {

inline constexpr int kExitWriteFailed = 1;  // a file or standard output could not be written
inline constexpr int kExitBadInput = 2;     // bad input, or a run too big for the memory
inline constexpr int kExitTrialLimit = 3;   // a chain passed --max-trials
inline constexpr int kExitOutOfMemory = 4;  // memory or threads ran out during the run
inline constexpr int kExitCancelled = 130;  // Ctrl-C, SIGTERM or SIGHUP before the files went in

}  // namespace polychain::cli
