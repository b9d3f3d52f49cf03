// The short-range interaction walk against its text model, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "chain/chaintext.h"
#include "chain/numtext.h"
#include "chain/run.h"
#include "reference/textwalks.h"

namespace polychain {
namespace {

RunParams shortRangeParams(std::int32_t steps, std::int32_t iterations, std::int32_t kuhn,
                           std::uint64_t seed, int threads = 1) {
  RunParams p;
  p.model = Model::ShortRange;
  p.steps = steps;
  p.iterations = iterations;
  p.kuhn = kuhn;
  p.seed = seed;
  p.threads = threads;
  return p;
}

// Seeds 16 and 17 back up within 300 steps for every Kuhn length tried (17 some forty
// times); 24 and 5 are for the shorter chains.
TEST(ShortRange, MatchesTextModel) {
  const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
      {1, 1}, {2, 3}, {5, 2}, {17, 4}, {100, 3}, {300, 1}, {900, 2}, {2500, 1}};
  RunObserver quiet;
  reference::TextWalkEvents totals;
  int cases = 0;
  int threads = 1;
  for (const std::int32_t kuhn : {1, 2, 3, 10, -1}) {
    std::int64_t backupsOfThisLength = 0;
    for (const auto& [steps, iterations] : sizes) {
      for (const std::uint64_t seed : {steps < 300 ? 24ULL : 16ULL, steps < 300 ? 5ULL : 17ULL}) {
        SCOPED_TRACE("N=" + std::to_string(steps) + " I=" + std::to_string(iterations) +
                     " K=" + std::to_string(kuhn) + " seed=" + std::to_string(seed));
        reference::TextWalkEvents events;
        const reference::TextRun slow =
            reference::textShortRange(steps, iterations, kuhn, seed, &events);
        const RunOutput fast =
            runSimulation(shortRangeParams(steps, iterations, kuhn, seed, threads), quiet);
        threads = 3 - threads;
        ++cases;
        ASSERT_EQ(fast.status, RunStatus::Finished);
        EXPECT_EQ(fast.chainText, slow.chainText);
        EXPECT_EQ(fast.results.eR, slow.results.eR);
        EXPECT_EQ(fast.results.Rsqred, slow.results.Rsqred);
        EXPECT_EQ(fast.results.TRsqred, slow.results.TRsqred);
        EXPECT_EQ(fast.results.pers, slow.results.pers);
        EXPECT_EQ(fast.results.Rgtxt, slow.results.Rgtxt);
        std::int64_t trials = 0, backups = 0;
        for (const ChainSummary& chain : fast.chains) {
          // n counts accepted sites and a back-up keeps it: N records less the back-ups.
          EXPECT_EQ(chain.sites, steps - chain.backups);
          trials += chain.trials;
          backups += chain.backups;
        }
        EXPECT_EQ(trials, events.trials);
        EXPECT_EQ(backups, events.backups);
        backupsOfThisLength += events.backups;
        totals.backups += events.backups;
        totals.substringMatches += events.substringMatches;
      }
    }
    EXPECT_GT(backupsOfThisLength, 30) << "K=" << kuhn;
  }
  EXPECT_EQ(cases, 80);
  EXPECT_GT(totals.substringMatches, 100);
}

// Kuhn lengths far beyond the window's range put coordinates past 2^20 at once.
TEST(ShortRange, LongStepsMatchTextModel) {
  RunObserver quiet;
  for (const std::int32_t kuhn : {300000, -1000003}) {
    for (const std::int32_t steps : {2, 40, 300}) {
      SCOPED_TRACE("N=" + std::to_string(steps) + " K=" + std::to_string(kuhn));
      const reference::TextRun slow = reference::textShortRange(steps, 2, kuhn, 17);
      const RunOutput fast = runSimulation(shortRangeParams(steps, 2, kuhn, 17, 2), quiet);
      EXPECT_EQ(fast.chainText, slow.chainText);
    }
  }
}

std::vector<Point> exportedSites(const std::string& chainText) {
  const std::string body = chainText.substr(chainText.find("x,y,z\n") + 6);
  std::string records = body;
  for (char& c : records) {
    if (c == '\n') c = ';';
  }
  return parseChainText(records);
}

TEST(ShortRange, ShortChainsAndSiteSpacing) {
  RunObserver quiet;
  // N = 1: no trial at all.
  const RunOutput one = runSimulation(shortRangeParams(1, 2, 4, 8), quiet);
  EXPECT_EQ(one.chainText.substr(one.chainText.find("x,y,z\n")), "x,y,z\n0,0,0\n");
  EXPECT_EQ(one.results.eR, "0");
  EXPECT_EQ(one.results.Rsqred, "0");
  EXPECT_EQ(one.chains.at(0).trials, 0);

  // N = 2: the origin and one site at distance K on an axis.
  const std::vector<Point> two = exportedSites(runSimulation(shortRangeParams(2, 1, 7, 8), quiet).chainText);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(std::abs(two[1].x) + std::abs(two[1].y) + std::abs(two[1].z), 7);

  // K = 3: every exported coordinate is a multiple of 3.
  const std::vector<Point> sites =
      exportedSites(runSimulation(shortRangeParams(400, 1, 3, 17), quiet).chainText);
  EXPECT_GT(sites.size(), 200u);  // this seed backs up often
  for (const Point& p : sites) {
    EXPECT_EQ(p.x % 3, 0);
    EXPECT_EQ(p.y % 3, 0);
    EXPECT_EQ(p.z % 3, 0);
  }
}

TEST(ShortRange, HeaderAndTheoreticalValues) {
  RunObserver quiet;
  const RunOutput out = runSimulation(shortRangeParams(32, 5, 2, 3), quiet);
  EXPECT_EQ(out.chainText.substr(0, out.chainText.find("\nR Theoretical")),
            "Short Range Interaction (1-10 Steps)\nIterations:,5,Kuhn Length:,2,R:," +
                out.results.eR);
  EXPECT_EQ(out.results.TRsqred, "8");
  EXPECT_EQ(runSimulation(shortRangeParams(100, 1, 1, 3), quiet).results.TRsqred,
            "15.8489319246111");
}

TEST(ShortRange, KuhnLengthZeroIsRefusedBeforeTheRun) {
  RunObserver quiet;
  try {
    runSimulation(shortRangeParams(10, 1, 0, 1), quiet);
    FAIL() << "K = 0 was accepted";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("Kuhn Length"), std::string::npos);
  }
}


// Coordinates are 32-bit: a chain that could reach past them is refused before it grows,
// while the longest reach that fits, and any Kuhn length with a single site, is accepted.
TEST(ShortRange, KuhnLengthsThatWouldOverflowTheCoordinatesAreRefused) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_THROW(validateParams(shortRangeParams(3, 1, 1073741824, 1)), InputError);
  EXPECT_THROW(validateParams(shortRangeParams(2, 1, kMin, 1)), InputError);
  EXPECT_THROW(validateParams(shortRangeParams(100001, 1, -21475, 1)), InputError);
  EXPECT_NO_THROW(validateParams(shortRangeParams(2, 1, kMax, 1)));
  EXPECT_NO_THROW(validateParams(shortRangeParams(100001, 1, 21474, 1)));
  EXPECT_NO_THROW(validateParams(shortRangeParams(1, 1, kMin, 1)));

  RunObserver quiet;
  for (const std::int32_t kuhn : {1073741823, -1073741823}) {
    const RunOutput out = runSimulation(shortRangeParams(3, 4, kuhn, 5), quiet);
    ASSERT_EQ(out.status, RunStatus::Finished);
    EXPECT_EQ(out.chainText, reference::textShortRange(3, 4, kuhn, 5).chainText) << kuhn;
  }
}

}  // namespace
}  // namespace polychain
