// Growing chains of a growth run on this process's threads: a block of consecutive chains,
// each from its own stream, their summaries handed on in chain order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "analysis/chainmeasures.h"
#include "chain/random.h"
#include "polychain/params.h"
#include "polychain/point.h"
#include "run/control.h"

namespace polychain {

class UnitTally;

// Receives the summaries of a block's chains in chain order, one call at a time.
using ChainSink = std::function<void(std::int64_t chain, const ChainSummary& summary)>;

// Receives the sites of one chain (origin first) on the worker thread that made it: once per
// chain, chains in any order and several at once, so each call writes only its own chain's
// place.
using ChainSitesSink = std::function<void(std::int64_t chain, std::span<const Point> sites)>;

// The wave numbers of a growth run's form factor, and its spacing: it is taken on chain i when
// i is a multiple of formFactorEvery(params), so that it costs a small share of the run on any
// thread count.
WaveNumbers formFactorWaves(const RunParams& params);
std::int64_t formFactorEvery(const RunParams& params);

// Grows chains [first, first + count) of a run of growth model `model` (the run's own, or one
// that grows its chains alike) on this process's threads, chain `first` drawing from `stream`
// and each later one from the stream jumped once more, each summary with the model's measures
// of each chain; leaves the sites of the run's last chain in `lastSites` when it is among
// them, and hands every chain's sites to `sites` when it is set. Stops early when the run
// stops; rethrows what is neither that nor a failed allocation.
void growBlock(const ModelInfo& model, const RunParams& params, RunControl& control,
               const RandomSource& stream, std::int64_t first, std::int64_t count,
               const ChainSink& sink, std::vector<Point>& lastSites,
               const ChainSitesSink& sites = {});

// The tally of a growth run of `model` (as growBlock's): the six results, the extended
// statistics, the form factor and the means of the model's measures of each chain.
std::unique_ptr<UnitTally> chainTally(const ModelInfo& model, const RunParams& params);

}  // namespace polychain
