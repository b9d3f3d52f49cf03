#include "cli/interrupts.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/exitcodes.h"
#include "cli/ranks.h"
#include "polychain/fileset.h"

namespace polychain::cli {

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_committing{false};  // files are being renamed into place
std::atomic<bool> g_startingThreads{false};

extern "C" void onInterrupt(int /*signal*/) {
  if (g_interrupted.exchange(true) && !g_committing.load()) {
    removeTemporaryFilesNow();
    ::_exit(kExitCancelled);
  }
}

// libgomp says why it could not start a thread and ends the process by exit(1); while a
// ThreadStartWatch lives, no other exit() is expected.
extern "C" void onExit() {
  if (!g_startingThreads.load()) return;
  const std::string text =
      "polychain: " + rankPrefix() +
      "the worker threads could not be started: the system refused to create them (too "
      "many threads for the process limits, or a thread stack, OMP_STACKSIZE, too large for "
      "the memory). Nothing was written.\n";
  std::fputs(text.c_str(), stderr);
  ::_exit(kExitOutOfMemory);
}

}  // namespace

void catchInterrupt() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  // A reader that went away and the file size limit are reported as failed writes.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  static const bool atExit = std::atexit(onExit) == 0;
  (void)atExit;
}

bool interrupted() { return g_interrupted.load(std::memory_order_relaxed); }

void setCommitting(bool committing) { g_committing.store(committing); }

ThreadStartWatch::ThreadStartWatch() { g_startingThreads.store(true); }
ThreadStartWatch::~ThreadStartWatch() { g_startingThreads.store(false); }

}  // namespace polychain::cli
