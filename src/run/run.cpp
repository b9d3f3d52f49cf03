#include "polychain/run.h"

#include <omp.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <span>

#include "chain/growth.h"
#include "polychain/resources.h"
#include "run/control.h"
#include "run/pivotrun.h"

namespace polychain {

namespace {

// Hands out the chains of a block in order with the random stream of each, and passes their
// summaries on in chain order as they finish. While many are left the chains go out in runs
// of kRun, so that short chains are not held up by the lock; one at a time near the end, so
// that several threads finish together. Chains are handed out only while fewer than `window`
// wait to be passed on, so what is held does not grow with the chains.
class ChainQueue {
 public:
  using Sink = std::function<void(std::int64_t chain, const ChainSummary& summary)>;
  static constexpr std::int64_t kRun = 64;

  ChainQueue(const RandomSource& stream, std::int64_t first, std::int64_t count, int threads,
             Sink sink)
      : m_next(stream),
        m_first(first),
        m_count(count),
        m_window(std::min(count, std::max<std::int64_t>(4096, 4 * kRun * threads))),
        m_runsUntil(threads == 1 ? kRun : 16 * kRun * threads),
        m_slots(static_cast<std::size_t>(m_window)),
        m_sink(std::move(sink)) {}

  // The next chains [chain, chain + count), the first's stream in `random` (each later one's
  // is that stream jumped once more); false when none is left or the run stopped.
  bool take(RunControl& control, std::int64_t& chain, std::int64_t& count, RandomSource& random) {
    if (control.pollStop()) return false;
    std::unique_lock lock(m_mutex);
    const auto size = [this] { return m_count - m_taken >= m_runsUntil ? kRun : 1; };
    while (!control.pollStop() && m_taken < m_count && m_taken + size() > m_added + m_window) {
      m_space.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (control.stopped() || m_taken >= m_count) return false;
    count = size();
    chain = m_first + m_taken;
    random = m_next;
    if (count == kRun) {
      m_next.jump64();
    } else {
      m_next.jump();
    }
    m_taken += count;
    return true;
  }

  // Files the summaries of chains [chain, chain + size) and passes on every summary now due,
  // in chain order.
  void finish(std::int64_t chain, std::span<const ChainSummary> summaries) {
    const std::lock_guard lock(m_mutex);
    for (const ChainSummary& summary : summaries) {
      Slot& slot = m_slots[static_cast<std::size_t>((chain++ - m_first) % m_window)];
      slot.summary = summary;
      slot.filled = true;
    }
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
  std::int64_t m_runsUntil;  // runs of chains go out while at least this many are left
  std::int64_t m_taken = 0;  // chains handed out
  std::int64_t m_added = 0;  // chains passed on
  std::vector<Slot> m_slots;
  Sink m_sink;
};

// The growth models: one block of all the chains, added up in chain order.
RunResult growChains(const RunParams& params, RunControl& control, std::uint64_t seed) {
  RunResult out;
  out.seed = seed;
  const ModelInfo& model = modelOf(params.model);
  ExtendedAccumulator extended(model.countsTrials);
  growBlock(
      params, control, RandomSource(seed), 0, params.iterations,
      [&](std::int64_t, const ChainSummary& summary) {
        out.sums.add(summary);
        extended.add(summary);
      },
      out.lastSites);
  if (!control.stopped()) {
    out.values = resultValues(model, params.steps, out.sums);
    out.extended = extended.result();
  }
  return out;
}

}  // namespace

void growBlock(const RunParams& params, RunControl& control, const RandomSource& stream,
               std::int64_t first, std::int64_t count, const ChainSink& sink,
               std::vector<Point>& lastSites, const ChainSitesSink& chainSites) {
  const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), count));
  ChainQueue queue(stream, first, count, threads, sink);
  const std::int64_t restartAfter =
      params.restartTrapped > 0 ? params.restartTrapped : TrialCounter::kNever;
  RegionFailure failure;

#pragma omp parallel num_threads(threads)
  failure.guard(control, [&] {
    const std::unique_ptr<ChainGrower> grower = makeGrower(params.model, params.steps);
    std::vector<Point> sites;
    std::vector<ChainSummary> summaries;
    std::int64_t from = 0;
    std::int64_t taken = 0;
    RandomSource chainStream(0);
    while (queue.take(control, from, taken, chainStream)) {
      summaries.clear();
      for (std::int64_t chain = from; chain < from + taken; ++chain, chainStream.jump()) {
        ChainMonitor monitor(control, chain);
        TrialCounter counter(monitor, restartAfter, monitor.firstCheck());
        RandomSource random = chainStream;
        const ChainGrowth growth = grower->grow(random, sites, counter);
        if (growth.stopped) break;
        ChainSummary& summary = summaries.emplace_back(summarizeChain(sites, params.steps));
        summary.trials = growth.trials;
        summary.discarded = growth.discarded;
        summary.backups = growth.backups;
        summary.restarts = growth.restarts;
        if (chainSites) chainSites(chain, sites);
        if (chain == params.iterations - 1) std::swap(lastSites, sites);
      }
      if (std::ssize(summaries) < taken) break;  // stopped
      queue.finish(from, summaries);
      control.chainDone(taken);
    }
  });
  failure.rethrow();
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
    out.trialLimitChain = control.trialLimitChain();
  }
}

RunResult runSimulation(const RunParams& params, RunObserver& observer) {
  validateParams(params);
  checkMemory(params);
  const std::uint64_t seed = params.seed.value_or(clockSeed());
  RunControl control(observer, params);
  RunResult out = modelOf(params.model).kind == ModelKind::Sampler
                      ? runPivotWalkers(params, control, seed)
                      : growChains(params, control, seed);
  finishRun(params, control, out);
  return out;
}

}  // namespace polychain
