#include "analysis/paircorrelation.h"

namespace polychain {

std::optional<CorrelationTexts> gorCalc(std::span<const Point> /*sites*/, std::int32_t /*n*/,
                                        const std::function<bool(float)>& /*progress*/) {
  return CorrelationTexts{};  // placeholder until the pair count lands
}

}  // namespace polychain
