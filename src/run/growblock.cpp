#include "run/growblock.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "chain/growth.h"
#include "polychain/model.h"
#include "polychain/resources.h"
#include "run/sharedschedule.h"

namespace polychain {

namespace {

// The chains of a block shared among this process's threads: out in runs of kChainRun while
// many are left, so that short chains are not held up by the lock, one at a time near the end,
// so that the threads finish together; never more than a window ahead of the oldest chain not
// yet passed on, so that what waits does not grow with the chains.
constexpr std::int64_t kChainRun = 64;

using ChainQueue = SharedSchedule<std::vector<ChainSummary>>;

ChainQueue chainQueue(const RandomSource& stream, std::int64_t first, std::int64_t count,
                      int threads) {
  return ChainQueue(stream, first, count, std::max<std::int64_t>(4096, 4 * kChainRun * threads),
                    [runsUntil = threads == 1 ? kChainRun : 16 * kChainRun * threads](
                        std::int64_t left) { return left >= runsUntil ? kChainRun : 1; });
}

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

void growBlock(const ModelInfo& model, const RunParams& params, RunControl& control,
               const RandomSource& stream, std::int64_t first, std::int64_t count,
               const ChainSink& sink, std::vector<Point>& lastSites,
               const ChainSitesSink& chainSites) {
  if (model.grower == nullptr) {
    throw std::logic_error(std::string(model.key) + " grows no chains");
  }
  const std::vector<ChainMeasure> measures = chainMeasures(model);
  const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), count));
  ChainQueue queue = chainQueue(stream, first, count, threads);
  const std::int64_t restartAfter =
      params.restartTrapped > 0 ? params.restartTrapped : TrialCounter::kNever;
  const WaveNumbers waves = formFactorWaves(params);
  const std::int64_t every = formFactorEvery(params);
  RegionFailure failure;

#pragma omp parallel num_threads(threads)
  failure.guard(control, [&] {
    const std::unique_ptr<ChainGrower> grower = model.grower(params.steps, params.model);
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
        ChainSummary& summary =
            summaries.emplace_back(summarizeChain(sites, params.steps, measures));
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
      queue.finish(block, summaries,
                   [&sink](std::int64_t at, std::int64_t, const std::vector<ChainSummary>& due) {
                     for (const ChainSummary& summary : due) sink(at++, summary);
                   });
      control.chainDone(block.count);
    }
  });
  failure.rethrow();
}

}  // namespace polychain
