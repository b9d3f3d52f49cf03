// Sampling many chains and placing them in a box: the chains are the run's own chains, the
// same on any thread count; cancelling and the trial cap stop it; placement moves each chain
// rigidly, wraps it into the box with images, takes no site twice and repeats for a seed.
#include "polychain/sample.h"
#include "polychain/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "chain/pivot.h"
#include "polychain/placement.h"
#include "reference/runparams.h"

namespace polychain {
namespace {

using reference::runParams;

ChainSample sample(const RunParams& p) {
  RunObserver quiet;
  return sampleChains(p, quiet);
}

std::tuple<int, int, int> key(Point p) { return {p.x, p.y, p.z}; }

std::int64_t stepLength(Point a, Point b) {
  return std::abs(std::int64_t{a.x} - b.x) + std::abs(std::int64_t{a.y} - b.y) +
         std::abs(std::int64_t{a.z} - b.z);
}

TEST(Sample, ChainsAreTheRunsChainsOnAnyThreadCount) {
  for (const ModelSettings& settings :
       {ModelSettings(MeanderSettings{}), ModelSettings(SawSettings{1}),
        ModelSettings(ShortRangeSettings{3}),
        ModelSettings(PivotSettings{.pivotsPerSample = 50, .walkers = 4})}) {
    // 23 pivot samples go to walkers of 6, 6, 6 and 5.
    const ModelInfo& model = modelOf(settings);
    SCOPED_TRACE(std::string(model.key));
    RunParams p = runParams(settings, 60, 23, 11, 1);
    const ChainSample one = sample(p);
    ASSERT_EQ(one.status, RunStatus::Finished);
    ASSERT_EQ(one.chains, 23);
    ASSERT_EQ(one.starts.size(), 24U);
    p.threads = 3;
    const ChainSample three = sample(p);
    EXPECT_EQ(one.sites, three.sites);
    EXPECT_EQ(one.starts, three.starts);
    // The last chain is the run's last chain.
    RunObserver quiet;
    const RunResult run = runSimulation(p, quiet);
    const auto last = one.chain(22);
    EXPECT_EQ(std::vector<Point>(last.begin(), last.end()), run.lastSites);
    // Chain 4 of a growth run does not depend on how many chains follow it.
    if (model.grower != nullptr) {
      p.iterations = 5;
      const auto fifth = one.chain(4);
      EXPECT_EQ(std::vector<Point>(fifth.begin(), fifth.end()), runSimulation(p, quiet).lastSites);
    }
    for (std::int64_t c = 0; c < one.chains; ++c) {
      const auto chain = one.chain(c);
      if (model.sitesBeyondSteps == 1) {
        EXPECT_EQ(std::ssize(chain), 61);
      }
      EXPECT_EQ(chain.front(), Point{});
      for (std::size_t i = 1; i < chain.size(); ++i) {
        EXPECT_EQ(stepLength(chain[i - 1], chain[i]), model.stepLength(settings));
      }
      if (!model.selfAvoiding) continue;
      std::set<std::tuple<int, int, int>> distinct;
      for (const Point& s : chain) distinct.insert(key(s));
      EXPECT_EQ(distinct.size(), chain.size());
    }
  }
  RunParams other = runParams(SawSettings{}, 60, 4, 12, 2);
  EXPECT_NE(sample(other).sites, sample(runParams(SawSettings{}, 60, 4, 11, 2)).sites);
}

TEST(Sample, CancelAndTrialCapStopIt) {
  class Cancel final : public RunObserver {
    bool cancelRequested() override { return true; }
  } cancel;
  for (const ModelSettings& model :
       {ModelSettings(SawSettings{}), ModelSettings(PivotSettings{})}) {
    const ChainSample cancelled = sampleChains(runParams(model, 2000, 50, 1), cancel);
    EXPECT_EQ(cancelled.status, RunStatus::Cancelled);
    EXPECT_TRUE(cancelled.sites.empty());
  }
  RunParams capped = runParams(SawSettings{}, 3000, 20, 1);
  capped.maxTrials = 100;
  EXPECT_EQ(sample(capped).status, RunStatus::TrialLimit);
  EXPECT_THROW(sample(runParams(SawSettings{}, 10, 0, 1)), InputError);
  // The memory estimate grows with the chains and is refused when it is out of reach.
  const RunParams few = runParams(PivotSettings{}, 1000, 10, 1);
  const RunParams many = runParams(PivotSettings{}, 1000, 1000, 1);
  EXPECT_GE(sampleMemoryNeeded(many, 100) - sampleMemoryNeeded(few, 100), 990U * 1001 * 112);
  EXPECT_THROW(checkSample(runParams(PivotSettings{}, 60'000'000, 2'000'000'000, 1), 0),
               MemoryRefusal);
}

TEST(Placement, CubeSymmetriesAreTheFortyEightOfTheCube) {
  std::set<std::tuple<int, int, int>> images;
  for (int s = 0; s < 48; ++s) {
    const Point p = applySymmetry(s, {1, 2, 3});
    EXPECT_EQ(p.x * p.x + p.y * p.y + p.z * p.z, 14);
    images.insert(key(p));
  }
  EXPECT_EQ(images.size(), 48U);
  EXPECT_EQ(applySymmetry(0, {1, 2, 3}), (Point{1, 2, 3}));
}

// The placed chain, unwrapped and moved to start at the origin, as one symmetry of the
// sampled chain.
bool isRigidCopy(std::span<const Point> chain, const Ensemble& e, std::int64_t c) {
  const auto first = static_cast<std::size_t>(e.starts[static_cast<std::size_t>(c)]);
  const auto unwrapped = [&](std::size_t i) {
    const Point& w = e.sites[first + i];
    const Point& m = e.images[first + i];
    return Point{static_cast<std::int32_t>(w.x + e.box * m.x),
                 static_cast<std::int32_t>(w.y + e.box * m.y),
                 static_cast<std::int32_t>(w.z + e.box * m.z)};
  };
  const Point o = unwrapped(0);
  for (int s = 0; s < 48; ++s) {
    bool same = true;
    for (std::size_t i = 0; i < chain.size() && same; ++i) {
      const Point u = unwrapped(i);
      same = applySymmetry(s, chain[i]) == Point{u.x - o.x, u.y - o.y, u.z - o.z};
    }
    if (same) return true;
  }
  return false;
}

TEST(Placement, ChainsMovedRigidlyIntoTheBoxTakeNoSiteTwice) {
  RunParams p = runParams(PivotSettings{.pivotsPerSample = 100}, 200, 40, 5);
  const ChainSample chains = sample(p);
  ASSERT_EQ(chains.status, RunStatus::Finished);
  for (const std::optional<std::int64_t> box :
       {std::optional<std::int64_t>(60), std::optional<std::int64_t>()}) {
    PlacementParams params;
    params.box = box;
    params.seed = 5;
    params.bondLength = 0.5;
    const Ensemble e = *placeChains(chains, params);
    EXPECT_EQ(e.siteCount(), 40 * 201);
    EXPECT_EQ(e.bondCount(), 40 * 200);
    EXPECT_EQ(e.bondLength, 0.5);
    if (box) {
      EXPECT_EQ(e.box, 60);
    }
    std::set<std::tuple<int, int, int>> taken;
    for (std::int64_t i = 0; i < e.siteCount(); ++i) {
      const Point& w = e.sites[static_cast<std::size_t>(i)];
      for (const std::int32_t v : {w.x, w.y, w.z}) ASSERT_TRUE(v >= 0 && v < e.box);
      taken.insert(key(w));
    }
    EXPECT_EQ(std::ssize(taken), e.siteCount());
    for (std::int64_t c = 0; c < e.chains; ++c) EXPECT_TRUE(isRigidCopy(chains.chain(c), e, c));
    if (!box) {
      EXPECT_TRUE(std::all_of(e.images.begin(), e.images.end(),
                              [](const Point& i) { return i == Point{}; }));
    } else {
      EXPECT_TRUE(std::any_of(e.images.begin(), e.images.end(),
                              [](const Point& i) { return !(i == Point{}); }));
      // Its own stream: the same seed places alike, another seed elsewhere.
      EXPECT_EQ(placeChains(chains, params)->sites, e.sites);
      params.seed = 6;
      EXPECT_NE(placeChains(chains, params)->sites, e.sites);
    }
  }
}

TEST(Placement, RefusesABoxTooSmallOrTooFullAndStopsOnRequest) {
  const auto refusal = [](const ChainSample& chains, std::int64_t box, std::int64_t tries) {
    PlacementParams params;
    params.box = box;
    params.triesPerChain = tries;
    try {
      placeChains(chains, params);
    } catch (const InputError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(refusal(sample(runParams(SawSettings{}, 100, 1, 2)), 5, 10).find("Chain 1 spans"),
            std::string::npos);
  const ChainSample chains = sample(runParams(SawSettings{}, 20, 30, 2));
  EXPECT_NE(refusal(chains, 8, 10).find("fewer than the 630 sites"), std::string::npos);
  const std::string full = refusal(chains, 10, 20);
  EXPECT_NE(full.find("found a free place in a box of side 10"), std::string::npos) << full;
  EXPECT_NE(full.find("volume fraction of"), std::string::npos) << full;
  EXPECT_EQ(refusal(chains, 300, 10), "");
  // Free walks cross themselves and each other: placed without the test, never refused.
  const ChainSample free = sample(runParams(MeanderSettings{}, 100, 30, 2));
  PlacementParams crossing;
  crossing.box = 15;
  crossing.selfAvoiding = false;
  EXPECT_TRUE(placeChains(free, crossing).has_value());
  EXPECT_FALSE(placeChains(chains, PlacementParams{400, 1, 1.0, 10, true}, [] { return false; }));
  // Laid side by side too.
  EXPECT_FALSE(placeChains(chains, PlacementParams{}, [] { return false; }));
}

}  // namespace
}  // namespace polychain
