#include "chain/growth.h"

#include <stdexcept>

namespace polychain {

std::unique_ptr<ChainGrower> makeGrower(Model model, std::int32_t steps, std::int32_t avoid,
                                        std::int32_t kuhn) {
  switch (model) {
    case Model::Meander:
      return makeMeanderGrower(steps);
    case Model::SAW:
      return makeSawGrower(steps, avoid);
    case Model::ShortRange:
      return makeShortRangeGrower(steps, kuhn);
    case Model::Pivot:
      break;  // sampled by walkers, not grown
  }
  throw std::invalid_argument("makeGrower: the pivot model grows no chains");
}

}  // namespace polychain
