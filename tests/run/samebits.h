// Every number two finished runs return, bit for bit: for runs that must be the same run.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "polychain/run.h"

namespace polychain {

// The bits of a double, so that NaN equals NaN.
inline std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }

inline void expectSameBits(const RunResult& a, const RunResult& b) {
  ASSERT_EQ(a.status, RunStatus::Finished);
  ASSERT_EQ(b.status, RunStatus::Finished);
  EXPECT_EQ(a.sums.chains, b.sums.chains);
  EXPECT_EQ(a.sums.endSum, b.sums.endSum);
  EXPECT_EQ(a.sums.distanceSum, b.sums.distanceSum);
  EXPECT_EQ(a.sums.rgSum, b.sums.rgSum);
  EXPECT_EQ(a.values.Rsqred.value, b.values.Rsqred.value);
  EXPECT_EQ(bitsOf(a.values.Rsqred.standardError), bitsOf(b.values.Rsqred.standardError));
  EXPECT_EQ(a.extended.rmsEnd.standardError, b.extended.rmsEnd.standardError);
  EXPECT_EQ(a.extended.ratio.standardError, b.extended.ratio.standardError);
  ASSERT_EQ(a.extended.trials.has_value(), b.extended.trials.has_value());
  if (a.extended.trials) {
    EXPECT_EQ(a.extended.trials->total, b.extended.trials->total);
  }
  EXPECT_EQ(a.lastSites, b.lastSites);
  ASSERT_EQ(a.measures.size(), b.measures.size());
  for (std::size_t m = 0; m < a.measures.size(); ++m) {
    EXPECT_EQ(bitsOf(a.measures[m].value), bitsOf(b.measures[m].value)) << "measure " << m;
    EXPECT_EQ(bitsOf(a.measures[m].standardError), bitsOf(b.measures[m].standardError))
        << "measure " << m;
    EXPECT_EQ(a.measures[m].curve, b.measures[m].curve) << "measure " << m;
    EXPECT_EQ(a.measures[m].at, b.measures[m].at) << "measure " << m;
    ASSERT_EQ(a.measures[m].curveError.size(), b.measures[m].curveError.size());
    for (std::size_t i = 0; i < a.measures[m].curveError.size(); ++i) {
      EXPECT_EQ(bitsOf(a.measures[m].curveError[i]), bitsOf(b.measures[m].curveError[i]))
          << "measure " << m << " at " << i;
    }
  }
  ASSERT_EQ(a.energy.has_value(), b.energy.has_value());
  if (a.energy) {
    for (const auto member : {&EnergyEstimates::contacts, &EnergyEstimates::bends,
                              &EnergyEstimates::energy, &EnergyEstimates::heatCapacity}) {
      EXPECT_EQ(bitsOf((*a.energy.*member).value), bitsOf((*b.energy.*member).value));
      EXPECT_EQ(bitsOf((*a.energy.*member).standardError),
                bitsOf((*b.energy.*member).standardError));
    }
  }
}

}  // namespace polychain
