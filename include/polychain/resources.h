// What a run will need of the machine, estimated before it starts, against what the
// machine (and this process's limits) can give.
#pragma once

#include <cstdint>
#include <string>

#include "polychain/params.h"

namespace polychain {

// The bytes a run of `params` will hold at its peak, an estimate that errs on the high side:
// each worker thread's stack, chain and indexes, what the model's runner holds besides (such
// as the pivot walkers' results), the last chain and its export text, the g(r) arrays when it
// computes them, and each chain's values when it keeps them (RunParams::perChain). It grows with
// Iterations only through what the runner holds and the values kept, each at most a few hundred
// bytes per iteration.
std::uint64_t runMemoryNeeded(const RunParams& params);

// The bytes this process can still take: the least of the memory the system reports
// available, the address-space and data limits (setrlimit) less what the process holds, and
// its control group's limit less its use.
std::uint64_t memoryAvailable();

// A run refused because it would not fit in the memory available: an InputError, so that it
// reads as every refusal does, told apart where a front end says it differently.
class MemoryRefusal : public InputError {
 public:
  using InputError::InputError;
};

// Throws MemoryRefusal when runMemoryNeeded(params) exceeds memoryAvailable(), or its share
// of it when `processesHere` processes of one job run on this machine, naming what takes most
// of it (N, the threads or what the runner holds, such as the walkers).
void checkMemory(const RunParams& params, int processesHere = 1);

// What to change when a sample of `params` does not fit: what the model's runner advises when
// what it holds is most of it (such as a smaller box), else fewer chains or a smaller N.
std::string sampleMemoryAdvice(const RunParams& params);

// The worker threads a run of `params` uses: the thread count asked for (or all the machine
// offers), and never more than there are chains.
int runThreads(const RunParams& params);

}  // namespace polychain
