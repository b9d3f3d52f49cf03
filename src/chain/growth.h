// How a model's grower grows chains for the run frame: one grower per worker thread grows
// chain after chain into a reusable site buffer, and a TrialCounter lets the frame look at
// the growing chain every so often without the grower knowing the frame.
#pragma once

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
};

// Counts a chain's trials, keeps the greatest length it reached and calls its watch every
// so often. onTrial costs an increment and two compares on the common path. A chain that
// makes `restartAfter` trials without growing longer than it has been since it last started
// is grown again from the origin, drawing on from its own stream.
class TrialCounter {
 public:
  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

  // `restartAfter`: trials without a new greatest length after which the chain is grown
  // again from the origin (kNever: never). `firstCheck`: the trial count of the first call.
  TrialCounter(ChainWatch& watch, std::int64_t restartAfter, std::int64_t firstCheck)
      : m_watch(watch), m_restartAfter(restartAfter), m_nextCheck(firstCheck) {}

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
    } else if (m_trials - m_trialsAtLongest >= m_restartAfter) {
      return restart();
    }
    if (m_trials < m_nextCheck) return TrialVerdict::Go;
    return check(n);
  }

  // The same for `count` trials at once that all made the chain longer (the free walk).
  bool onGrowingTrials(std::int64_t n, std::int64_t count) {
    m_trials += count;
    m_longest = m_longestEver = n;
    m_trialsAtLongest = m_trialsAtLongestEver = m_trials;
    return m_trials < m_nextCheck || check(n) == TrialVerdict::Go;
  }

  std::int64_t trials() const { return m_trials; }
  std::int64_t restarts() const { return m_restarts; }

 private:
  TrialVerdict check(std::int64_t n) {
    m_nextCheck = m_watch.check(n, m_trials, m_trials - m_trialsAtLongestEver);
    return m_nextCheck > 0 ? TrialVerdict::Go : TrialVerdict::Stop;
  }
  TrialVerdict restart() {
    ++m_restarts;
    m_longest = -1;
    m_trialsAtLongest = m_trials;
    return TrialVerdict::Restart;
  }

  ChainWatch& m_watch;
  std::int64_t m_restartAfter;
  std::int64_t m_nextCheck;
  std::int64_t m_trials = 0;
  std::int64_t m_restarts = 0;
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
