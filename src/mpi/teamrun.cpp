#include "polychain/teamrun.h"

#ifdef POLYCHAIN_WITH_MPI
#include "mpi/lazympi.h"
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <type_traits>

#include "run/control.h"
#include "run/pivotrun.h"

namespace polychain {

#ifdef POLYCHAIN_WITH_MPI

namespace {

// Messages, each opening with the index of the run it belongs to.
enum Tag : int {
  kRequest = 1,  // a rank asks the leader for a block
  kBlock,        // the leader hands one out (an empty block: no more)
  kSites,        // part of the last chain's sites
  kResult,       // a block's results
  kFailed,       // a rank stopped for a reason of its own (status)
  kStop,         // the leader stops every rank (status, rank where it began)
  kDone,         // the leader has every result
};

struct Block {
  std::int64_t first = 0;
  std::int64_t count = 0;  // 0: no more blocks
  RandomSource::State state{};
};

struct StopNote {
  std::int32_t status = 0;
  std::int32_t rank = -1;
};

static_assert(std::is_trivially_copyable_v<ChainSummary>);
static_assert(std::is_trivially_copyable_v<RunSums>);
static_assert(std::is_trivially_copyable_v<SeriesSummary>);

// The pivot walker's result without its sites, as it travels.
struct WalkerWire {
  RunSums sums;
  SeriesSummary measured;
  std::int64_t attempts = 0;
  std::int64_t accepted = 0;
};

// Blocks of at most about 2^20 steps, and of no more than 16384 chains; chains handed out
// ahead of the oldest unfinished block: 16384 a rank and room for two of the largest blocks a
// rank, never more than 2^21 in all (their summaries wait on the leader, 72 bytes each).
constexpr std::int64_t kStepsPerBlock = std::int64_t{1} << 20;
constexpr std::int64_t kMostPerBlock = 16384;
constexpr std::int64_t kAheadPerRank = 16384;
constexpr std::int64_t kMostAhead = std::int64_t{1} << 21;

// Sites travel in parts well below MPI's 2^31-byte message limit.
constexpr std::size_t kSitesPerPart = std::size_t{1} << 24;

// Bytes left uninitialised when made: messages are written or received whole.
template <class T>
struct Uninitialised : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = Uninitialised<U>;
  };
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using Bytes = std::vector<char, Uninitialised<char>>;

template <class T>
void append(Bytes& bytes, const T& value) {
  const char* p = reinterpret_cast<const char*>(&value);
  bytes.insert(bytes.end(), p, p + sizeof(T));
}

// Buffers kept for the next message once done with, so that large blocks of results do not
// go back to the system and fault in afresh each time.
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

template <class T>
T read(const Bytes& bytes, std::size_t& at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof(T));
  at += sizeof(T);
  return value;
}

// Sends without blocking; the buffers live until the sends complete.
class Outgoing {
 public:
  void send(int to, int tag, Bytes bytes) {
    m_sends.push_back({std::move(bytes), MPI_REQUEST_NULL});
    Pending& p = m_sends.back();
    MPI_Isend(p.bytes.data(), static_cast<int>(p.bytes.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD,
              &p.request);
  }
  void progress() {
    for (auto it = m_sends.begin(); it != m_sends.end();) {
      int done = 0;
      MPI_Test(&it->request, &done, MPI_STATUS_IGNORE);
      if (done) Spare::give(std::move(it->bytes));
      it = done ? m_sends.erase(it) : std::next(it);
    }
  }
  bool empty() const { return m_sends.empty(); }

 private:
  struct Pending {
    Bytes bytes;
    MPI_Request request;
  };
  std::list<Pending> m_sends;
};

// A received message, or nothing.
struct Incoming {
  int from = -1;
  int tag = 0;
  Bytes bytes;
};

// Messages of the next run that came while this rank was still ending the last one.
std::deque<Incoming>& early() {
  static std::deque<Incoming> messages;
  return messages;
}

// The next message from another rank, or false when none has come.
bool receiveNew(Incoming& in) {
  int ready = 0;
  MPI_Status status;
  MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &ready, &status);
  if (!ready) return false;
  int size = 0;
  MPI_Get_count(&status, MPI_BYTE, &size);
  in.from = status.MPI_SOURCE;
  in.tag = status.MPI_TAG;
  in.bytes = Spare::take();
  in.bytes.resize(static_cast<std::size_t>(size));
  MPI_Recv(in.bytes.data(), size, MPI_BYTE, in.from, in.tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  return true;
}

// The next message, those that came early first.
bool receive(Incoming& in) {
  if (early().empty()) return receiveNew(in);
  in = std::move(early().front());
  early().pop_front();
  return true;
}

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

// One rank's part of one run: a thread that grows the blocks handed to it, and the main
// thread that talks to the other ranks (the only one that calls MPI).
class RankRun {
 public:
  RankRun(Team& team, const RunParams& params, RunObserver& observer)
      : m_team(team),
        m_params(params),
        m_run(team.nextRun()),
        m_pivot(modelOf(params.model).kind == ModelKind::Sampler),
        m_units(m_pivot ? activeWalkers(params) : params.iterations),
        m_rankObserver(observer, m_stopFlag),
        m_control(team.leader() ? observer : m_rankObserver, params),
        m_stream(*params.seed) {
    // Chains handed out ahead of the oldest unfinished block: enough that a slow chain holds
    // up no rank for long, few enough that the results waiting to be added up stay small.
    const std::int64_t size = team.size();
    m_mostPerBlock =
        std::clamp<std::int64_t>(kStepsPerBlock / std::max(params.steps, 1), 1, kMostPerBlock);
    m_mostPerBlock =
        std::max<std::int64_t>(1, std::min(m_mostPerBlock, kMostAhead / (2 * (size + 1))));
    m_ahead = m_pivot ? m_units
                      : std::min(kMostAhead,
                                 std::max(2 * m_mostPerBlock * (size + 1), kAheadPerRank * size));
    m_out.seed = *params.seed;
    if (m_pivot) m_walkers.resize(static_cast<std::size_t>(m_units));
    if (!m_pivot) m_extended.emplace(modelOf(params.model).countsTrials);
  }

  TeamRun run() {
    std::thread worker([this] { growBlocks(); });
    talk();
    {
      const std::lock_guard lock(m_mutex);
      m_noMore = true;  // whatever the growing thread still waits for will not come
      m_arrived.notify_all();
    }
    worker.join();
    drain();
    m_failure.rethrow();  // a fault, after every rank has stopped
    TeamRun outcome;
    outcome.stoppedAt = m_stoppedAt;
    if (m_status == RunStatus::Finished && m_team.leader()) {
      if (m_pivot) {
        combineWalkers(m_params, m_walkers, m_out);
      } else {
        m_out.values = resultValues(modelOf(m_params.model), m_params.steps, m_out.sums);
        m_out.extended = m_extended->result();
      }
      m_out.lastSites = std::move(m_lastSites);
      finishRun(m_params, m_control, m_out);
      if (m_control.stopped()) m_status = m_out.status;
    }
    if (m_status != RunStatus::Finished || !m_team.leader()) {
      m_out = RunResult{};
      m_out.seed = *m_params.seed;
    }
    m_out.status = m_status;
    outcome.result = std::move(m_out);
    return outcome;
  }

 private:
  // The growing thread: blocks from the inbox until there are none, results to the outbox.
  void growBlocks() {
    m_failure.guard(m_control, [this] {
      Block block;
      while (nextBlock(block)) {
        const auto start = std::chrono::steady_clock::now();
        Bytes result = growBlock(block);
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

  // Tells the main thread that the growing thread has something for it (a result, or room for
  // another block), so that it need not look often on its own.
  void wakeTalker(std::unique_lock<std::mutex>& lock) {
    m_news = true;
    lock.unlock();
    m_wake.notify_one();
  }

  bool nextBlock(Block& block) {
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

  // A block's results: its first unit and count, then each chain's summary (or each walker's
  // result); the last unit's sites go separately, first.
  Bytes growBlock(const Block& block) {
    Bytes bytes = Spare::take();
    bytes.reserve(3 * sizeof(std::int64_t) +
                  static_cast<std::size_t>(block.count) *
                      (m_pivot ? sizeof(WalkerWire) : sizeof(ChainSummary)));
    append(bytes, m_run);
    append(bytes, block.first);
    append(bytes, block.count);
    std::vector<Point> last;
    const RandomSource stream = RandomSource::fromState(block.state);
    if (m_pivot) {
      RandomSource random = stream;
      for (std::int64_t w = block.first; w < block.first + block.count; ++w, random.jump()) {
        WalkerResult result;
        if (!runWalker(m_params, w, random, m_control, result)) return {};
        append(bytes, WalkerWire{result.sums, result.measured, result.attempts, result.accepted});
        if (!result.lastSites.empty()) last = std::move(result.lastSites);
      }
    } else {
      ::polychain::growBlock(
          m_params, m_control, stream, block.first, block.count,
          [&bytes](std::int64_t, const ChainSummary& summary) { append(bytes, summary); }, last);
    }
    if (!last.empty()) {
      const std::lock_guard lock(m_mutex);
      m_sitesOut = std::move(last);  // sent with the block's results, which wake the talker
    }
    return bytes;
  }

  // The main thread's loop: requests, blocks, results, stops, until the run is over. Idle, it
  // waits for word from the growing thread, or for a pause in which other ranks may have
  // written: short while the growing thread has no block and one has been asked for, else a
  // third of the time the last block took, at most two milliseconds (a follower asks for its
  // next block while it still holds one), so that it seldom takes the core from the growing
  // thread.
  void talk() {
    constexpr std::chrono::steady_clock::duration kShort = std::chrono::microseconds(50);
    constexpr std::chrono::steady_clock::duration kLong = std::chrono::microseconds(2000);
    while (!m_over) {
      bool busy = false;
      if (m_team.leader()) {
        busy |= lead();
      } else {
        busy |= follow();
      }
      Incoming in;
      while (!m_over && receive(in)) {
        busy = true;
        handle(in);
      }
      m_outgoing.progress();
      std::unique_lock lock(m_mutex);
      if (!busy && !m_news) {
        const bool asked = m_team.leader() ? m_waiting.count(0) > 0 : m_requested;
        const bool starving = asked && m_inbox.empty() && !m_noMore;
        const auto known = m_blockTime.load();
        const auto pause = starving                ? kShort
                           : known == known.zero() ? kLong
                                                   : std::clamp(known / 3, kShort, kLong);
        m_wake.wait_for(lock, pause, [this] { return m_news; });
      }
      m_news = false;
    }
  }

  // The leader's own turn: its own blocks and results, the blocks waiting to be handed out,
  // its stop, and the end.
  bool lead() {
    bool busy = false;
    if (m_control.stopped() && !m_stopSent) {
      stopAll(m_control.stopReason(), m_control.stopReason() == RunStatus::Cancelled ? -1 : 0);
      return true;
    }
    {
      std::unique_lock lock(m_mutex);
      if (!m_sitesOut.empty()) m_lastSites = std::move(m_sitesOut), m_sitesOut.clear();
      std::deque<Bytes> results;
      results.swap(m_outbox);
      const bool wantsBlock = m_inbox.empty() && !m_noMore && !m_waiting.count(0);
      lock.unlock();
      for (Bytes& r : results) take(std::move(r), true), busy = true;
      if (wantsBlock) m_waiting.insert(0);
    }
    busy |= serveWaiting();
    if (m_folded == m_units && m_grown.load()) {
      for (int r = 1; r < m_team.size(); ++r) m_outgoing.send(r, kDone, header());
      m_over = true;
    }
    return busy;
  }

  // A follower's own turn: ask for a block while it holds fewer than m_blocksHeld, send
  // results, report its own stop.
  bool follow() {
    bool busy = false;
    if (m_control.stopped() && !m_stopFlag.load() && !m_failSent) {
      Bytes bytes = header();
      append(bytes, StopNote{static_cast<std::int32_t>(m_control.stopReason()), m_team.rank()});
      m_outgoing.send(0, kFailed, std::move(bytes));
      m_failSent = true;
      return true;
    }
    std::unique_lock lock(m_mutex);
    std::vector<Point> sites = std::move(m_sitesOut);
    m_sitesOut.clear();
    std::deque<Bytes> results;
    results.swap(m_outbox);
    const bool wantsBlock = m_inbox.size() < m_blocksHeld && !m_noMore && !m_requested;
    if (wantsBlock) m_requested = true;
    lock.unlock();
    if (!sites.empty()) sendSites(sites), busy = true;
    for (Bytes& r : results) m_outgoing.send(0, kResult, std::move(r)), busy = true;
    if (wantsBlock) m_outgoing.send(0, kRequest, header()), busy = true;
    return busy;
  }

  // Ends the run on every rank together: each rank takes in and drops what is still addressed
  // to this run until its own sends are through, then waits for the others doing the same,
  // so that no message is left half-sent (a stopped run leaves some unread).
  void drain() {
    MPI_Request barrier = MPI_REQUEST_NULL;
    bool entered = false;
    for (;;) {
      Incoming in;
      while (receiveNew(in)) {
        std::size_t at = 0;
        if (read<std::int64_t>(in.bytes, at) > m_run) early().push_back(std::move(in));
      }
      m_outgoing.progress();
      if (!entered && m_outgoing.empty()) {
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

  void sendSites(const std::vector<Point>& sites) {
    for (std::size_t at = 0; at < sites.size(); at += kSitesPerPart) {
      Bytes bytes = header();
      const std::size_t count = std::min(kSitesPerPart, sites.size() - at);
      append(bytes, static_cast<std::int64_t>(sites.size()));
      const char* p = reinterpret_cast<const char*>(sites.data() + at);
      bytes.insert(bytes.end(), p, p + count * sizeof(Point));
      m_outgoing.send(0, kSites, std::move(bytes));
    }
  }

  void handle(const Incoming& in) {
    std::size_t at = 0;
    const auto run = read<std::int64_t>(in.bytes, at);
    if (run != m_run) return;  // a late word about an earlier run
    switch (in.tag) {
      case kRequest:
        m_waiting.insert(in.from);
        serveWaiting();
        break;
      case kBlock: {
        const Block block = read<Block>(in.bytes, at);
        const std::lock_guard lock(m_mutex);
        m_requested = false;
        if (block.count == 0) {
          m_noMore = true;
        } else {
          m_inbox.push_back(block);
        }
        m_arrived.notify_all();
        break;
      }
      case kSites: {
        const auto total = read<std::int64_t>(in.bytes, at);
        if (m_lastSites.empty()) m_lastSites.reserve(static_cast<std::size_t>(total));
        const std::size_t count = (in.bytes.size() - at) / sizeof(Point);
        const std::size_t old = m_lastSites.size();
        m_lastSites.resize(old + count);
        std::memcpy(m_lastSites.data() + old, in.bytes.data() + at, count * sizeof(Point));
        break;
      }
      case kResult:
        take(std::move(in.bytes), false);
        break;
      case kFailed: {
        const StopNote note = read<StopNote>(in.bytes, at);
        stopAll(static_cast<RunStatus>(note.status), note.rank);
        break;
      }
      case kStop: {
        const StopNote note = read<StopNote>(in.bytes, at);
        m_status = static_cast<RunStatus>(note.status);
        m_stoppedAt = note.rank;
        m_stopFlag.store(true);
        m_control.stop(m_status);
        m_arrived.notify_all();
        m_over = true;
        break;
      }
      case kDone: {
        const std::lock_guard lock(m_mutex);
        m_noMore = true;
        m_arrived.notify_all();
        m_over = true;
        break;
      }
      default:
        break;
    }
  }

  // The next block's size: a share of the chains not yet handed out, shrinking as they run
  // out so that the ranks finish together, and never more than m_mostPerBlock; one pivot
  // walker.
  std::int64_t blockSize() const {
    const std::int64_t left = m_units - m_next;
    if (m_pivot) return std::min<std::int64_t>(1, left);
    return std::min(left, std::clamp<std::int64_t>(left / (4 * std::int64_t{m_team.size()}), 1,
                                                   m_mostPerBlock));
  }

  // The leader: hands blocks to the ranks waiting for one, as far as the window allows.
  bool serveWaiting() {
    bool busy = false;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
      Block block;
      if (m_next < m_units) {
        if (m_next >= m_folded + m_ahead) break;  // the oldest blocks must come back first
        block.first = m_next;
        block.count = blockSize();
        block.state = m_stream.state();
        for (std::int64_t i = 0; i < block.count / 64; ++i) m_stream.jump64();
        for (std::int64_t i = 0; i < block.count % 64; ++i) m_stream.jump();
        m_next += block.count;
      }
      if (*it == 0) {
        const std::lock_guard lock(m_mutex);
        if (block.count == 0) {
          m_noMore = true;
        } else {
          m_inbox.push_back(block);
        }
        m_arrived.notify_all();
      } else {
        Bytes bytes = header();
        append(bytes, block);
        m_outgoing.send(*it, kBlock, std::move(bytes));
      }
      it = m_waiting.erase(it);
      busy = true;
    }
    return busy;
  }

  // The leader: files a block's results and adds up every block now due, in chain order.
  void take(Bytes bytes, bool own) {
    std::size_t at = 0;
    read<std::int64_t>(bytes, at);
    const auto first = read<std::int64_t>(bytes, at);
    const auto count = read<std::int64_t>(bytes, at);
    if (m_pivot) {
      for (std::int64_t w = first; w < first + count; ++w) {
        const auto wire = read<WalkerWire>(bytes, at);
        WalkerResult& result = m_walkers[static_cast<std::size_t>(w)];
        result.sums = wire.sums;
        result.measured = wire.measured;
        result.attempts = wire.attempts;
        result.accepted = wire.accepted;
        if (!own) m_control.chainDone(walkerSamples(m_params, w));
      }
      m_folded += count;
      return;
    }
    if (!own) m_control.chainDone(count);
    m_pending.emplace(first, std::move(bytes));
    while (!m_pending.empty() && m_pending.begin()->first == m_folded) {
      const Bytes& due = m_pending.begin()->second;
      std::size_t next = 3 * sizeof(std::int64_t);
      while (next < due.size()) {
        const auto summary = read<ChainSummary>(due, next);
        m_out.sums.add(summary);
        m_extended->add(summary);
        ++m_folded;
      }
      Spare::give(std::move(m_pending.begin()->second));
      m_pending.erase(m_pending.begin());
    }
  }

  void stopAll(RunStatus status, int rank) {
    m_status = status;
    m_stoppedAt = rank;
    m_control.stop(status);
    m_stopFlag.store(true);
    m_arrived.notify_all();
    for (int r = 1; r < m_team.size(); ++r) {
      Bytes bytes = header();
      append(bytes, StopNote{static_cast<std::int32_t>(status), rank});
      m_outgoing.send(r, kStop, std::move(bytes));
    }
    m_stopSent = true;
    m_over = true;
  }

  Bytes header() const {
    Bytes bytes;
    append(bytes, m_run);
    return bytes;
  }

  Team& m_team;
  const RunParams& m_params;
  const std::int64_t m_run;
  const bool m_pivot;
  const std::int64_t m_units;  // chains, or active walkers
  std::atomic<bool> m_stopFlag{false};
  RankObserver m_rankObserver;
  RunControl m_control;
  RegionFailure m_failure;
  std::int64_t m_mostPerBlock = 1;
  std::int64_t m_ahead = 1;
  // Blocks a follower holds: one being grown and one ready, so that it need not wait for the
  // leader's answer; a pivot walker's time dwarfs a message's, and few walkers are to be shared.
  const std::size_t m_blocksHeld = m_pivot ? 1 : 2;

  // Between the two threads.
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::deque<Block> m_inbox;
  bool m_noMore = false;
  bool m_requested = false;
  std::deque<Bytes> m_outbox;
  std::vector<Point> m_sitesOut;
  std::atomic<bool> m_grown{false};
  std::condition_variable m_wake;  // the main thread's, when m_news
  bool m_news = false;
  std::atomic<std::chrono::steady_clock::duration> m_blockTime{};  // of the last block grown

  // The main thread's.
  Outgoing m_outgoing;
  bool m_over = false;
  bool m_stopSent = false;
  bool m_failSent = false;
  RunStatus m_status = RunStatus::Finished;
  int m_stoppedAt = -1;

  // The leader's.
  RandomSource m_stream;
  std::int64_t m_next = 0;                  // the first unit not handed out
  std::int64_t m_folded = 0;                // units added up
  std::set<int> m_waiting;                  // ranks waiting for a block
  std::map<std::int64_t, Bytes> m_pending;  // blocks of results ahead of their turn
  RunResult m_out;
  std::optional<ExtendedAccumulator> m_extended;
  std::vector<WalkerResult> m_walkers;
  std::vector<Point> m_lastSites;
};

}  // namespace

TeamRun runTeam(Team& team, const RunParams& params, RunObserver& observer) {
  if (team.size() == 1) return {runSimulation(params, observer), -1};
  validateParams(params);
  RankRun rank(team, params, observer);
  return rank.run();
}

#else

TeamRun runTeam(Team&, const RunParams& params, RunObserver& observer) {
  return {runSimulation(params, observer), -1};
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

SweepResult sweepTeam(Team& team, const SweepParams& params, SweepObserver& observer,
                      int& stoppedAt) {
  stoppedAt = -1;
  if (team.size() == 1) return runSweep(params, observer);
  TeamSweepObserver teamObserver(team, observer);
  return runSweep(params, teamObserver, [&](const RunParams& run, RunObserver& point) {
    teamObserver.m_inRun = true;
    TeamRun outcome = runTeam(team, run, point);
    teamObserver.m_inRun = false;
    if (outcome.stoppedAt >= 0) stoppedAt = outcome.stoppedAt;
    return std::move(outcome.result);
  });
}

}  // namespace polychain
