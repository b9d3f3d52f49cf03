// How a model's grower grows chains for the run frame: one grower per worker thread grows
// chain after chain into a reusable site buffer, and a TrialCounter lets the frame look at
// the growing chain every so often without the grower knowing the frame.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "chain/lattice.h"
#include "chain/random.h"
#include "polychain/model.h"

namespace polychain {

// The frame's side of a growing chain.
class ChainWatch {
 public:
  virtual ~ChainWatch() = default;
  // Called when a chain of length `n` (in its model's own count) has made `trials` trials,
  // `sinceLongest` of them since it last reached a greater length than ever before (over all
  // its regrowths). Returns the trial count at which to be called next (greater than
  // `trials`), or 0 to stop growing now.
  virtual std::int64_t check(std::int64_t n, std::int64_t trials, std::int64_t sinceLongest) = 0;
};

// What the counter tells a grower after a trial.
enum class TrialVerdict {
  Go,       // carry on
  Stop,     // stop growing: the run is ending
  Restart,  // the chain has not grown longer for too long: grow it again from the origin
  Probe,    // the chain has not grown longer for a while: the grower may test whether it is
            // closed in for good and, if so, answer with regrow(); else carry on
};

// Counts a chain's trials, keeps the greatest length it reached and calls its watch every
// so often. onTrial costs an increment and two compares on the common path. A chain that
// makes `restartAfter` trials without growing longer than it has been since it last started
// is grown again from the origin, drawing on from its own stream. While regrowing is on, a
// chain that has gone `firstProbe` trials without growing longer is offered to its grower
// for a test (TrialVerdict::Probe), and again after twice as many, four times as many, ...
// until it grows longer; a grower that finds the chain closed in for good answers with
// regrow(), and the chain is grown again at once.
class TrialCounter {
 public:
  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
  // The stall of the first probe. Healthy self-avoiding chains without a zone stall for at
  // most a few hundred trials (bench_trapped), so they are almost never probed, and a probe
  // that finds nothing costs about as much as the trials since the last one.
  static constexpr std::int64_t kFirstProbe = 1024;

  // `restartAfter`: trials without a new greatest length after which the chain is grown
  // again from the origin (kNever: never, and no probes). `firstCheck`: the trial count of
  // the first call. `firstProbe`: the stall of the first probe (kNever: no probes).
  TrialCounter(ChainWatch& watch, std::int64_t restartAfter, std::int64_t firstCheck,
               std::int64_t firstProbe = kFirstProbe)
      : m_watch(watch),
        m_restartAfter(restartAfter),
        m_firstProbe(restartAfter == kNever ? kNever : firstProbe),
        m_nextCheck(firstCheck),
        m_nextProbe(m_firstProbe),
        m_alarm(std::min(m_restartAfter, m_nextProbe)) {}

  // Call once after every trial with the chain's current length n.
  TrialVerdict onTrial(std::int64_t n) {
    ++m_trials;
    if (n > m_longest) {
      m_longest = n;
      m_trialsAtLongest = m_trials;
      if (n > m_longestEver) {
        m_longestEver = n;
        m_trialsAtLongestEver = m_trials;
      }
      if (m_nextProbe != m_firstProbe) rearmProbes();
    } else if (m_trials - m_trialsAtLongest >= m_alarm) {
      return alarm();
    }
    if (m_trials < m_nextCheck) return TrialVerdict::Go;
    return check(n);
  }

  // The answer to a probe that found the chain closed in for good: it is grown again from
  // the origin, counted as a restart.
  TrialVerdict regrow() { return restart(); }

  // The same for `count` trials at once that all made the chain longer (the free walk).
  bool onGrowingTrials(std::int64_t n, std::int64_t count) {
    m_trials += count;
    m_longest = m_longestEver = n;
    m_trialsAtLongest = m_trialsAtLongestEver = m_trials;
    return m_trials < m_nextCheck || check(n) == TrialVerdict::Go;
  }

  std::int64_t trials() const { return m_trials; }
  // Trials made before the chain last started from the origin: those of the growths given up.
  std::int64_t trialsAtStart() const { return m_trialsAtStart; }
  // Trials since the chain last grew longer than it had been since it last started.
  std::int64_t stall() const { return m_trials - m_trialsAtLongest; }
  std::int64_t restarts() const { return m_restarts; }

 private:
  TrialVerdict check(std::int64_t n) {
    m_nextCheck = m_watch.check(n, m_trials, m_trials - m_trialsAtLongestEver);
    return m_nextCheck > 0 ? TrialVerdict::Go : TrialVerdict::Stop;
  }
  TrialVerdict restart() {
    ++m_restarts;
    m_longest = -1;
    m_trialsAtLongest = m_trialsAtStart = m_trials;
    rearmProbes();
    return TrialVerdict::Restart;
  }
  TrialVerdict alarm() {
    if (m_trials - m_trialsAtLongest >= m_restartAfter) return restart();
    m_nextProbe = m_nextProbe > m_restartAfter / 2 ? kNever : 2 * m_nextProbe;
    m_alarm = std::min(m_restartAfter, m_nextProbe);
    return TrialVerdict::Probe;
  }
  void rearmProbes() {
    m_nextProbe = m_firstProbe;
    m_alarm = std::min(m_restartAfter, m_nextProbe);
  }

  ChainWatch& m_watch;
  std::int64_t m_restartAfter;
  std::int64_t m_firstProbe;
  std::int64_t m_nextCheck;
  std::int64_t m_nextProbe;  // the stall of the next probe
  std::int64_t m_alarm;      // the stall at which to probe or restart, whichever comes first
  std::int64_t m_trials = 0;
  std::int64_t m_restarts = 0;
  std::int64_t m_trialsAtStart = 0;
  std::int64_t m_longest = -1;  // since the chain last started from the origin
  std::int64_t m_trialsAtLongest = 0;
  std::int64_t m_longestEver = -1;  // over all its starts
  std::int64_t m_trialsAtLongestEver = 0;
};

// What a grower reports besides the sites.
struct ChainGrowth {
  std::int64_t trials = 0;
  std::int64_t discarded = 0;
  std::int64_t backups = 0;
  std::int64_t restarts = 0;
  bool stopped = false;  // the counter said stop; the sites are incomplete
};

class ChainGrower {
 public:
  virtual ~ChainGrower() = default;
  // Grows one chain from the origin with `random`, leaving its sites, origin first, in
  // `sites` (cleared first). Reports every trial to `counter` and returns with `stopped`
  // set as soon as it says stop; starts afresh from the origin when it says restart.
  virtual ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                           TrialCounter& counter) = 0;
};

std::unique_ptr<ChainGrower> makeMeanderGrower(std::int32_t steps);
std::unique_ptr<ChainGrower> makeSawGrower(std::int32_t steps, std::int32_t avoid);
std::unique_ptr<ChainGrower> makeShortRangeGrower(std::int32_t steps, std::int32_t kuhn);

// The grower of the model of `settings` for chains of N = `steps`. Throws
// std::invalid_argument for a sampler, which grows no chains.
std::unique_ptr<ChainGrower> makeGrower(const ModelSettings& settings, std::int32_t steps);

}  // namespace polychain
