// The pivot model's rules that its entry in the model table and its runner share.
#pragma once

#include <cstdint>

#include "polychain/model.h"

namespace polychain {

// The least burn-in of a walker without a setting, in attempted pivots.
inline constexpr std::int64_t kMinimumPivotBurnIn = 10'000;
// The most walkers of a run without a setting.
inline constexpr std::int32_t kMostPivotWalkers = 8;

// The attempted pivots a run of `samples` samples measures (all walkers together).
std::int64_t pivotMeasuredAttempts(const PivotSettings& settings, std::int64_t samples);

// The attempted pivots before a walker's first sample: the setting when given, else a burn-in
// that leaves the start's bias well below the errors of the `samples` asked for (see
// pivotmodel.cpp), from kMinimumPivotBurnIn to N.
std::int64_t pivotBurnIn(const PivotSettings& settings, std::int32_t steps, std::int64_t samples);

// The walkers of a run of `samples` samples: the setting when given, else as many as measure
// at least what their starts cost each, from 1 to kMostPivotWalkers; never more than the
// samples.
std::int64_t pivotWalkers(const PivotSettings& settings, std::int32_t steps, std::int64_t samples);

}  // namespace polychain
