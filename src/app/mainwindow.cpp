#include "app/mainwindow.h"

#include <charconv>

#include "chain/numtext.h"

namespace polychain {

namespace {

// Field names as the messages call them: the captions without their ranges.
constexpr std::string_view kStepsField = "Steps (N)";
constexpr std::string_view kIterationsField = "Iterations";
constexpr std::string_view kAvoidField = "Self-Avoidance";
constexpr std::string_view kKuhnField = "Kuhn Length";

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::uint64_t> seedFromText(std::string_view text) {
  text = trimmed(text);
  if (text.empty()) return std::nullopt;
  std::uint64_t seed = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) {
    throw InputError(
        "Seed must be a whole number from 0 to 18446744073709551615, or empty for a seed "
        "from the clock; \"" +
        std::string(text) + "\" is not one.");
  }
  return seed;
}

std::string_view modelTitle(Model model) {
  switch (model) {
    case Model::Meander:
      return "Meander";
    case Model::SAW:
      return "SAW";
    case Model::ShortRange:
      return "Short Range";
  }
  return "Meander";
}

std::optional<Model> chosenModel(const Form1Inputs& inputs) {
  if (inputs.RLOPT) return Model::Meander;
  if (inputs.SAWOPT) return Model::SAW;
  if (inputs.ShortOpt) return Model::ShortRange;
  return std::nullopt;
}

void readModelSetting(const Form1Inputs& inputs, RunParams& params) {
  if (params.model == Model::SAW) params.avoid = textToNumber(inputs.Avoid, kAvoidField);
  if (params.model == Model::ShortRange) params.kuhn = textToNumber(inputs.Kuhn, kKuhnField);
}

Dispatch SimRun_Click(const Form1Inputs& inputs) {
  Dispatch dispatch;
  RunParams& params = dispatch.params;
  const std::optional<Model> model = chosenModel(inputs);
  if (!model) return dispatch;
  params.model = *model;
  try {
    params.steps = textToNumber(inputs.StepNum, kStepsField);
    params.iterations = textToNumber(inputs.Iterations, kIterationsField);
    readModelSetting(inputs, params);
    params.seed = seedFromText(inputs.Seed);
    params.calcParCF = inputs.CalcParCF;
    validateParams(params);
  } catch (const InputError& error) {
    dispatch.kind = Dispatch::Kind::Refused;
    dispatch.message = error.what();
    return dispatch;
  }
  dispatch.kind = Dispatch::Kind::Run;
  return dispatch;
}

std::array<std::pair<std::string_view, std::string_view>, 6> resultsInOrder(
    const ResultTexts& results) {
  return {{{"eR", results.eR},
           {"TR", results.TR},
           {"Rsqred", results.Rsqred},
           {"TRsqred", results.TRsqred},
           {"pers", results.pers},
           {"Rgtxt", results.Rgtxt}}};
}

bool Form1State::applyRunOutput(const RunOutput& output) {
  if (output.status != RunStatus::Finished) return false;
  if (output.gofr) m_buffers.gofrBox = *output.gofr;
  if (output.gofq) m_buffers.gofqBox = *output.gofq;
  m_results = output.results;
  m_buffers.ChainBox = output.chainText;
  return true;
}

std::string seedStatus(std::uint64_t seed) { return "Seed: " + std::to_string(seed); }

std::string runStartStatus(const RunParams& params) {
  std::string text = "Running ";
  text += modelTitle(params.model);
  text += ": N = " + formatInteger(params.steps) + ", " + formatInteger(params.iterations) +
          (params.iterations == 1 ? " iteration" : " iterations");
  if (params.model == Model::SAW) text += ", avoidance " + formatInteger(params.avoid);
  if (params.model == Model::ShortRange) text += ", Kuhn length " + formatInteger(params.kuhn);
  if (params.calcParCF) text += ", with g(r)";
  return text + "…";
}

std::string runEndStatus(const RunOutput& output) {
  switch (output.status) {
    case RunStatus::Finished:
      return "Run finished.";
    case RunStatus::Cancelled:
      return "The run was cancelled; the earlier results stay.";
    case RunStatus::TrialLimit:
      return output.message + " The earlier results stay.";
  }
  return {};
}

std::string trialsStatus(std::int64_t chain, std::int32_t iterations, std::int64_t trials) {
  return "Chain " + formatInteger(chain + 1) + " of " + formatInteger(iterations) + ": " +
         formatInteger(trials) + (trials == 1 ? " trial" : " trials");
}

std::string trappedNotice(std::int64_t chain, std::int64_t trials) {
  return "Chain " + formatInteger(chain + 1) + " has made " + formatInteger(trials) +
         " trials without growing longer and may be trapped. The run goes on until you "
         "cancel it.";
}

}  // namespace polychain
