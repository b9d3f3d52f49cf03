#include "run/control.h"

#include <algorithm>
#include <limits>

namespace polychain {

bool ProgressThrottle::due() {
  const auto now = std::chrono::steady_clock::now();
  if (m_last != std::chrono::steady_clock::time_point{} && now - m_last < m_interval) return false;
  m_last = now;
  return true;
}

RunControl::RunControl(RunObserver& observer, const RunParams& params)
    : m_observer(observer), m_params(params) {}

void RunControl::stop(RunStatus why) {
  RunStatus expected = RunStatus::Finished;
  m_stop.compare_exchange_strong(expected, why);
}

void RunControl::stopAtTrialLimit(std::int64_t chain) {
  RunStatus expected = RunStatus::Finished;
  if (m_stop.compare_exchange_strong(expected, RunStatus::TrialLimit)) m_trialLimitChain = chain;
}

bool RunControl::pollStop() {
  if (!stopped() && m_observer.cancelRequested()) stop(RunStatus::Cancelled);
  return stopped();
}

void RunControl::chainDone(std::int64_t count) {
  const std::lock_guard lock(m_mutex);
  const std::int64_t done = m_chainsDone += count;
  m_last.chains = static_cast<float>(static_cast<double>(done) / m_params.iterations * 100.0);
  if (done == m_params.iterations || m_throttle.due()) m_observer.progress(m_last);
}

void RunControl::reportShare(double share) {
  const std::lock_guard lock(m_mutex);
  const auto percent = static_cast<float>(std::clamp(share, 0.0, 1.0) * 100.0);
  if (percent <= m_last.chains || !m_throttle.due()) return;
  m_last.chains = percent;
  m_observer.progress(m_last);
}

void RunControl::reportChain(std::int64_t chain, std::int64_t n, std::int64_t trials) {
  const std::lock_guard lock(m_mutex);
  if (!m_throttle.due()) return;
  m_last.chain = chain;
  m_last.trials = trials;
  m_last.steps = static_cast<float>(static_cast<double>(n) / m_params.steps * 100.0);
  m_observer.progress(m_last);
}

void RunControl::reportTrapped(std::int64_t chain, std::int64_t trials) {
  if (m_trappedSaid.exchange(true)) return;
  const std::lock_guard lock(m_mutex);
  m_observer.chainSeemsTrapped(chain, trials);
}

bool RunControl::reportCorrelation(float percent) {
  {
    const std::lock_guard lock(m_mutex);
    if (percent >= 100.0F || m_throttle.due()) m_observer.correlationProgress(percent);
  }
  return !pollStop();
}

std::int64_t ChainMonitor::nextCheck(std::int64_t trials) const {
  const std::int64_t next = trials + kCheckEvery;
  const std::int64_t cap = m_control.params().maxTrials;
  // The check after the cap's last trial stops the chain.
  if (cap > 0 && cap < std::numeric_limits<std::int64_t>::max()) return std::min(next, cap + 1);
  return next;
}

std::int64_t ChainMonitor::check(std::int64_t n, std::int64_t trials, std::int64_t sinceLongest) {
  const std::int64_t cap = m_control.params().maxTrials;
  if (cap > 0 && trials > cap) {
    m_control.stopAtTrialLimit(m_chain);
    return 0;
  }
  if (m_control.pollStop()) return 0;
  if (sinceLongest >= kTrappedTrials) m_control.reportTrapped(m_chain, trials);
  m_control.reportChain(m_chain, n, trials);
  return nextCheck(trials);
}

}  // namespace polychain
