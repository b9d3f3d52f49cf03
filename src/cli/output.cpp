#include "cli/output.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/exitcodes.h"
#include "cli/interrupts.h"
#include "cli/ranks.h"

namespace polychain::cli {

Written writeOut(std::string_view text, bool sayWhy) {
  const auto failed = [sayWhy](int error) {
    if (sayWhy) {
      printError("cannot write to standard output: " + std::string(std::strerror(error)));
    }
    return Written::Failed;
  };
  if (std::fflush(stdout) != 0) return failed(errno);
  // To a pipe, FIFO, socket or terminal, no more than the reader has room for (a pipe that
  // polls writable takes PIPE_BUF bytes without blocking), so that the cancel flag is seen
  // within the poll's timeout even when the signal went to another thread.
  struct stat st {};
  const bool file =
      ::fstat(STDOUT_FILENO, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
  const std::size_t piece = file ? std::size_t{1} << 20 : PIPE_BUF;
  std::size_t done = 0;
  while (done < text.size()) {
    if (interrupted()) return Written::Cancelled;
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    const int ready = ::poll(&out, 1, 20);
    if (ready < 0 && errno != EINTR) return failed(errno);
    if (ready <= 0) continue;
    const ::ssize_t n =
        ::write(STDOUT_FILENO, text.data() + done, std::min(piece, text.size() - done));
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return failed(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  return Written::Whole;
}

int deliver(std::string_view report, bool quiet,
            const std::function<FileSetResult(const FileSetSteps& steps)>& write) {
  bool printed = false;
  Written said = Written::Whole;
  bool pastNoReturn = false;
  FileSetSteps steps;
  steps.keepGoing = [](double) { return !interrupted(); };
  steps.beforeCommit = [&] {
    printed = true;
    said = writeOut(report);
    return said == Written::Whole && !interrupted();
  };
  steps.committing = [&pastNoReturn](bool committing) {
    if (committing) pastNoReturn = true;
    setCommitting(committing);
  };
  const FileSetResult result = write(steps);
  const auto cancelled = [] {
    printError("cancelled; no file was written.");
    return kExitCancelled;  // the temporary files went with the set
  };
  if (!pastNoReturn) {
    if (result.cancelled || interrupted()) return cancelled();
    if (result.held) return kExitWriteFailed;  // standard output said why
    for (const auto& [path, reason] : result.failed) {
      printError("cannot write " + path + ": " + reason);
    }
    if (result.refused) {
      printError("Nothing was written.");
      return kExitBadInput;
    }
    // The results were not printed yet: they still are, though no file goes in place.
    if (!printed) {
      switch (writeOut(report)) {
        case Written::Whole:
          break;
        case Written::Failed:
          return kExitWriteFailed;
        case Written::Cancelled:
          return cancelled();
      }
    }
    printError("no file was written.");
    return kExitWriteFailed;
  }
  // Past the point of no return: the files are in place; only the list may be cut short.
  int code = 0;
  for (const auto& [path, reason] : result.failed) {
    printError("cannot write " + path + ": " + reason);
    code = kExitWriteFailed;
  }
  for (const std::string& path : result.ownerChanged) {
    printError("note: " + path +
               " now belongs to this user: its owner or group could not be kept.");
  }
  if (!quiet) {
    for (const std::string& path : result.written) {
      if (writeOut("wrote " + path + "\n", false) != Written::Whole) break;
    }
  }
  return code;
}

int failedRun(RunStatus status, std::string_view message, std::uint64_t seed, int rank) {
  const std::string seedNote = " (" +
                               (status != RunStatus::Cancelled ? rankNote(rank) : std::string()) +
                               "seed " + std::to_string(seed) + ")";
  switch (status) {
    case RunStatus::Finished:
      return 0;
    case RunStatus::Cancelled:
      printError(std::string(message) + " Nothing was written" + seedNote + ".");
      return kExitCancelled;
    case RunStatus::TrialLimit:
      printError(std::string(message) + seedNote);
      return kExitTrialLimit;
    case RunStatus::OutOfMemory:
      printError("out of memory: " + std::string(message) + " Nothing was written" + seedNote +
                 ".");
      return kExitOutOfMemory;
  }
  return 0;
}

}  // namespace polychain::cli
