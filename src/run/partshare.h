// The processes of a team that share a run's one unit (a melt's sweeps, split by the parts of
// its box): this process's number among them, and the exchange of what each did in a step.
#pragma once

#include <cstddef>
#include <vector>

namespace polychain {

class RunControl;

class PartShare {
 public:
  virtual ~PartShare() = default;
  virtual int rank() const = 0;
  virtual int ranks() const = 0;
  // Hands `mine`, this process's record of the step, to every other process, and fills
  // `theirs` with every process's record of the same step (this one's left empty). False when
  // the run stopped while waiting.
  virtual bool exchange(std::vector<std::byte> mine, std::vector<std::vector<std::byte>>& theirs,
                        RunControl& control) = 0;
};

}  // namespace polychain
