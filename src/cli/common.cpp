#include "cli/common.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/atomicfile.h"
#include "app/numbertext.h"
#include "app/paramreader.h"

namespace polychain::cli {

namespace {
std::atomic<bool> g_interrupted{false};
extern "C" void onInterrupt(int /*signal*/) { g_interrupted.store(true); }

// The most threads a run may use.
constexpr std::int64_t kMaxThreads = 1024;
}  // namespace

void catchInterrupt() { std::signal(SIGINT, onInterrupt); }

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

bool CliObserver::cancelRequested() { return g_interrupted.load(std::memory_order_relaxed); }

void CliObserver::pointStarted(std::size_t /*index*/, std::int32_t steps, std::uint64_t /*seed*/) {
  m_point = "N = " + formatInteger(steps) + ": ";
}

void CliObserver::clearLine() {
  if (m_drawn) std::fprintf(stderr, "\r%-90s\r", "");
  m_drawn = false;
}

void addModelOptions(CLI::App& command, ModelOptions& o) {
  command.add_option("--model", o.model, "meander, saw or short-range")->default_str("meander");
  command.add_option("--iterations,-I", o.iterations, "Chains to grow (for a sweep: for each N)")
      ->required();
  command.add_option("--avoid", o.avoid, "Self-avoidance range for saw")->default_str("1");
  command.add_option("--kuhn", o.kuhn, "Kuhn length for short-range")->default_str("1");
  command.add_option("--seed", o.seed, "64-bit seed (default: from the time of day)");
  command.add_option("--threads", o.threads, "Worker threads, 1 to 1024 (default: all cores)");
  command.add_option("--max-trials", o.maxTrials,
                     "Stop when a chain passes this many trials (default 0: no cap)");
}

void readModelOptions(const ModelOptions& o, RunParams& p) {
  p.model = readModelKey(o.model, "--model");
  p.iterations = readInt32(o.iterations, "--iterations");
  if (p.model == Model::SAW) p.avoid = readInt32(o.avoid, "--avoid");
  if (p.model == Model::ShortRange) p.kuhn = readInt32(o.kuhn, "--kuhn");
  p.seed = readSeed(o.seed, "--seed");
  if (!o.threads.empty()) {
    p.threads = static_cast<int>(readWholeNumber(o.threads, "--threads", 1, kMaxThreads));
  }
  if (!o.maxTrials.empty()) {
    p.maxTrials =
        readWholeNumber(o.maxTrials, "--max-trials", 0, std::numeric_limits<std::int64_t>::max());
  }
}

bool writeOut(std::string_view text) {
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
  if (written == text.size() && std::fflush(stdout) == 0) return true;
  printError("cannot write to standard output: " + std::string(std::strerror(errno)));
  return false;
}

int writeFiles(const std::vector<std::pair<std::string, std::string>>& files, bool quiet) {
  int code = 0;
  for (const auto& [path, text] : files) {
    if (auto error = writeFileAtomically(path, text)) {
      printError("cannot write " + path + ": " + *error);
      code = kExitWriteFailed;
    } else if (!quiet && !writeOut("wrote " + path + "\n")) {
      code = kExitWriteFailed;
    }
  }
  return code;
}

void printError(std::string_view text) { std::cerr << "polychain: " << text << "\n"; }

}  // namespace polychain::cli
