#include "window/windowtexts.h"

#include "chain/numbertext.h"
#include "polychain/commonstats.h"

namespace polychain {

std::array<std::pair<std::string_view, std::string_view>, 6> resultsInOrder(
    const ResultTexts& results) {
  std::array<std::pair<std::string_view, std::string_view>, 6> ordered;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    const CommonResult& r = commonResults()[i];
    ordered[i] = {r.measure.name, results.*r.text};
  }
  return ordered;
}

std::string seedStatus(std::uint64_t seed) { return "Seed: " + std::to_string(seed); }

std::string runStartStatus(const RunParams& params) {
  std::string text = "Running ";
  text += modelOf(params.model).title;
  text += ": N = " + formatInteger(params.steps) + ", " + formatInteger(params.iterations) +
          (params.iterations == 1 ? " iteration" : " iterations");
  if (const std::string headline = headlineText(params); !headline.empty()) {
    text += ", " + headline;
  }
  if (params.calcParCF) text += ", with g(r)";
  return text + "…";
}

std::string runEndStatus(RunStatus status, const RunParams& params) {
  switch (status) {
    case RunStatus::Finished:
      return "Run finished.";
    case RunStatus::Cancelled:
      return "The run was cancelled; the earlier results stay.";
    case RunStatus::TrialLimit:
    case RunStatus::OutOfMemory:
      return runStopMessage(status, params) + " The earlier results stay.";
  }
  return {};
}

std::string trialsStatus(std::int64_t chain, std::int32_t iterations, std::int64_t trials) {
  return "Chain " + formatInteger(chain + 1) + " of " + formatInteger(iterations) + ": " +
         formatInteger(trials) + (trials == 1 ? " trial" : " trials");
}

std::string trappedNotice(std::int64_t chain, std::int32_t iterations, std::int64_t trials,
                          std::int64_t restartTrapped) {
  std::string text = "Chain " + formatInteger(chain + 1) + " of " + formatInteger(iterations) +
                     " may be trapped: it has made " + formatInteger(trials) +
                     " trials and grown no longer in the last " + formatInteger(kTrappedTrials) +
                     ". ";
  const std::string setting = "\"" + std::string(kRestartField) + "\"";
  if (restartTrapped <= 0) {
    text += "Regrowing is off (" + setting + " is 0), so it may never end; a run with it on (" +
            formatInteger(kDefaultRestartTrapped) +
            " is the default) grows such a chain again from the origin.";
  } else if (restartTrapped < kTrappedTrials) {
    text += "Growing it again from the origin after every " + formatInteger(restartTrapped) +
            " trials without growing (" + setting + ") has not helped.";
  } else {
    text += "It is grown again from the origin once it has made " + formatInteger(restartTrapped) +
            " trials without growing (" + setting + ").";
  }
  return text + " The other chains go on, and so does the run until you cancel it.";
}

std::string trappedStatus(std::int64_t chain, std::int32_t iterations, std::int64_t trials) {
  return "Chain " + formatInteger(chain + 1) + " of " + formatInteger(iterations) +
         " may be trapped (" + formatInteger(trials) + " trials); the other chains go on.";
}

}  // namespace polychain
