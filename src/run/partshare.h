// The processes of a team that share a run's one unit (a melt's sweeps, split by the parts of
// its box): this process's number among them, and the exchange of what each did in a step.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

namespace polychain {

class RunControl;

class PartShare {
 public:
  virtual ~PartShare() = default;
  virtual int rank() const = 0;
  virtual int ranks() const = 0;
  // Hands `mine`, this process's record of the step, to every other process, waits for
  // theirs of the same step and gives each to `take`, in the order of the processes. False,
  // having given none, when the run stopped while waiting.
  using Take = std::function<void(std::span<const std::byte> record)>;
  virtual bool exchange(std::span<const std::byte> mine, const Take& take, RunControl& control) = 0;
};

}  // namespace polychain
