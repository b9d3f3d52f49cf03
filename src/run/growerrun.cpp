// The runner every growth model shares: its units are the run's chains, grown from the origin
// by the model's grower on this process's threads, each leaving its summary.
#include "analysis/statistics.h"
#include "run/runner.h"

namespace polychain {

namespace {

class ChainTally final : public UnitTally {
 public:
  ChainTally(const ModelInfo& model, const RunParams& params)
      : m_model(model),
        m_steps(params.steps),
        m_keep(params.perChain),
        m_extended(m_model.countsTrials),
        m_waves(formFactorWaves(params)),
        m_every(formFactorEvery(params)),
        m_measures(chainMeasures(model).size()) {
    if (m_keep) {
      m_perChain.ends.reserve(static_cast<std::size_t>(params.iterations));
      m_perChain.squaredGyration.reserve(static_cast<std::size_t>(params.iterations));
    }
  }

  void add(std::span<const std::byte> result) override {
    const auto summary = fromResultBytes<ChainSummary>(result);
    m_sums.add(summary);
    m_extended.add(summary);
    m_measures.add(summary);
    if (summary.hasFormFactor) m_form.add(summary.formFactor);
    if (m_keep) {
      m_perChain.ends.push_back(summary.end);
      m_perChain.squaredGyration.push_back(summary.rg2CentreOfMass);
    }
  }

  void finish(RunResult& out) override {
    out.sums = m_sums;
    out.values = resultValues(m_model, m_steps, m_sums, true);
    out.extended = m_extended.result();
    out.perChain = std::move(m_perChain);
    out.measures = m_measures.values();
    if (m_form.added > 0) {
      out.formFactor =
          formFactorResult(m_waves, m_form, out.extended.meanSquaredRg.value, true, m_every);
    }
  }

 private:
  const ModelInfo& m_model;
  std::int32_t m_steps;
  bool m_keep;
  RunSums m_sums;
  ExtendedAccumulator m_extended;
  ChainValues m_perChain;
  WaveNumbers m_waves;
  std::int64_t m_every;
  WaveSums m_form;
  ChainMeasureSums m_measures;
};

class GrowerRunner final : public ModelRunner {
 public:
  std::int64_t units(const RunParams& params) const override { return params.iterations; }
  std::int64_t samples(const RunParams&, std::int64_t, std::int64_t count) const override {
    return count;
  }
  std::int64_t unitCost(const RunParams& params) const override { return params.steps; }
  std::size_t unitBytes(const RunParams&) const override { return sizeof(ChainSummary); }
  bool independentSamples() const override { return true; }

  void runUnits(const RunParams& params, const Block& block, RunControl& control,
                const UnitSink& sink, RunLeftovers& left,
                const ChainSitesSink& sites) const override {
    growBlock(
        modelOf(params.model), params, control, block.stream, block.first, block.count,
        [&sink](std::int64_t chain, const ChainSummary& summary) {
          sink(chain, resultBytes(summary));
        },
        left.lastSites, sites);
  }

  std::unique_ptr<UnitTally> tally(const RunParams& params) const override {
    return chainTally(modelOf(params.model), params);
  }

  // The tally's end and Rg^2 of each chain, reserved up front.
  std::uint64_t bytesPerKeptChain() const override { return sizeof(Point) + sizeof(double); }
};

}  // namespace

std::unique_ptr<UnitTally> chainTally(const ModelInfo& model, const RunParams& params) {
  return std::make_unique<ChainTally>(model, params);
}

const ModelRunner& growerRunner() {
  static const GrowerRunner runner;
  return runner;
}

}  // namespace polychain
