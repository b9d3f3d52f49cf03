// The three growth models against their naive text models, byte for byte: the chain export
// text and the six results of whole runs, over many seeds, sizes and thread counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "polychain/formats.h"
#include "polychain/run.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "reference/textgor.h"
#include "reference/textmodel.h"
#include "reference/textwalks.h"

namespace polychain {
namespace {

using reference::TextRun;
using reference::TextWalkEvents;

using reference::runParams;

struct Grown {
  RunResult result;
  ResultTexts texts;
  std::string chainText;
};

Grown run(const RunParams& p) {
  RunObserver quiet;
  Grown r{runSimulation(p, quiet), {}, {}};
  EXPECT_EQ(r.result.status, RunStatus::Finished);
  r.texts = resultTexts(r.result.values);
  r.chainText = chainExportText(p, r.result);
  return r;
}

void expectSame(const Grown& fast, const TextRun& slow) {
  EXPECT_EQ(fast.chainText, slow.chainText);
  EXPECT_EQ(fast.texts.eR, slow.results.eR);
  EXPECT_EQ(fast.texts.TR, slow.results.TR);
  EXPECT_EQ(fast.texts.Rsqred, slow.results.Rsqred);
  EXPECT_EQ(fast.texts.TRsqred, slow.results.TRsqred);
  EXPECT_EQ(fast.texts.pers, slow.results.pers);
  EXPECT_EQ(fast.texts.Rgtxt, slow.results.Rgtxt);
}

std::string describe(const RunParams& p) {
  return "N=" + std::to_string(p.steps) + " I=" + std::to_string(p.iterations) +
         " model=" + std::string(modelOf(p.model).key) + " seed=" + std::to_string(*p.seed) +
         " threads=" + std::to_string(p.threads);
}

TEST(Meander, MatchesTheTextModelOnAnyThreadCount) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const std::int32_t n = std::array{1, 2, 7, 50, 333, 1000}[seed % 6];
    const std::int32_t iterations = std::array{1, 3, 5, 10}[seed % 4];
    const TextRun expected = reference::textMeander(n, iterations, seed);
    for (int threads : {1, 2, 8}) {
      SCOPED_TRACE(describe(runParams(MeanderSettings{}, n, iterations, seed, threads)));
      expectSame(run(runParams(MeanderSettings{}, n, iterations, seed, threads)), expected);
    }
  }
}

TEST(Meander, SingleStepChainHasTheHandWorkedResults) {
  const Grown out = run(runParams(MeanderSettings{}, 1, 1, 3, 1));
  EXPECT_TRUE(out.texts.eR == "1" || out.texts.eR == "-1") << out.texts.eR;
  EXPECT_EQ(out.chainText.rfind("Meander\nIterations:,1,R:," + out.texts.eR +
                                    "\nR Theoretical:,0\n<R^2>^(1/2):,1\n<R^2>^(1/2) "
                                    "Theoretical:,1\nRadius of gyration:,1\nPersistence "
                                    "Length:,1\nx,y,z\n0,0,0\n",
                                0),
            0U);
  EXPECT_EQ(std::count(out.chainText.begin(), out.chainText.end(), '\n'), 10);
}

// Runs each SAW case both ways; returns the text model's events summed.
TextWalkEvents compareSaw(const std::vector<RunParams>& cases) {
  TextWalkEvents totals;
  for (const RunParams& c : cases) {
    SCOPED_TRACE(describe(c));
    TextWalkEvents events;
    const TextRun slow = reference::textSAW(c.steps, c.iterations,
                                            std::get<SawSettings>(c.model).avoid, *c.seed, &events);
    const Grown fast = run(c);
    expectSame(fast, slow);
    EXPECT_TRUE(fast.result.extended.trials.has_value());
    if (!fast.result.extended.trials) continue;
    EXPECT_EQ(fast.result.extended.trials->total, events.trials);
    EXPECT_EQ(fast.result.extended.discarded->total, events.discarded);
    EXPECT_EQ(fast.result.lastSites.size(), static_cast<std::size_t>(c.steps) + 1);
    totals.trials += events.trials;
    totals.replacements += events.replacements;
    totals.zoneRefusals += events.zoneRefusals;
    totals.backups += events.backups;
    totals.backupsToOrigin += events.backupsToOrigin;
    totals.substringMatches += events.substringMatches;
    totals.longestBackUp = std::max(totals.longestBackUp, events.longestBackUp);
    totals.fiveTaken += events.fiveTaken;
  }
  return totals;
}

// Seeds 58 and 93 back up in their first chain of 300 or more steps; 335 (at 300 steps)
// and 127 (at 1000) back up over ends left with five neighbours taken; 17 and 205 are
// plain. Every avoidance but 2 and 3 is the walk without zone.
TEST(Saw, WithoutZoneMatchesTheTextModel) {
  std::vector<RunParams> cases;
  const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
      {1, 1}, {2, 3}, {5, 2}, {17, 4}, {60, 3}, {300, 1}, {900, 2}, {2500, 1}};
  int threads = 1;
  for (const std::int32_t avoid : {1, -2, 0, 4, 7}) {
    for (const auto& [steps, iterations] : sizes) {
      for (const std::uint64_t seed : {58ULL, steps < 300 ? 17ULL : 93ULL}) {
        cases.push_back(runParams(SawSettings{avoid}, steps, iterations, seed, threads));
        threads = 3 - threads;
      }
    }
  }
  cases.push_back(runParams(SawSettings{}, 300, 3, 205, 2));
  cases.push_back(runParams(SawSettings{}, 300, 1, 335, 1));
  cases.push_back(runParams(SawSettings{}, 1000, 2, 127, 2));
  const TextWalkEvents totals = compareSaw(cases);
  EXPECT_GT(totals.backups, 5 * 7);  // 58 and 93 back up in every avoidance
  EXPECT_GE(totals.fiveTaken, 2);    // ends with five neighbours taken went too
  EXPECT_GE(totals.longestBackUp, 2);
  EXPECT_GT(totals.substringMatches, 100);
  EXPECT_EQ(totals.zoneRefusals, 0);
}

// Avoidance 2 can trap a chain too (seeds 3 and 1000 at 60 steps); these seeds finish.
TEST(Saw, AvoidanceTwoMatchesTheTextModel) {
  std::vector<RunParams> cases;
  const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
      {1, 1}, {2, 2}, {3, 3}, {5, 2}, {10, 4}, {25, 3}, {60, 2}, {120, 1}};
  int threads = 2;
  for (const auto& [steps, iterations] : sizes) {
    for (const std::uint64_t seed : {1ULL, 2ULL, 5ULL, 9ULL, 31ULL, 64ULL}) {
      cases.push_back(runParams(SawSettings{2}, steps, iterations, seed, threads));
      threads = 3 - threads;
    }
  }
  cases.push_back(runParams(SawSettings{2}, 250, 1, 9, 1));
  const TextWalkEvents totals = compareSaw(cases);
  EXPECT_GT(totals.zoneRefusals, 100);
  EXPECT_GT(totals.replacements, 100);
  EXPECT_GT(totals.backups, 100);
  EXPECT_GE(totals.longestBackUp, 5);  // ends boxed in by the older zone, one after another
  EXPECT_GT(totals.substringMatches, 10);
}

// Avoidance 3 traps most chains near the origin before long; these finish, and seeds 4
// and 6 back up to the origin many times on the way.
TEST(Saw, AvoidanceThreeMatchesTheTextModel) {
  std::vector<RunParams> cases;
  int threads = 1;
  for (std::int32_t steps = 1; steps <= 8; ++steps) {
    for (const std::uint64_t seed : {2ULL, 4ULL, 5ULL, 6ULL, 11ULL, 12ULL, 13ULL, 14ULL}) {
      cases.push_back(runParams(SawSettings{3}, steps, 1 + steps % 3, seed, threads));
      threads = 3 - threads;
    }
  }
  for (const std::int32_t steps : {9, 10, 12, 14}) {
    cases.push_back(runParams(SawSettings{3}, steps, 1, 4, 1));
    cases.push_back(runParams(SawSettings{3}, steps, 1, 6, 2));
  }
  const TextWalkEvents totals = compareSaw(cases);
  EXPECT_GT(totals.backupsToOrigin, 1000);
  EXPECT_GT(totals.zoneRefusals, 1000);
  EXPECT_GT(totals.substringMatches, 1000);
}

// Seeds 16 and 17 back up within 300 steps for every Kuhn length tried (17 some forty
// times); 24 and 5 are for the shorter chains. Kuhn lengths far beyond the window's range
// put coordinates past 2^20 at once.
TEST(ShortRange, MatchesTheTextModel) {
  const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
      {1, 1}, {2, 3}, {5, 2}, {17, 4}, {100, 3}, {300, 1}, {900, 2}, {2500, 1}};
  TextWalkEvents totals;
  int threads = 1;
  for (const std::int32_t kuhn : {1, 2, 3, 10, -1, 300000, -1000003}) {
    std::int64_t backupsOfThisLength = 0;
    for (const auto& [steps, iterations] : sizes) {
      if (std::abs(kuhn) > 10 && steps > 300) continue;
      for (const std::uint64_t seed : {steps < 300 ? 24ULL : 16ULL, steps < 300 ? 5ULL : 17ULL}) {
        const RunParams p = runParams(ShortRangeSettings{kuhn}, steps, iterations, seed, threads);
        SCOPED_TRACE(describe(p));
        threads = 3 - threads;
        TextWalkEvents events;
        const TextRun slow = reference::textShortRange(steps, iterations, kuhn, seed, &events);
        const Grown fast = run(p);
        expectSame(fast, slow);
        EXPECT_EQ(fast.result.extended.trials->total, events.trials);
        EXPECT_EQ(fast.result.extended.backups->total, events.backups);
        backupsOfThisLength += events.backups;
        totals.substringMatches += events.substringMatches;
      }
    }
    if (std::abs(kuhn) <= 10) {
      EXPECT_GT(backupsOfThisLength, 30) << "K=" << kuhn;
    }
  }
  EXPECT_GT(totals.substringMatches, 100);
}

TEST(ShortRange, ShortChainsSpacingAndTheoreticalValues) {
  // N = 1: no trial at all; N = 2: the origin and one site at distance K on an axis.
  const Grown one = run(runParams(ShortRangeSettings{4}, 1, 2, 8, 1));
  EXPECT_EQ(one.chainText.substr(one.chainText.find("x,y,z\n")), "x,y,z\n0,0,0\n");
  EXPECT_EQ(one.texts.eR, "0");
  EXPECT_EQ(one.result.extended.trials->max, 0);
  const Grown two = run(runParams(ShortRangeSettings{7}, 2, 1, 8, 1));
  ASSERT_EQ(two.result.lastSites.size(), 2U);
  const Point end = two.result.lastSites[1];
  EXPECT_EQ(std::abs(end.x) + std::abs(end.y) + std::abs(end.z), 7);
  // K = 3: every coordinate is a multiple of 3.
  const Grown spaced = run(runParams(ShortRangeSettings{3}, 400, 1, 17, 1));
  EXPECT_GT(spaced.result.lastSites.size(), 200U);  // this seed backs up often
  for (const Point& p : spaced.result.lastSites) {
    EXPECT_TRUE(p.x % 3 == 0 && p.y % 3 == 0 && p.z % 3 == 0);
  }
  const Grown header = run(runParams(ShortRangeSettings{2}, 32, 5, 3, 1));
  EXPECT_EQ(
      header.chainText.substr(0, header.chainText.find("\nR Theoretical")),
      "Short Range Interaction (1-10 Steps)\nIterations:,5,Kuhn Length:,2,R:," + header.texts.eR);
  EXPECT_EQ(header.texts.TRsqred, "8");
  EXPECT_EQ(run(runParams(ShortRangeSettings{}, 100, 1, 3, 1)).texts.TRsqred, "15.8489319246111");
}

// g(r) and g(q) of the last chain of whole runs, against the naive pair loop over its text.
TEST(Correlation, WholeRunsOfEveryModelMatchTheNaiveModel) {
  struct Case {
    ModelSettings model;
    std::int32_t steps;
    int seeds;
  };
  const Case cases[] = {{MeanderSettings{}, 1, 3},       {MeanderSettings{}, 7, 3},
                        {MeanderSettings{}, 400, 3},     {MeanderSettings{}, 3000, 1},
                        {SawSettings{1}, 50, 3},         {SawSettings{2}, 400, 2},
                        {ShortRangeSettings{1}, 300, 2}, {ShortRangeSettings{5}, 80, 3},
                        {ShortRangeSettings{10}, 700, 1}};
  for (const Case& c : cases) {
    for (int s = 0; s < c.seeds; ++s) {
      RunParams p = runParams(c.model, c.steps, 2, static_cast<std::uint64_t>(77 * c.steps + s), 2);
      p.calcParCF = true;
      SCOPED_TRACE(describe(p));
      const Grown fast = run(p);
      ASSERT_TRUE(fast.result.correlation);
      const reference::TextCorrelation slow =
          reference::textGorCalc(reference::chainTextOf(fast.result.lastSites));
      EXPECT_EQ(gofrText(*fast.result.correlation), slow.gofr);
      EXPECT_EQ(gofqText(*fast.result.correlation), slow.gofq);
    }
  }
}

}  // namespace
}  // namespace polychain
