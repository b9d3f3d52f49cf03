// What the workers of one run share: the observer, the stop flag, the progress they
// publish, the per-chain watch that the growers' trial counters call, the guard that keeps
// exceptions inside a parallel region, and the end every run shares.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <vector>

#include "analysis/chainmeasures.h"
#include "analysis/paircorrelation.h"
#include "analysis/statistics.h"
#include "chain/growth.h"
#include "polychain/run.h"
#include "run/partshare.h"

namespace polychain {

// At most one "due" answer per interval: the one progress throttle of the program.
class ProgressThrottle {
 public:
  explicit ProgressThrottle(std::chrono::milliseconds interval = std::chrono::milliseconds(30))
      : m_interval(interval) {}
  // True the first time and then once the interval has passed since the last true answer.
  bool due();

 private:
  std::chrono::milliseconds m_interval;
  std::chrono::steady_clock::time_point m_last{};
};

class RunControl {
 public:
  RunControl(RunObserver& observer, const RunParams& params);

  // True once the run was cancelled or a chain passed the trial cap.
  bool stopped() const { return m_stop.load(std::memory_order_relaxed) != RunStatus::Finished; }
  RunStatus stopReason() const { return m_stop.load(); }
  void stop(RunStatus why);
  // Stops the run because chain `chain` passed the trial cap, remembering the chain when it
  // is the first reason to stop.
  void stopAtTrialLimit(std::int64_t chain);
  std::int64_t trialLimitChain() const { return m_trialLimitChain.load(); }
  // Polls the observer's cancel request; true when the run must stop.
  bool pollStop();

  // A chain finished (or `count` of them, grown elsewhere): the share of chains done goes
  // up (never back).
  void chainDone(std::int64_t count = 1);
  // The share (0 to 1) of a run whose work is not counted in chains (a melt's sweeps),
  // published as the share of chains done when the throttle lets it through.
  void reportShare(double share);
  // A growing chain's progress, published when the throttle lets it through.
  void reportChain(std::int64_t chain, std::int64_t n, std::int64_t trials);
  // The trapped-chain notice, at most once per run.
  void reportTrapped(std::int64_t chain, std::int64_t trials);
  // Progress of the g(r) count; returns false when the run must stop.
  bool reportCorrelation(float percent);

  const RunParams& params() const { return m_params; }

  // The processes of a team that share the run's one unit with this one (ModelRunner::
  // sharedUnit), or none.
  void shareWith(PartShare* share) { m_share = share; }
  PartShare* share() const { return m_share; }

 private:
  RunObserver& m_observer;
  PartShare* m_share = nullptr;
  const RunParams& m_params;
  std::atomic<RunStatus> m_stop{RunStatus::Finished};
  std::atomic<std::int64_t> m_trialLimitChain{-1};
  std::atomic<bool> m_trappedSaid{false};
  std::mutex m_mutex;  // guards what follows and serialises the observer's calls
  std::int64_t m_chainsDone = 0;
  ProgressThrottle m_throttle;
  RunProgress m_last;
};

// The run's watch on one growing chain: cancellation, the trial cap, the trapped-chain
// notice and progress, looked at every kCheckEvery trials.
class ChainMonitor final : public ChainWatch {
 public:
  static constexpr std::int64_t kCheckEvery = 1024;

  ChainMonitor(RunControl& control, std::int64_t chain) : m_control(control), m_chain(chain) {}

  // The trial count of the first check.
  std::int64_t firstCheck() const { return nextCheck(0); }
  std::int64_t check(std::int64_t n, std::int64_t trials, std::int64_t sinceLongest) override;

 private:
  std::int64_t nextCheck(std::int64_t trials) const;

  RunControl& m_control;
  std::int64_t m_chain;
};

// The end every run shares: g(r) of the last chain when asked for, and a run that stopped
// emptied of everything but its status and seed.
void finishRun(const RunParams& params, RunControl& control, RunResult& out);

// Keeps exceptions inside a parallel region: in guard(), a failed allocation stops the run as
// out of memory and anything else stops it and is kept, for rethrow() once the region ends.
class RegionFailure {
 public:
  template <class Body>
  void guard(RunControl& control, Body&& body) noexcept {
    try {
      body();
    } catch (const std::bad_alloc&) {
      control.stop(RunStatus::OutOfMemory);
    } catch (...) {
      const std::lock_guard lock(m_mutex);
      if (!m_failure) m_failure = std::current_exception();
      control.stop(RunStatus::Cancelled);
    }
  }
  void rethrow() const {
    if (m_failure) std::rethrow_exception(m_failure);
  }

 private:
  std::mutex m_mutex;
  std::exception_ptr m_failure;
};

}  // namespace polychain
