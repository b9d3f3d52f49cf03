// The melt through the run frame: one chain in a box much wider than it samples the
// self-avoiding walk (the pivot model's numbers), the same bits on any thread count (boxes whose
// sweeps split into parts too), a sample
// that is the run's last sample, and the checks of its settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "analysis/vectorcorrelation.h"
#include "chain/meltmodel.h"
#include "chain/random.h"
#include "polychain/run.h"
#include "polychain/sample.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "run/quietrun.h"
#include "run/samebits.h"

namespace polychain {
namespace {

using reference::runParams;

RunResult run(const RunParams& p) { return quietRun(p); }

double measure(const RunResult& r, std::string_view name) {
  const int at = modelInfo(MeltSettings{}).findMeasure(name);
  EXPECT_GE(at, 0) << name;
  return r.measures.at(static_cast<std::size_t>(at)).value;
}

MeltSettings melt(std::int32_t chains, std::int32_t box) {
  MeltSettings m;
  m.chains = chains;
  m.box = box;
  return m;
}

// A single chain whose box is wider than the chain is long meets neither walls nor its own
// images: its moves sample every self-avoiding walk alike, as the pivot model does.
TEST(MeltRun, OneChainInAWideBoxIsThePivotModelsWalk) {
  for (const std::int32_t steps : {50, 100}) {
    SCOPED_TRACE("N=" + std::to_string(steps));
    MeltSettings one = melt(1, steps + 2);
    one.burnIn = 2000;
    one.sweepsPerSample = 5;
    const RunResult m = run(runParams(one, steps, 8000, 11, 1));
    ASSERT_EQ(m.status, RunStatus::Finished);
    PivotSettings pivot;
    pivot.pivotsPerSample = 50;
    const RunResult p = run(runParams(pivot, steps, 20000, 12, 2));
    ASSERT_EQ(p.status, RunStatus::Finished);
    const auto agree = [](const Estimate& a, const Estimate& b) {
      EXPECT_TRUE(a.hasError() && b.hasError());
      EXPECT_NEAR(a.value, b.value, 4 * std::hypot(a.standardError, b.standardError));
      // Precise enough to tell the walk from the free walk's (N and N / 6).
      EXPECT_LT(a.standardError, 0.03 * a.value);
    };
    agree(m.extended.meanSquaredEnd, p.extended.meanSquaredEnd);
    agree(m.extended.meanSquaredRg, p.extended.meanSquaredRg);
    EXPECT_GE(measure(m, "sampling_taus"), 10.0);
  }
}

// Under an energy too, attractive and stiff, and repulsive and floppy: the energy's estimates
// of one chain in a wide box are the pivot model's (an exact oracle stands behind each: both
// samplers meet exact enumeration of tiny systems in their own tests).
TEST(MeltRun, OneChainInAWideBoxUnderAnEnergyIsThePivotModelsWalk) {
  const std::int32_t steps = 12;
  for (const auto& [contact, bend] : {std::pair{-0.8, 0.4}, std::pair{0.5, -0.3}}) {
    SCOPED_TRACE("E=" + std::to_string(contact) + " K=" + std::to_string(bend));
    MeltSettings one = melt(1, steps + 3);
    one.burnIn = 1000;
    one.sweepsPerSample = 4;
    one.contactEnergy = contact;
    one.bendEnergy = bend;
    const RunResult m = run(runParams(one, steps, 20000, 21, 1));
    ASSERT_EQ(m.status, RunStatus::Finished);
    PivotSettings pivot;
    pivot.pivotsPerSample = 20;
    pivot.contactEnergy = contact;
    pivot.bendEnergy = bend;
    pivot.localMoves = 2;
    const RunResult p = run(runParams(pivot, steps, 20000, 22, 2));
    ASSERT_EQ(p.status, RunStatus::Finished);
    ASSERT_TRUE(m.energy && p.energy);
    EXPECT_FALSE(m.energy->wallContacts);
    const auto agree = [](const Estimate& a, const Estimate& b) {
      EXPECT_TRUE(a.hasError() && b.hasError());
      EXPECT_NEAR(a.value, b.value, 4.5 * std::hypot(a.standardError, b.standardError));
    };
    agree(m.energy->contacts, p.energy->contacts);
    agree(m.energy->bends, p.energy->bends);
    agree(m.energy->energy, p.energy->energy);
    agree(m.energy->heatCapacity, p.energy->heatCapacity);
    agree(m.extended.meanSquaredEnd, p.extended.meanSquaredEnd);
  }
}

TEST(MeltRun, GivesTheSameBitsOnAnyThreadCountAndItsSampleIsTheRunsLastSample) {
  MeltSettings settings = melt(12, 7);
  settings.walls = 1;  // a slit
  settings.burnIn = 50;
  settings.sweepsPerSample = 3;
  RunParams p = runParams(settings, 12, 30, 5, 1);
  const RunResult one = run(p);
  p.threads = 2;
  const RunResult two = run(p);
  expectSameBits(one, two);
  // Boxes split into two parts a sweep (side 48), dense and sparse, walled and periodic, under
  // an energy: the same bits on 1, 2 and 3 threads.
  for (const auto& [chains, walls] : {std::pair{3000, 0}, std::pair{300, 3}}) {
    MeltSettings split = melt(chains, 48);
    split.walls = walls;
    split.burnIn = 20;
    split.sweepsPerSample = 2;
    split.contactEnergy = -0.2;
    RunParams q = runParams(split, 12, 6, 8, 1);
    const RunResult single = run(q);
    ASSERT_EQ(single.status, RunStatus::Finished);
    for (const int threads : {2, 3}) {
      q.threads = threads;
      expectSameBits(single, run(q));
    }
  }
  ASSERT_TRUE(one.box);
  EXPECT_EQ(one.box->side, 7);
  EXPECT_EQ(one.box->periodic, (std::array<bool, 3>{true, true, false}));
  EXPECT_EQ(one.box->chains(), 12);
  EXPECT_EQ(one.extended.chains, 12 * 30);
  EXPECT_DOUBLE_EQ(measure(one, "volume_fraction"), 12.0 * 13 / 343);

  // A sample of 12 chains is the box of the run's last sample, and its last chain, moved to
  // start at the origin, is the run's last chain.
  RunParams s = p;
  setSampleCount(s, 12);
  s.iterations = p.iterations;
  RunObserver quiet;
  const ChainSample sample = sampleChains(s, quiet);
  ASSERT_EQ(sample.status, RunStatus::Finished);
  ASSERT_TRUE(sample.box);
  EXPECT_EQ(sample.chains, 12);
  EXPECT_EQ(sample.sites, one.box->sites);
  const auto last = sample.chain(11);
  ASSERT_EQ(last.size(), one.lastSites.size());
  for (std::size_t i = 0; i < last.size(); ++i) {
    const Point& a = last[i];
    EXPECT_EQ((Point{a.x - last[0].x, a.y - last[0].y, a.z - last[0].z}), one.lastSites[i]);
    // Between the walls of the slit every site stays inside the box.
    EXPECT_GE(a.z, 0);
    EXPECT_LT(a.z, 7);
  }
}

// <R^2(n)>/n on the spaced n: a run of one sample against a direct sum over its box's unwrapped
// chains at every n measured; a run of many samples, each added, has at n = N the run's own
// <R^2>/N with its error (the same series), and an error at every n where R^2(n) varies.
TEST(MeltRun, InternalDistancesOnSpacedNWithErrors) {
  constexpr std::int32_t kSteps = 24;
  MeltSettings settings = melt(8, 9);
  settings.burnIn = 50;
  settings.sweepsPerSample = 20;  // 20 values of n: every sample adds its internal distances
  const ModelInfo& model = modelInfo(MeltSettings{});
  const auto curveOf = [&](const RunResult& r) -> const MeasureValue& {
    return r.measures.at(static_cast<std::size_t>(model.findMeasure("internal_distances")));
  };
  const std::vector<double> spaced = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                      11, 12, 13, 14, 15, 16, 18, 20, 22, 24};

  const RunResult once = run(runParams(settings, kSteps, 1, 3, 1));
  ASSERT_EQ(once.status, RunStatus::Finished);
  ASSERT_TRUE(once.box);
  const MeasureValue& single = curveOf(once);
  ASSERT_EQ(single.at, spaced);
  ASSERT_EQ(single.curve.size(), spaced.size());
  ASSERT_EQ(single.curveError.size(), spaced.size());
  const auto& sites = once.box->sites;
  for (std::size_t k = 0; k < spaced.size(); ++k) {
    const auto n = static_cast<std::size_t>(spaced[k]);
    double sum = 0.0;
    for (std::size_t c = 0; c < 8; ++c) {
      for (std::size_t i = 0; i + n <= kSteps; ++i) {
        const Point& a = sites[c * (kSteps + 1) + i];
        const Point& b = sites[c * (kSteps + 1) + i + n];
        sum += static_cast<double>((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                                   (a.z - b.z) * (a.z - b.z));
      }
    }
    const double pairs = 8.0 * static_cast<double>(kSteps + 1 - n);
    EXPECT_DOUBLE_EQ(single.curve[k], sum / pairs / spaced[k]) << "n = " << n;
  }

  const RunResult many = run(runParams(settings, kSteps, 40, 3, 1));
  ASSERT_EQ(many.status, RunStatus::Finished);
  const MeasureValue& curve = curveOf(many);
  ASSERT_EQ(curve.at, spaced);
  ASSERT_EQ(curve.curveError.size(), spaced.size());
  EXPECT_EQ(curve.curve.front(), 1.0);
  const Estimate& r2 = many.extended.meanSquaredEnd;
  EXPECT_DOUBLE_EQ(curve.curve.back() * kSteps, r2.value);
  EXPECT_DOUBLE_EQ(curve.curveError.back() * kSteps, r2.standardError);
  for (std::size_t k = 1; k < spaced.size(); ++k) {
    EXPECT_GT(curve.curveError[k], 0.0) << "n = " << spaced[k];
    EXPECT_LT(curve.curveError[k], 0.2 * curve.curve[k]) << "n = " << spaced[k];
  }
}

// The measured burn-in and sampling interval follow the melt's relaxation over N, density and
// walls (with pivots in the dilute melt, reptation in the dense one): a default run covers ten
// autocorrelation times in its burn-in, not many more, and takes samples about one apart; a
// burn-in given is kept exactly.
TEST(MeltRun, DefaultsAreEquilibratedAndSampleAboutOnceAnAutocorrelationTime) {
  struct Case {
    std::int32_t steps;
    double density;
    std::int32_t walls;
  };
  for (const Case c : {Case{20, 0.5, 0}, Case{50, 0.78, 0}, Case{60, 0.1, 0}, Case{30, 0.5, 3}}) {
    SCOPED_TRACE("N=" + std::to_string(c.steps) + " phi=" + std::to_string(c.density) +
                 " walls=" + std::to_string(c.walls));
    MeltSettings settings;
    settings.density = c.density;
    settings.walls = c.walls;
    const RunResult r = run(runParams(settings, c.steps, 20, 3, 1));
    ASSERT_EQ(r.status, RunStatus::Finished);
    EXPECT_GE(measure(r, "burn_in_taus"), 10.0);
    EXPECT_LE(measure(r, "burn_in_taus"), 20.0);
    EXPECT_GE(measure(r, "sampling_taus"), 10.0);
    const double apart = measure(r, "sweeps_per_sample") / measure(r, "tau_end_to_end");
    EXPECT_GT(apart, 0.5);
    EXPECT_LT(apart, 2.0);
  }
  MeltSettings given;
  given.burnIn = 37;
  const RunResult r = run(runParams(given, 20, 2, 3, 1));
  EXPECT_EQ(measure(r, "burn_in"), 37.0);
}

// The burn-in rule on vectors whose relaxation is known: x' = a x + e, e uniform, integrated
// time (1 + a) / (2 (1 - a)) sweeps, started ten widths out (as laid-out chains start far from
// their equilibrium shapes). With many vectors the rule ends the burn-in after the 10 times the
// run's note asks for and before 1.5 times that, and measures the time within 15 %. With few
// vectors, whose times spread widely, the burn-in still covers 10 of the times that the run
// then measures on its correlator over 20 samples at the interval the burn-in measured.
TEST(MeltBurnIn, EndsAfterTenKnownTimesAndBeforeFifteen) {
  struct Case {
    std::size_t vectors;
    double a;
    std::uint64_t seed;
  };
  for (const Case c : {Case{400, 0.8, 7}, Case{400, 0.95, 7}, Case{1, 0.95, 3}, Case{2, 0.8, 5},
                       Case{2, 0.95, 7}, Case{5, 0.95, 11}}) {
    const double tau = (1 + c.a) / (2 * (1 - c.a));  // 4.5 and 19.5 sweeps
    SCOPED_TRACE("tau=" + std::to_string(tau) + " vectors=" + std::to_string(c.vectors) +
                 " seed=" + std::to_string(c.seed));
    EquilibrationWatch watch(static_cast<std::int64_t>(c.vectors), kMeltBurnInTaus, 20);
    RandomSource random(c.seed);
    // Uniform steps of width 1 have variance 1/12: the stationary spread is that / (1 - a^2).
    const double width = std::sqrt(1.0 / 12.0 / (1.0 - c.a * c.a));
    std::vector<double> v(3 * c.vectors, 10.0 * width);
    const auto sweep = [&] {
      for (double& x : v) x = c.a * x + static_cast<double>(random.next() >> 11) * 0x1.0p-53 - 0.5;
    };
    bool forgotten = false;
    for (int s = 0; s < 100000 && !forgotten; ++s) {
      sweep();
      forgotten = watch.add(v);
    }
    ASSERT_TRUE(forgotten);
    const auto burnIn = static_cast<double>(watch.sweeps());
    const std::int64_t perSample = std::max<std::int64_t>(1, std::llround(watch.tau()));
    VectorAutocorrelation correlation = std::move(watch).takeCorrelation();
    for (std::int64_t s = 0; s < 20 * perSample; ++s) {
      sweep();
      correlation.add(v);
    }
    EXPECT_GE(burnIn, 10.0 * correlation.integratedTime().tau);
    if (c.vectors < 100) continue;
    EXPECT_GE(burnIn, 10.0 * tau);
    EXPECT_LE(burnIn, 15.0 * tau);
    EXPECT_NEAR(static_cast<double>(perSample), tau, 0.15 * tau + 0.5);
  }
}

// Errors that hold at few samples: over 40 seeds of a small melt at 10 samples, the spread of
// the means is about the error each run states, and no error is 0 (the window alone, on 10
// samples, states some zeros and errors about half the spread).
TEST(MeltRun, StatedErrorsMatchTheSpreadOverSeedsAtFewSamples) {
  MeltSettings settings;
  settings.chains = 10;
  constexpr int kSeeds = 40;
  double sum[2] = {0, 0}, square[2] = {0, 0}, stated[2] = {0, 0};
  for (int seed = 1; seed <= kSeeds; ++seed) {
    const RunResult r = run(runParams(settings, 10, 10, static_cast<std::uint64_t>(seed), 1));
    ASSERT_EQ(r.status, RunStatus::Finished);
    const Estimate e[2] = {r.extended.meanSquaredEnd, r.extended.meanSquaredRg};
    for (int k = 0; k < 2; ++k) {
      ASSERT_GT(e[k].standardError, 0.0) << "seed " << seed;
      sum[k] += e[k].value;
      square[k] += e[k].value * e[k].value;
      stated[k] += e[k].standardError / kSeeds;
    }
  }
  for (int k = 0; k < 2; ++k) {
    const double spread = std::sqrt((square[k] - sum[k] * sum[k] / kSeeds) / (kSeeds - 1));
    EXPECT_GT(spread / stated[k], 0.75) << k;
    EXPECT_LT(spread / stated[k], 1.3) << k;
  }
}

// What a run cannot judge it says it could not, with no "nan" anywhere, and never calls the
// melt equilibrated without the evidence: one sample (no time, no halves), three (a half of
// one sample). Move kinds the mix leaves out say they had no attempts.
TEST(MeltRun, NotesSayWhatCouldNotBeJudged) {
  MeltSettings settings = melt(6, 6);
  settings.burnIn = 5;
  settings.sweepsPerSample = 1;
  for (const std::int32_t samples : {1, 3}) {
    SCOPED_TRACE(std::to_string(samples) + " samples");
    const RunResult r = run(runParams(settings, 8, samples, 4, 1));
    ASSERT_EQ(r.status, RunStatus::Finished);
    const ModelInfo& model = modelInfo(MeltSettings{});
    std::string notes;
    for (const std::string& note : runNotes(model, r.measures)) notes += note + "\n";
    const std::string text = extendedStatsText(model, r.extended, r.measures) + notes;
    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
    EXPECT_NE(notes.find("could not be judged"), std::string::npos) << notes;
    EXPECT_NE(notes.find("more --iterations or --sweeps-per-sample)."), std::string::npos) << notes;
    EXPECT_EQ(notes.find("Equilibrated"), std::string::npos) << notes;
    EXPECT_NE(text.find("n/a                      acceptance of 0 attempts"), std::string::npos)
        << text;
  }
}

// A melt that did not move over its samples (frozen by a strong attraction) states no errors
// ("n/a", never "+/- 0") and says why; dimers under the same energy, whose R^2 is 1 in every
// chain whatever the melt does, keep the exact error 0 for R^2.
TEST(MeltRun, AFrozenMeltStatesNoErrorsButDimersKeepTheirExactOne) {
  MeltSettings settings = melt(10, 6);
  settings.contactEnergy = -10.0;
  settings.burnIn = 2000;
  settings.sweepsPerSample = 1;
  const ModelInfo& model = modelInfo(MeltSettings{});
  const RunResult frozen = run(runParams(settings, 10, 20, 1, 1));
  ASSERT_EQ(frozen.status, RunStatus::Finished);
  EXPECT_TRUE(std::isnan(frozen.extended.meanSquaredEnd.standardError));
  EXPECT_TRUE(std::isnan(frozen.extended.ratio.standardError));
  ASSERT_TRUE(frozen.energy.has_value());
  EXPECT_TRUE(std::isnan(frozen.energy->contacts.standardError));
  std::string notes;
  for (const std::string& note : runNotes(model, frozen.measures)) notes += note + "\n";
  const std::string text = extendedStatsText(model, frozen.extended, frozen.measures) +
                           energyText(*frozen.energy) + notes;
  EXPECT_EQ(text.find("+/- 0 "), std::string::npos) << text;
  EXPECT_NE(notes.find("the chains did not move"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("each half needs two samples"), std::string::npos) << notes;

  const RunResult dimers = run(runParams(settings, 1, 20, 1, 1));
  ASSERT_EQ(dimers.status, RunStatus::Finished);
  EXPECT_EQ(dimers.extended.meanSquaredEnd.value, 1.0);
  EXPECT_EQ(dimers.extended.meanSquaredEnd.standardError, 0.0);
}

// A cancel while a large box is laid out stops the run there: no sweep made, nothing left.
TEST(MeltRun, StopsWhileLayingOutALargeBox) {
  struct CancelAtTheSecondLook : RunObserver {
    int asked = 0;
    int reports = 0;
    void progress(const RunProgress&) override { ++reports; }
    bool cancelRequested() override { return ++asked >= 2; }
  } observer;
  MeltSettings settings = melt(1, 400);
  settings.burnIn = 0;
  const RunResult r = runSimulation(runParams(settings, 10, 1, 1, 1), observer);
  EXPECT_EQ(r.status, RunStatus::Cancelled);
  EXPECT_EQ(observer.asked, 2);
  EXPECT_EQ(observer.reports, 0);
  EXPECT_FALSE(r.box);
}

// A box split into parts stops on its threads when asked, in the middle of its sweeps.
TEST(MeltRun, StopsWhileSweepingOnThreads) {
  struct CancelAtTheTenthLook : RunObserver {
    std::atomic<int> asked = 0;
    bool cancelRequested() override { return ++asked >= 10; }
  } observer;
  MeltSettings settings = melt(3000, 48);
  settings.burnIn = 5000;
  RunParams p = runParams(settings, 12, 20, 1, 1);
  p.threads = 2;
  const RunResult r = runSimulation(p, observer);
  EXPECT_EQ(r.status, RunStatus::Cancelled);
  EXPECT_FALSE(r.box);
}

TEST(MeltRun, RefusesWhatNoMeltCanBe) {
  const auto refusal = [](const MeltSettings& m, std::int32_t steps) -> std::string {
    try {
      validateParams(runParams(m, steps, 1, 1));
    } catch (const InputError& e) {
      return e.what();
    }
    return {};
  };
  MeltSettings both = melt(10, 10);
  both.density = 0.5;
  EXPECT_NE(refusal(both, 10).find("either-or"), std::string::npos);
  EXPECT_NE(refusal(melt(100, 10), 10).find("volume fraction"), std::string::npos);
  EXPECT_NE(refusal(melt(1, 2), 1).find("at least 3"), std::string::npos);
  MeltSettings closed = melt(1, 2);
  closed.walls = 3;
  EXPECT_EQ(refusal(closed, 1), "");
  closed.wallEnergy = -1.0;
  EXPECT_EQ(refusal(closed, 1), "");
  MeltSettings periodic = melt(1, 5);
  periodic.wallEnergy = -1.0;
  EXPECT_NE(refusal(periodic, 1).find("needs walls"), std::string::npos);
  MeltSettings dense;
  dense.density = 0.9;
  EXPECT_NE(refusal(dense, 10).find("Density"), std::string::npos);
  // The side whose volume fraction comes closest to the one asked for: 10^4 sites at 0.5
  // want 20000 cells, 27^3 = 19683 (0.508) against 28^3 = 21952 (0.456); never denser than
  // 0.8 (26 chains of 24 steps, 650 sites, want 812.5 cells at 0.8: 9^3 = 729 would give
  // 0.89, so 10^3, 0.65).
  MeltSettings asked;
  asked.chains = 100;
  asked.density = 0.5;
  EXPECT_EQ(meltSide(asked, 99), 27);
  asked.chains = 26;
  asked.density = 0.8;
  EXPECT_EQ(meltSide(asked, 24), 10);
}

}  // namespace
}  // namespace polychain
