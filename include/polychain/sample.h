// Many independent chains of one model kept whole: every chain of a growth run, or the samples
// of a pivot run, as one flat array of sites. The same parameters and seed give the same sites
// on any number of threads, and chain i is the chain i a run of the same parameters grows (its
// last chain is the run's last chain). Chains hold N + 1 sites, but a short-range chain holds
// N less one per back-up.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "polychain/params.h"
#include "polychain/point.h"
#include "polychain/run.h"

namespace polychain {

struct ChainSample {
  RunStatus status = RunStatus::Finished;
  std::uint64_t seed = 0;
  std::int64_t chains = 0;  // C
  // Chain c's sites, origin first, at [starts[c], starts[c + 1]); empty unless Finished.
  std::vector<Point> sites;
  std::vector<std::int64_t> starts;   // C + 1 entries
  std::int64_t trialLimitChain = -1;  // when TrialLimit: the chain (0-based) that passed the cap
  // For a model whose sample is a box of chains (the melt's): the box they sit in, unwrapped
  // with each chain's first site inside it; they need no placing. Its `sites` stay empty.
  std::optional<ChainBox> box;
  // What the model measured while sampling (its measures, in their order; for the melt how far
  // it is equilibrated), when Finished.
  std::vector<MeasureValue> measures;

  std::span<const Point> chain(std::int64_t c) const {
    const auto at = static_cast<std::size_t>(c);
    return std::span<const Point>(sites).subspan(
        static_cast<std::size_t>(starts[at]),
        static_cast<std::size_t>(starts[at + 1] - starts[at]));
  }
};

// Makes `params` a sample of `count` chains: its Iterations, or for a model whose sample count
// is a setting (ModelInfo::sampleCount, the melt's chains) that setting, with the model's
// Iterations of a sample.
void setSampleCount(RunParams& params, std::int64_t count);

// The chains a sample of `params` holds.
std::int64_t sampledChains(const RunParams& params);

// The bytes a sample of `params` holds at its peak: the run's own need,
// 12 bytes a site for the sites, and `extraBytesPerSite` a site for what the caller makes of
// them (such as the placed copy).
std::uint64_t sampleMemoryNeeded(const RunParams& params, std::uint64_t extraBytesPerSite);

// Checks `params` once for a sample: throws InputError for what validateParams refuses, then
// MemoryRefusal naming the chains and N when sampleMemoryNeeded exceeds the memory available.
CheckedRun checkSample(const RunParams& params, std::uint64_t extraBytesPerSite);

// Grows params.iterations chains of params.model with the run frame, honouring the trial cap
// and the observer's cancel request (the status says why it stopped), which it also asks while
// it fills the room of the sites and closes the gaps short chains leave in it.
ChainSample sampleChains(const CheckedRun& run, RunObserver& observer);
// The same after checkSample(params, 0).
ChainSample sampleChains(const RunParams& params, RunObserver& observer);

}  // namespace polychain
