// How the run frame drives a model: one ChainGrower per worker thread grows chain after
// chain into a reusable site buffer, reporting each trial to a ChainMonitor.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <memory>
#include <vector>

#include "chain/lattice.h"
#include "chain/random.h"
#include "chain/run.h"

namespace polychain {

// Shared among the workers of one run: the observer, the stop flag and the throttle.
class RunControl {
 public:
  RunControl(RunObserver& observer, const RunParams& params);

  RunObserver& observer() { return m_observer; }
  const RunParams& params() const { return m_params; }

  // True once the run was cancelled or a chain passed the trial cap.
  bool stopped() const { return m_stop.load(std::memory_order_relaxed) != RunStatus::Finished; }
  RunStatus stopReason() const { return m_stop.load(); }
  void stop(RunStatus why);

  // Polls the observer's cancel request; true when the run must stop.
  bool pollStop();

  void chainDone();
  // Publishes a growing chain's progress, at most every few dozen milliseconds.
  void reportChain(std::int64_t chain, std::int64_t n, std::int64_t trials);
  // The trapped-chain notice, at most once per run.
  void reportTrapped(std::int64_t chain, std::int64_t trials);

 private:
  bool due();

  RunObserver& m_observer;
  const RunParams& m_params;
  std::atomic<RunStatus> m_stop{RunStatus::Finished};
  std::int64_t m_chainsDone = 0;  // guarded by m_mutex
  std::atomic<bool> m_trappedSaid{false};
  std::mutex m_mutex;
  std::chrono::steady_clock::time_point m_lastReport{};
  RunProgress m_last;
};

// Per-chain watch on a growing chain: progress, cancellation, the trial cap and the
// trapped-chain notice. onTrial costs an increment and a compare on the common path.
class ChainMonitor {
 public:
  ChainMonitor(RunControl& control, std::int64_t chain, std::int32_t steps);

  // Call once after every trial with the chain's current length n (in the model's own
  // count). Returns false when growth must stop now: the run was cancelled, or this
  // chain passed the trial cap.
  bool onTrial(std::int64_t n) {
    if (++m_trials < m_nextCheck) return true;
    return check(n);
  }

  // The same for `count` trials at once, for models that cannot be refused a step.
  bool onTrials(std::int64_t n, std::int64_t count) {
    m_trials += count;
    if (m_trials < m_nextCheck) return true;
    return check(n);
  }

  std::int64_t trials() const { return m_trials; }

 private:
  bool check(std::int64_t n);

  RunControl& m_control;
  std::int64_t m_chain;
  std::int32_t m_steps;
  std::int64_t m_trials = 0;
  std::int64_t m_nextCheck = 0;
  std::int64_t m_longest = -1;
  std::int64_t m_trialsAtLongest = 0;
};

// What a grower reports besides the sites.
struct ChainGrowth {
  std::int64_t trials = 0;
  std::int64_t discarded = 0;
  std::int64_t backups = 0;
  bool stopped = false;  // the monitor said stop; the sites are incomplete
};

class ChainGrower {
 public:
  virtual ~ChainGrower() = default;
  // Grows one chain from the origin with `random`, leaving its sites, origin first, in
  // `sites` (cleared first). Calls monitor.onTrial after every trial and returns with
  // `stopped` set as soon as it answers false.
  virtual ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                           ChainMonitor& monitor) = 0;
};

std::unique_ptr<ChainGrower> makeMeanderGrower(const RunParams& params);
std::unique_ptr<ChainGrower> makeSawGrower(const RunParams& params);
std::unique_ptr<ChainGrower> makeShortRangeGrower(const RunParams& params);

}  // namespace polychain
