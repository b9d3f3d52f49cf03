// The main window's logic without a toolkit: dispatch, refusals and what a run leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "polychain/formats.h"
#include "polychain/texts.h"
#include "reference/textmodel.h"
#include "window/windowlogic.h"
#include "window/windowtexts.h"

namespace polychain {
namespace {

const ModelInfo& meander = modelInfo(MeanderSettings{});
const ModelInfo& saw = modelInfo(SawSettings{});
const ModelInfo& shortRange = modelInfo(ShortRangeSettings{});
const ModelInfo& pivot = modelInfo(PivotSettings{});

RunInputs inputsFor(const ModelInfo& model, std::string steps, std::string iterations) {
  RunInputs in;
  in.model = &model;
  in.steps = std::move(steps);
  in.iterations = std::move(iterations);
  return in;
}
RunInputs meanderInputs(std::string steps, std::string iterations) {
  return inputsFor(meander, std::move(steps), std::move(iterations));
}

// The refusal message for `in`; fails the test when the inputs are not refused.
std::string refusal(const RunInputs& in) {
  const Dispatch d = dispatchRun(in);
  EXPECT_EQ(d.kind, Dispatch::Kind::Refused);
  return d.message;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Dispatch, NoModelChosenDoesNothingWhateverTheFields) {
  RunInputs in;
  in.steps = "not a number";
  in.iterations = "";
  in.gofr = true;
  const Dispatch d = dispatchRun(in);
  EXPECT_EQ(d.kind, Dispatch::Kind::Nothing);
  EXPECT_TRUE(d.message.empty());
}

TEST(Dispatch, ReadsOnlyTheSettingsOfTheChosenModel) {
  RunInputs in = meanderInputs("10", "3");
  in.settings = {{"avoid", "anything"}, {"kuhn", ""}, {"pivots_per_sample", "x"}};
  in.restartTrapped = "x";
  Dispatch d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_TRUE(std::holds_alternative<MeanderSettings>(d.params.model));

  in.model = &saw;
  in.settings["avoid"] = "3";
  in.restartTrapped = "500";
  d = dispatchRun(in);  // Kuhn and the pivots stay unread
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(std::get<SawSettings>(d.params.model).avoid, 3);
  EXPECT_EQ(d.params.restartTrapped, 500);

  in.model = &shortRange;
  in.settings["avoid"] = "x";
  in.settings["kuhn"] = "4";
  d = dispatchRun(in);  // Avoid stays unread
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(std::get<ShortRangeSettings>(d.params.model).kuhn, 4);

  in.model = &pivot;
  in.settings["kuhn"] = "x";
  in.restartTrapped = "x";
  in.settings["pivots_per_sample"] = "250";
  d = dispatchRun(in);  // only the pivot's own setting is read
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(std::get<PivotSettings>(d.params.model).pivotsPerSample, 250);
  in.settings["pivots_per_sample"] = "0";
  EXPECT_TRUE(contains(refusal(in), "Pivots per sample")) << refusal(in);
  in.settings.erase("pivots_per_sample");  // a setting the window does not show keeps its default
  d = dispatchRun(in);
  EXPECT_EQ(std::get<PivotSettings>(d.params.model).pivotsPerSample,
            PivotSettings{}.pivotsPerSample);
}

// A setting that may stay unset (the melt's box side and density) stays so when its field is
// blank, and the model's rule decides; a setting that always has a value (the chains) is
// refused blank. A choice is read as its word.
TEST(Dispatch, BlankOptionalSettingsKeepTheModelsRule) {
  RunInputs in = inputsFor(modelInfo(MeltSettings{}), "10", "1");
  in.settings = {{"chains", "20"}, {"density", " "}, {"box", ""}, {"walls", "yz"}};
  Dispatch d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run) << d.message;
  const auto& melt = std::get<MeltSettings>(d.params.model);
  EXPECT_EQ(melt.chains, 20);
  EXPECT_FALSE(melt.density.has_value());
  EXPECT_FALSE(melt.box.has_value());
  EXPECT_EQ(melt.walls, 2);
  in.settings["box"] = "12";
  d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run) << d.message;
  EXPECT_EQ(std::get<MeltSettings>(d.params.model).box, 12);
  in.settings["chains"] = "";
  EXPECT_TRUE(contains(refusal(in), "Chains")) << refusal(in);
  in.settings["chains"] = "20";
  in.settings["walls"] = "x";
  EXPECT_TRUE(contains(refusal(in), "Walls")) << refusal(in);
}

TEST(Dispatch, ConvertsWithHalvesToEvenAndPassesWorkableValuesUnchanged) {
  RunInputs in = meanderInputs(" 10 ", "2.5");
  Dispatch d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.steps, 10);
  EXPECT_EQ(d.params.iterations, 2);
  in.iterations = "3.5";
  EXPECT_EQ(dispatchRun(in).params.iterations, 4);
  in.steps = "1e3";
  EXPECT_EQ(dispatchRun(in).params.steps, 1000);

  // Outside the captioned ranges, but runnable: passed on as they are.
  in = inputsFor(saw, "500000", "1000");
  in.settings["avoid"] = "7";
  d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.steps, 500000);
  EXPECT_EQ(d.params.iterations, 1000);
  EXPECT_EQ(std::get<SawSettings>(d.params.model).avoid, 7);
  in.model = &shortRange;
  for (const auto& [text, value] : {std::pair{"12", 12}, {"-2", -2}}) {
    in.settings["kuhn"] = text;
    d = dispatchRun(in);
    ASSERT_EQ(d.kind, Dispatch::Kind::Run) << text;
    EXPECT_EQ(std::get<ShortRangeSettings>(d.params.model).kuhn, value);
  }
}

TEST(Dispatch, CarriesTheCheckBoxAndTheSeed) {
  RunInputs in = meanderInputs("5", "1");
  Dispatch d = dispatchRun(in);
  EXPECT_FALSE(d.params.calcParCF);
  EXPECT_FALSE(d.params.seed.has_value());
  in.gofr = true;
  in.seed = " 18446744073709551615 ";
  d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_TRUE(d.params.calcParCF);
  EXPECT_EQ(d.params.seed, 18446744073709551615u);
}

TEST(Dispatch, TwoAndAHalfIterationsGrowTwoChains) {
  RunInputs in = meanderInputs("10", "2.5");
  in.seed = "77";
  const Dispatch d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  RunObserver quiet;
  const RunResult out = runSimulation(d.params, quiet);
  ASSERT_EQ(out.status, RunStatus::Finished);
  EXPECT_EQ(out.sums.chains, 2);
  EXPECT_EQ(chainExportText(d.params, out), reference::textMeander(10, 2, 77).chainText);
}

TEST(Dispatch, RefusalsNameTheFieldAndWhatItAccepts) {
  // Fields are converted in order, so the first bad one is named.
  std::string m = refusal(meanderInputs("", ""));
  EXPECT_TRUE(contains(m, "Steps (N)")) << m;
  EXPECT_TRUE(contains(m, "empty")) << m;
  m = refusal(meanderInputs("ten", "1"));
  EXPECT_TRUE(contains(m, "Steps (N)") && contains(m, "\"ten\"")) << m;
  m = refusal(meanderInputs("10", "many"));
  EXPECT_TRUE(contains(m, "Iterations") && contains(m, "\"many\"")) << m;
  m = refusal(meanderInputs("3000000000", "1"));
  EXPECT_TRUE(contains(m, "Steps (N)") && contains(m, "from 1 to 2147483647")) << m;

  // Readable but unworkable.
  for (const char* steps : {"0", "-5", "0.4"}) {
    m = refusal(meanderInputs(steps, "1"));
    EXPECT_TRUE(contains(m, "Steps (N)") && contains(m, "at least 1")) << steps << ": " << m;
  }
  m = refusal(meanderInputs("10", "0.5"));  // rounds to 0
  EXPECT_TRUE(contains(m, "Iterations") && contains(m, "at least 1")) << m;

  RunInputs sawInputs = inputsFor(saw, "10", "1");
  sawInputs.settings["avoid"] = "";
  m = refusal(sawInputs);
  EXPECT_TRUE(contains(m, "Self-Avoidance")) << m;
  sawInputs.settings["avoid"] = "0";  // workable: the walk without zone
  EXPECT_EQ(dispatchRun(sawInputs).kind, Dispatch::Kind::Run);

  RunInputs shortInputs = inputsFor(shortRange, "10", "1");
  for (const char* kuhn : {"0", "0.5", "-0.2"}) {
    shortInputs.settings["kuhn"] = kuhn;
    m = refusal(shortInputs);
    EXPECT_TRUE(contains(m, "Kuhn Length") && contains(m, "0")) << kuhn << ": " << m;
  }
  shortInputs.settings["kuhn"] = "abc";
  m = refusal(shortInputs);
  EXPECT_TRUE(contains(m, "Kuhn Length") && contains(m, "\"abc\"")) << m;
  shortInputs.settings["kuhn"] = "300000000";  // 9 steps of it would leave the 32-bit lattice
  m = refusal(shortInputs);
  EXPECT_TRUE(contains(m, "Kuhn Length") && contains(m, "2147483647")) << m;

  RunInputs seeded = meanderInputs("10", "1");
  for (const char* seed : {"-1", "seed", "18446744073709551616"}) {
    seeded.seed = seed;
    m = refusal(seeded);
    EXPECT_TRUE(contains(m, "Seed")) << seed << ": " << m;
  }
}

struct SmallRun {
  RunParams params;
  RunResult result;
};

SmallRun smallRun(bool gofr, std::uint64_t seed, RunObserver&& observer = RunObserver()) {
  RunParams params;
  params.steps = 6;
  params.iterations = 3;
  params.calcParCF = gofr;
  params.seed = seed;
  return {params, runSimulation(params, observer)};
}

TEST(WindowState, StartsEmptyAndKeepsGofrUntilARunComputesItAgain) {
  WindowState state;
  for (const auto& [name, text] : resultsInOrder(state.results())) EXPECT_TRUE(text.empty());
  const FormatInfo& cdat = *findFormat("cdat");
  const FormatInfo& gor = *findFormat("gor");
  EXPECT_FALSE(cdat.available(state.exportData()));
  EXPECT_FALSE(gor.available(state.exportData()));
  const auto text = [&state](const FormatInfo& format) {
    return format.writer->writeString(state.exportData(), 1);
  };

  const SmallRun plain = smallRun(false, 1);
  state.apply(plain.params, plain.result);
  EXPECT_EQ(text(cdat), chainExportText(plain.params, plain.result));
  EXPECT_FALSE(gor.available(state.exportData()));

  const SmallRun withGofr = smallRun(true, 2);
  state.apply(withGofr.params, withGofr.result);
  const std::string gofr = gofrText(*withGofr.result.correlation);
  EXPECT_EQ(text(gor), gofr);

  // A later run without g(r) replaces the chain and the results; g(r) and g(q) stay.
  const SmallRun later = smallRun(false, 3);
  state.apply(later.params, later.result);
  EXPECT_EQ(state.results().eR, resultTexts(later.result.values).eR);
  EXPECT_EQ(text(cdat), chainExportText(later.params, later.result));
  EXPECT_EQ(text(gor), gofr);

  // A run that did not finish changes nothing.
  struct Cancelling : RunObserver {
    bool cancelRequested() override { return true; }
  };
  const SmallRun cancelled = smallRun(true, 4, Cancelling());
  ASSERT_EQ(cancelled.result.status, RunStatus::Cancelled);
  state.apply(cancelled.params, cancelled.result);
  EXPECT_EQ(state.results().eR, resultTexts(later.result.values).eR);
  EXPECT_EQ(text(gor), gofr);
}

}  // namespace
}  // namespace polychain
