#include "polychain/run.h"

#include <new>

#include "polychain/resources.h"
#include "run/control.h"
#include "run/growblock.h"
#include "run/pivotrun.h"

namespace polychain {

namespace {

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

CheckedRun CheckedRun::seeded(std::uint64_t seed) const {
  CheckedRun run = *this;
  run.m_params.seed = seed;
  return run;
}

CheckedRun checkRun(const RunParams& params, int processesHere) {
  validateParams(params);
  checkMemory(params, processesHere);
  return CheckedRun(params);
}

RunResult runSimulation(const RunParams& params, RunObserver& observer) {
  return runSimulation(checkRun(params), observer);
}

RunResult runSimulation(const CheckedRun& run, RunObserver& observer) {
  const RunParams& params = run.params();
  const std::uint64_t seed = params.seed.value_or(clockSeed());
  RunControl control(observer, params);
  RunResult out = modelOf(params.model).kind == ModelKind::Sampler
                      ? runPivotWalkers(params, control, seed)
                      : growChains(params, control, seed);
  finishRun(params, control, out);
  return out;
}

}  // namespace polychain
