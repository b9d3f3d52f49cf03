// How a model's runs are carried out: the runner that a model's entry in the model table names
// (ModelInfo::runner). The run frame, the sample, the memory check, the team of processes and
// the sweep ask it for what they need and never which model it is.
//
// A run is made of units, unit i drawing from the run's stream jumped i times: a grower's
// chains, or a sampler's independent Markov chains. Each unit leaves a result of
// unitBytes(params) bytes, which travel between processes as they are, and the results are added up
// in unit order, so a run is the same bits however its units were spread over threads and
// processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "polychain/params.h"
#include "polychain/run.h"
#include "run/blockschedule.h"
#include "run/control.h"
#include "run/growblock.h"

namespace polychain {

// What a run leaves besides its numbers: the last chain, and the chains of a boxed sampler's
// last sample.
struct RunLeftovers {
  std::vector<Point> lastSites;
  std::optional<ChainBox> box;
};

// Receives the result of one unit, in unit order, one call at a time: `unitBytes(params)` bytes,
// then, when the run keeps each chain's values (RunParams::perChain) and the unit's chains do
// not follow from them, those values.
using UnitSink = std::function<void(std::int64_t unit, std::span<const std::byte> result)>;

// Adds up the results of a run's units, in unit order, into the run's numbers.
class UnitTally {
 public:
  virtual ~UnitTally() = default;
  // The result of the next unit.
  virtual void add(std::span<const std::byte> result) = 0;
  // Once every unit was added: the six results, the extended statistics and the model's
  // measures into `out`.
  virtual void finish(RunResult& out) = 0;
};

// What a run holds beyond each worker's chain, for the memory check: `bytes`, and how a refusal
// names them when they take the most ("Walkers = 8 (...)") with its advice.
struct RunnerMemory {
  std::uint64_t bytes = 0;
  std::string what;
  std::string advice;
};

class ModelRunner {
 public:
  virtual ~ModelRunner() = default;

  // The units of a run of `params`.
  virtual std::int64_t units(const RunParams& params) const = 0;
  // The samples (of Iterations) that units [first, first + count) take, for progress.
  virtual std::int64_t samples(const RunParams& params, std::int64_t first,
                               std::int64_t count) const = 0;
  // About how many lattice steps one unit costs, which sizes the blocks a team hands out.
  virtual std::int64_t unitCost(const RunParams& params) const = 0;
  // The bytes of one unit's result.
  virtual std::size_t unitBytes(const RunParams& params) const = 0;
  // Whether a run's samples are independent, so that the six results have standard errors.
  virtual bool independentSamples() const = 0;
  // Whether a team's processes all run the one unit together, each doing its share of every
  // step and taking the others' (RunControl::share), rather than taking units of their own.
  virtual bool sharedUnit() const { return false; }

  // Runs units [block.first, block.first + block.count), the first drawing from block.stream,
  // on this process's threads: hands each unit's result to `sink` in unit order and every
  // sampled chain's sites (by its index among the chains a sample of these parameters holds,
  // sampledChains) to `sites` when it is set, and leaves the run's last chain (and a boxed
  // sampler's last sample) in `left` when its unit is among them. Returns early when the run
  // stops.
  virtual void runUnits(const RunParams& params, const Block& block, RunControl& control,
                        const UnitSink& sink, RunLeftovers& left,
                        const ChainSitesSink& sites = {}) const = 0;

  // The chains that a sample of `params` holds: every chain of the run, or the chains in the
  // box of a sampler's last sample.
  virtual std::int64_t sampledChains(const RunParams& params) const { return params.iterations; }

  // A tally of a run's units.
  virtual std::unique_ptr<UnitTally> tally(const RunParams& params) const = 0;

  // What a run holds beyond each worker's chain.
  virtual RunnerMemory memory(const RunParams& /*params*/) const { return {}; }

  // The bytes a run holds at its peak for each chain whose values it keeps (RunParams::perChain);
  // 0 for a runner that does not keep them, whose RunResult::perChain stays empty.
  virtual std::uint64_t bytesPerKeptChain() const { return 0; }
};

// The runner that `model` names; std::logic_error when none has that name.
const ModelRunner& runnerOf(const ModelInfo& model);
inline const ModelRunner& runnerOf(const RunParams& params) {
  return runnerOf(modelOf(params.model));
}

// Each runner, where it is defined; runnerOf() asks for them by name.
const ModelRunner& growerRunner();
const ModelRunner& pivotRunner();
const ModelRunner& meltRunner();
const ModelRunner& permRunner();

// A trivially copyable value as a unit's result, and back.
template <class T>
std::span<const std::byte> resultBytes(const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  return std::as_bytes(std::span<const T, 1>(&value, 1));
}
template <class T>
T fromResultBytes(std::span<const std::byte> bytes) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, bytes.data(), sizeof(T));
  return value;
}

}  // namespace polychain
