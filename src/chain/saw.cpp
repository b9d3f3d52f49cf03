#include <stdexcept>

#include "chain/growth.h"

namespace polychain {

std::unique_ptr<ChainGrower> makeSawGrower(const RunParams& /*params*/) {
  throw std::logic_error("The SAW model is not available yet.");
}

}  // namespace polychain
