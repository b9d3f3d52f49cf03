#include "run/growblock.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "chain/growth.h"
#include "polychain/model.h"
#include "polychain/resources.h"
#include "run/blockschedule.h"

namespace polychain {

namespace {

// The chains of a block shared among this process's threads: out in runs of kRun while many
// are left, so that short chains are not held up by the lock, one at a time near the end, so
// that the threads finish together; never more than a window ahead of the oldest chain not
// yet passed on, so that what waits does not grow with the chains.
class ChainQueue {
 public:
  static constexpr std::int64_t kRun = 64;

  ChainQueue(const RandomSource& stream, std::int64_t first, std::int64_t count, int threads,
             ChainSink sink)
      : m_schedule(stream, first, count, std::max<std::int64_t>(4096, 4 * kRun * threads),
                   [runsUntil = threads == 1 ? kRun : 16 * kRun * threads](std::int64_t left) {
                     return left >= runsUntil ? kRun : 1;
                   }),
        m_sink(std::move(sink)) {}

  // The next chains into `block`; false when none is left or the run stopped.
  bool take(RunControl& control, Block& block) {
    if (control.pollStop()) return false;
    std::unique_lock lock(m_mutex);
    for (;;) {
      const auto next = m_schedule.next(block);
      if (next != Schedule::Next::Wait) return next == Schedule::Next::Block && !control.stopped();
      if (control.pollStop()) return false;
      m_space.wait_for(lock, std::chrono::milliseconds(10));
    }
  }

  // Files the summaries of `block`'s chains and passes on every summary now due, in chain
  // order.
  void finish(const Block& block, std::vector<ChainSummary>& summaries) {
    const std::lock_guard lock(m_mutex);
    const bool passed = m_schedule.finish(
        block.first, block.count, summaries,
        [this](std::int64_t first, std::int64_t, const std::vector<ChainSummary>& due) {
          for (const ChainSummary& summary : due) m_sink(first++, summary);
        });
    if (passed) m_space.notify_all();
  }

 private:
  using Schedule = BlockSchedule<std::vector<ChainSummary>>;
  std::mutex m_mutex;
  std::condition_variable m_space;
  Schedule m_schedule;
  ChainSink m_sink;
};

}  // namespace

WaveNumbers formFactorWaves(const RunParams& params) {
  return waveNumbers(formFactorPeriod(params.steps, modelOf(params.model).sizeExponent));
}

// Measured at N = 100 and 1000 on one thread: a chain's form factor costs about 1.0 to 2.4 times
// its growth for the free walk and 0.12 to 0.4 times for the self-avoiding and short-range
// growers (whose Kuhn length spreads a chain over more layers); with the chain's summary it
// carries, one chain in 32 still cost a free walk of N = 20000 some 11 % (whole processes), one
// in 128 a few per cent.
std::int64_t formFactorEvery(const RunParams& params) {
  return modelOf(params.model).selfAvoiding ? 8 : 128;
}

void growBlock(const RunParams& params, RunControl& control, const RandomSource& stream,
               std::int64_t first, std::int64_t count, const ChainSink& sink,
               std::vector<Point>& lastSites, const ChainSitesSink& chainSites) {
  const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), count));
  ChainQueue queue(stream, first, count, threads, sink);
  const std::int64_t restartAfter =
      params.restartTrapped > 0 ? params.restartTrapped : TrialCounter::kNever;
  const WaveNumbers waves = formFactorWaves(params);
  const std::int64_t every = formFactorEvery(params);
  RegionFailure failure;

#pragma omp parallel num_threads(threads)
  failure.guard(control, [&] {
    const std::unique_ptr<ChainGrower> grower = makeGrower(params.model, params.steps);
    AxisFourier fourier(waves);
    std::vector<Point> sites;
    std::vector<ChainSummary> summaries;
    Block block;
    while (queue.take(control, block)) {
      summaries.clear();
      RandomSource chainStream = block.stream;
      for (std::int64_t chain = block.first; chain < block.first + block.count;
           ++chain, chainStream.jump()) {
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
        if (chain % every == 0) {
          summary.hasFormFactor = true;
          std::ranges::copy(fourier.formFactor(sites), summary.formFactor.begin());
        }
        if (chainSites) chainSites(chain, sites);
        if (chain == params.iterations - 1) std::swap(lastSites, sites);
      }
      if (std::ssize(summaries) < block.count) break;  // stopped
      queue.finish(block, summaries);
      control.chainDone(block.count);
    }
  });
  failure.rethrow();
}

}  // namespace polychain
