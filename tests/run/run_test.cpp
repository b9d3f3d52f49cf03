// The run frame: the same bits on any thread count, the seed, refusals, the free walk's
// known moments, progress, cancelling and the trial cap.
#include "polychain/run.h"
#include "run/quietrun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "chain/growth.h"
#include "chain/lattice.h"
#include "chain/pivotmodel.h"
#include "polychain/resources.h"
#include "reference/runparams.h"
#include "run/control.h"
#include "run/samebits.h"

namespace polychain {
namespace {

using reference::runParams;

RunResult run(const RunParams& p) { return quietRun(p); }

TEST(Run, SameBitsOnAnyThreadCountOtherBitsForAnotherSeed) {
  // More chains than the frame holds at once, and self-avoiding chains of very uneven cost.
  expectSameBits(run(runParams(MeanderSettings{}, 20, 10000, 5, 1)),
                 run(runParams(MeanderSettings{}, 20, 10000, 5, 3)));
  RunParams saw = runParams(SawSettings{}, 400, 300, 8, 1);
  const RunResult one = run(saw);
  saw.threads = 2;
  expectSameBits(one, run(saw));
  saw.seed = 9;
  EXPECT_NE(run(saw).sums.distanceSum, one.sums.distanceSum);
}

// Chain i draws from the run's stream advanced by i jumps, however the frame hands chains to
// its threads (in runs while many are left, one by one near the end).
TEST(Run, ChainIDrawsFromTheStreamJumpedITimes) {
  const RunParams p = runParams(SawSettings{}, 6, 5000, 3, 2);
  class Capped final : public ChainWatch {  // stops a chain at the tests' trial cap
    std::int64_t check(std::int64_t, std::int64_t trials, std::int64_t) override {
      return trials > reference::kTestTrialCap ? 0 : trials + 1024;
    }
  } capped;
  const auto grower = makeGrower(p.model, p.steps);
  RunSums sums;
  std::vector<Point> sites;
  RandomSource stream(*p.seed);
  for (std::int32_t i = 0; i < p.iterations; ++i, stream.jump()) {
    RandomSource random = stream;
    TrialCounter counter(capped, TrialCounter::kNever, 1024);
    ASSERT_FALSE(grower->grow(random, sites, counter).stopped);
    sums.add(summarizeChain(sites, p.steps));
  }
  const RunResult result = run(p);
  EXPECT_EQ(result.sums.endSum, sums.endSum);
  EXPECT_EQ(result.sums.distanceSum, sums.distanceSum);
  EXPECT_EQ(result.sums.rgSum, sums.rgSum);
  EXPECT_EQ(result.lastSites, sites);
}

TEST(Run, SeedFromTheClockIsReportedAndRepeatsTheRun) {
  RunParams p = runParams(MeanderSettings{}, 10, 2, 0);
  p.seed.reset();
  const RunResult first = run(p);
  p.seed = first.seed;
  expectSameBits(run(p), first);
}

TEST(Run, RefusesWhatItCannotRun) {
  const auto refusal = [](const RunParams& p) -> std::string {
    try {
      validateParams(p);
    } catch (const InputError& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_NE(refusal(runParams(MeanderSettings{}, 0, 1, 1)).find("Steps (N)"), std::string::npos);
  EXPECT_NE(refusal(runParams(MeanderSettings{}, 5, -1, 1)).find("Iterations"), std::string::npos);
  EXPECT_THROW(run(runParams(MeanderSettings{}, -5, 3, 1)), InputError);
  // The front ends tell a refusal of the memory from one of the parameters: the one comes
  // only after the parameters passed, and only as MemoryRefusal.
  const auto checkError = [](const RunParams& p) -> std::string {
    try {
      checkRun(p);
    } catch (const MemoryRefusal&) {
      return "memory";
    } catch (const InputError&) {
      return "parameters";
    }
    return "";
  };
  // 10^5 threads of a chain of 10^6 steps each: far beyond any machine.
  EXPECT_EQ(checkError(runParams(MeanderSettings{}, 1'000'000, -1, 1, 100'000)), "parameters");
  EXPECT_EQ(checkError(runParams(MeanderSettings{}, 1'000'000, 100'000, 1, 100'000)), "memory");
  EXPECT_EQ(checkError(runParams(MeanderSettings{}, 1000, 1, 1)), "");
  RunParams shortRange = runParams(ShortRangeSettings{0}, 10, 1, 1);
  EXPECT_NE(refusal(shortRange).find("Kuhn Length must not be 0"), std::string::npos);
  // 32-bit coordinates: the longest reach that fits is accepted, one more is refused.
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  for (const auto& [steps, kuhn, fits] : {std::tuple{3, 1073741824, false},
                                          {2, kMin, false},
                                          {100001, -21475, false},
                                          {2, kMax, true},
                                          {100001, 21474, true},
                                          {1, kMin, true}}) {
    shortRange.steps = steps;
    shortRange.model = ShortRangeSettings{kuhn};
    EXPECT_EQ(refusal(shortRange).empty(), fits) << steps << " steps of " << kuhn;
  }
}

// Free walk of N unit steps: <R^2> = N and <Rg^2> = N (N + 2) / (6 (N + 1)); the estimated
// error of <R^2> is near the exact sqrt(2N(N-1)/3 / M).
TEST(Run, FreeWalkMomentsWithinTheirErrors) {
  constexpr std::int32_t n = 100;
  constexpr std::int32_t m = 2000;
  const ExtendedStats s = run(runParams(MeanderSettings{}, n, m, 20240607)).extended;
  EXPECT_NEAR(s.meanSquaredEnd.value, n, 4 * s.meanSquaredEnd.standardError);
  const double rg2 = n * (n + 2.0) / (6.0 * (n + 1.0));
  EXPECT_NEAR(s.meanSquaredRg.value, rg2, 4 * s.meanSquaredRg.standardError);
  EXPECT_NEAR(s.ratio.value, rg2 / n, 4 * s.ratio.standardError);
  EXPECT_NEAR(s.meanSquaredEnd.standardError / std::sqrt(2.0 * n * (n - 1.0) / 3.0 / m), 1.0, 0.15);
  // One step: R^2 = 1 and Rg^2 = 1/4 for every chain.
  const ExtendedStats one = run(runParams(MeanderSettings{}, 1, 7, 11)).extended;
  EXPECT_EQ(one.rmsEnd.value, 1.0);
  EXPECT_EQ(one.rmsEnd.standardError, 0.0);
  EXPECT_EQ(one.meanSquaredRg.value, 0.25);
}

// The frame takes Rg^2 about the centre of mass from the size measure's sums without a
// second pass; a chain's own sites, summed the plain way, must agree.
TEST(Run, RadiusAboutTheCentreMatchesTheSites) {
  for (const auto& [model, steps] : {std::pair<ModelSettings, std::int32_t>{MeanderSettings{}, 7},
                                     {MeanderSettings{}, 100'000},
                                     {SawSettings{}, 3000},
                                     {ShortRangeSettings{3}, 3000}}) {
    RunParams p = runParams(model, steps, 1, 99);
    const RunResult out = run(p);
    ASSERT_EQ(out.status, RunStatus::Finished);
    long double cx = 0, cy = 0, cz = 0;
    for (const Point& q : out.lastSites) cx += q.x, cy += q.y, cz += q.z;
    const auto count = static_cast<long double>(out.lastSites.size());
    cx /= count, cy /= count, cz /= count;
    long double sum = 0;
    for (const Point& q : out.lastSites) {
      sum += (q.x - cx) * (q.x - cx) + (q.y - cy) * (q.y - cy) + (q.z - cz) * (q.z - cz);
    }
    const double exact = static_cast<double>(sum / count);
    EXPECT_NEAR(out.extended.meanSquaredRg.value, exact, 1e-11 * exact) << steps;
  }
}

class Watcher : public RunObserver {
 public:
  explicit Watcher(int cancelAfter = -1) : m_cancelAfter(cancelAfter) {}
  void progress(const RunProgress& p) override {
    EXPECT_GE(p.chains, lastChains) << "the share of chains done went back";
    lastChains = p.chains;
    if (p.trials > 100000 && p.steps < 100) sawStuckChain = true;
    ++calls;
  }
  bool cancelRequested() override {
    return sawStuckChain || (m_cancelAfter >= 0 && calls > m_cancelAfter);
  }
  std::atomic<int> calls{0};
  std::atomic<bool> sawStuckChain{false};
  float lastChains = -1;  // written under the frame's lock, read after the run

 private:
  int m_cancelAfter;
};

TEST(Run, ProgressEndsAtOneHundredAndCancelStopsTheRun) {
  for (const auto& [steps, chains] : {std::pair{1000, 7}, std::pair{20, 20000}}) {
    Watcher all;
    EXPECT_EQ(runSimulation(runParams(MeanderSettings{}, steps, chains, 1), all).status,
              RunStatus::Finished);
    EXPECT_EQ(all.lastChains, 100.0f);
  }
  Watcher cancelling(0);
  const RunResult cancelled =
      runSimulation(runParams(MeanderSettings{}, 2'000'000, 50, 1), cancelling);
  EXPECT_EQ(cancelled.status, RunStatus::Cancelled);
  EXPECT_TRUE(cancelled.lastSites.empty());
}

TEST(Run, StuckChainReportsItsTrialsAndTheCapStopsIt) {
  // Seed 1 with avoidance 3 is held near the origin by its zone.
  RunParams stuck = runParams(SawSettings{3}, 50, 2, 1);
  Watcher watcher;
  EXPECT_EQ(runSimulation(stuck, watcher).status, RunStatus::Cancelled);
  EXPECT_TRUE(watcher.sawStuckChain);

  stuck.maxTrials = 20000;
  stuck.iterations = 1;
  EXPECT_EQ(run(stuck).status, RunStatus::TrialLimit);
  stuck.seed = 4;  // a chain that finishes well within the cap is not affected
  EXPECT_EQ(run(stuck).status, RunStatus::Finished);
  stuck.maxTrials = std::numeric_limits<std::int64_t>::max();  // the largest cap is no cap
  EXPECT_EQ(run(stuck).status, RunStatus::Finished);
}

// A chain that makes too many trials without growing longer begins again from the origin,
// drawing on from its own stream: the same bits on any thread count.
TEST(Run, TrappedChainsAreRegrownTheSameOnAnyThreadCount) {
  RunParams p = runParams(SawSettings{3}, 50, 6, 1, 1);  // avoidance 3 traps these chains
  p.restartTrapped = 5000;
  const RunResult one = run(p);
  ASSERT_EQ(one.status, RunStatus::Finished);
  EXPECT_GT(one.extended.restarts, 0);
  p.threads = 2;
  expectSameBits(one, run(p));
  EXPECT_EQ(run(p).extended.restarts, one.extended.restarts);
}

// With the default regrowing, a chain closed in for good is regrown long before the trial
// cap, however far the cap lies below the regrowing limit, while runs of chains that all
// finish are the very runs grown with regrowing off.
TEST(Run, ClosedInChainsAreRegrownAndNoOtherChain) {
  int closedIn = 0, healthy = 0;
  for (std::uint64_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    RunParams strict = runParams(SawSettings{1}, 3000, 10, seed, 1);
    strict.maxTrials = 500'000;
    strict.restartTrapped = 0;
    RunParams regrowing = strict;
    regrowing.restartTrapped = kDefaultRestartTrapped;
    ASSERT_GT(regrowing.restartTrapped, regrowing.maxTrials);
    const RunResult plain = run(strict);
    const RunResult result = run(regrowing);
    ASSERT_EQ(result.status, RunStatus::Finished);
    if (plain.status == RunStatus::TrialLimit) {
      ++closedIn;
      EXPECT_GT(result.extended.restarts, 0);
      regrowing.threads = 2;
      expectSameBits(result, run(regrowing));
    } else {
      ++healthy;
      EXPECT_EQ(result.extended.restarts, 0);
      expectSameBits(result, plain);
    }
  }
  EXPECT_GT(closedIn, 0);  // seed 2
  EXPECT_GT(healthy, 0);
}

// Every self-avoiding walk of up to `most` steps from the origin, on a grid: the number of
// walks of each length and their summed R^2 and Rg^2.
struct Exact {
  std::vector<double> count, r2, rg2;
};
Exact enumerateWalks(int most) {
  constexpr int kSide = 32;  // walks of up to 15 steps stay inside
  std::vector<char> taken(kSide * kSide * kSide, 0);
  Exact e{std::vector<double>(static_cast<std::size_t>(most) + 1),
          std::vector<double>(static_cast<std::size_t>(most) + 1),
          std::vector<double>(static_cast<std::size_t>(most) + 1)};
  std::vector<Point> walk = {Point{}};
  double sum[3] = {0, 0, 0}, squares = 0;
  const auto index = [](const Point& p) {
    return static_cast<std::size_t>(((p.x + 16) * kSide + p.y + 16) * kSide + p.z + 16);
  };
  taken[index(Point{})] = 1;
  const std::function<void()> extend = [&] {
    const std::size_t n = walk.size() - 1;
    if (n > 0) {
      const double sites = static_cast<double>(n + 1);
      const Point& end = walk.back();
      e.count[n] += 1;
      e.r2[n] += static_cast<double>(end.x * end.x + end.y * end.y + end.z * end.z);
      e.rg2[n] +=
          squares / sites - (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / (sites * sites);
    }
    if (n == static_cast<std::size_t>(most)) return;
    for (const Point& m : kUnitMove) {
      const Point q{walk.back().x + m.x, walk.back().y + m.y, walk.back().z + m.z};
      if (taken[index(q)] != 0) continue;
      taken[index(q)] = 1;
      walk.push_back(q);
      sum[0] += q.x;
      sum[1] += q.y;
      sum[2] += q.z;
      squares += static_cast<double>(q.x * q.x + q.y * q.y + q.z * q.z);
      extend();
      squares -= static_cast<double>(q.x * q.x + q.y * q.y + q.z * q.z);
      sum[0] -= q.x;
      sum[1] -= q.y;
      sum[2] -= q.z;
      walk.pop_back();
      taken[index(q)] = 0;
    }
  };
  extend();
  return e;
}

// The pivot model through the whole frame: the same bits on any thread count, and the time
// averages over every attempt within a few of their errors (Sokal's window) of the exact
// means of all self-avoiding walks, up to N = 11 (41934150 walks), errors far below 1 %.
TEST(Run, PivotWalkersSampleTheSelfAvoidingWalk) {
  RunParams p = runParams(PivotSettings{.pivotsPerSample = 20}, 4, 4000, 12, 1);
  const RunResult one = run(p);
  ASSERT_EQ(one.status, RunStatus::Finished);
  p.threads = 2;
  expectSameBits(one, run(p));
  const auto measure = [](const RunResult& r, std::string_view name) {
    const int at = modelInfo(PivotSettings{}).findMeasure(name);
    EXPECT_GE(at, 0) << name;
    return r.measures.at(static_cast<std::size_t>(at)).value;
  };
  EXPECT_EQ(measure(one, "attempts"), 8 * (kMinimumPivotBurnIn + 500 * 20));
  EXPECT_EQ(measure(one, "measured"), 4000 * 20);
  EXPECT_EQ(one.extended.chains, 4000);
  EXPECT_GT(measure(one, "acceptance"), 0.3);

  const Exact exact = enumerateWalks(11);
  EXPECT_EQ(exact.count[4], 726);
  EXPECT_EQ(exact.count[11], 41934150);
  EXPECT_DOUBLE_EQ(exact.r2[4] / exact.count[4], 672.0 / 121.0);
  for (const std::int32_t n : {4, 8, 11}) {
    SCOPED_TRACE("N=" + std::to_string(n));
    RunParams q = runParams(PivotSettings{.pivotsPerSample = 200000}, n, 8,
                            100 + static_cast<std::uint64_t>(n), 2);
    const RunResult r = run(q);
    ASSERT_EQ(r.status, RunStatus::Finished);
    const ExtendedStats& s = r.extended;
    const auto i = static_cast<std::size_t>(n);
    const double r2 = exact.r2[i] / exact.count[i];
    const double rg2 = exact.rg2[i] / exact.count[i];
    EXPECT_NEAR(s.meanSquaredEnd.value, r2, 4 * s.meanSquaredEnd.standardError);
    EXPECT_NEAR(s.meanSquaredRg.value, rg2, 4 * s.meanSquaredRg.standardError);
    EXPECT_NEAR(s.ratio.value, rg2 / r2, 4 * s.ratio.standardError);
    EXPECT_LT(s.meanSquaredEnd.standardError, 0.003 * r2);
    EXPECT_LT(s.meanSquaredRg.standardError, 0.002 * rg2);
    // Correlated over a few attempts, and the accepted pivots' time is the acceptance's share.
    EXPECT_GT(measure(r, "tau_R2"), 0.5);
    EXPECT_LT(measure(r, "tau_R2"), 20.0);
    EXPECT_DOUBLE_EQ(measure(r, "tau_R2_accepted"),
                     measure(r, "tau_R2") * measure(r, "acceptance"));
  }
}

// A run's own walkers and burn-in are kept exactly. Without them the burn-in is N, at least
// kMinimumPivotBurnIn, and there are as many walkers as each measure at least what its start
// costs (its burn-in and N / 8 for its initial walk), one at least and kMostPivotWalkers at
// most.
TEST(Run, PivotWalkersFollowTheSamples) {
  const auto measure = [](const RunResult& r, std::string_view name) {
    return r.measures.at(static_cast<std::size_t>(modelInfo(PivotSettings{}).findMeasure(name)))
        .value;
  };
  const RunResult given =
      run(runParams(PivotSettings{.pivotsPerSample = 10, .burnIn = 30, .walkers = 3}, 3000, 5, 4));
  EXPECT_EQ(measure(given, "walkers"), 3);
  EXPECT_EQ(measure(given, "burn_in"), 30);
  EXPECT_EQ(measure(given, "attempts"), 3 * 30 + 5 * 10);

  struct Case {
    std::int32_t steps, samples;
    double walkers;
  };
  // 4 samples of N = 10^5: one walker; 100 of 20000: 10^5 measured for starts of 22500; 5 of
  // 3000: 5000 for a start of 10375; 400 of 2000: many more than eight starts.
  for (const Case& c : {Case{100'000, 4, 1}, Case{20'000, 100, 4}, Case{3000, 5, 1},
                        Case{2000, 400, kMostPivotWalkers}}) {
    SCOPED_TRACE("N=" + std::to_string(c.steps) + ", " + std::to_string(c.samples) + " samples");
    const RunResult r = run(runParams(PivotSettings{}, c.steps, c.samples, 6));
    ASSERT_EQ(r.status, RunStatus::Finished);
    const double burnIn = std::max<double>(c.steps, kMinimumPivotBurnIn);
    EXPECT_EQ(measure(r, "walkers"), c.walkers);
    EXPECT_EQ(measure(r, "burn_in"), burnIn);
    EXPECT_EQ(measure(r, "measured"), 1000.0 * c.samples);
    EXPECT_EQ(measure(r, "attempts"), c.walkers * burnIn + 1000.0 * c.samples);
  }
}

}  // namespace
}  // namespace polychain
