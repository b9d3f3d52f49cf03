#include "polychain/params.h"

#include <algorithm>
#include <chrono>

namespace polychain {

void validateParams(const RunParams& params) {
  requireAtLeastOne(params.steps, "steps");
  requireAtLeastOne(params.iterations, "iterations");
  if (params.threads < 0) throw InputError("threads", "{threads} must not be negative.");
  if (params.maxTrials < 0) throw InputError("max_trials", "{max_trials} must not be negative.");
  if (params.restartTrapped < 0) {
    throw InputError("restart_trapped", "{restart_trapped} must not be negative.");
  }
  const ModelInfo& model = modelOf(params.model);
  for (const SettingInfo& setting : model.settings) {
    if (const auto value = setting.get(params.model)) {
      checkSetting(setting, *value);
    }
  }
  model.check(params.model, params.steps);
}

std::uint64_t clockSeed() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

}  // namespace polychain
