#include "polychain/sweep.h"

#include <algorithm>
#include <string>

#include "analysis/statistics.h"
#include "chain/random.h"
#include "polychain/resources.h"

namespace polychain {

namespace {

// Passes everything through to the sweep's observer, turning a run's share of chains
// into a share of the whole sweep.
class PointObserver final : public RunObserver {
 public:
  PointObserver(SweepObserver& outer, double before, double share)
      : m_outer(outer), m_before(before), m_share(share) {}

  void progress(const RunProgress& p) override {
    RunProgress q = p;
    q.chains = static_cast<float>(
        std::min(100.0, (m_before + m_share * static_cast<double>(p.chains) / 100.0) * 100.0));
    m_outer.progress(q);
  }
  void correlationProgress(float percent) override { m_outer.correlationProgress(percent); }
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override {
    m_outer.chainSeemsTrapped(chain, trials);
  }
  bool cancelRequested() override { return m_outer.cancelRequested(); }

 private:
  SweepObserver& m_outer;
  double m_before;  // share of the sweep done before this run, 0 to 1
  double m_share;   // this run's share of the sweep
};

}  // namespace

std::uint64_t sweepPointSeed(std::uint64_t sweepSeed, std::size_t index) {
  std::uint64_t state = sweepSeed;
  std::uint64_t seed = 0;
  for (std::size_t i = 0; i <= index; ++i) seed = splitMix64(state);
  return seed;
}

void validateSweep(const SweepParams& params, std::string_view stepsField) {
  const std::string name(stepsField);
  if (params.steps.empty()) {
    throw InputError(name + " needs step counts to sweep, such as 100,200,400,800.");
  }
  for (std::int32_t n : params.steps) {
    if (n < 1) {
      throw InputError(name + ": every step count must be a whole number of at least 1; " +
                       std::to_string(n) + " is too small.");
    }
  }
  const auto first = params.steps.front();
  if (std::all_of(params.steps.begin(), params.steps.end(),
                  [first](auto n) { return n == first; })) {
    throw InputError(name + " needs at least two different step counts to fit an exponent.");
  }
  for (std::int32_t n : params.steps) {
    RunParams run = params.run;
    run.steps = n;
    run.calcParCF = false;
    validateParams(run);
  }
}

void checkSweepMemory(const SweepParams& params, int processesHere) {
  for (std::int32_t n : params.steps) {
    RunParams run = params.run;
    run.steps = n;
    run.calcParCF = false;
    checkMemory(run, processesHere);
  }
}

SweepResult runSweep(const SweepParams& params, SweepObserver& observer, const RunFunction& run) {
  validateSweep(params);
  SweepResult out;
  out.seed = params.seed.value_or(clockSeed());
  double total = 0.0;
  for (std::int32_t n : params.steps) total += n;
  double done = 0.0;
  for (std::size_t k = 0; k < params.steps.size(); ++k) {
    RunParams point = params.run;
    point.steps = params.steps[k];
    point.seed = sweepPointSeed(out.seed, k);
    point.calcParCF = false;
    if (observer.cancelRequested()) {
      out.status = RunStatus::Cancelled;
      return out;
    }
    observer.pointStarted(k, point.steps, *point.seed);
    PointObserver pointObserver(observer, done / total, point.steps / total);
    const RunResult result = run(point, pointObserver);
    if (result.status != RunStatus::Finished) {
      out.status = result.status;
      return out;
    }
    out.points.push_back({point.steps, *point.seed, result.extended});
    observer.pointFinished(k, out.points.back());
    done += point.steps;
  }
  std::vector<double> x, y, e;
  for (const SweepPoint& p : out.points) {
    x.push_back(p.steps);
    y.push_back(p.stats.rmsEnd.value);
    e.push_back(p.stats.rmsEnd.standardError);
  }
  out.fit = fitPowerLaw(x, y, e);
  return out;
}

}  // namespace polychain
