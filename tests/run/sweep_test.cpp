// The scaling sweep: derived seeds, checks before anything runs, the free walk's exponent
// with one progress bar over the whole sweep, cancelling and the trial cap.
#include "polychain/sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace polychain {
namespace {

SweepParams sweep(ModelSettings model, std::vector<std::int32_t> steps, std::int32_t iterations,
                  std::uint64_t seed) {
  SweepParams p;
  p.run.model = model;
  p.run.iterations = iterations;
  p.run.threads = 2;
  p.run.maxTrials = 20'000'000;
  p.steps = std::move(steps);
  p.seed = seed;
  return p;
}

// Records what the sweep reports, and cancels on request.
class Recorder : public SweepObserver {
 public:
  void progress(const RunProgress& p) override {
    shares.push_back(p.chains);
    pointOfShare.push_back(started.size() - 1);
  }
  bool cancelRequested() override {
    return cancelAfterPoints >= 0 && static_cast<int>(finished.size()) >= cancelAfterPoints;
  }
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override {
    started.push_back({index, steps, seed});
  }
  void pointFinished(std::size_t /*index*/, const SweepPoint& point) override {
    finished.push_back(point);
  }

  struct Start {
    std::size_t index;
    std::int32_t steps;
    std::uint64_t seed;
  };
  std::vector<float> shares;
  std::vector<std::size_t> pointOfShare;  // which N was running
  std::vector<Start> started;
  std::vector<SweepPoint> finished;
  int cancelAfterPoints = -1;
};

std::string errorOf(const SweepParams& p) {
  try {
    checkSweep(p, "--steps");
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(Sweep, PointSeedsAreSplitMix64Outputs) {
  // The first outputs of SplitMix64 from state 0, as published with the generator.
  EXPECT_EQ(sweepPointSeed(0, 0), 0xe220a8397b1dcdafULL);
  EXPECT_EQ(sweepPointSeed(0, 1), 0x6e789e6aa1b965f4ULL);
  EXPECT_EQ(sweepPointSeed(0, 2), 0x06c45d188009454fULL);
}

TEST(Sweep, EveryStepCountIsCheckedBeforeAnythingRuns) {
  EXPECT_EQ(errorOf(sweep(MeanderSettings{}, {100, 100, 200}, 10, 1)), "");  // repeats allowed
  EXPECT_NE(errorOf(sweep(MeanderSettings{}, {}, 10, 1)).find("--steps needs"), std::string::npos);
  EXPECT_NE(errorOf(sweep(MeanderSettings{}, {100, 0}, 10, 1)).find("0 is too small"),
            std::string::npos);
  EXPECT_NE(errorOf(sweep(MeanderSettings{}, {100, 100}, 10, 1)).find("two different"),
            std::string::npos);
  EXPECT_NE(errorOf(sweep(MeanderSettings{}, {100, 200}, 0, 1)).find("Iterations"),
            std::string::npos);
  // Only the second N takes the Kuhn length past the lattice's coordinates.
  SweepParams far = sweep(ShortRangeSettings{1000000}, {2, 3000}, 1, 1);
  EXPECT_NE(errorOf(far).find("Kuhn Length"), std::string::npos);
  Recorder recorder;
  EXPECT_THROW(runSweep(far, recorder), InputError);
  EXPECT_TRUE(recorder.started.empty());
}

TEST(Sweep, FreeWalkExponentProgressAndRepeatability) {
  const SweepParams params = sweep(MeanderSettings{}, {50, 100, 200, 400, 800}, 400, 77);
  Recorder recorder;
  const SweepResult out = runSweep(params, recorder);
  ASSERT_EQ(out.status, RunStatus::Finished);
  ASSERT_EQ(out.points.size(), 5U);
  for (std::size_t k = 0; k < out.points.size(); ++k) {
    const SweepPoint& p = out.points[k];
    EXPECT_EQ(p.seed, sweepPointSeed(77, k));
    EXPECT_NEAR(p.stats.meanSquaredEnd.value, p.steps, 4 * p.stats.meanSquaredEnd.standardError);
  }
  ASSERT_TRUE(out.fit);
  EXPECT_TRUE(out.fit->weighted);
  EXPECT_LT(out.fit->exponentError, 0.05);
  EXPECT_NEAR(out.fit->exponent, kIdealChainExponent, 4 * out.fit->exponentError);

  // Each point is exactly the run with its derived seed.
  RunParams direct = params.run;
  direct.steps = 200;
  direct.seed = sweepPointSeed(77, 2);
  RunObserver quiet;
  EXPECT_EQ(runSimulation(direct, quiet).extended.ratio.standardError,
            out.points[2].stats.ratio.standardError);

  // Each N's reports fall in its slice of one bar, as wide as its share of all the steps.
  ASSERT_EQ(recorder.started.size(), 5U);
  const std::vector<double> sliceEnds = {50, 150, 350, 750, 1550};
  for (std::size_t i = 0; i < recorder.shares.size(); ++i) {
    const std::size_t k = recorder.pointOfShare[i];
    EXPECT_GE(recorder.shares[i], (k == 0 ? 0.0 : sliceEnds[k - 1] / 1550 * 100) - 1e-3);
    EXPECT_LE(recorder.shares[i], sliceEnds[k] / 1550 * 100 + 1e-3);
  }
  EXPECT_FLOAT_EQ(*std::max_element(recorder.shares.begin(), recorder.shares.end()), 100.0f);

  Recorder again;
  EXPECT_EQ(runSweep(params, again).fit->exponent, out.fit->exponent);
}

TEST(Sweep, CancellingOrTheCapKeepsTheFinishedPointsAndFitsNothing) {
  Recorder recorder;
  recorder.cancelAfterPoints = 2;
  const SweepResult out = runSweep(sweep(MeanderSettings{}, {10, 20, 40, 80}, 5, 3), recorder);
  EXPECT_EQ(out.status, RunStatus::Cancelled);
  EXPECT_EQ(out.points.size(), 2U);
  EXPECT_FALSE(out.fit);

  SweepParams capped = sweep(SawSettings{}, {20, 40}, 10, 5);
  capped.run.maxTrials = 5;  // below N: the first run stops
  Recorder quiet;
  const SweepResult stopped = runSweep(capped, quiet);
  EXPECT_EQ(stopped.status, RunStatus::TrialLimit);
  EXPECT_TRUE(stopped.points.empty());
}

}  // namespace
}  // namespace polychain
