#include "polychain/params.h"

#include <algorithm>
#include <chrono>

namespace polychain {

void validateParams(const RunParams& params) {
  requireAtLeastOne(params.steps, "Steps (N)");
  requireAtLeastOne(params.iterations, "Iterations");
  if (params.threads < 0) throw InputError("The thread count must not be negative.");
  if (params.maxTrials < 0) throw InputError("The trial cap must not be negative.");
  if (params.restartTrapped < 0) {
    throw InputError("The trials before a trapped chain is regrown must not be negative.");
  }
  const ModelInfo& model = modelOf(params.model);
  for (const SettingInfo& setting : model.settings) {
    if (const auto value = setting.get(params.model)) {
      checkSetting(setting, *value, setting.field.empty() ? setting.option : setting.field);
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
