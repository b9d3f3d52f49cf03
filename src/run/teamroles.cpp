// The roles of a team's run. Each rank has a growing thread, which grows the blocks handed to
// it with the run frame of one process, and a talking thread (the caller's), the only one
// that uses the transport. The leader's talking thread hands out the blocks through the one
// block schedule and adds up the results; a follower's asks for blocks and sends results. A
// runner's shared unit (a melt) goes to every rank at once; their growing threads exchange
// records of each step through the talking threads, and the leader's result is the run's.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "run/blockschedule.h"
#include "run/control.h"
#include "run/runner.h"
#include "run/teamwire.h"
#include "run/transport.h"

namespace polychain {

namespace {

using wire::append;
using wire::read;

// Blocks of at most about 2^20 steps, and of no more than 16384 chains; chains handed out
// ahead of the oldest unfinished block: 16384 a rank and room for two of the largest blocks a
// rank, never more than 2^21 in all (their summaries wait on the leader, 72 bytes each).
constexpr std::int64_t kStepsPerBlock = std::int64_t{1} << 20;
constexpr std::int64_t kMostPerBlock = 16384;
constexpr std::int64_t kAheadPerRank = 16384;
constexpr std::int64_t kMostAhead = std::int64_t{1} << 21;

// The growing thread's name, as the system shows it.
constexpr const char* kGrowerName = "team-grower";

// Buffers kept for the next message once done with.
class Spare {
 public:
  static Bytes take() {
    const std::lock_guard lock(mutex());
    auto& kept = buffers();
    if (kept.empty()) return {};
    Bytes bytes = std::move(kept.back());
    kept.pop_back();
    bytes.clear();
    return bytes;
  }
  static void give(Bytes&& bytes) {
    if (bytes.capacity() < kWorthKeeping) return;
    const std::lock_guard lock(mutex());
    if (buffers().size() < kMostKept) buffers().push_back(std::move(bytes));
  }

 private:
  static constexpr std::size_t kWorthKeeping = 4096;
  static constexpr std::size_t kMostKept = 64;
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<Bytes>& buffers() {
    static std::vector<Bytes> b;
    return b;
  }
};

// On the ranks that are not the leader: the user's cancel request and the leader's stop;
// progress stays with the leader.
class RankObserver final : public RunObserver {
 public:
  RankObserver(RunObserver& user, const std::atomic<bool>& stop) : m_user(user), m_stop(stop) {}
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override {
    m_user.chainSeemsTrapped(chain, trials);
  }
  bool cancelRequested() override { return m_stop.load() || m_user.cancelRequested(); }

 private:
  RunObserver& m_user;
  const std::atomic<bool>& m_stop;
};

// What the talking thread takes from the growing thread in one turn.
struct Grown {
  std::deque<Bytes> results;  // blocks of results, each a kResult message
  std::vector<Point> sites;   // the run's last chain, when it was among them
  std::deque<Bytes> parts;    // records of a shared unit's steps, each a kParts message
  bool wantsBlock = false;    // fewer blocks held than asked for, and more to come
};

// One rank's growing thread and its mailbox: blocks come in from the talking thread, results
// (and the run's last chain, when it was among them) go out to it. For a runner whose unit the
// ranks share, it is also the growing thread's side of the exchange: its records go out
// through the talking thread, the other ranks' come in from it.
class Grower final : public PartShare {
 public:
  Grower(Transport& team, std::int64_t run, const RunParams& params, const ModelRunner& runner,
         RunObserver& observer)
      : m_run(run),
        m_rank(team.rank()),
        m_ranks(team.size()),
        m_mostBytes(team.mostBytes()),
        m_params(params),
        m_runner(runner),
        m_rankObserver(observer, m_stopFlag),
        m_control(team.rank() == 0 ? observer : m_rankObserver, params),
        m_partsIn(static_cast<std::size_t>(team.size())) {
    if (runner.sharedUnit() && m_ranks > 1) m_control.shareWith(this);
  }

  int rank() const override { return m_rank; }
  int ranks() const override { return m_ranks; }
  // On the growing thread: sends `mine` in messages of at most Transport::mostBytes, then waits,
  // looking at the stop flag, until every other rank's record of the step has come whole.
  bool exchange(std::span<const std::byte> mine, const Take& take, RunControl& control) override {
    std::unique_lock lock(m_mutex);
    for (std::size_t at = 0; at == 0 || at < mine.size(); at += m_mostBytes) {
      Bytes out = wire::opening(m_run);
      append(out, static_cast<std::int64_t>(mine.size()));
      const std::size_t count = std::min(m_mostBytes, mine.size() - at);
      const auto* p = reinterpret_cast<const char*>(mine.data() + at);
      out.insert(out.end(), p, p + count);
      m_partsOut.push_back(std::move(out));
    }
    m_awaitingParts = true;
    m_news = true;
    m_wake.notify_one();
    const auto arrived = [this] {
      for (int r = 0; r < m_ranks; ++r) {
        const std::deque<Bytes>& in = m_partsIn[static_cast<std::size_t>(r)];
        if (r != m_rank && (in.empty() || !whole(in.front()))) return false;
      }
      return true;
    };
    while (!m_partsArrived.wait_for(lock, std::chrono::milliseconds(10), arrived)) {
      lock.unlock();
      const bool stop = control.pollStop();
      lock.lock();
      if (stop) {
        m_awaitingParts = false;
        return false;
      }
    }
    m_awaitingParts = false;
    std::vector<Bytes> records;
    for (int r = 0; r < m_ranks; ++r) {
      if (r == m_rank) continue;
      std::deque<Bytes>& in = m_partsIn[static_cast<std::size_t>(r)];
      records.push_back(std::move(in.front()));
      in.pop_front();
    }
    lock.unlock();
    for (Bytes& record : records) {
      take(std::as_bytes(std::span(record)).subspan(kPartsHead));
      keepBytes(std::move(record));
    }
    return true;
  }
  // On the talking thread: a message of rank `from`'s record of a step (kParts), the first of
  // the record or the next.
  void takeParts(int from, Bytes&& bytes) {
    if (from < 0 || from >= m_ranks || from == m_rank || bytes.size() < kPartsHead) return;
    const std::lock_guard lock(m_mutex);
    std::deque<Bytes>& in = m_partsIn[static_cast<std::size_t>(from)];
    if (!in.empty() && !whole(in.back())) {
      in.back().insert(in.back().end(), bytes.begin() + kPartsHead, bytes.end());
      keepBytes(std::move(bytes));
    } else {
      in.push_back(std::move(bytes));
    }
    m_partsArrived.notify_all();
  }

  RunControl& control() { return m_control; }
  bool stoppedByLeader() const { return m_stopFlag.load(); }
  bool grown() const { return m_grown.load(); }
  void rethrow() const { m_failure.rethrow(); }

  // The block to grow next; no units: none will come.
  void give(const wire::BlockNote& block) {
    const std::lock_guard lock(m_mutex);
    if (block.count == 0) {
      m_noMore = true;
    } else {
      m_inbox.push_back(block);
    }
    m_arrived.notify_all();
  }
  void noMore() { give({}); }

  // Stops the growing thread, for `why`, on the leader's word.
  void stop(RunStatus why) {
    m_stopFlag.store(true);
    m_control.stop(why);
    const std::lock_guard lock(m_mutex);
    m_arrived.notify_all();
    m_partsArrived.notify_all();
  }

  // What the growing thread has left since the last turn; wantsBlock when it holds fewer than
  // `most` blocks and more may come.
  Grown collect(std::size_t most) {
    Grown out;
    const std::lock_guard lock(m_mutex);
    out.results.swap(m_outbox);
    out.parts.swap(m_partsOut);
    out.sites = std::move(m_sitesOut);
    m_sitesOut.clear();
    out.wantsBlock = m_inbox.size() < most && !m_noMore;
    return out;
  }

  // The talking thread's pause while idle: wakes early when the growing thread has news.
  // Short while the growing thread has no block and `awaiting` one, or waits for the other
  // ranks' records of a step, else a third of the time the last block took, at most two
  // milliseconds (a follower asks for its next block while it still holds one), so that the
  // talking thread seldom takes the core from it.
  void pause(bool busy, bool awaiting) {
    constexpr std::chrono::steady_clock::duration kShort = std::chrono::microseconds(50);
    constexpr std::chrono::steady_clock::duration kLong = std::chrono::microseconds(2000);
    std::unique_lock lock(m_mutex);
    if (!busy && !m_news) {
      const bool starving = (awaiting && m_inbox.empty() && !m_noMore) || m_awaitingParts;
      const auto known = m_blockTime.load();
      const auto wait = starving                ? kShort
                        : known == known.zero() ? kLong
                                                : std::clamp(known / 3, kShort, kLong);
      m_wake.wait_for(lock, wait, [this] { return m_news; });
    }
    m_news = false;
  }

  // The growing thread: blocks from the inbox until there are none, results to the outbox.
  void growBlocks() {
    m_failure.guard(m_control, [this] {
      wire::BlockNote block;
      while (nextBlock(block)) {
        const auto start = std::chrono::steady_clock::now();
        Bytes result = grow(block);
        if (m_control.stopped()) break;
        m_blockTime.store(std::chrono::steady_clock::now() - start);
        std::unique_lock lock(m_mutex);
        m_outbox.push_back(std::move(result));
        wakeTalker(lock);
      }
    });
    m_grown.store(true);
    std::unique_lock lock(m_mutex);
    wakeTalker(lock);
  }

 private:
  // Tells the talking thread that the growing thread has something for it (a result, or room
  // for another block), so that it need not look often on its own.
  void wakeTalker(std::unique_lock<std::mutex>& lock) {
    m_news = true;
    lock.unlock();
    m_wake.notify_one();
  }

  bool nextBlock(wire::BlockNote& block) {
    std::unique_lock lock(m_mutex);
    while (m_inbox.empty() && !m_noMore && !m_control.pollStop()) {
      m_arrived.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (m_inbox.empty() || m_control.stopped()) return false;
    block = m_inbox.front();
    m_inbox.pop_front();
    wakeTalker(lock);
    return true;
  }

  // A block's results as a kResult message; the last unit's sites are kept for the talking
  // thread, which sends them first.
  Bytes grow(const wire::BlockNote& block) {
    Bytes bytes = wire::opening(m_run);
    bytes.reserve(wire::kResultHead +
                  static_cast<std::size_t>(block.count) * m_runner.unitBytes(m_params));
    append(bytes, block.first);
    append(bytes, block.count);
    RunLeftovers left;
    m_runner.runUnits(
        m_params, Block{block.first, block.count, RandomSource::fromState(block.state)}, m_control,
        [&bytes](std::int64_t, std::span<const std::byte> result) {
          const auto* p = reinterpret_cast<const char*>(result.data());
          bytes.insert(bytes.end(), p, p + result.size());
        },
        left);
    if (m_control.stopped()) return {};
    if (!left.lastSites.empty()) {
      const std::lock_guard lock(m_mutex);
      m_sitesOut = std::move(left.lastSites);  // sent with the block's results, which wake the
                                               // talker
    }
    return bytes;
  }

  const std::int64_t m_run;
  const int m_rank, m_ranks;
  const std::size_t m_mostBytes;
  const RunParams& m_params;
  const ModelRunner& m_runner;
  std::atomic<bool> m_stopFlag{false};
  RankObserver m_rankObserver;
  RunControl m_control;
  RegionFailure m_failure;

  std::mutex m_mutex;  // guards what follows
  std::condition_variable m_arrived;
  std::deque<wire::BlockNote> m_inbox;
  bool m_noMore = false;
  std::deque<Bytes> m_outbox;
  std::vector<Point> m_sitesOut;
  std::atomic<bool> m_grown{false};
  std::condition_variable m_wake;  // the talking thread's, when m_news
  bool m_news = false;
  std::atomic<std::chrono::steady_clock::duration> m_blockTime{};  // of the last block grown
  // A kParts message opens with its run and the size of the whole record.
  static constexpr std::size_t kPartsHead = 2 * sizeof(std::int64_t);
  // Whether a record has come whole (it is gathered in the first message of its parts).
  static bool whole(const Bytes& record) {
    std::size_t at = sizeof(std::int64_t);
    const auto size = static_cast<std::size_t>(read<std::int64_t>(record, at));
    return record.size() - kPartsHead >= size;
  }
  std::deque<Bytes> m_partsOut;  // messages of this rank's records, for every other rank
  std::vector<std::deque<Bytes>> m_partsIn;  // each rank's records, oldest first
  bool m_awaitingParts = false;              // the growing thread waits for them
  std::condition_variable m_partsArrived;
};

// One rank's part of a run, whatever its role: its growing thread, and the talking thread's
// loop that runs the role.
class Member {
 public:
  Member(Transport& team, std::int64_t index, const RunParams& runParams, RunObserver& observer)
      : transport(team),
        run(index),
        params(runParams),
        runner(runnerOf(runParams)),
        units(runner.units(runParams)),
        grower(team, index, runParams, runner, observer) {}

  Transport& transport;
  const std::int64_t run;
  const RunParams& params;
  const ModelRunner& runner;
  const std::int64_t units;  // chains, or a sampler's Markov chains
  Grower grower;

  RunControl& control() { return grower.control(); }

  // The growing thread's records of a shared unit's steps, to every other rank.
  bool sendParts(std::deque<Bytes>& parts) {
    const int size = transport.size(), own = transport.rank();
    for (Bytes& record : parts) {
      for (int r = 0; r < size; ++r) {
        if (r == own) continue;
        const bool last = r == size - 1 || (r == size - 2 && own == size - 1);
        transport.send(r, wire::kParts, last ? std::move(record) : Bytes(record));
      }
    }
    return !parts.empty();
  }

  // Runs `role` until the run is over, the growing thread beside it, and ends the run on
  // every rank together.
  template <class Role>
  void serve(Role& role) {
    std::thread worker([this] { grower.growBlocks(); });
    // Named, so that one can tell a rank that has begun its run (in top -H, and in the tests).
    ::pthread_setname_np(worker.native_handle(), kGrowerName);
    talk(role);
    grower.noMore();  // whatever the growing thread still waits for will not come
    worker.join();
    transport.endRun(run);
  }

 private:
  // The talking thread's loop: the role's turn and the messages that came, until the run is
  // over, pausing while there is nothing to do.
  template <class Role>
  void talk(Role& role) {
    while (!role.over()) {
      bool busy = role.turn();
      for (;;) {
        Message in;
        in.bytes = spareBytes();
        if (role.over() || !transport.receive(in)) {
          keepBytes(std::move(in.bytes));
          break;
        }
        busy = true;
        if (messageRun(in.bytes) == run) role.handle(in);  // else a late word of an earlier run
        keepBytes(std::move(in.bytes));
      }
      transport.progress();
      grower.pause(busy, role.awaitingBlock());
    }
  }
};

// The leader's book of a run's units: hands them out in blocks through the one block schedule,
// to the ranks waiting for one, as far as the window allows, and adds up their results in unit
// order as they come back, with the run's last chain.
class UnitLedger {
 public:
  explicit UnitLedger(Member& member)
      : m_member(member),
        m_schedule(RandomSource(*member.params.seed), 0, member.units, window(member),
                   [&member, most = mostPerBlock(member)](std::int64_t left) {
                     const std::int64_t share = left / (4 * std::int64_t{member.transport.size()});
                     return std::clamp<std::int64_t>(share, 1, most);
                   }),
        m_tally(member.runner.tally(member.params)) {}

  bool done() const { return m_schedule.done(); }
  bool awaitingBlock() const { return m_waiting.count(0) > 0; }
  void await(int rank) { m_waiting.insert(rank); }

  // A shared unit's block, to every rank at once (the others' results are not sent back).
  void shareBlock() {
    Block block;
    if (m_schedule.next(block) != Schedule::Next::Block) return;
    const wire::BlockNote note{block.first, block.count, block.stream.state()};
    m_member.grower.give(note);
    for (int r = 1; r < m_member.transport.size(); ++r) {
      Bytes bytes = wire::opening(m_member.run);
      append(bytes, note);
      m_member.transport.send(r, wire::kBlock, std::move(bytes));
    }
  }

  // Hands blocks to the ranks waiting for one, as far as the window allows.
  bool serveWaiting() {
    bool busy = false;
    for (auto it = m_waiting.begin(); it != m_waiting.end(); it = m_waiting.erase(it)) {
      wire::BlockNote note;
      Block block;
      const auto next = m_schedule.next(block);
      if (next == Schedule::Next::Wait) break;  // the oldest blocks must come back first
      if (next == Schedule::Next::Block) note = {block.first, block.count, block.stream.state()};
      if (*it == 0) {
        m_member.grower.give(note);
      } else {
        Bytes bytes = wire::opening(m_member.run);
        append(bytes, note);
        m_member.transport.send(*it, wire::kBlock, std::move(bytes));
      }
      busy = true;
    }
    return busy;
  }

  // Files a block's results (a kResult message) and adds up every block now due, in unit
  // order.
  void file(Bytes& bytes, bool own) {
    std::size_t at = sizeof(std::int64_t);
    const auto first = read<std::int64_t>(bytes, at);
    const auto count = read<std::int64_t>(bytes, at);
    if (!own) {
      m_member.control().chainDone(m_member.runner.samples(m_member.params, first, count));
    }
    m_schedule.finish(first, count, bytes, [this](std::int64_t, std::int64_t, Bytes& due) {
      fold(due);
      keepBytes(std::move(due));
    });
  }

  // The run's last chain, or a part of it (a kSites message).
  void keepSites(std::vector<Point>&& sites) { m_lastSites = std::move(sites); }
  void keepSites(const Bytes& bytes) {
    std::size_t at = sizeof(std::int64_t);
    const auto total = read<std::int64_t>(bytes, at);
    if (m_lastSites.empty()) m_lastSites.reserve(static_cast<std::size_t>(total));
    const std::size_t count = (bytes.size() - at) / sizeof(Point);
    const std::size_t old = m_lastSites.size();
    m_lastSites.resize(old + count);
    std::memcpy(m_lastSites.data() + old, bytes.data() + at, count * sizeof(Point));
  }

  // The numbers of every unit, once all were added.
  void finish(RunResult& out) {
    m_tally->finish(out);
    out.lastSites = std::move(m_lastSites);
  }

 private:
  // Units ahead of the oldest unfinished block: enough that a slow chain holds up no rank for
  // long, few enough that the results waiting to be added up stay small.
  static std::int64_t window(const Member& member) {
    const std::int64_t size = member.transport.size();
    return std::min(kMostAhead,
                    std::max(2 * mostPerBlock(member) * (size + 1), kAheadPerRank * size));
  }
  static std::int64_t mostPerBlock(const Member& member) {
    const std::int64_t size = member.transport.size();
    const std::int64_t most = std::clamp<std::int64_t>(
        kStepsPerBlock / std::max<std::int64_t>(member.runner.unitCost(member.params), 1), 1,
        kMostPerBlock);
    return std::max<std::int64_t>(1, std::min(most, kMostAhead / (2 * (size + 1))));
  }

  void fold(const Bytes& due) {
    const std::size_t size = m_member.runner.unitBytes(m_member.params);
    for (std::size_t at = wire::kResultHead; at + size <= due.size(); at += size) {
      m_tally->add(std::as_bytes(std::span(due)).subspan(at, size));
    }
  }

  using Schedule = BlockSchedule<Bytes>;
  Member& m_member;
  Schedule m_schedule;
  std::set<int> m_waiting;  // ranks waiting for a block, served in rank order
  std::unique_ptr<UnitTally> m_tally;
  std::vector<Point> m_lastSites;
};

// Rank 0: keeps the book of the units, its own blocks included, answers the other ranks, and
// stops every rank when one must stop.
class Leader {
 public:
  explicit Leader(Member& member) : m_member(member), m_ledger(member) {}

  bool over() const { return m_over; }
  bool awaitingBlock() const { return m_ledger.awaitingBlock(); }

  // Its own blocks and results, the blocks waiting to be handed out, its stop, and the end.
  bool turn() {
    RunControl& control = m_member.control();
    if (control.stopped() && !m_stopSent) {
      stopAll(control.stopReason(), control.stopReason() == RunStatus::Cancelled ? -1 : 0);
      return true;
    }
    if (!m_shared && m_member.runner.sharedUnit()) {
      m_ledger.shareBlock();
      m_shared = true;
    }
    Grown grown = m_member.grower.collect(1);
    bool busy = m_member.sendParts(grown.parts);
    if (!grown.sites.empty()) m_ledger.keepSites(std::move(grown.sites));
    for (Bytes& result : grown.results) m_ledger.file(result, true), busy = true;
    if (grown.wantsBlock) m_ledger.await(0);
    busy |= m_ledger.serveWaiting();
    if (m_ledger.done() && m_member.grower.grown()) {
      const int size = m_member.transport.size();
      for (int r = 1; r < size; ++r) {
        m_member.transport.send(r, wire::kDone, wire::opening(m_member.run));
      }
      m_over = true;
    }
    return busy;
  }

  void handle(Message& in) {
    std::size_t at = sizeof(std::int64_t);
    switch (in.tag) {
      case wire::kRequest:
        m_ledger.await(in.from);
        m_ledger.serveWaiting();
        break;
      case wire::kSites:
        m_ledger.keepSites(in.bytes);
        break;
      case wire::kResult:
        m_ledger.file(in.bytes, false);
        break;
      case wire::kFailed: {
        const auto note = read<wire::StopNote>(in.bytes, at);
        stopAll(static_cast<RunStatus>(note.status), note.rank);
        break;
      }
      case wire::kParts:
        m_member.grower.takeParts(in.from, std::move(in.bytes));
        break;
      default:
        break;
    }
  }

  TeamRun outcome() {
    RunControl& control = m_member.control();
    const RunParams& params = m_member.params;
    RunResult out;
    out.seed = *params.seed;
    if (m_status == RunStatus::Finished) {
      m_ledger.finish(out);
      finishRun(params, control, out);
      if (control.stopped()) m_status = out.status;
    }
    if (m_status != RunStatus::Finished) {
      out = RunResult{};
      out.seed = *params.seed;
    }
    out.status = m_status;
    return {std::move(out), m_stoppedAt};
  }

 private:
  void stopAll(RunStatus status, int rank) {
    m_status = status;
    m_stoppedAt = rank;
    m_member.grower.stop(status);
    const int size = m_member.transport.size();
    for (int r = 1; r < size; ++r) {
      Bytes bytes = wire::opening(m_member.run);
      append(bytes, wire::StopNote{static_cast<std::int32_t>(status), rank});
      m_member.transport.send(r, wire::kStop, std::move(bytes));
    }
    m_stopSent = true;
    m_over = true;
  }

  Member& m_member;
  UnitLedger m_ledger;
  bool m_over = false;
  bool m_shared = false;  // a shared unit's block handed out
  bool m_stopSent = false;
  RunStatus m_status = RunStatus::Finished;
  int m_stoppedAt = -1;
};

// Every other rank: asks for blocks while it holds fewer than it should, sends their results
// (and the last chain's sites), and reports a stop of its own.
class Follower {
 public:
  explicit Follower(Member& member) : m_member(member) {}

  bool over() const { return m_over; }
  bool awaitingBlock() const { return m_requested; }

  bool turn() {
    RunControl& control = m_member.control();
    Transport& transport = m_member.transport;
    if (control.stopped() && !m_member.grower.stoppedByLeader() && !m_failSent) {
      Bytes bytes = wire::opening(m_member.run);
      append(bytes,
             wire::StopNote{static_cast<std::int32_t>(control.stopReason()), transport.rank()});
      transport.send(0, wire::kFailed, std::move(bytes));
      m_failSent = true;
      return true;
    }
    Grown grown = m_member.grower.collect(m_blocksHeld);
    const bool ask = grown.wantsBlock && !m_requested;
    bool busy = m_member.sendParts(grown.parts);
    // A shared unit's results are the leader's own.
    const bool shared = m_member.runner.sharedUnit();
    if (!grown.sites.empty() && !shared) sendSites(grown.sites), busy = true;
    for (Bytes& result : grown.results) {
      if (!shared) transport.send(0, wire::kResult, std::move(result));
      busy = true;
    }
    if (ask) {
      transport.send(0, wire::kRequest, wire::opening(m_member.run));
      m_requested = true;
      busy = true;
    }
    return busy;
  }

  void handle(Message& in) {
    std::size_t at = sizeof(std::int64_t);
    switch (in.tag) {
      case wire::kParts:
        m_member.grower.takeParts(in.from, std::move(in.bytes));
        break;
      case wire::kBlock:
        m_requested = false;
        m_member.grower.give(read<wire::BlockNote>(in.bytes, at));
        break;
      case wire::kStop: {
        const auto note = read<wire::StopNote>(in.bytes, at);
        m_status = static_cast<RunStatus>(note.status);
        m_stoppedAt = note.rank;
        m_member.grower.stop(m_status);
        m_over = true;
        break;
      }
      case wire::kDone:
        m_member.grower.noMore();
        m_over = true;
        break;
      default:
        break;
    }
  }

  TeamRun outcome() const {
    TeamRun out;
    out.result.status = m_status;
    out.result.seed = *m_member.params.seed;
    out.stoppedAt = m_stoppedAt;
    return out;
  }

 private:
  void sendSites(const std::vector<Point>& sites) {
    for (std::size_t at = 0; at < sites.size(); at += wire::kSitesPerPart) {
      Bytes bytes = wire::opening(m_member.run);
      const std::size_t count = std::min(wire::kSitesPerPart, sites.size() - at);
      append(bytes, static_cast<std::int64_t>(sites.size()));
      const char* p = reinterpret_cast<const char*>(sites.data() + at);
      bytes.insert(bytes.end(), p, p + count * sizeof(Point));
      m_member.transport.send(0, wire::kSites, std::move(bytes));
    }
  }

  Member& m_member;
  // Blocks held: one being grown and one ready, so that it need not wait for the leader's
  // answer; only one when a unit's work dwarfs a message's (a sampler's Markov chain), as
  // there are few such units to share.
  const std::size_t m_blocksHeld =
      m_member.runner.unitCost(m_member.params) > kStepsPerBlock* kMostPerBlock ? 1 : 2;
  bool m_requested = false;
  bool m_failSent = false;
  bool m_over = false;
  RunStatus m_status = RunStatus::Finished;
  int m_stoppedAt = -1;
};

}  // namespace

Bytes spareBytes() { return Spare::take(); }
void keepBytes(Bytes&& bytes) { Spare::give(std::move(bytes)); }

std::int64_t messageRun(const Bytes& bytes) {
  std::size_t at = 0;
  return bytes.size() < sizeof(std::int64_t) ? -1 : read<std::int64_t>(bytes, at);
}

TeamRun runOnTeam(Transport& transport, std::int64_t run, const CheckedRun& checked,
                  RunObserver& observer) {
  const RunParams& params = checked.params();
  // Results travel unitBytes() a unit between processes, without the values of each chain.
  if (params.perChain) throw std::logic_error("a team's run does not keep each chain's values");
  Member member(transport, run, params, observer);
  TeamRun outcome;
  if (transport.rank() == 0) {
    Leader leader(member);
    member.serve(leader);
    member.grower.rethrow();  // a fault, after every rank has stopped
    outcome = leader.outcome();
  } else {
    Follower follower(member);
    member.serve(follower);
    member.grower.rethrow();
    outcome = follower.outcome();
  }
  return outcome;
}

}  // namespace polychain
