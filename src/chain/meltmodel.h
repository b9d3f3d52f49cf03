// The melt model's rules that its entry in the model table and its runner share: the box a
// run's settings give, and the default burn-in and sampling interval.
#pragma once

#include <cstdint>

#include "chain/melt.h"
#include "polychain/model.h"

namespace polychain {

// The volume fraction of a melt when neither a density nor a box is given, and the most any
// run may ask for (the moves still go at 0.8; denser melts barely move).
inline constexpr double kDefaultMeltDensity = 0.5;
inline constexpr double kMostMeltDensity = 0.8;

// The walls that the setting's choice (its index among none, z, yz, xyz) names.
MeltWalls meltWalls(const MeltSettings& settings);

// The box side of a melt of `steps` steps: the setting when given, else the whole number whose
// cube comes closest to C (N + 1) / density, but never so small that the volume fraction
// passes kMostMeltDensity, nor below the least side the walls allow.
std::int64_t meltSide(const MeltSettings& settings, std::int32_t steps);

// The sweeps before the first sample and between samples: the settings when given, else the
// rules chosen by measurement (meltmodel.cpp).
std::int64_t meltBurnIn(const MeltSettings& settings, std::int32_t steps);
std::int64_t meltSweepsPerSample(const MeltSettings& settings, std::int32_t steps);

}  // namespace polychain
