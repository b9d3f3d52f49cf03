// A run shared by a team, its ranks threads of this process passing messages through queues:
// the very bits of one process on any number of ranks, run after run, and stops that reach
// every rank from the leader or from a follower.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "reference/runparams.h"
#include "run/samebits.h"
#include "run/transport.h"

namespace polychain {
namespace {

using reference::runParams;

// The ranks' mailboxes; a send arrives at once, in order from each sender.
class LocalTeam {
 public:
  explicit LocalTeam(int size) : m_boxes(static_cast<std::size_t>(size)), m_ends(size) {}

  class Rank final : public Transport {
   public:
    Rank(LocalTeam& team, int rank) : m_team(team), m_rank(rank) {}
    int rank() const override { return m_rank; }
    int size() const override { return static_cast<int>(m_team.m_boxes.size()); }
    void send(int to, int tag, Bytes bytes) override {
      Box& box = m_team.m_boxes[static_cast<std::size_t>(to)];
      const std::lock_guard lock(box.mutex);
      box.messages.push_back({m_rank, tag, std::move(bytes)});
    }
    bool receive(Message& in) override {
      Box& box = m_team.m_boxes[static_cast<std::size_t>(m_rank)];
      const std::lock_guard lock(box.mutex);
      if (box.messages.empty()) return false;
      in = std::move(box.messages.front());
      box.messages.pop_front();
      return true;
    }
    void progress() override {}
    // Small, so that a melt's records of its sweeps travel in several messages.
    std::size_t mostBytes() const override { return 40000; }
    void endRun(std::int64_t run) override {
      m_team.m_ends.arrive_and_wait();
      Box& box = m_team.m_boxes[static_cast<std::size_t>(m_rank)];
      const std::lock_guard lock(box.mutex);
      std::erase_if(box.messages, [run](const Message& m) { return messageRun(m.bytes) <= run; });
    }

   private:
    LocalTeam& m_team;
    int m_rank;
  };

  // Runs `params` as run `run` on every rank at once, rank r hearing `observers[r]` (or
  // nobody); the ranks' outcomes.
  std::vector<TeamRun> run(std::int64_t index, const RunParams& params,
                           const std::vector<RunObserver*>& observers = {}) {
    const std::size_t size = m_boxes.size();
    std::vector<TeamRun> outcomes(size);
    std::vector<std::thread> ranks;
    for (std::size_t r = 0; r < size; ++r) {
      ranks.emplace_back([&, r] {
        Rank transport(*this, static_cast<int>(r));
        RunObserver quiet;
        RunObserver& observer = r < observers.size() && observers[r] ? *observers[r] : quiet;
        outcomes[r] = runOnTeam(transport, index, checkRun(params), observer);
      });
    }
    for (std::thread& rank : ranks) rank.join();
    return outcomes;
  }

 private:
  struct Box {
    std::mutex mutex;
    std::deque<Message> messages;
  };
  std::vector<Box> m_boxes;
  std::barrier<> m_ends;
};

TEST(TeamRun, EveryModelGivesTheBitsOfOneProcessOnAnyNumberOfRanks) {
  PivotSettings pivot;
  pivot.walkers = 5;
  pivot.pivotsPerSample = 20;
  pivot.burnIn = 100;
  MeltSettings melt;
  melt.chains = 6;
  melt.box = 6;
  melt.burnIn = 40;
  melt.sweepsPerSample = 2;
  MeltSettings slabs = melt;  // a box of two parts, each swept by its rank (none on a third)
  slabs.chains = 5000;
  slabs.box = 48;
  slabs.burnIn = 6;
  slabs.sweepsPerSample = 1;
  const std::vector<RunParams> runs = {
      runParams(MeanderSettings{}, 30, 50000, 3, 1),  // many short chains, many blocks
      runParams(SawSettings{1}, 300, 200, 5, 2),      // chains of uneven cost
      runParams(ShortRangeSettings{2}, 200, 300, 7, 1),
      runParams(pivot, 200, 40, 9, 1),
      runParams(melt, 12, 30, 11, 1),
      runParams(slabs, 10, 4, 17, 2),
      runParams(PermSettings{-0.3, 0.2}, 60, 400, 13, 1),  // tours of uneven cost
  };
  for (int size = 1; size <= 3; ++size) {
    LocalTeam team(size);
    std::int64_t index = 0;
    for (const RunParams& params : runs) {  // one after the other, as a sweep runs them
      SCOPED_TRACE(std::to_string(size) + " ranks, " + std::string(modelOf(params.model).key));
      RunObserver quiet;
      const RunResult alone = runSimulation(params, quiet);
      const std::vector<TeamRun> outcomes = team.run(index++, params);
      expectSameBits(outcomes[0].result, alone);
      for (const TeamRun& outcome : outcomes) {
        EXPECT_EQ(outcome.result.status, RunStatus::Finished);
        EXPECT_EQ(outcome.stoppedAt, -1);
      }
    }
  }
}

// Cancels once asked `after` times.
class Canceller final : public RunObserver {
 public:
  explicit Canceller(int after) : m_left(after) {}
  bool cancelRequested() override { return m_left.fetch_sub(1) <= 0; }

 private:
  std::atomic<int> m_left;
};

TEST(TeamRun, AStopOnAnyRankStopsEveryRankAndNamesWhereItBegan) {
  const RunParams longRun = runParams(MeanderSettings{}, 100000, 2000, 1, 1);
  LocalTeam team(3);
  std::int64_t index = 0;
  {  // the leader's cancel: nobody to blame
    Canceller leader(50);
    for (const TeamRun& outcome : team.run(index++, longRun, {&leader})) {
      EXPECT_EQ(outcome.result.status, RunStatus::Cancelled);
      EXPECT_EQ(outcome.stoppedAt, -1);
    }
  }
  {  // a follower's cancel reaches the leader, which stops the others
    Canceller follower(50);
    for (const TeamRun& outcome : team.run(index++, longRun, {nullptr, nullptr, &follower})) {
      EXPECT_EQ(outcome.result.status, RunStatus::Cancelled);
      EXPECT_EQ(outcome.stoppedAt, 2);
    }
  }
  {  // a melt whose sweeps the ranks share, cancelled on one while the others wait for it
    MeltSettings slabs;
    slabs.chains = 5000;
    slabs.box = 48;
    slabs.burnIn = 1000000;
    Canceller follower(200);
    for (const TeamRun& outcome :
         team.run(index++, runParams(slabs, 10, 4, 3, 1), {nullptr, &follower})) {
      EXPECT_EQ(outcome.result.status, RunStatus::Cancelled);
      EXPECT_EQ(outcome.stoppedAt, 1);
    }
  }
  {  // a chain trapped at the trial cap, on whichever rank grew it (avoidance 3 traps chain 0)
    RunParams stuck = runParams(SawSettings{3}, 50, 40, 1, 1);
    stuck.maxTrials = 20000;
    const std::vector<TeamRun> outcomes = team.run(index++, stuck);
    for (const TeamRun& outcome : outcomes) {
      EXPECT_EQ(outcome.result.status, RunStatus::TrialLimit);
      EXPECT_EQ(outcome.stoppedAt, outcomes[0].stoppedAt);
    }
    EXPECT_GE(outcomes[0].stoppedAt, 0);
    EXPECT_LT(outcomes[0].stoppedAt, 3);
  }
  // And the team runs on afterwards, unharmed by what the stopped runs left unread.
  const RunParams small = runParams(SawSettings{1}, 100, 500, 2, 1);
  RunObserver quiet;
  expectSameBits(team.run(index++, small)[0].result, runSimulation(small, quiet));
}

}  // namespace
}  // namespace polychain
