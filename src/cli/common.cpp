#include "cli/common.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <unistd.h>

#include "polychain/atomicfile.h"
#include "polychain/numbertext.h"
#include "polychain/paramreader.h"

namespace polychain::cli {

namespace {
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int /*signal*/) {
  if (g_interrupted.exchange(true)) {
    removeTemporaryFilesNow();
    ::_exit(kExitCancelled);
  }
}

// The most threads a run may use.
constexpr std::int64_t kMaxThreads = 1024;

int g_rank = 0;
int g_size = 1;
}  // namespace

void catchInterrupt() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool interrupted() { return g_interrupted.load(std::memory_order_relaxed); }

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

void addModelOptions(CLI::App& command, ModelOptions& o) {
  command.add_option("--model", o.model, std::string(modelKeyList()))->default_str("meander");
  command.add_option("--iterations,-I", o.iterations, "Chains to grow (for a sweep: for each N)")
      ->required();
  for (const ModelInfo* model : modelTable()) {
    for (const SettingInfo& setting : model->settings) {
      const std::string option(setting.option);
      if (o.settings.contains(option)) continue;
      command.add_option(option, o.settings[option], std::string(setting.help));
    }
  }
  command.add_option("--seed", o.seed, "64-bit seed (default: from the time of day)");
  command.add_option("--threads", o.threads, "Worker threads, 1 to 1024 (default: all cores)");
  command.add_option("--max-trials", o.maxTrials,
                     "Stop when a chain passes this many trials (default 0: no cap)");
  command.add_option("--restart-trapped", o.restartTrapped,
                     "Grow a self-avoiding or short-range chain again from the origin after "
                     "this many trials without growing longer (0: never; default " +
                         std::to_string(kDefaultRestartTrapped) + ")");
}

void readModelOptions(const ModelOptions& o, RunParams& p) {
  const ModelInfo& model = readModelKey(o.model, "--model");
  p.iterations = readInt32(o.iterations, "--iterations");
  p.model = model.defaults();
  for (const SettingInfo& setting : model.settings) {
    const auto text = o.settings.find(setting.option);
    if (text == o.settings.end() || text->second.empty()) continue;
    setting.set(p.model,
                readWholeNumber(text->second, setting.option, setting.least, setting.most));
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

bool writeOut(std::string_view text) {
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
  if (written == text.size() && std::fflush(stdout) == 0) return true;
  printError("cannot write to standard output: " + std::string(std::strerror(errno)));
  return false;
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
  if (!writeOut(report)) return kExitWriteFailed;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!ready[i]) continue;
    if (auto error = staged[i].commit()) {
      printError("cannot write " + files[i].path + ": " + *error);
      code = kExitWriteFailed;
    } else if (!quiet && !writeOut("wrote " + files[i].path + "\n")) {
      code = kExitWriteFailed;
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

bool checkOnEveryRank(const Team& team, const std::function<void()>& check) {
  bool ok = true;
  try {
    check();
  } catch (const InputError& e) {
    printRankError(e.what());
    ok = false;
  }
  return team.allOk(ok);
}

}  // namespace polychain::cli
