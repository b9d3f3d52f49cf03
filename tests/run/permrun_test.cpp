// The perm model through the run frame against exact enumeration: at zero energies ln Z_n is
// the number of self-avoiding walks; with contact and bend energies ln Z_n, <R^2>_n, <Rg^2>_n
// and <|R|> at N are those of every walk weighed by exp(-energy); the same bits on any thread
// count.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "chain/perm.h"
#include "polychain/inputerror.h"
#include "polychain/run.h"
#include "polychain/sample.h"
#include "polychain/sweep.h"
#include "reference/runparams.h"
#include "reference/walkclasses.h"
#include "run/quietrun.h"
#include "run/samebits.h"

namespace polychain {
namespace {

using reference::runParams;

RunResult run(const RunParams& p) { return quietRun(p); }

const MeasureValue& measure(const RunResult& r, std::string_view name) {
  const int at = modelInfo(PermSettings{}).findMeasure(name);
  EXPECT_GE(at, 0) << name;
  return r.measures.at(static_cast<std::size_t>(at));
}

PermSettings energies(double contact, double bend) {
  PermSettings s;
  s.contactEnergy = contact;
  s.bendEnergy = bend;
  return s;
}

// The longest walks enumerated exactly.
constexpr int kLongest = 10;

// Every self-avoiding walk of n steps, for each n from 1 to kLongest, classed by its contacts
// and bends.
const reference::WalkClasses& walkClasses(int n) {
  static const std::vector<reference::WalkClasses> classes = [] {
    std::vector<reference::WalkClasses> all;
    for (int k = 1; k <= kLongest; ++k) all.emplace_back(k);
    return all;
  }();
  return classes.at(static_cast<std::size_t>(n - 1));
}

// Within 4 standard errors, with an error small enough to tell a wrong answer.
void expectWithin(double estimate, double error, double exact, double precision,
                  const std::string& what) {
  EXPECT_TRUE(std::isfinite(error)) << what;
  EXPECT_LT(error, precision) << what;
  EXPECT_NEAR(estimate, exact, 4 * error + 1e-12 * std::abs(exact)) << what;  // exact: n = 1, 2
}

TEST(PermRun, CountsTheSelfAvoidingWalks) {
  const double counts[] = {6,     30,     150,     726,     3534,     16926,
                           81390, 387966, 1853886, 8809878, 41934150, 198842742};
  const RunResult r = run(runParams(PermSettings{}, 12, 20000, 7));
  ASSERT_EQ(r.status, RunStatus::Finished);
  EXPECT_FALSE(r.energy.has_value());  // no energy, no energy terms
  const auto& logZ = measure(r, "log_partition_n").curve;
  const auto& error = measure(r, "log_partition_n_se").curve;
  ASSERT_EQ(logZ.size(), 12u);
  EXPECT_EQ(measure(r, "n").curve.back(), 12.0);
  for (std::size_t n = 0; n < 12; ++n) {
    expectWithin(logZ[n], error[n], std::log(counts[n]), 0.01, "ln c_" + std::to_string(n + 1));
  }
  EXPECT_EQ(measure(r, "log_partition").value, logZ.back());
  EXPECT_EQ(measure(r, "log_partition").standardError, error.back());
}

// Attraction with stiffness, and repulsion with a preference for bends: ln Z_n, <R^2>_n and
// <Rg^2>_n for every n, the means at N, and the chain shown, a walk of N steps.
TEST(PermRun, AgreesWithExactEnumerationAtNonZeroEnergies) {
  for (const auto& [contact, bend] : {std::pair{-0.8, 0.5}, std::pair{0.6, -0.4}}) {
    const std::string at = "E=" + std::to_string(contact) + " K=" + std::to_string(bend);
    SCOPED_TRACE(at);
    const RunResult r = run(runParams(energies(contact, bend), kLongest, 20000, 21));
    ASSERT_EQ(r.status, RunStatus::Finished);
    const auto& logZ = measure(r, "log_partition_n");
    const auto& logZError = measure(r, "log_partition_n_se");
    const auto& r2 = measure(r, "R2_n");
    const auto& r2Error = measure(r, "R2_n_se");
    const auto& rg2 = measure(r, "Rg2_n");
    const auto& rg2Error = measure(r, "Rg2_n_se");
    for (int n = 1; n <= kLongest; ++n) {
      const reference::WalkMeans exact = walkClasses(n).means(contact, bend);
      const auto i = static_cast<std::size_t>(n - 1);
      const std::string which = " at n=" + std::to_string(n);
      expectWithin(logZ.curve[i], logZError.curve[i], exact.logZ, 0.01, "ln Z" + which);
      expectWithin(r2.curve[i], r2Error.curve[i], exact.r2, 0.02 * exact.r2, "<R^2>" + which);
      expectWithin(rg2.curve[i], rg2Error.curve[i], exact.rg2, 0.02 * exact.rg2, "<Rg^2>" + which);
    }
    const reference::WalkMeans exact = walkClasses(kLongest).means(contact, bend);
    expectWithin(r.values.Rsqred.value, r.values.Rsqred.standardError, exact.r, 0.02 * exact.r,
                 "<|R|> at N");
    expectWithin(r.extended.meanSquaredRg.value, r.extended.meanSquaredRg.standardError, exact.rg2,
                 0.02 * exact.rg2, "<Rg^2> at N");
    expectWithin(r.extended.ratio.value, r.extended.ratio.standardError, exact.rg2 / exact.r2, 0.02,
                 "<Rg^2>/<R^2> at N");
    // The energy terms at N, the heat capacity's error from the tours' fluctuations included.
    ASSERT_TRUE(r.energy.has_value());
    const EnergyEstimates& e = *r.energy;
    EXPECT_FALSE(e.wallContacts.has_value());
    expectWithin(e.contacts.value, e.contacts.standardError, exact.contacts, 0.02, "contacts");
    expectWithin(e.bends.value, e.bends.standardError, exact.bends, 0.03, "bends");
    expectWithin(e.energy.value, e.energy.standardError, exact.energy, 0.02, "energy");
    expectWithin(e.heatCapacity.value, e.heatCapacity.standardError, exact.heatCapacity, 0.05,
                 "heat capacity");
    ASSERT_EQ(r.lastSites.size(), static_cast<std::size_t>(kLongest) + 1);
    for (std::size_t s = 1; s < r.lastSites.size(); ++s) {
      const Point& a = r.lastSites[s - 1];
      const Point& b = r.lastSites[s];
      EXPECT_EQ(std::abs(a.x - b.x) + std::abs(a.y - b.y) + std::abs(a.z - b.z), 1);
    }
  }
}

// Thresholds far tighter than a run's, so that most chains are pruned or enriched: the tours'
// weights, in units of the exact Z_n, still add up to 1 on average at every n.
TEST(PermTree, PruningAndEnrichingKeepTheWeightsExact) {
  const PermSettings s = energies(-0.5, 0.3);
  struct Guide {
    std::vector<double> step, tour;
    std::int64_t chains = 0;
    double weigh(std::int32_t n, double parent, double atmosphere) const {
      return parent * atmosphere * step[static_cast<std::size_t>(n)];
    }
    PermBounds bounds(std::int32_t) const { return {1.2, 0.8}; }
    void visit(const PermNode& node) {
      tour[static_cast<std::size_t>(node.steps)] += node.weight;
      ++chains;
    }
    bool goOn() const { return true; }
  };
  Guide guide{std::vector<double>(kLongest + 1, 1.0), std::vector<double>(kLongest + 1, 0.0)};
  double logZ = 0.0;  // Z_0 = 1
  for (int n = 1; n <= kLongest; ++n) {
    const double next = walkClasses(n).means(s.contactEnergy, s.bendEnergy).logZ;
    guide.step[static_cast<std::size_t>(n)] = std::exp(logZ - next);
    logZ = next;
  }
  PermTree tree(kLongest, s);
  RandomSource random(3);
  constexpr int kTours = 20000;
  std::vector<double> sum(kLongest + 1, 0.0), squares(kLongest + 1, 0.0);
  int branched = 0, cut = 0;  // tours of more chains than one walk has, and tours that ended
  for (int t = 0; t < kTours; ++t) {
    const std::int64_t before = guide.chains;
    ASSERT_TRUE(tree.tour(random, guide));
    branched += guide.chains - before > kLongest ? 1 : 0;
    cut += guide.tour[kLongest] == 0.0 ? 1 : 0;
    for (std::size_t n = 1; n <= kLongest; ++n) {
      sum[n] += guide.tour[n];
      squares[n] += guide.tour[n] * guide.tour[n];
      guide.tour[n] = 0.0;
    }
  }
  EXPECT_GT(branched, kTours / 10);
  EXPECT_GT(cut, kTours / 10);
  for (std::size_t n = 1; n <= kLongest; ++n) {
    const double mean = sum[n] / kTours;
    const double error = std::sqrt((squares[n] / kTours - mean * mean) / (kTours - 1));
    expectWithin(mean, error, 1.0, 0.02, "Z_n / exact at n=" + std::to_string(n));
  }
}

// Near the theta point the pilot's first tours enrich at every new n, so the first chain to
// reach an n is a copy of ever smaller weight: its estimates must stay finite all the way to N
// (before, ln Z_n became infinite from n = 1426 here, and the run's curves empty beyond).
TEST(PermTree, PilotStaysFiniteOnLongChainsNearTheta) {
  constexpr std::int32_t kSteps = 2000;
  const std::optional<std::vector<double>> logZ =
      permPilot(kSteps, energies(-0.28, 0.0), [] { return true; });
  ASSERT_TRUE(logZ.has_value());
  for (std::int32_t n = 1; n <= kSteps; ++n) {
    const double rate =
        (*logZ)[static_cast<std::size_t>(n)] - (*logZ)[static_cast<std::size_t>(n - 1)];
    ASSERT_TRUE(rate > 0.0 && rate < std::log(6.0) + 1.0) << "ln Z_n - ln Z_(n-1) at n=" << n;
  }
}

TEST(PermRun, SameBitsOnOneAndTwoThreads) {
  const PermSettings s = energies(-0.4, 0.2);
  expectSameBits(run(runParams(s, 60, 300, 5, 1)), run(runParams(s, 60, 300, 5, 2)));
}

// A strong attraction lets only one of a few tours reach N: its weighted means have no error
// over the tours (a spread of one tour is zero, not a small error), while those of a run where
// many tours reach N have one.
TEST(PermRun, OneTourReachingNGivesNoError) {
  const RunResult one = run(runParams(energies(-10.0, 0.0), 50, 5, 1, 1));
  ASSERT_EQ(measure(one, "tours_reaching").value, 1.0);
  EXPECT_FALSE(one.extended.meanSquaredEnd.hasError());
  EXPECT_FALSE(one.extended.ratio.hasError());
  ASSERT_TRUE(one.energy.has_value());
  EXPECT_FALSE(one.energy->contacts.hasError());
  EXPECT_FALSE(one.energy->heatCapacity.hasError());
  const RunResult many = run(runParams(energies(-0.2, 0.0), 50, 200, 1, 1));
  EXPECT_GT(many.extended.meanSquaredEnd.standardError, 0.0);
  EXPECT_GT(many.energy->heatCapacity.standardError, 0.0);
}

// A cancel stops a run of long chains, and the trial cap, on the chains of one tour, stops
// a run whose tours grow many.
TEST(PermRun, CancelAndTheTrialCapStopARun) {
  struct Cancelling : RunObserver {
    std::atomic<int> asked{0};
    bool cancelRequested() override { return ++asked > 5; }
  } cancelling;
  const RunResult cancelled = runSimulation(runParams(PermSettings{}, 50'000, 100, 1), cancelling);
  EXPECT_EQ(cancelled.status, RunStatus::Cancelled);
  EXPECT_TRUE(cancelled.lastSites.empty());

  RunParams capped = runParams(PermSettings{}, 1000, 2000, 1);
  capped.maxTrials = 1000;
  const RunResult stopped = run(capped);
  EXPECT_EQ(stopped.status, RunStatus::TrialLimit);
  EXPECT_GE(stopped.trialLimitChain, 0);
}

// A sweep of perm fits ln Z_N for the growth constant and gamma of the self-avoiding walk;
// a model without ln Z_N has no such fit.
TEST(PermRun, SweepFitsTheGrowthConstant) {
  SweepParams params;
  params.run = runParams(PermSettings{}, 0, 2000, 0);
  params.steps = {25, 50, 100, 200, 400};
  params.seed = 8;
  SweepObserver quiet;
  const SweepResult perm = runSweep(params, quiet);
  ASSERT_EQ(perm.status, RunStatus::Finished);
  ASSERT_TRUE(perm.growth);
  EXPECT_EQ(perm.growth->points, 5u);
  EXPECT_LT(perm.growth->muError, 0.01);
  EXPECT_NEAR(perm.growth->mu, kSelfAvoidingGrowth, 4 * perm.growth->muError);
  EXPECT_NEAR(perm.growth->gamma, kSelfAvoidingGamma, 4 * perm.growth->gammaError);
  params.run.model = MeanderSettings{};
  EXPECT_FALSE(runSweep(params, quiet).growth);
}

// Its chains are weighted: a sample of them would not be the walks', so none is offered.
TEST(PermRun, RefusesASampleOfChains) {
  EXPECT_THROW(checkSample(runParams(PermSettings{}, 10, 3, 1), 0), InputError);
}

}  // namespace
}  // namespace polychain
