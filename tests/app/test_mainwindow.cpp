// The main window's logic without a toolkit: dispatch, conversions, refusals and what a run
// leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "app/mainwindow.h"
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
  const Dispatch d = SimRun_Click(in);
  EXPECT_EQ(d.kind, Dispatch::Kind::Refused);
  return d.message;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(DispatchTest, NoOptionSelectedDoesNothingWhateverTheFields) {
  Form1Inputs in;
  in.StepNum = "not a number";
  in.Iterations = "";
  in.CalcParCF = true;
  const Dispatch d = SimRun_Click(in);
  EXPECT_EQ(d.kind, Dispatch::Kind::Nothing);
  EXPECT_TRUE(d.message.empty());
}

TEST(DispatchTest, FirstSelectedOptionWinsInFixedOrder) {
  Form1Inputs in = meanderInputs("10", "3");
  in.SAWOPT = true;
  in.ShortOpt = true;
  EXPECT_EQ(SimRun_Click(in).params.model, Model::Meander);
  in.RLOPT = false;
  EXPECT_EQ(SimRun_Click(in).params.model, Model::SAW);
  in.SAWOPT = false;
  EXPECT_EQ(SimRun_Click(in).params.model, Model::ShortRange);
}

TEST(DispatchTest, ReadsOnlyTheFieldsOfTheChosenModel) {
  Form1Inputs in = meanderInputs("10", "3");
  in.Avoid = "anything";
  in.Kuhn = "";
  Dispatch d = SimRun_Click(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.avoid, 1);
  EXPECT_EQ(d.params.kuhn, 1);

  in.RLOPT = false;
  in.SAWOPT = true;
  in.Avoid = "3";
  d = SimRun_Click(in);  // Kuhn stays unread
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.avoid, 3);
  EXPECT_EQ(d.params.kuhn, 1);

  in.SAWOPT = false;
  in.ShortOpt = true;
  in.Avoid = "x";
  in.Kuhn = "4";
  d = SimRun_Click(in);  // Avoid stays unread
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.avoid, 1);
  EXPECT_EQ(d.params.kuhn, 4);
}

TEST(DispatchTest, ConvertsWithHalvesToEvenAndPassesWorkableValuesUnchanged) {
  Form1Inputs in = meanderInputs(" 10 ", "2.5");
  Dispatch d = SimRun_Click(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.steps, 10);
  EXPECT_EQ(d.params.iterations, 2);
  in.Iterations = "3.5";
  EXPECT_EQ(SimRun_Click(in).params.iterations, 4);
  in.StepNum = "1e3";
  EXPECT_EQ(SimRun_Click(in).params.steps, 1000);

  // Outside the captioned ranges, but runnable: passed on as they are.
  in = meanderInputs("500000", "1000");
  in.RLOPT = false;
  in.SAWOPT = true;
  in.Avoid = "7";
  d = SimRun_Click(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_EQ(d.params.steps, 500000);
  EXPECT_EQ(d.params.iterations, 1000);
  EXPECT_EQ(d.params.avoid, 7);
  in.SAWOPT = false;
  in.ShortOpt = true;
  for (const auto& [text, value] : {std::pair{"12", 12}, {"-2", -2}}) {
    in.Kuhn = text;
    d = SimRun_Click(in);
    ASSERT_EQ(d.kind, Dispatch::Kind::Run) << text;
    EXPECT_EQ(d.params.kuhn, value);
  }
}

TEST(DispatchTest, CarriesTheCheckBoxAndTheSeed) {
  Form1Inputs in = meanderInputs("5", "1");
  Dispatch d = SimRun_Click(in);
  EXPECT_FALSE(d.params.calcParCF);
  EXPECT_FALSE(d.params.seed.has_value());
  in.CalcParCF = true;
  in.Seed = " 18446744073709551615 ";
  d = SimRun_Click(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  EXPECT_TRUE(d.params.calcParCF);
  EXPECT_EQ(d.params.seed, 18446744073709551615u);
}

TEST(DispatchTest, TwoAndAHalfIterationsGrowTwoChains) {
  Form1Inputs in = meanderInputs("10", "2.5");
  in.Seed = "77";
  const Dispatch d = SimRun_Click(in);
  ASSERT_EQ(d.kind, Dispatch::Kind::Run);
  RunObserver quiet;
  const RunOutput out = runSimulation(d.params, quiet);
  ASSERT_EQ(out.status, RunStatus::Finished);
  ASSERT_EQ(out.chains.size(), 2u);
  for (const ChainSummary& chain : out.chains) EXPECT_EQ(chain.sites, 11);
  const reference::TextRun expected = reference::textMeander(10, 2, 77);
  EXPECT_EQ(out.chainText, expected.chainText);
  EXPECT_EQ(out.results.Rgtxt, expected.results.Rgtxt);
}

TEST(DispatchTest, RefusalsNameTheFieldAndWhatItAccepts) {
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
  EXPECT_EQ(SimRun_Click(saw).kind, Dispatch::Kind::Run);

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
  for (const char* seed : {"-1", "1.5", "seed", "18446744073709551616"}) {
    seeded.Seed = seed;
    m = refusal(seeded);
    EXPECT_TRUE(contains(m, "Seed") && contains(m, "18446744073709551615")) << seed << ": " << m;
  }
}

RunOutput smallRun(bool gofr, std::uint64_t seed) {
  RunParams params;
  params.steps = 6;
  params.iterations = 3;
  params.calcParCF = gofr;
  params.seed = seed;
  RunObserver quiet;
  return runSimulation(params, quiet);
}

TEST(Form1StateTest, StartsEmptyWithTheBuffersStartingText) {
  const Form1State state;
  for (const auto& [name, text] : resultsInOrder(state.results())) {
    EXPECT_TRUE(text.empty()) << name;
  }
  EXPECT_EQ(state.buffers().ChainBox, "RichTextBox1");
  EXPECT_EQ(state.buffers().gofrBox, "RichTextBox1");
  EXPECT_EQ(state.buffers().gofqBox, "RichTextBox1");
}

TEST(Form1StateTest, GofrBuffersChangeOnlyInRunsThatComputedThem) {
  Form1State state;
  const RunOutput plain = smallRun(false, 1);
  ASSERT_TRUE(state.applyRunOutput(plain));
  EXPECT_EQ(state.results().Rgtxt, plain.results.Rgtxt);
  EXPECT_EQ(state.buffers().ChainBox, plain.chainText);
  EXPECT_EQ(state.buffers().gofrBox, "RichTextBox1");
  EXPECT_EQ(state.buffers().gofqBox, "RichTextBox1");

  const RunOutput withGofr = smallRun(true, 2);
  ASSERT_TRUE(state.applyRunOutput(withGofr));
  EXPECT_EQ(state.buffers().gofrBox, *withGofr.gofr);
  EXPECT_EQ(state.buffers().gofqBox, *withGofr.gofq);

  // A later run without g(r) replaces the chain and the results; g(r) and g(q) stay.
  const RunOutput later = smallRun(false, 3);
  ASSERT_TRUE(state.applyRunOutput(later));
  EXPECT_EQ(state.buffers().ChainBox, later.chainText);
  EXPECT_EQ(state.results().eR, later.results.eR);
  EXPECT_EQ(state.buffers().gofrBox, *withGofr.gofr);
  EXPECT_EQ(state.buffers().gofqBox, *withGofr.gofq);
}

TEST(Form1StateTest, ARunThatDidNotFinishChangesNothing) {
  Form1State state;
  const RunOutput first = smallRun(true, 4);
  ASSERT_TRUE(state.applyRunOutput(first));

  struct Cancelling : RunObserver {
    bool cancelRequested() override { return true; }
  } cancelling;
  RunParams params;
  params.steps = 5000;
  params.iterations = 50;
  params.calcParCF = true;
  const RunOutput cancelled = runSimulation(params, cancelling);
  ASSERT_EQ(cancelled.status, RunStatus::Cancelled);
  EXPECT_FALSE(state.applyRunOutput(cancelled));
  EXPECT_EQ(state.results().eR, first.results.eR);
  EXPECT_EQ(state.results().Rgtxt, first.results.Rgtxt);
  EXPECT_EQ(state.buffers().ChainBox, first.chainText);
  EXPECT_EQ(state.buffers().gofrBox, *first.gofr);
  EXPECT_TRUE(contains(runEndStatus(cancelled), "cancelled"));
}

TEST(StatusTextTest, ChainsAreCountedFromOneAndTheSeedIsShownWhole) {
  EXPECT_EQ(trialsStatus(0, 20, 1), "Chain 1 of 20: 1 trial");
  EXPECT_EQ(trialsStatus(19, 20, 123456), "Chain 20 of 20: 123456 trials");
  EXPECT_EQ(seedStatus(18446744073709551615u), "Seed: 18446744073709551615");
  EXPECT_TRUE(contains(trappedNotice(2, 20000000), "Chain 3 "));
  EXPECT_TRUE(contains(trappedNotice(2, 20000000), "20000000"));
}

}  // namespace
}  // namespace polychain
