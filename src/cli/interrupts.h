// The signals and exits that end the command from outside: Ctrl-C, SIGTERM and SIGHUP, a
// closed pipe, the file size limit, and libgomp's exit when it cannot start its threads.
#pragma once

namespace polychain::cli {

// Installs the handler of Ctrl-C, SIGTERM and SIGHUP: the first asks the running work to
// cancel (it stops within a fraction of a second and writes nothing); a second ends the
// process at once, removing any temporary file first, unless it comes while files are being
// put in place. A closed pipe and the file size limit become write errors (EPIPE, EFBIG)
// instead of signals that end the process. Call first thing in main.
void catchInterrupt();
// True once such a signal came.
bool interrupted();
// Whether files are being renamed into place now: a second signal then waits for the renames.
void setCommitting(bool committing);

// Reports a failure of libgomp to start the worker threads (which ends the process through
// exit()) as its own message and exit code 4, while an object of this type lives.
class ThreadStartWatch {
 public:
  ThreadStartWatch();
  ~ThreadStartWatch();
  ThreadStartWatch(const ThreadStartWatch&) = delete;
  ThreadStartWatch& operator=(const ThreadStartWatch&) = delete;
};

}  // namespace polychain::cli
