// What the polychain commands share: the Ctrl-C flag, the terminal observer and the
// option readers. Option readers throw InputError naming the option.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/sweep.h"
#include "chain/run.h"

namespace polychain::cli {

// Installs the Ctrl-C handler: the first Ctrl-C asks the running work to cancel.
void catchInterrupt();

// Progress bars on stderr when it is a terminal; the trapped-chain notice always. For a
// sweep the bar also names the N being run.
class CliObserver final : public SweepObserver {
 public:
  explicit CliObserver(bool bars);

  void progress(const RunProgress& p) override;
  void correlationProgress(float percent) override;
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override;
  bool cancelRequested() override;
  void message(std::string_view title, std::string_view text) override;
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override;

  // Erases a drawn bar so that the next line starts clean.
  void clearLine();

 private:
  bool m_bars;
  bool m_drawn = false;
  std::string m_point;  // "N = 400: " during a sweep
};

// A 64-bit seed in plain decimal.
std::uint64_t parseSeed(const std::string& text);

// "meander", "saw" or "short-range" (already checked by the parser).
Model modelFromKey(const std::string& key);

// Prints "polychain: <text>" on stderr.
void printError(std::string_view text);

}  // namespace polychain::cli
