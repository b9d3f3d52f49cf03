#include "run/run.h"

#include <omp.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>

#include "chain/growth.h"
#include "run/control.h"
#include "run/pivotrun.h"
#include "run/resources.h"

namespace polychain {

namespace {

// Hands out the chains of a block in order, each with its random stream, and passes their
// summaries on in chain order as they finish. A chain is handed out only while fewer than
// `window` chains wait to be passed on, so what is held does not grow with the chains.
class ChainQueue {
 public:
  using Sink = std::function<void(std::int64_t chain, const ChainSummary& summary)>;

  ChainQueue(const RandomSource& stream, std::int64_t first, std::int64_t count,
             std::int64_t window, Sink sink)
      : m_next(stream),
        m_first(first),
        m_count(count),
        m_window(window),
        m_slots(static_cast<std::size_t>(window)),
        m_sink(std::move(sink)) {}

  // The next chain and its stream; false when none is left or the run stopped.
  bool take(RunControl& control, std::int64_t& chain, RandomSource& random) {
    if (control.pollStop()) return false;
    std::unique_lock lock(m_mutex);
    while (!control.pollStop() && m_taken < m_count && m_taken >= m_added + m_window) {
      m_space.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (control.stopped() || m_taken >= m_count) return false;
    chain = m_first + m_taken++;
    random = m_next;
    m_next.jump();
    return true;
  }

  // Files chain `chain`'s summary and passes on every summary now due, in chain order.
  void finish(std::int64_t chain, const ChainSummary& summary) {
    const std::lock_guard lock(m_mutex);
    Slot& slot = m_slots[static_cast<std::size_t>((chain - m_first) % m_window)];
    slot.summary = summary;
    slot.filled = true;
    bool added = false;
    for (;;) {
      Slot& due = m_slots[static_cast<std::size_t>(m_added % m_window)];
      if (!due.filled) break;
      m_sink(m_first + m_added, due.summary);
      due.filled = false;
      ++m_added;
      added = true;
    }
    if (added) m_space.notify_all();
  }

 private:
  struct Slot {
    ChainSummary summary;
    bool filled = false;
  };

  std::mutex m_mutex;
  std::condition_variable m_space;
  RandomSource m_next;
  std::int64_t m_first;
  std::int64_t m_count;
  std::int64_t m_window;
  std::int64_t m_taken = 0;  // chains handed out
  std::int64_t m_added = 0;  // chains passed on
  std::vector<Slot> m_slots;
  Sink m_sink;
};

// The growth models: one block of all the chains, added up in chain order.
RunResult growChains(const RunParams& params, RunControl& control, std::uint64_t seed) {
  RunResult out;
  out.seed = seed;
  ExtendedAccumulator extended(params.model);
  growBlock(
      params, control, RandomSource(seed), 0, params.iterations,
      [&](std::int64_t, const ChainSummary& summary) {
        out.sums.add(summary);
        extended.add(summary);
      },
      out.lastSites);
  if (!control.stopped()) {
    out.values = resultValues(params.model, params.steps, out.sums);
    out.extended = extended.result();
  }
  return out;
}

}  // namespace

void growBlock(const RunParams& params, RunControl& control, const RandomSource& stream,
               std::int64_t first, std::int64_t count, const ChainSink& sink,
               std::vector<Point>& lastSites) {
  const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), count));
  ChainQueue queue(stream, first, count, std::max<std::int64_t>(4096, 256 * std::int64_t{threads}),
                   sink);
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
        if (chain == params.iterations - 1) std::swap(lastSites, sites);
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
}

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
