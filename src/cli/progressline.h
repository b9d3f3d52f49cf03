// The progress line on stderr: bars while it is a terminal, the trapped-chain notice always,
// and the cancel request that a signal makes.
#pragma once

#include <cstdint>
#include <string>

#include "polychain/sweep.h"

namespace polychain::cli {

// For a sweep the bar also names the N being run.
class CliObserver final : public SweepObserver {
 public:
  explicit CliObserver(bool bars);

  void progress(const RunProgress& p) override;
  void correlationProgress(float percent) override;
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override;
  bool cancelRequested() override;
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override;

  // Erases a drawn bar so that the next line starts clean.
  void clearLine();

 private:
  bool m_bars;
  bool m_drawn = false;
  std::string m_point;  // "N = 400: " during a sweep
};

}  // namespace polychain::cli
