#include "polychain/teamrun.h"

#include "run/transport.h"

#ifdef POLYCHAIN_WITH_MPI
#include "mpi/lazympi.h"
#endif

#include <chrono>
#include <deque>
#include <iterator>
#include <list>
#include <thread>

namespace polychain {

#ifdef POLYCHAIN_WITH_MPI

namespace {

// The team's messages over MPI, on MPI_COMM_WORLD, sends without blocking.
class MpiTransport final : public Transport {
 public:
  explicit MpiTransport(const Team& team) : m_team(team) {}

  int rank() const override { return m_team.rank(); }
  int size() const override { return m_team.size(); }

  void send(int to, int tag, Bytes bytes) override {
    m_sends.push_back({std::move(bytes), MPI_REQUEST_NULL});
    Pending& p = m_sends.back();
    MPI_Isend(p.bytes.data(), static_cast<int>(p.bytes.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD,
              &p.request);
  }

  // The messages that came early first.
  bool receive(Message& in) override {
    if (early().empty()) return receiveNew(in);
    in = std::move(early().front());
    early().pop_front();
    return true;
  }

  void progress() override {
    for (auto it = m_sends.begin(); it != m_sends.end();) {
      int done = 0;
      MPI_Test(&it->request, &done, MPI_STATUS_IGNORE);
      if (done) keepBytes(std::move(it->bytes));
      it = done ? m_sends.erase(it) : std::next(it);
    }
  }

  // Takes in and drops what is still addressed to this run until this rank's sends are
  // through, then waits for the others doing the same, so that no message is left half-sent
  // (a stopped run leaves some unread).
  void endRun(std::int64_t run) override {
    MPI_Request barrier = MPI_REQUEST_NULL;
    bool entered = false;
    for (;;) {
      Message in;
      while (receiveNew(in)) {
        if (messageRun(in.bytes) > run) early().push_back(std::move(in));
      }
      progress();
      if (!entered && m_sends.empty()) {
        MPI_Ibarrier(MPI_COMM_WORLD, &barrier);
        entered = true;
      }
      if (entered) {
        int done = 0;
        MPI_Test(&barrier, &done, MPI_STATUS_IGNORE);
        if (done) return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

 private:
  struct Pending {
    Bytes bytes;
    MPI_Request request;
  };

  // Messages of the next run that came while this rank was still ending the last one: kept
  // from one run to the next, as the transport is.
  static std::deque<Message>& early() {
    static std::deque<Message> messages;
    return messages;
  }

  // The next message from another rank, or false when none has come.
  static bool receiveNew(Message& in) {
    int ready = 0;
    MPI_Status status;
    MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &ready, &status);
    if (!ready) return false;
    int size = 0;
    MPI_Get_count(&status, MPI_BYTE, &size);
    in.from = status.MPI_SOURCE;
    in.tag = status.MPI_TAG;
    if (in.bytes.capacity() == 0) in.bytes = spareBytes();
    in.bytes.resize(static_cast<std::size_t>(size));
    MPI_Recv(in.bytes.data(), size, MPI_BYTE, in.from, in.tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    return true;
  }

  const Team& m_team;
  std::list<Pending> m_sends;
};

}  // namespace

TeamRun runTeam(Team& team, const CheckedRun& checked, RunObserver& observer) {
  if (team.size() == 1) return {runSimulation(checked, observer), -1};
  MpiTransport transport(team);
  return runOnTeam(transport, team.nextRun(), checked, observer);
}

#else

TeamRun runTeam(Team&, const CheckedRun& checked, RunObserver& observer) {
  return {runSimulation(checked, observer), -1};
}

#endif

namespace {

// The sweep's observer on a team. Between runs, where the sweep asks once per step count
// whether to go on, every rank gives the same answer: cancelled when any rank was asked to
// cancel. Within a run the run itself carries a cancel to every rank.
class TeamSweepObserver final : public SweepObserver {
 public:
  TeamSweepObserver(const Team& team, SweepObserver& user) : m_team(team), m_user(user) {}

  void progress(const RunProgress& p) override { m_user.progress(p); }
  void correlationProgress(float percent) override { m_user.correlationProgress(percent); }
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override {
    m_user.chainSeemsTrapped(chain, trials);
  }
  bool cancelRequested() override {
    if (m_inRun) return m_user.cancelRequested();
    return !m_team.allOk(!m_user.cancelRequested());
  }
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override {
    m_user.pointStarted(index, steps, seed);
  }
  void pointFinished(std::size_t index, const SweepPoint& point) override {
    m_user.pointFinished(index, point);
  }

  bool m_inRun = false;

 private:
  const Team& m_team;
  SweepObserver& m_user;
};

}  // namespace

SweepResult sweepTeam(Team& team, const CheckedSweep& checked, SweepObserver& observer,
                      int& stoppedAt) {
  stoppedAt = -1;
  if (team.size() == 1) return runSweep(checked, observer);
  TeamSweepObserver teamObserver(team, observer);
  return runSweep(checked, teamObserver, [&](const CheckedRun& run, RunObserver& point) {
    teamObserver.m_inRun = true;
    TeamRun outcome = runTeam(team, run, point);
    teamObserver.m_inRun = false;
    if (outcome.stoppedAt >= 0) stoppedAt = outcome.stoppedAt;
    return std::move(outcome.result);
  });
}

}  // namespace polychain
