// A model that only the tests offer: the free walk with two measures of each chain, the
// relative shape anisotropy (from the gyration tensor) and the largest extent along an axis.
// It proves that a growth model's new measure flows from the runner to every reader.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "polychain/model.h"
#include "polychain/params.h"
#include "polychain/run.h"

namespace polychain::reference {

const ModelInfo& shapeModel();

// A run of `p` (a free walk's) grown and tallied by the growers' runner with `model`'s
// measures of each chain, leaving each chain's sites in `chains` when it is given.
RunResult growWith(const ModelInfo& model, const RunParams& p,
                   std::map<std::int64_t, std::vector<Point>>* chains = nullptr);

// The shape model's two measures of one chain straight from its sites, the tensor taken about
// the centre found first.
std::array<double, 2> shapeOfSites(const std::vector<Point>& sites);

}  // namespace polychain::reference
