#include "cli/common.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>

#include "polychain/atomicfile.h"
#include "polychain/numbertext.h"
#include "polychain/paramreader.h"

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

// The most threads a run may use.
constexpr std::int64_t kMaxThreads = 1024;

int g_rank = 0;
int g_size = 1;

// libgomp says why it could not start a thread and ends the process by exit(1); while a
// ThreadStartWatch lives, no other exit() is expected.
extern "C" void onExit() {
  if (!g_startingThreads.load()) return;
  const std::string rank = g_size > 1 ? "rank " + std::to_string(g_rank) + ": " : "";
  const std::string text =
      "polychain: " + rank +
      "the worker threads could not be started: the system refused to create them (too "
      "many threads for the process limits, or a thread stack, OMP_STACKSIZE, too large for "
      "the memory). Nothing was written.\n";
  std::fputs(text.c_str(), stderr);
  ::_exit(kExitOutOfMemory);
}

bool isBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// What identifies the file a path names: its device and inode when it exists, and its
// absolute path without "." , ".." and links.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string path;
};

FileIdentity identify(const std::string& path) {
  FileIdentity id;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
  const std::filesystem::path full = std::filesystem::weakly_canonical(absolute, error);
  id.path = error ? absolute.string() : full.string();
  return id;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a.path == b.path;
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

ThreadStartWatch::ThreadStartWatch() { g_startingThreads.store(true); }
ThreadStartWatch::~ThreadStartWatch() { g_startingThreads.store(false); }

CliObserver::CliObserver(bool bars) : m_bars(bars) {}

void CliObserver::progress(const RunProgress& p) {
  if (!m_bars) return;
  std::fprintf(stderr, "\r%schains %5.1f%%  chain %lld: steps %5.1f%%, %lld trials   ",
               m_point.c_str(), static_cast<double>(p.chains), static_cast<long long>(p.chain + 1),
               static_cast<double>(p.steps), static_cast<long long>(p.trials));
  m_drawn = true;
}

void CliObserver::correlationProgress(float percent) {
  if (!m_bars) return;
  std::fprintf(stderr, "\rg(r) %5.1f%%%-50s", static_cast<double>(percent), "");
  m_drawn = true;
}

void CliObserver::chainSeemsTrapped(std::int64_t chain, std::int64_t trials) {
  clearLine();
  std::fprintf(stderr,
               "polychain: %schain %lld seems trapped: %lld trials without growing longer. "
               "Press Ctrl-C to cancel, or use --max-trials to cap the trials.\n",
               m_point.c_str(), static_cast<long long>(chain + 1), static_cast<long long>(trials));
}

bool CliObserver::cancelRequested() { return interrupted(); }

void CliObserver::pointStarted(std::size_t /*index*/, std::int32_t steps, std::uint64_t /*seed*/) {
  m_point = "N = " + formatInteger(steps) + ": ";
}

void CliObserver::clearLine() {
  if (m_drawn) std::fprintf(stderr, "\r%-90s\r", "");
  m_drawn = false;
}

void addModelOptions(CLI::App& command, ModelOptions& o, const std::vector<std::string>& own) {
  command.add_option("--model", o.model, std::string(modelKeyList()))->default_str("meander");
  command.add_option("--iterations,-I", o.iterations, "Chains to grow (for a sweep: for each N)")
      ->required();
  // Each option once, in the table's order, with the help of every model that reads it.
  std::vector<std::pair<std::string, std::string>> helps;
  for (const ModelInfo* model : modelTable()) {
    for (const SettingInfo& setting : model->settings) {
      const std::string option(setting.option);
      if (std::find(own.begin(), own.end(), option) != own.end()) continue;
      const auto known = std::find_if(helps.begin(), helps.end(),
                                      [&option](const auto& h) { return h.first == option; });
      if (known == helps.end()) {
        helps.emplace_back(option, setting.help);
      } else {
        known->second += "; " + std::string(setting.help);
      }
    }
  }
  for (const auto& [option, help] : helps) command.add_option(option, o.settings[option], help);
  command.add_option("--seed", o.seed, "64-bit seed (default: from the time of day)");
  command.add_option("--threads", o.threads, "Worker threads, 1 to 1024 (default: all cores)");
  command.add_option("--max-trials", o.maxTrials,
                     "Stop when a chain passes this many trials (default 0: no cap)");
  command.add_option("--restart-trapped", o.restartTrapped,
                     "Grow a self-avoiding or short-range chain again from the origin after "
                     "this many trials without growing longer, or a self-avoiding chain without "
                     "a zone once it is closed in for good (0: never; default " +
                         std::to_string(kDefaultRestartTrapped) + ")");
  o.command = &command;
}

void refuseEmpty(const CLI::App& command, const std::string& option, const std::string& what) {
  const CLI::Option* given = command.get_option_no_throw(option);
  if (given == nullptr || given->count() == 0) return;
  for (const std::string& value : given->results()) {
    if (isBlank(value)) throw InputError(option + " is empty: enter " + what + ".");
  }
}

void refuseSharedOutputs(const std::vector<std::pair<std::string, std::string>>& outputs) {
  std::vector<FileIdentity> ids;
  for (const auto& output : outputs) ids.push_back(identify(output.second));
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (!sameFile(ids[i], ids[j])) continue;
      throw InputError(outputs[j].first + " and " + outputs[i].first + " would both write \"" +
                       outputs[i].second + "\": give each output a file of its own.");
    }
  }
  struct stat out {};
  if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!ids[i].exists || ids[i].device != out.st_dev || ids[i].inode != out.st_ino) continue;
    throw InputError(outputs[i].first + " would write \"" + outputs[i].second +
                     "\", where standard output goes: give the output another file.");
  }
}

void readModelOptions(const ModelOptions& o, RunParams& p) {
  if (o.command != nullptr) {
    for (const char* option :
         {"--iterations", "--seed", "--threads", "--max-trials", "--restart-trapped"}) {
      refuseEmpty(*o.command, option, "a whole number");
    }
    for (const auto& [option, text] : o.settings) refuseEmpty(*o.command, option, "a whole number");
  }
  const ModelInfo& model = readModelKey(o.model, "--model");
  p.iterations = static_cast<std::int32_t>(
      readWholeNumber(o.iterations, "--iterations", 1, std::numeric_limits<std::int32_t>::max()));
  p.model = model.defaults();
  for (const SettingInfo& setting : model.settings) {
    const auto text = o.settings.find(setting.option);
    if (text == o.settings.end() || text->second.empty()) continue;
    setting.set(p.model, readSetting(setting, text->second, setting.option));
  }
  p.seed = readSeed(o.seed, "--seed");
  if (!o.threads.empty()) {
    p.threads = static_cast<int>(readWholeNumber(o.threads, "--threads", 1, kMaxThreads));
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (!o.maxTrials.empty()) p.maxTrials = readWholeNumber(o.maxTrials, "--max-trials", 0, kMax);
  if (!o.restartTrapped.empty()) {
    p.restartTrapped = readWholeNumber(o.restartTrapped, "--restart-trapped", 0, kMax);
  }
}

Written writeOut(std::string_view text) {
  const auto failed = [](int error) {
    printError("cannot write to standard output: " + std::string(std::strerror(error)));
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

int deliver(std::string_view report, const std::vector<OutputFile>& files, bool quiet) {
  int code = 0;
  std::vector<PendingFile> staged(files.size());
  std::vector<bool> ready(files.size(), false);
  for (std::size_t i = 0; i < files.size(); ++i) {
    auto error = PendingFile::open(files[i].path, staged[i]);
    if (!error) error = staged[i].write(files[i].text, [] { return !interrupted(); });
    if (interrupted()) {
      printError("cancelled; nothing was written.");
      return kExitCancelled;  // the staged files go with their destructors
    }
    if (error) {
      printError("cannot write " + files[i].path + ": " + *error);
      code = kExitWriteFailed;
    }
    ready[i] = !error;
  }
  const auto cancelled = [] {
    printError("cancelled; no file was written.");
    return kExitCancelled;  // the staged files go with their destructors
  };
  switch (writeOut(report)) {
    case Written::Whole:
      break;
    case Written::Failed:
      return kExitWriteFailed;  // no file goes in place of results that were not printed
    case Written::Cancelled:
      return cancelled();
  }
  // The slow part of putting the files in place, still cancellable.
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!ready[i]) continue;
    if (interrupted()) return cancelled();
    if (auto error = staged[i].prepare()) {
      printError("cannot write " + files[i].path + ": " + *error);
      code = kExitWriteFailed;
      ready[i] = false;
    }
    if (ready[i]) paths.push_back(files[i].path);
  }
  FolderLock lock;
  if (!lock.lock(paths, [] { return !interrupted(); }) || interrupted()) return cancelled();
  // The point of no return: the files go in place one rename after another, and a signal
  // now (even a second one) waits until they all are.
  g_committing.store(true);
  std::vector<std::optional<std::string>> errors(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (ready[i]) errors[i] = staged[i].commit();
  }
  g_committing.store(false);
  bool saying = !quiet;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!ready[i]) continue;
    if (errors[i]) {
      printError("cannot write " + files[i].path + ": " + *errors[i]);
      code = kExitWriteFailed;
      continue;
    }
    if (!staged[i].keptOwner()) {
      printError("note: " + files[i].path +
                 " now belongs to this user: its owner or group could not be kept.");
    }
    // A signal now only cuts the list short: the files are in place.
    if (saying) {
      const Written said = writeOut("wrote " + files[i].path + "\n");
      if (said == Written::Failed) code = kExitWriteFailed;
      saying = said == Written::Whole;
    }
  }
  return code;
}

int failedRun(RunStatus status, std::string_view message, std::uint64_t seed, int rank) {
  const std::string rankNote = g_size > 1 && rank >= 0 && status != RunStatus::Cancelled
                                   ? "rank " + std::to_string(rank) + ", "
                                   : "";
  const std::string seedNote = " (" + rankNote + "seed " + std::to_string(seed) + ")";
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

void setRank(int rank, int size) {
  g_rank = rank;
  g_size = size;
}

void printError(std::string_view text) {
  if (g_rank == 0) std::cerr << "polychain: " << text << "\n";
}

void printRankError(std::string_view text) {
  const std::string rank = g_size > 1 ? "rank " + std::to_string(g_rank) + ": " : "";
  std::cerr << "polychain: " << rank << text << "\n";
}

}  // namespace polychain::cli
