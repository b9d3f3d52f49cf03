#include "chain/growth.h"

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
  }
  return makeMeanderGrower(steps);
}

}  // namespace polychain
