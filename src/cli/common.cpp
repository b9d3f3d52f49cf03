#include "cli/common.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "chain/numtext.h"

namespace polychain::cli {

namespace {
std::atomic<bool> g_interrupted{false};
extern "C" void onInterrupt(int /*signal*/) { g_interrupted.store(true); }
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

void CliObserver::message(std::string_view title, std::string_view text) {
  clearLine();
  std::cerr << "polychain: " << title << " " << text << "\n";
}

void CliObserver::pointStarted(std::size_t /*index*/, std::int32_t steps, std::uint64_t /*seed*/) {
  m_point = "N = " + formatInteger(steps) + ": ";
}

void CliObserver::clearLine() {
  if (m_drawn) std::fprintf(stderr, "\r%-90s\r", "");
  m_drawn = false;
}

std::uint64_t parseSeed(const std::string& text) {
  std::uint64_t seed = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || r.ec != std::errc{} || r.ptr != text.data() + text.size()) {
    throw InputError("--seed must be a whole number from 0 to 18446744073709551615; \"" + text +
                     "\" is not one.");
  }
  return seed;
}

Model modelFromKey(const std::string& key) {
  if (key == "saw") return Model::SAW;
  if (key == "short-range") return Model::ShortRange;
  return Model::Meander;
}

void printError(std::string_view text) { std::cerr << "polychain: " << text << "\n"; }

}  // namespace polychain::cli
