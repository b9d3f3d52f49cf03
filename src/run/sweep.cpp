#include "polychain/sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "analysis/scalingfit.h"
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

SweepParams sweepSeriesParams(const SweepParams& params, const SweepVaried& varied,
                              std::size_t index) {
  SweepParams one = params;
  varied.setting->set(one.run.model, SettingValue{varied.values.at(index)});
  return one;
}

std::uint64_t sweepSeriesSeed(std::uint64_t sweepSeed, std::size_t index, std::size_t stepsCount) {
  // Each SplitMix64 output adds its increment to the state, so skipping outputs is a product.
  constexpr std::uint64_t kIncrement = 0x9e3779b97f4a7c15ULL;
  return sweepSeed +
         static_cast<std::uint64_t>(index) * static_cast<std::uint64_t>(stepsCount) * kIncrement;
}

SweepCurve sweepCurve(const SweepResult& result) {
  SweepCurve curve;
  const auto& points = result.points;
  for (const SweepPoint& p : points) {
    const double n = p.steps;
    curve.perStep.push_back(
        {p.stats.meanSquaredEnd.value / n, p.stats.meanSquaredEnd.standardError / n});
  }
  for (std::size_t k = 0; k + 1 < points.size(); ++k) {
    const Estimate& a = points[k].stats.meanSquaredEnd;
    const Estimate& b = points[k + 1].stats.meanSquaredEnd;
    const double span = 2.0 * std::log(static_cast<double>(points[k + 1].steps) /
                                       static_cast<double>(points[k].steps));
    const double ra = a.standardError / a.value;
    const double rb = b.standardError / b.value;
    curve.effectiveExponent.push_back(
        {std::log(b.value / a.value) / span, std::sqrt(ra * ra + rb * rb) / std::abs(span)});
  }
  return curve;
}

std::vector<std::int32_t> defaultSweepSteps(const ModelInfo& model) {
  std::vector<std::int32_t> steps;
  if (model.budget == nullptr) return steps;
  for (std::int32_t n = model.budget->first; n <= model.budget->last; n *= 2) steps.push_back(n);
  return steps;
}

std::int64_t budgetWork(const SweepBudget& rule, std::int64_t budget, std::int32_t steps) {
  const double share =
      std::pow(static_cast<double>(rule.referenceSteps) / static_cast<double>(std::max(steps, 1)),
               rule.costExponent);
  return std::max<std::int64_t>(1, std::llround(static_cast<double>(budget) * share));
}

RunParams sweepPointParams(const SweepParams& params, std::size_t index) {
  RunParams run = params.run;
  run.steps = params.steps[index];
  run.calcParCF = false;
  run.seed.reset();
  const SweepBudget* rule = modelOf(run.model).budget;
  if (params.budget && rule != nullptr) {
    run.iterations = rule->fit(run.model, run.steps, budgetWork(*rule, *params.budget, run.steps));
  }
  return run;
}

CheckedSweep checkSweep(const SweepParams& params, std::string_view stepsField, int processesHere) {
  const std::string name(stepsField);
  if (params.steps.empty()) {
    throw InputError("steps", name + " needs step counts to sweep, such as 100,200,400,800.");
  }
  for (std::int32_t n : params.steps) {
    if (n < 1) {
      throw InputError("steps", name + ": every step count must be a whole number of at least 1; " +
                                    std::to_string(n) + " is too small.");
    }
  }
  const auto first = params.steps.front();
  if (std::all_of(params.steps.begin(), params.steps.end(),
                  [first](auto n) { return n == first; })) {
    throw InputError("steps",
                     name + " needs at least two different step counts to fit an exponent.");
  }
  if (params.budget) requireAtLeastOne(*params.budget, "budget");
  if (!(params.correctionExponent > 0.0) || !std::isfinite(params.correctionExponent)) {
    throw InputError("correction_exponent", "{correction_exponent} must be a positive number.");
  }
  // Every N's parameters before any N's memory, so that a refusal of the parameters, which
  // is the same on every process of a team, comes before one of the memory, which need not be.
  CheckedSweep sweep;
  sweep.m_params = params;
  for (std::size_t k = 0; k < params.steps.size(); ++k) {
    const RunParams point = sweepPointParams(params, k);
    validateParams(point);
    sweep.m_points.push_back(CheckedSweep::checked(point));
  }
  for (const CheckedRun& point : sweep.m_points) checkMemory(point.params(), processesHere);
  return sweep;
}

SweepResult runSweep(const SweepParams& params, SweepObserver& observer) {
  return runSweep(checkSweep(params), observer);
}

SweepResult runSweep(const CheckedSweep& sweep, SweepObserver& observer, const RunFunction& run) {
  const SweepParams& params = sweep.params();
  SweepResult out;
  out.seed = params.seed.value_or(clockSeed());
  // Each N weighs as its time: about its N, or the same for all with a pivot budget.
  const bool even = params.budget && modelOf(params.run.model).budget != nullptr;
  const auto weight = [even](std::int32_t n) { return even ? 1.0 : static_cast<double>(n); };
  double total = 0.0;
  for (std::int32_t n : params.steps) total += weight(n);
  double done = 0.0;
  for (std::size_t k = 0; k < params.steps.size(); ++k) {
    const CheckedRun checked = sweep.point(k).seeded(sweepPointSeed(out.seed, k));
    const RunParams& point = checked.params();
    if (observer.cancelRequested()) {
      out.status = RunStatus::Cancelled;
      return out;
    }
    observer.pointStarted(k, point.steps, *point.seed);
    PointObserver pointObserver(observer, done / total, weight(point.steps) / total);
    const RunResult result =
        run ? run(checked, pointObserver) : runSimulation(checked, pointObserver);
    if (result.status != RunStatus::Finished) {
      out.status = result.status;
      return out;
    }
    SweepPoint& kept = out.points.emplace_back(
        SweepPoint{point.steps, *point.seed, result.extended, result.measures});
    const ModelInfo& model = modelOf(point.model);
    for (std::size_t m = 0; m < kept.measures.size(); ++m) {
      if (!model.measures[m].inSweep) kept.measures[m] = MeasureValue{};
    }
    observer.pointFinished(k, out.points.back());
    done += weight(point.steps);
  }
  std::vector<double> x, y, e;
  for (const SweepPoint& p : out.points) {
    x.push_back(p.steps);
    y.push_back(p.stats.rmsEnd.value);
    e.push_back(p.stats.rmsEnd.standardError);
  }
  out.fit = fitPowerLaw(x, y, e);
  std::vector<double> r2, r2Error, rg2, rg2Error, ratio, ratioError;
  for (const SweepPoint& p : out.points) {
    r2.push_back(p.stats.meanSquaredEnd.value);
    r2Error.push_back(p.stats.meanSquaredEnd.standardError);
    rg2.push_back(p.stats.meanSquaredRg.value);
    rg2Error.push_back(p.stats.meanSquaredRg.standardError);
    ratio.push_back(p.stats.ratio.value);
    ratioError.push_back(p.stats.ratio.standardError);
  }
  const double delta = params.correctionExponent;
  out.correctedR2 = fitCorrectedPowerLaw(x, r2, r2Error, delta);
  out.correctedRg2 = fitCorrectedPowerLaw(x, rg2, rg2Error, delta);
  out.ratioLimit = fitLimit(x, ratio, ratioError, delta);
  const int logPartition = modelOf(params.run.model).findMeasure("log_partition");
  if (logPartition >= 0) {
    std::vector<double> logZ, logZError;
    for (const SweepPoint& p : out.points) {
      const MeasureValue& v = p.measures.at(static_cast<std::size_t>(logPartition));
      logZ.push_back(v.value);
      logZError.push_back(v.standardError);
    }
    out.growth = fitGrowth(x, logZ, logZError, delta);
  }
  return out;
}

}  // namespace polychain
