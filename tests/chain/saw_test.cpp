// The self-avoiding walk against its text model, byte for byte, and how its runs stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "chain/chaintext.h"
#include "chain/run.h"
#include "reference/textwalks.h"

namespace polychain {
namespace {

using reference::TextWalkEvents;

struct SawCase {
  std::int32_t steps;
  std::int32_t iterations;
  std::int32_t avoid;
  std::uint64_t seed;
  int threads;
};

std::string describe(const SawCase& c) {
  return "N=" + std::to_string(c.steps) + " I=" + std::to_string(c.iterations) +
         " A=" + std::to_string(c.avoid) + " seed=" + std::to_string(c.seed) +
         " threads=" + std::to_string(c.threads);
}

RunParams sawParams(std::int32_t steps, std::int32_t iterations, std::int32_t avoid,
                    std::uint64_t seed, int threads = 1) {
  RunParams p;
  p.model = Model::SAW;
  p.steps = steps;
  p.iterations = iterations;
  p.avoid = avoid;
  p.seed = seed;
  p.threads = threads;
  return p;
}

struct Totals {
  TextWalkEvents text;
  std::int64_t cases = 0;
};

// Runs each case both ways and expects the same bytes; returns the text model's events.
Totals compareWithTextModel(const std::vector<SawCase>& cases) {
  Totals totals;
  RunObserver quiet;
  for (const SawCase& c : cases) {
    SCOPED_TRACE(describe(c));
    TextWalkEvents events;
    const reference::TextRun slow =
        reference::textSAW(c.steps, c.iterations, c.avoid, c.seed, &events);
    const RunOutput fast =
        runSimulation(sawParams(c.steps, c.iterations, c.avoid, c.seed, c.threads), quiet);
    EXPECT_EQ(fast.status, RunStatus::Finished);
    EXPECT_EQ(fast.chainText, slow.chainText);
    EXPECT_EQ(fast.results.eR, slow.results.eR);
    EXPECT_EQ(fast.results.TR, slow.results.TR);
    EXPECT_EQ(fast.results.Rsqred, slow.results.Rsqred);
    EXPECT_EQ(fast.results.TRsqred, slow.results.TRsqred);
    EXPECT_EQ(fast.results.pers, slow.results.pers);
    EXPECT_EQ(fast.results.Rgtxt, slow.results.Rgtxt);
    std::int64_t trials = 0, discarded = 0;
    for (const ChainSummary& chain : fast.chains) {
      EXPECT_EQ(chain.sites, std::int64_t{c.steps} + 1);
      trials += chain.trials;
      discarded += chain.discarded;
    }
    EXPECT_EQ(trials, events.trials);
    EXPECT_EQ(discarded, events.discarded);
    totals.text.trials += events.trials;
    totals.text.replacements += events.replacements;
    totals.text.zoneRefusals += events.zoneRefusals;
    totals.text.discarded += events.discarded;
    totals.text.backups += events.backups;
    totals.text.backupsToOrigin += events.backupsToOrigin;
    totals.text.substringMatches += events.substringMatches;
    totals.text.longestBackUp = std::max(totals.text.longestBackUp, events.longestBackUp);
    totals.text.fiveTaken += events.fiveTaken;
    ++totals.cases;
  }
  return totals;
}

// Seeds 58 and 93 back up in their first chain of 300 or more steps; 335 (at 300 steps)
// and 127 (at 1000) back up over ends left with five neighbours taken; 17 and 205 are
// plain.
TEST(Saw, WithoutZoneMatchesTextModel) {
  std::vector<SawCase> cases;
  const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
      {1, 1}, {2, 3}, {5, 2}, {17, 4}, {60, 3}, {300, 1}, {900, 2}, {2500, 1}};
  int threads = 1;
  for (const std::int32_t avoid : {1, -2, 0, 4, 7}) {
    for (const auto& [steps, iterations] : sizes) {
      for (const std::uint64_t seed : {58ULL, steps < 300 ? 17ULL : 93ULL}) {
        cases.push_back({steps, iterations, avoid, seed, threads});
        threads = 3 - threads;
      }
    }
  }
  cases.push_back({300, 3, 1, 205, 2});
  cases.push_back({300, 1, 1, 335, 1});
  cases.push_back({1000, 2, 1, 127, 2});
  const Totals totals = compareWithTextModel(cases);
  EXPECT_EQ(totals.cases, 83);
  EXPECT_GT(totals.text.backups, 5 * 7);  // 58 and 93 back up in every avoidance
  EXPECT_GE(totals.text.fiveTaken, 2);  // ends with five neighbours taken went too
  EXPECT_GE(totals.text.longestBackUp, 2);
  EXPECT_GT(totals.text.substringMatches, 100);
  EXPECT_EQ(totals.text.zoneRefusals, 0);
}

// Avoidance 2 can trap a chain too (seeds 3 and 1000 at 60 steps); these seeds finish.
TEST(Saw, AvoidanceTwoMatchesTextModel) {
  std::vector<SawCase> cases;
  const std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
      {1, 1}, {2, 2}, {3, 3}, {5, 2}, {10, 4}, {25, 3}, {60, 2}, {120, 1}};
  int threads = 2;
  for (const auto& [steps, iterations] : sizes) {
    for (const std::uint64_t seed : {1ULL, 2ULL, 5ULL, 9ULL, 31ULL, 64ULL}) {
      cases.push_back({steps, iterations, 2, seed, threads});
      threads = 3 - threads;
    }
  }
  cases.push_back({250, 1, 2, 9, 1});
  const Totals totals = compareWithTextModel(cases);
  EXPECT_EQ(totals.cases, 49);
  EXPECT_GT(totals.text.zoneRefusals, 100);
  EXPECT_GT(totals.text.replacements, 100);
  EXPECT_GT(totals.text.backups, 100);
  EXPECT_GE(totals.text.longestBackUp, 5);  // ends boxed in by the older zone, one after another
  EXPECT_GT(totals.text.substringMatches, 10);
}

// Avoidance 3 traps most chains near the origin before long; these finish, and seeds 4
// and 6 back up to the origin many times on the way.
TEST(Saw, AvoidanceThreeMatchesTextModel) {
  std::vector<SawCase> cases;
  int threads = 1;
  for (std::int32_t steps = 1; steps <= 8; ++steps) {
    for (const std::uint64_t seed : {2ULL, 4ULL, 5ULL, 6ULL, 11ULL, 12ULL, 13ULL, 14ULL}) {
      cases.push_back({steps, 1 + steps % 3, 3, seed, threads});
      threads = 3 - threads;
    }
  }
  for (const std::int32_t steps : {9, 10, 12, 14}) {
    cases.push_back({steps, 1, 3, 4, 1});
    cases.push_back({steps, 1, 3, 6, 2});
  }
  const Totals totals = compareWithTextModel(cases);
  EXPECT_EQ(totals.cases, 72);
  EXPECT_GT(totals.text.backupsToOrigin, 1000);
  EXPECT_GT(totals.text.zoneRefusals, 1000);
  EXPECT_GT(totals.text.substringMatches, 1000);
}

TEST(Saw, AnyAvoidanceButTwoAndThreeIsTheWalkWithoutZone) {
  RunObserver quiet;
  const RunOutput one = runSimulation(sawParams(400, 3, 1, 93), quiet);
  const std::string body = one.chainText.substr(one.chainText.find("\nR Theoretical"));
  for (const std::int32_t avoid : {-2, 0, 4, 7, 1000}) {
    const RunOutput other = runSimulation(sawParams(400, 3, avoid, 93), quiet);
    EXPECT_EQ(other.chainText.substr(other.chainText.find("\nR Theoretical")), body) << avoid;
    EXPECT_EQ(other.chainText.substr(0, other.chainText.find(",R:,")),
              "Self Avoidance Walk\nIterations:,3,Avoidance:," + std::to_string(avoid));
  }
}

TEST(Saw, OneStepChainHasTheHandWorkedResults) {
  RunObserver quiet;
  const RunOutput out = runSimulation(sawParams(1, 1, 1, 5), quiet);
  ASSERT_EQ(out.status, RunStatus::Finished);
  const Point end = out.chains.at(0).end;
  EXPECT_EQ(std::abs(end.x) + std::abs(end.y) + std::abs(end.z), 1);
  EXPECT_EQ(out.results.TRsqred, "1");
  EXPECT_EQ(out.results.pers, "1");
  EXPECT_EQ(out.results.Rsqred, "1");
  EXPECT_EQ(out.results.TR, "0");
  const std::string r = std::to_string(end.x + end.y + end.z);
  EXPECT_EQ(out.results.eR, r);
  EXPECT_EQ(out.chainText, "Self Avoidance Walk\nIterations:,1,Avoidance:,1,R:," + r +
                               "\nR Theoretical:,0\n<R^2>^(1/2):,1\n<R^2>^(1/2) Theoretical:,1"
                               "\nRadius of gyration:," + out.results.Rgtxt +
                               "\nPersistence Length:,1\nx,y,z\n0,0,0\n" + recordOf(end).substr(
                                   0, recordOf(end).size() - 1) + "\n");
  EXPECT_EQ(runSimulation(sawParams(32, 1, 2, 5), quiet).results.TRsqred, "8");
  EXPECT_EQ(runSimulation(sawParams(100, 1, 1, 5), quiet).results.TRsqred, "15.8489319246111");
}

TEST(Saw, SameBytesOnAnyThreadCountAndOtherBytesForAnotherSeed) {
  RunObserver quiet;
  const RunOutput one = runSimulation(sawParams(500, 9, 2, 123, 1), quiet);
  const RunOutput two = runSimulation(sawParams(500, 9, 2, 123, 2), quiet);
  EXPECT_EQ(one.chainText, two.chainText);
  EXPECT_EQ(one.results.Rgtxt, two.results.Rgtxt);
  const RunOutput other = runSimulation(sawParams(500, 9, 2, 9, 2), quiet);
  EXPECT_NE(one.chainText, other.chainText);
}

// Cancels once it has seen a progress report with trials while the chain is stuck.
class StuckWatcher final : public RunObserver {
 public:
  void progress(const RunProgress& p) override {
    if (p.trials > 100000 && p.steps < 100) m_sawTrials = true;
  }
  bool cancelRequested() override {
    ++m_polls;
    return m_sawTrials;
  }
  bool m_sawTrials = false;
  int m_polls = 0;
};

TEST(Saw, TrappedChainReportsTrialsAndCancels) {
  StuckWatcher watcher;
  // Seed 1 with avoidance 3 is held near the origin by its zone.
  const RunOutput out = runSimulation(sawParams(50, 2, 3, 1, 2), watcher);
  EXPECT_TRUE(watcher.m_sawTrials);
  EXPECT_EQ(out.status, RunStatus::Cancelled);
  EXPECT_EQ(out.message, "The run was cancelled.");
  EXPECT_TRUE(out.chainText.empty());
}

TEST(Saw, TrialCapStopsTrappedChain) {
  RunObserver quiet;
  RunParams params = sawParams(50, 1, 3, 1);
  params.maxTrials = 20000;
  const RunOutput out = runSimulation(params, quiet);
  EXPECT_EQ(out.status, RunStatus::TrialLimit);
  EXPECT_EQ(out.message, "A chain passed the limit of 20000 trials; the run was stopped.");
  // A chain that finishes well within the cap is not affected.
  params = sawParams(50, 1, 3, 4);
  params.maxTrials = 20000;
  EXPECT_EQ(runSimulation(params, quiet).status, RunStatus::Finished);
}

TEST(RecordTrimming, KeepsTheOldestRecordsTheGrowerCounts) {
  // P passes leave the oldest E - P records searchable; C passes and a ';' keep E - C + 1
  // whole records, or leave ";" when C exceeds E. A leading ';' changes neither.
  for (const std::string lead : {"", ";"}) {
    for (int e = 0; e <= 6; ++e) {
      std::string text = lead;
      for (int i = 0; i < e; ++i) text += reference::textRecord(i + 10, 0, 0);
      for (int passes = 0; passes <= 8; ++passes) {
        const std::string trimmed = reference::trimRecords(text, passes);
        const int searchable = std::max(e - passes, 0);
        for (int i = 0; i < e; ++i) {
          EXPECT_EQ(trimmed.find(reference::textRecord(i + 10, 0, 0)) != std::string::npos,
                    i < searchable)
              << '"' << text << "\" " << passes;
        }
        if (passes == 0) continue;
        const std::string kept = reference::trimRecords(text, passes) + ";";
        std::string expected = e - passes + 1 > 0 ? lead : "";
        for (int i = 0; i < e - passes + 1; ++i) expected += reference::textRecord(i + 10, 0, 0);
        EXPECT_EQ(kept, expected.empty() ? ";" : expected) << '"' << text << "\" " << passes;
      }
    }
  }
}

}  // namespace
}  // namespace polychain
