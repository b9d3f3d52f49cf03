// What each chain of a run leaves behind, the run's sums over its chains, and the six
// results computed from those sums. Numbers only; texts are written elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/formfactor.h"
#include "chain/chainshape.h"
#include "chain/lattice.h"
#include "polychain/model.h"

#include "polychain/results.h"

namespace polychain {

// A measure of each chain (MeasureInfo::ofChain), and the most of them a growth model may list.
using ChainMeasure = double (*)(const ChainShape& shape);
inline constexpr std::size_t kChainMeasures = 4;

// The measures of each chain that `model` lists, in the order of its measures; throws
// std::logic_error when one of them has no function or there are more than kChainMeasures.
std::vector<ChainMeasure> chainMeasures(const ModelInfo& model);

// What one chain leaves for the run's sums and for the extended statistics.
struct ChainSummary {
  Point end;                     // last site of the finished chain
  double rgTotal = 0.0;          // the size measure with the run's divisor N
  double rg2CentreOfMass = 0.0;  // mean squared distance of the sites from their centre of mass
  std::int64_t sites = 0;        // records in the chain
  std::int64_t trials = 0;       // trial steps made (accepted or not)
  std::int64_t discarded = 0;    // trials refused by the occupancy or zone rules
  std::int64_t backups = 0;      // sites abandoned by back-ups
  std::int64_t restarts = 0;     // times the chain was regrown from the origin
  // The values of the model's measures of each chain (chainMeasures), in their order.
  std::array<double, kChainMeasures> measures{};
  // P(q) of this chain at the run's wave numbers, when it is among the chains whose form
  // factor the run takes; in single precision, as every chain's summary carries it.
  bool hasFormFactor = false;
  std::array<float, kWavePoints> formFactor{};
};

// The summary of a finished chain from its sites, the size measure taken with `divisor`, with
// the values of `measures`. One pass over the sites for the size measure, the centre of mass
// and, when there are measures, the shape they are taken from.
ChainSummary summarizeChain(std::span<const Point> sites, std::int32_t divisor,
                            std::span<const ChainMeasure> measures = {});

// A run's sums of its `count` measures of each chain, over its chains in chain order.
class ChainMeasureSums {
 public:
  explicit ChainMeasureSums(std::size_t count) : m_count(count) {}
  void add(const ChainSummary& chain);
  // Each measure's mean over the chains with its standard error, in the model's order.
  std::vector<MeasureValue> values() const;

 private:
  std::size_t m_count;
  double m_chains = 0.0;
  std::array<double, kChainMeasures> m_sums{};
  std::array<double, kChainMeasures> m_squares{};
};

// The six results of a run of `model` with N = `steps` over the chains summed in `sums`, with
// the standard errors of the calculated ones when the chains are `independent`.
ResultValues resultValues(const ModelInfo& model, std::int32_t steps, const RunSums& sums,
                          bool independent);

}  // namespace polychain
