#include "run/run.h"

#include <omp.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>

#include "chain/growth.h"
#include "run/control.h"
#include "run/pivotrun.h"
#include "run/resources.h"

namespace polychain {

namespace {

// Hands out the chains in order, each with its random stream, and adds their summaries in
// chain order as they finish. A chain is handed out only while fewer than `window` chains
// wait to be added, so what is held does not grow with the number of chains.
class ChainQueue {
 public:
  ChainQueue(std::uint64_t seed, std::int64_t chains, std::int64_t window, Model model)
      : m_next(seed),
        m_chains(chains),
        m_window(window),
        m_slots(static_cast<std::size_t>(window)),
        m_extended(model) {}

  // The next chain and its stream; false when none is left or the run stopped.
  bool take(RunControl& control, std::int64_t& chain, RandomSource& random) {
    if (control.pollStop()) return false;
    std::unique_lock lock(m_mutex);
    while (!control.pollStop() && m_taken < m_chains && m_taken >= m_added + m_window) {
      m_space.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (control.stopped() || m_taken >= m_chains) return false;
    chain = m_taken++;
    random = m_next;
    m_next.jump();
    return true;
  }

  // Files chain `chain`'s summary and adds every summary now due, in chain order.
  void finish(std::int64_t chain, const ChainSummary& summary) {
    const std::lock_guard lock(m_mutex);
    Slot& slot = m_slots[static_cast<std::size_t>(chain % m_window)];
    slot.summary = summary;
    slot.filled = true;
    bool added = false;
    for (;;) {
      Slot& due = m_slots[static_cast<std::size_t>(m_added % m_window)];
      if (!due.filled) break;
      m_sums.add(due.summary);
      m_extended.add(due.summary);
      due.filled = false;
      ++m_added;
      added = true;
    }
    if (added) m_space.notify_all();
  }

  const RunSums& sums() const { return m_sums; }
  const ExtendedAccumulator& extended() const { return m_extended; }

 private:
  struct Slot {
    ChainSummary summary;
    bool filled = false;
  };

  std::mutex m_mutex;
  std::condition_variable m_space;
  RandomSource m_next;
  std::int64_t m_chains;
  std::int64_t m_window;
  std::int64_t m_taken = 0;  // chains handed out
  std::int64_t m_added = 0;  // chains added to the sums
  std::vector<Slot> m_slots;
  RunSums m_sums;
  ExtendedAccumulator m_extended;
};

// The growth models: chains handed out in order to the threads, added up in chain order.
RunResult growChains(const RunParams& params, RunControl& control, std::uint64_t seed) {
  RunResult out;
  out.seed = seed;
  const std::int64_t iterations = params.iterations;
  const int threads = runThreads(params);
  ChainQueue queue(seed, iterations, std::max<std::int64_t>(4096, 256 * std::int64_t{threads}),
                   params.model);
  const std::int64_t restartAfter =
      params.restartTrapped > 0 ? params.restartTrapped : TrialCounter::kNever;
  std::exception_ptr failure;
  std::mutex failureMutex;

#pragma omp parallel num_threads(threads)
  {
    try {
      const std::unique_ptr<ChainGrower> grower =
          makeGrower(params.model, params.steps, params.avoid, params.kuhn);
      std::vector<Point> sites;
      std::int64_t chain = 0;
      RandomSource random(0);
      while (queue.take(control, chain, random)) {
        ChainMonitor monitor(control, chain);
        TrialCounter counter(monitor, restartAfter, monitor.firstCheck());
        const ChainGrowth growth = grower->grow(random, sites, counter);
        if (growth.stopped) break;
        ChainSummary summary = summarizeChain(sites, params.steps);
        summary.trials = growth.trials;
        summary.discarded = growth.discarded;
        summary.backups = growth.backups;
        summary.restarts = growth.restarts;
        if (chain == iterations - 1) std::swap(out.lastSites, sites);
        queue.finish(chain, summary);
        control.chainDone();
      }
    } catch (const std::bad_alloc&) {
      control.stop(RunStatus::OutOfMemory);
    } catch (...) {
      const std::lock_guard lock(failureMutex);
      if (!failure) failure = std::current_exception();
      control.stop(RunStatus::Cancelled);
    }
  }
  if (failure) std::rethrow_exception(failure);
  if (!control.stopped()) {
    out.sums = queue.sums();
    out.values = resultValues(params.model, params.steps, out.sums);
    out.extended = queue.extended().result();
  }
  return out;
}

}  // namespace

void finishRun(const RunParams& params, RunControl& control, RunResult& out) {
  if (!control.stopped() && params.calcParCF) {
    PairCountOptions options;
    options.threads = params.threads;
    try {
      out.correlation = gorCalc(
          out.lastSites, [&](float percent) { return control.reportCorrelation(percent); },
          options);
    } catch (const std::bad_alloc&) {
      control.stop(RunStatus::OutOfMemory);
    }
  }
  if (control.stopped()) {
    const std::uint64_t seed = out.seed;
    out = RunResult{};
    out.status = control.stopReason();
    out.seed = seed;
  }
}

RunResult runSimulation(const RunParams& params, RunObserver& observer) {
  validateParams(params);
  checkMemory(params);
  const std::uint64_t seed = params.seed.value_or(clockSeed());
  RunControl control(observer, params);
  RunResult out = params.model == Model::Pivot ? runPivotWalkers(params, control, seed)
                                               : growChains(params, control, seed);
  finishRun(params, control, out);
  return out;
}

}  // namespace polychain
