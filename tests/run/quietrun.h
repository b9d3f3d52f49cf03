// A run of `p` to its end without progress reports, for the run layer's tests.
#pragma once

#include "polychain/run.h"

namespace polychain {

inline RunResult quietRun(const RunParams& p) {
  RunObserver quiet;
  return runSimulation(p, quiet);
}

}  // namespace polychain
