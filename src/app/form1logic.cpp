#include "app/form1logic.h"

#include "app/paramreader.h"
#include "run/resources.h"

#include <limits>

namespace polychain {

namespace {

// Field names as the messages call them: the captions without their ranges.
constexpr std::string_view kStepsField = "Steps (N)";
constexpr std::string_view kIterationsField = "Iterations";
constexpr std::string_view kAvoidField = "Self-Avoidance";
constexpr std::string_view kKuhnField = "Kuhn Length";
constexpr std::string_view kSeedField = "Seed";

// The model of the first selected option, tested in the order RLOPT, SAWOPT, ShortOpt,
// PivotOpt.
std::optional<Model> chosenModel(const Form1Inputs& inputs) {
  if (inputs.RLOPT) return Model::Meander;
  if (inputs.SAWOPT) return Model::SAW;
  if (inputs.ShortOpt) return Model::ShortRange;
  if (inputs.PivotOpt) return Model::Pivot;
  return std::nullopt;
}

// Reads the fields of the settings the model uses: Avoid for SAW, Kuhn for the short-range
// walk, the regrowing limit for both, the pivots per sample for the pivot model, none for
// the free walk.
void readModelSetting(const Form1Inputs& inputs, RunParams& params) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (params.model == Model::SAW) params.avoid = readInt32(inputs.Avoid, kAvoidField);
  if (params.model == Model::ShortRange) params.kuhn = readInt32(inputs.Kuhn, kKuhnField);
  if (params.model == Model::SAW || params.model == Model::ShortRange) {
    params.restartTrapped = readWholeNumber(inputs.RestartTrapped, kRestartField, 0, kMax);
  }
  if (params.model == Model::Pivot) {
    params.pivotsPerSample = readWholeNumber(inputs.PivotsPerSample, kPivotsField, 1, kMax);
  }
}

}  // namespace

Dispatch dispatchRun(const Form1Inputs& inputs) {
  Dispatch dispatch;
  RunParams& params = dispatch.params;
  const std::optional<Model> model = chosenModel(inputs);
  if (!model) return dispatch;
  params.model = *model;
  try {
    params.steps = readInt32(inputs.StepNum, kStepsField);
    params.iterations = readInt32(inputs.Iterations, kIterationsField);
    readModelSetting(inputs, params);
    params.seed = readSeed(inputs.Seed, kSeedField);
    params.calcParCF = inputs.CalcParCF;
    validateParams(params);
    checkMemory(params);
  } catch (const InputError& error) {
    dispatch.kind = Dispatch::Kind::Refused;
    dispatch.message = error.what();
    return dispatch;
  }
  dispatch.kind = Dispatch::Kind::Run;
  return dispatch;
}

SweepParams sweepFromInputs(const Form1Inputs& main, std::string_view steps,
                            std::string_view iterations, std::string_view seed) {
  SweepParams params;
  RunParams& run = params.run;
  const std::optional<Model> model = chosenModel(main);
  if (!model) {
    throw InputError(
        "Choose the model to sweep under Parameters: Meander, SAW, Short Range (1-10) or Pivot "
        "SAW.");
  }
  run.model = *model;
  params.steps = readStepList(steps, kSweepStepsField);
  run.iterations = readInt32(iterations, kSweepIterationsField);
  requireAtLeastOne(run.iterations, kSweepIterationsField);
  readModelSetting(main, run);
  params.seed = readSeed(seed, kSweepSeedField);
  validateSweep(params, kSweepStepsField);
  checkSweepMemory(params);
  return params;
}

std::optional<RunTexts> runTexts(const RunParams& params, const RunResult& result,
                                 const std::function<bool()>& keepGoing) {
  if (result.status != RunStatus::Finished) return std::nullopt;
  RunTexts texts;
  texts.results = resultTexts(result.values);
  texts.chain = chainExportText(params, result, params.threads, keepGoing);
  if (keepGoing && !keepGoing()) return std::nullopt;
  if (result.correlation) {
    texts.gofr = gofrText(*result.correlation);
    texts.gofq = gofqText(*result.correlation);
  }
  return texts;
}

void Form1State::apply(RunTexts texts) {
  m_results = std::move(texts.results);
  m_buffers.ChainBox = std::move(texts.chain);
  if (texts.gofr) m_buffers.gofrBox = std::move(*texts.gofr);
  if (texts.gofq) m_buffers.gofqBox = std::move(*texts.gofq);
}

}  // namespace polychain
