// The melt model's rules that its entry in the model table and its runner share: the plan a
// run's settings resolve to (the box, the burn-in given or measured, the sampling interval).
#pragma once

#include <cstdint>
#include <optional>

#include "chain/melt.h"
#include "polychain/model.h"

namespace polychain {

// The volume fraction of a melt when neither a density nor a box is given, and the most any
// run may ask for (the moves still go at 0.8; denser melts barely move).
inline constexpr double kDefaultMeltDensity = 0.5;
inline constexpr double kMostMeltDensity = 0.8;

// The walls that the setting's choice (its index among none, z, yz, xyz) names.
MeltWalls meltWalls(const MeltSettings& settings);

// The energy the settings give (zero for none).
MeltEnergy meltEnergy(const MeltSettings& settings);

// The box side of a melt of `steps` steps: the setting when given, else the whole number whose
// cube comes closest to C (N + 1) / density, but never so small that the volume fraction
// passes kMostMeltDensity, nor below the least side the walls allow.
std::int64_t meltSide(const MeltSettings& settings, std::int32_t steps);

// A melt run's plan, resolved once from its settings and N: what the check, the memory check
// and the runner read (the tally reads what the runner did).
struct MeltPlan {
  std::int64_t side = 0;  // meltSide
  // The sweeps before the first sample when given; else the run measures them
  // (kMeltBurnInTaus autocorrelation times of the end-to-end vectors, measured as it goes).
  std::optional<std::int64_t> burnIn;
  // The sweeps between samples when given; else, after a measured burn-in, the time it
  // measured, and after a given one the law of meltmodel.cpp.
  std::optional<std::int64_t> sweepsPerSample;
  // The law's autocorrelation time of the end-to-end vectors in sweeps: the first guess of a
  // measured burn-in, and its progress.
  double expectedTau = 1.0;
};
MeltPlan meltPlan(const MeltSettings& settings, std::int32_t steps);

// How many measured autocorrelation times a measured burn-in covers, each time taken high by
// its statistical error (EquilibrationWatch): a margin over the 10 that the run's note asks
// for, since the sampling measures the time again on more sweeps.
inline constexpr double kMeltBurnInTaus = 11.0;

}  // namespace polychain
