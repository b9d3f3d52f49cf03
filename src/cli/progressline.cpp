#include "cli/progressline.h"

#include <cstdio>

#include "cli/interrupts.h"

namespace polychain::cli {

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
  m_point = "N = " + std::to_string(steps) + ": ";
}

void CliObserver::clearLine() {
  if (m_drawn) std::fprintf(stderr, "\r%-90s\r", "");
  m_drawn = false;
}

}  // namespace polychain::cli
