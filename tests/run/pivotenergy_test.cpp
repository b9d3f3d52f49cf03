// The pivot model under contact and bend energies, run through the whole frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "chain/pivotmodel.h"
#include "polychain/run.h"
#include "reference/runparams.h"
#include "reference/walkclasses.h"
#include "run/quietrun.h"
#include "run/samebits.h"

namespace polychain {
namespace {

using reference::runParams;

RunResult run(const RunParams& p) { return quietRun(p); }

// Attractive (with local moves) and repulsive energies: the same bits on any thread count, and the
// energy estimates (time averages over every attempt, errors from the autocorrelation) within four
// errors of the exact means of every 10-step walk, the heat capacity's error from the delta
// method included. Zero energies given are the athermal run, bit for bit, without estimates.
TEST(PivotEnergy, RunsMatchExactEnumeration) {
  constexpr std::int32_t kSteps = 10;
  const reference::WalkClasses exact(kSteps);
  struct Case {
    double contact, bend;
    std::int32_t localMoves;
  };
  for (const Case c : {Case{-0.8, 0.3, 2}, Case{0.5, -0.5, 0}}) {
    SCOPED_TRACE("E=" + std::to_string(c.contact) + ", K=" + std::to_string(c.bend));
    RunParams p = runParams(PivotSettings{.pivotsPerSample = 20000,
                                          .contactEnergy = c.contact,
                                          .bendEnergy = c.bend,
                                          .localMoves = c.localMoves},
                            kSteps, 16, 21, 1);
    const RunResult r = run(p);
    ASSERT_EQ(r.status, RunStatus::Finished);
    ASSERT_TRUE(r.energy.has_value());
    if (c.contact < 0) {
      p.threads = 2;
      expectSameBits(r, run(p));
    }
    const reference::WalkMeans want = exact.means(c.contact, c.bend);
    const EnergyEstimates& e = *r.energy;
    EXPECT_FALSE(e.wallContacts.has_value());
    struct Check {
      const char* name;
      Estimate got;
      double want;
    };
    for (const Check& k :
         {Check{"contacts", e.contacts, want.contacts}, Check{"bends", e.bends, want.bends},
          Check{"energy", e.energy, want.energy},
          Check{"heat capacity", e.heatCapacity, want.heatCapacity},
          Check{"R^2", r.extended.meanSquaredEnd, want.r2}}) {
      EXPECT_NEAR(k.got.value, k.want, 4 * k.got.standardError) << k.name;
      EXPECT_LT(k.got.standardError, 0.02 * std::max(std::abs(k.want), 1.0))
          << k.name << ": too few to tell";
    }
  }

  RunParams athermal = runParams(PivotSettings{.pivotsPerSample = 50}, 300, 20, 8, 1);
  const RunResult plain = run(athermal);
  EXPECT_FALSE(plain.energy.has_value());
  std::get<PivotSettings>(athermal.model).contactEnergy = 0.0;
  std::get<PivotSettings>(athermal.model).bendEnergy = 0.0;
  expectSameBits(plain, run(athermal));
}

}  // namespace
}  // namespace polychain
