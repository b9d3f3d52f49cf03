#include "polychain/run.h"

#include <new>

#include "polychain/resources.h"
#include "run/control.h"
#include "run/runner.h"

namespace polychain {

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
  const ModelRunner& runner = runnerOf(params);
  RunResult out;
  out.seed = seed;
  const std::unique_ptr<UnitTally> tally = runner.tally(params);
  RunLeftovers left;
  runner.runUnits(
      params, Block{0, runner.units(params), RandomSource(seed)}, control,
      [&tally](std::int64_t, std::span<const std::byte> result) { tally->add(result); }, left);
  if (!control.stopped()) {
    tally->finish(out);
    out.lastSites = std::move(left.lastSites);
    out.box = std::move(left.box);
  }
  finishRun(params, control, out);
  return out;
}

}  // namespace polychain
