// The main window's logic without a toolkit: dispatch, refusals and what a run leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "app/form1logic.h"
#include "app/texts.h"
#include "reference/textmodel.h"

namespace polychain {
namespace {

Form1Inputs meanderInputs(std::string steps, std::string iterations) {
  Form1Inputs in;
  in.RLOPT = true;
  in.StepNum = std::move(steps);
  in.Iterations = std::move(iterations);
  return in;
}

// The refusal message for `in`; fails the test when the inputs are not refused.
std::string refusal(const Form1Inputs& in) {
  const Dispatch d = dispatchRun(in);
  EXPECT_EQ(d.kind, Dispatch::Kind::Refused);
  return d.message;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Dispatch, NoOptionSelectedDoesNothingWhateverTheFields) {
  Form1Inputs in;
  in.StepNum = "not a number";
  in.Iterations = "";
  in.CalcParCF = true;
  const Dispatch d = dispatchRun(in);
  EXPECT_EQ(d.kind, Dispatch::Kind::Nothing);
  EXPECT_TRUE(d.message.empty());
}

TEST(Dispatch, FirstSelectedOptionWinsInFixedOrder) {
  Form1Inputs in = meanderInputs("10", "3");
  in.SAWOPT = true;
  in.ShortOpt = true;
  EXPECT_EQ(dispatchRun(in).params.model, Model::Meander);
  in.RLOPT = false;
  EXPECT_EQ(dispatchRun(in).params.model, Model::SAW);
  in.SAWOPT = false;
  EXPECT_EQ(dispatchRun(in).params.model, Model::ShortRange);
}

TEST(Dispatch, ReadsOnlyTheFieldsOfTheChosenModel) {
  Form1Inputs in = meanderInputs("10", "3");
  in.Avoid = "anything";
  in.Kuhn = "";
  Dispatch d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.avoid, 1);
  EXPECT_EQ(d.params.kuhn, 1);

  in.RLOPT = false;
  in.SAWOPT = true;
  in.Avoid = "3";
  d = dispatchRun(in);  // Kuhn stays unread
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.avoid, 3);
  EXPECT_EQ(d.params.kuhn, 1);

  in.SAWOPT = false;
  in.ShortOpt = true;
  in.Avoid = "x";
  in.Kuhn = "4";
  d = dispatchRun(in);  // Avoid stays unread
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.avoid, 1);
  EXPECT_EQ(d.params.kuhn, 4);

  in.ShortOpt = false;
  in.PivotOpt = true;
  in.Kuhn = "x";
  in.RestartTrapped = "x";
  in.PivotsPerSample = "250";
  d = dispatchRun(in);  // only the pivot's own setting is read
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.model, Model::Pivot);
  EXPECT_EQ(d.params.pivotsPerSample, 250);
  in.PivotsPerSample = "0";
  EXPECT_TRUE(contains(refusal(in), "Pivots per sample")) << refusal(in);
}

TEST(Dispatch, ConvertsWithHalvesToEvenAndPassesWorkableValuesUnchanged) {
  Form1Inputs in = meanderInputs(" 10 ", "2.5");
  Dispatch d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.steps, 10);
  EXPECT_EQ(d.params.iterations, 2);
  in.Iterations = "3.5";
  EXPECT_EQ(dispatchRun(in).params.iterations, 4);
  in.StepNum = "1e3";
  EXPECT_EQ(dispatchRun(in).params.steps, 1000);

  // Outside the captioned ranges, but runnable: passed on as they are.
  in = meanderInputs("500000", "1000");
  in.RLOPT = false;
  in.SAWOPT = true;
  in.Avoid = "7";
  d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.steps, 500000);
  EXPECT_EQ(d.params.iterations, 1000);
  EXPECT_EQ(d.params.avoid, 7);
  in.SAWOPT = false;
  in.ShortOpt = true;
  for (const auto& [text, value] : {std::pair{"12", 12}, {"-2", -2}}) {
    in.Kuhn = text;
    d = dispatchRun(in);
    ASSERT_EQ(d.kind, Dispatch::Kind::Run) << text;
    EXPECT_EQ(d.params.kuhn, value);
  }
}

TEST(Dispatch, CarriesTheCheckBoxAndTheSeed) {
  Form1Inputs in = meanderInputs("5", "1");
  Dispatch d = dispatchRun(in);
  EXPECT_FALSE(d.params.calcParCF);
  EXPECT_FALSE(d.params.seed.has_value());
  in.CalcParCF = true;
  in.Seed = " 18446744073709551615 ";
  d = dispatchRun(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_TRUE(d.params.calcParCF);
  EXPECT_EQ(d.params.seed, 18446744073709551615u);
}

TEST(Dispatch, TwoAndAHalfIterationsGrowTwoChains) {
  Form1Inputs in = meanderInputs("10", "2.5");
  in.Seed = "77";
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
  EXPECT_TRUE(contains(m, "Steps (N)") && contains(m, "2147483647")) << m;

  // Readable but unworkable.
  for (const char* steps : {"0", "-5", "0.4"}) {
    m = refusal(meanderInputs(steps, "1"));
    EXPECT_TRUE(contains(m, "Steps (N)") && contains(m, "at least 1")) << steps << ": " << m;
  }
  m = refusal(meanderInputs("10", "0.5"));  // rounds to 0
  EXPECT_TRUE(contains(m, "Iterations") && contains(m, "at least 1")) << m;

  Form1Inputs saw = meanderInputs("10", "1");
  saw.RLOPT = false;
  saw.SAWOPT = true;
  saw.Avoid = "";
  m = refusal(saw);
  EXPECT_TRUE(contains(m, "Self-Avoidance")) << m;
  saw.Avoid = "0";  // workable: the walk without zone
  EXPECT_EQ(dispatchRun(saw).kind, Dispatch::Kind::Run);

  Form1Inputs shortRange = meanderInputs("10", "1");
  shortRange.RLOPT = false;
  shortRange.ShortOpt = true;
  for (const char* kuhn : {"0", "0.5", "-0.2"}) {
    shortRange.Kuhn = kuhn;
    m = refusal(shortRange);
    EXPECT_TRUE(contains(m, "Kuhn Length") && contains(m, "0")) << kuhn << ": " << m;
  }
  shortRange.Kuhn = "abc";
  m = refusal(shortRange);
  EXPECT_TRUE(contains(m, "Kuhn Length") && contains(m, "\"abc\"")) << m;
  shortRange.Kuhn = "300000000";  // 9 steps of it would leave the 32-bit lattice
  m = refusal(shortRange);
  EXPECT_TRUE(contains(m, "Kuhn Length") && contains(m, "2147483647")) << m;

  Form1Inputs seeded = meanderInputs("10", "1");
  for (const char* seed : {"-1", "seed", "18446744073709551616"}) {
    seeded.Seed = seed;
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

TEST(Form1State, StartsEmptyAndKeepsGofrUntilARunComputesItAgain) {
  Form1State state;
  for (const auto& [name, text] : resultsInOrder(state.results())) EXPECT_TRUE(text.empty());
  EXPECT_EQ(state.buffers().ChainBox, "RichTextBox1");
  EXPECT_EQ(state.buffers().gofrBox, "RichTextBox1");

  // Applies a run's texts, when it has any.
  const auto apply = [&state](const SmallRun& run) {
    std::optional<RunTexts> texts = runTexts(run.params, run.result);
    if (texts) state.apply(std::move(*texts));
    return texts.has_value();
  };
  const SmallRun plain = smallRun(false, 1);
  ASSERT_TRUE(apply(plain));
  EXPECT_EQ(state.buffers().ChainBox, chainExportText(plain.params, plain.result));
  EXPECT_EQ(state.buffers().gofrBox, "RichTextBox1");
  EXPECT_EQ(state.buffers().gofqBox, "RichTextBox1");

  const SmallRun withGofr = smallRun(true, 2);
  ASSERT_TRUE(apply(withGofr));
  const std::string gofr = gofrText(*withGofr.result.correlation);
  EXPECT_EQ(state.buffers().gofrBox, gofr);

  // A later run without g(r) replaces the chain and the results; g(r) and g(q) stay.
  const SmallRun later = smallRun(false, 3);
  ASSERT_TRUE(apply(later));
  EXPECT_EQ(state.results().eR, resultTexts(later.result.values).eR);
  EXPECT_EQ(state.buffers().gofrBox, gofr);

  // A run that did not finish changes nothing.
  struct Cancelling : RunObserver {
    bool cancelRequested() override { return true; }
  };
  const SmallRun cancelled = smallRun(true, 4, Cancelling());
  ASSERT_EQ(cancelled.result.status, RunStatus::Cancelled);
  EXPECT_FALSE(apply(cancelled));
  EXPECT_FALSE(runTexts(plain.params, plain.result, [] { return false; }));
  EXPECT_EQ(state.results().eR, resultTexts(later.result.values).eR);
  EXPECT_EQ(state.buffers().gofrBox, gofr);
}

TEST(StatusText, ChainsAreCountedFromOneAndTheSeedIsShownWhole) {
  EXPECT_EQ(trialsStatus(0, 20, 1), "Chain 1 of 20: 1 trial");
  EXPECT_EQ(trialsStatus(19, 20, 123456), "Chain 20 of 20: 123456 trials");
  EXPECT_EQ(seedStatus(18446744073709551615u), "Seed: 18446744073709551615");
  // The notice and the status name the same chain, and the notice what regrowing does.
  for (const std::int64_t restart :
       {std::int64_t{0}, std::int64_t{10000000}, std::int64_t{50000000}}) {
    const std::string notice = trappedNotice(16, 50, 20001792, restart);
    EXPECT_TRUE(contains(notice, "Chain 17 of 50 ")) << notice;
    EXPECT_TRUE(contains(notice, "20001792 trials")) << notice;
    EXPECT_TRUE(contains(notice, std::string(kRestartField))) << notice;
    EXPECT_TRUE(contains(notice, restart == 0 ? " is 0" : std::to_string(restart))) << notice;
  }
  EXPECT_TRUE(contains(trappedNotice(16, 50, 2, 10000000), "has not helped"));
  EXPECT_EQ(trappedStatus(16, 50, 20001792),
            "Chain 17 of 50 may be trapped (20001792 trials); the other chains go on.");
}

}  // namespace
}  // namespace polychain
