#include <stdexcept>

#include "chain/growth.h"

namespace polychain {

std::unique_ptr<ChainGrower> makeShortRangeGrower(const RunParams& /*params*/) {
  throw std::logic_error("The Short Range model is not available yet.");
}

}  // namespace polychain
