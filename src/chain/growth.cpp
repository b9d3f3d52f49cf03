#include "chain/growth.h"

#include <stdexcept>

namespace polychain {

std::unique_ptr<ChainGrower> makeGrower(const ModelSettings& settings, std::int32_t steps) {
  const ModelInfo& model = modelOf(settings);
  if (model.grower == nullptr) {
    throw std::invalid_argument("makeGrower: the " + std::string(model.key) +
                                " model grows no chains");
  }
  return model.grower(steps, settings);
}

}  // namespace polychain
