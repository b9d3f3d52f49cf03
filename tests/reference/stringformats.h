// The formats of placed chains each built as one whole string, the simplest way, record by
// record in file order (the GSD header written last, over room left for it): the writers that
// stream their files in pieces must give the very same bytes. No checks of fit.
#pragma once

#include <string>

#include "polychain/placement.h"

namespace polychain::reference {

std::string wholeGsd(const Ensemble& ensemble);
std::string wholeLammpsData(const Ensemble& ensemble);
std::string wholePdb(const Ensemble& ensemble);
std::string wholeExtendedXyz(const Ensemble& ensemble);

}  // namespace polychain::reference
