// The pivot model's rules that its entry in the model table and its runner share.
#pragma once

#include <algorithm>
#include <cstdint>

#include "chain/pivot.h"
#include "polychain/model.h"

namespace polychain {

// The burn-in of a walker without a setting: N attempted pivots, but at least this many.
inline constexpr std::int64_t kMinimumPivotBurnIn = 10'000;
// The most walkers of a run without a setting.
inline constexpr std::int32_t kMostPivotWalkers = 8;

// The energy its walks weigh by: zero unless a contact or bend energy is set.
inline PivotEnergy pivotEnergy(const PivotSettings& settings) {
  return PivotEnergy{.contact = settings.contactEnergy.value_or(0.0),
                     .bend = settings.bendEnergy.value_or(0.0)};
}

// The attempted pivots before a walker's first sample: the setting when given, else N but at
// least kMinimumPivotBurnIn.
inline std::int64_t pivotBurnIn(const PivotSettings& settings, std::int32_t steps) {
  return settings.burnIn.value_or(std::max<std::int64_t>(steps, kMinimumPivotBurnIn));
}

// The walkers of a run of `samples` samples: the setting when given, else as many as measure
// at least what their starts cost each (pivotmodel.cpp), from 1 to kMostPivotWalkers; never
// more than the samples.
std::int64_t pivotWalkers(const PivotSettings& settings, std::int32_t steps, std::int64_t samples);

}  // namespace polychain
