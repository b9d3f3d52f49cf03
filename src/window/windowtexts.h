// The window's own texts: the status bar's, the trapped-chain notice, the caption of the
// regrowing limit it names, and the six result boxes by control name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "polychain/run.h"
#include "polychain/texts.h"

namespace polychain {

// The caption of the regrowing limit in the window, which the trapped-chain notice names.
inline constexpr std::string_view kRestartField = "Regrow trapped chains after (trials)";

// The six result boxes by control name, in the order a run writes them.
std::array<std::pair<std::string_view, std::string_view>, 6> resultsInOrder(
    const ResultTexts& results);

// Status-bar texts of the window.
std::string seedStatus(std::uint64_t seed);
std::string runStartStatus(const RunParams& params);
std::string runEndStatus(RunStatus status, const RunParams& params);
// `chain` is 0-based as the run reports it.
std::string trialsStatus(std::int64_t chain, std::int32_t iterations, std::int64_t trials);
// The notice offered when chain `chain` (0-based) of `iterations` has made `trials` trials
// and no new greatest length in the last kTrappedTrials of them, with regrowing after
// `restartTrapped` trials without growth (0: never): what regrowing has done or will do.
std::string trappedNotice(std::int64_t chain, std::int32_t iterations, std::int64_t trials,
                          std::int64_t restartTrapped);
// The status while such a chain goes on and the other chains of the run grow.
std::string trappedStatus(std::int64_t chain, std::int32_t iterations, std::int64_t trials);

}  // namespace polychain
