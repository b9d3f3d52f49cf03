// Every number two finished runs return, bit for bit: for runs that must be the same run.
#pragma once

#include <gtest/gtest.h>

#include "polychain/run.h"

namespace polychain {

inline void expectSameBits(const RunResult& a, const RunResult& b) {
  ASSERT_EQ(a.status, RunStatus::Finished);
  ASSERT_EQ(b.status, RunStatus::Finished);
  EXPECT_EQ(a.sums.chains, b.sums.chains);
  EXPECT_EQ(a.sums.endSum, b.sums.endSum);
  EXPECT_EQ(a.sums.distanceSum, b.sums.distanceSum);
  EXPECT_EQ(a.sums.rgSum, b.sums.rgSum);
  EXPECT_EQ(a.values.Rsqred, b.values.Rsqred);
  EXPECT_EQ(a.extended.rmsEnd.standardError, b.extended.rmsEnd.standardError);
  EXPECT_EQ(a.extended.ratio.standardError, b.extended.ratio.standardError);
  ASSERT_EQ(a.extended.trials.has_value(), b.extended.trials.has_value());
  if (a.extended.trials) {
    EXPECT_EQ(a.extended.trials->total, b.extended.trials->total);
  }
  EXPECT_EQ(a.lastSites, b.lastSites);
  ASSERT_EQ(a.pivot.has_value(), b.pivot.has_value());
  if (a.pivot) {
    EXPECT_EQ(a.pivot->accepted, b.pivot->accepted);
    EXPECT_EQ(a.pivot->tauR2, b.pivot->tauR2);
  }
}

}  // namespace polychain
