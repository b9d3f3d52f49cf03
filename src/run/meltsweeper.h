// The threads and processes of a melt's sweeps: each sweep split into the melt's parts, planned
// and then swept by the caller and helpers that sleep between sweeps, each part taken by the
// next free thread, then the chains' end-to-end vectors when followed; on a team each process
// sweeps its share of the parts and takes the others' records. The same bytes on any number of
// threads and processes.
#pragma once

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "chain/melt.h"
#include "run/control.h"
#include "run/partshare.h"

namespace polychain {

// Attempted moves between two looks at the stop flag in an undecomposed sweep: about a
// millisecond of work.
inline constexpr std::int64_t kMeltPollEvery = std::int64_t{1} << 15;

// The run's stream and threads for a melt's decomposed sweeps: the caller and up to `threads`
// - 1 helpers, asleep between sweeps (a busy wait would take the core from a thread that is
// still sweeping on a loaded machine). Each sweep's parts are planned, then swept, each part
// taken by the next free thread; the result is the same on any number of threads. With a
// `share`, this process sweeps only its parts, a run of about parts / ranks of them, and takes
// the others' from the other processes after each sweep.
class MeltSweeper {
 public:
  MeltSweeper(RandomSource random, int threads, std::int32_t parts, PartShare* share = nullptr)
      : m_random(random),
        m_share(share),
        m_first(share ? parts * share->rank() / share->ranks() : 0),
        m_last(share ? parts * (share->rank() + 1) / share->ranks() : parts),
        m_team(std::max(1, std::min(threads, m_last - m_first))),
        m_barrier(m_team) {
    for (int k = 1; k < m_team; ++k) {
      try {
        m_helpers.emplace_back([this] { help(); });
      } catch (const std::system_error&) {
        // As many threads as the system gives; the sweeps do not depend on them.
        for (int missing = k; missing < m_team; ++missing) m_barrier.arrive_and_drop();
        m_team = k;
      }
    }
  }
  MeltSweeper(const MeltSweeper&) = delete;
  MeltSweeper& operator=(const MeltSweeper&) = delete;
  ~MeltSweeper() {
    if (m_team == 1) return;
    m_quit = true;
    m_barrier.arrive_and_wait();
  }

  // After each sweep from now on, the end-to-end vectors of the melt's first `chains` chains,
  // three values a chain (Melt::endToEnd), into ends(), shared among the sweep's threads (a
  // pass over the chains that would otherwise hold the others up); 0 follows none.
  void followEnds(std::int32_t chains) { m_ends.assign(3 * static_cast<std::size_t>(chains), 0.0); }
  const std::vector<double>& ends() const { return m_ends; }

  // One sweep of `melt`; false when the run stopped. A melt of one part is swept whole by the
  // undecomposed moves, in pieces between looks at the stop flag.
  bool sweep(Melt& melt, RunControl& control) {
    m_melt = &melt;
    m_followed = 0;
    if (melt.decomposition().parts == 1) {
      for (std::int64_t left = melt.sweepAttempts(); left > 0;) {
        const std::int64_t piece = std::min(left, kMeltPollEvery);
        melt.attempt(m_random, piece);
        left -= piece;
        if (control.pollStop()) return false;
      }
      follow();
      return true;
    }
    melt.beginSweep(m_random);
    m_control = &control;
    m_planned = m_first;
    m_swept = m_first;
    if (m_team > 1) m_barrier.arrive_and_wait();
    work(true);
    m_failure.rethrow();
    melt.endSweep();
    return !control.pollStop();
  }

 private:
  void help() {
    for (;;) {
      m_barrier.arrive_and_wait();
      if (m_quit) return;
      work(false);
    }
  }
  // A sweep's share of the thread `caller` (the one that called sweep) or of a helper.
  void work(bool caller) {
    Melt& melt = *m_melt;
    RunControl& control = *m_control;
    for (std::int32_t p = m_planned++; p < m_last; p = m_planned++) {
      m_failure.guard(control, [&] { melt.planPart(p); });
    }
    if (m_team > 1) m_barrier.arrive_and_wait();
    const auto stopRequested = [&control] { return control.pollStop(); };
    for (std::int32_t p = m_swept++; p < m_last; p = m_swept++) {
      if (!control.stopped()) m_failure.guard(control, [&] { melt.sweepPart(p, stopRequested); });
    }
    if (m_share) {
      if (m_team > 1) m_barrier.arrive_and_wait();
      if (caller && !control.stopped()) m_failure.guard(control, [&] { exchange(melt, control); });
    }
    if (!m_ends.empty()) {
      if (m_team > 1) m_barrier.arrive_and_wait();
      follow();
    }
    if (m_team > 1) m_barrier.arrive_and_wait();
  }
  // This process's parts' records to the others, theirs into the melt: each process's record
  // is, for each of its parts in order, the part, the record's size and the record.
  void exchange(Melt& melt, RunControl& control) {
    m_mine.clear();
    for (std::int32_t p = m_first; p < m_last; ++p) {
      const std::size_t at = m_mine.size();
      m_mine.resize(at + 2 * sizeof(std::int64_t));
      melt.savePart(p, m_mine);
      const std::int64_t head[2] = {
          p, static_cast<std::int64_t>(m_mine.size() - at - 2 * sizeof(std::int64_t))};
      std::memcpy(m_mine.data() + at, head, sizeof head);
    }
    const std::int32_t parts = melt.decomposition().parts;
    m_share->exchange(
        m_mine,
        [&](std::span<const std::byte> records) {
          for (std::size_t at = 0; at < records.size();) {
            std::int64_t head[2];
            if (records.size() - at < sizeof head)
              throw std::runtime_error("a part's record cut short");
            std::memcpy(head, records.data() + at, sizeof head);
            at += sizeof head;
            if (head[0] < 0 || head[0] >= parts || (head[0] >= m_first && head[0] < m_last) ||
                head[1] < 0 || static_cast<std::uint64_t>(head[1]) > records.size() - at) {
              throw std::runtime_error("a part's record that is not another process's");
            }
            const auto size = static_cast<std::size_t>(head[1]);
            melt.loadPart(static_cast<std::int32_t>(head[0]), records.subspan(at, size));
            at += size;
          }
        },
        control);
  }
  // The followed end-to-end vectors, a block of chains at a time to the next free thread.
  void follow() {
    static constexpr std::size_t kBlock = 64;
    const std::size_t chains = m_ends.size() / 3;
    for (std::size_t first = kBlock * m_followed++; first < chains; first = kBlock * m_followed++) {
      for (std::size_t c = first; c < std::min(chains, first + kBlock); ++c) {
        const Point end = m_melt->endToEnd(static_cast<std::int32_t>(c));
        m_ends[3 * c] = end.x;
        m_ends[3 * c + 1] = end.y;
        m_ends[3 * c + 2] = end.z;
      }
    }
  }

  RandomSource m_random;
  PartShare* m_share;
  std::int32_t m_first, m_last;   // the parts this process sweeps
  std::vector<std::byte> m_mine;  // their records of a sweep
  int m_team;
  std::barrier<> m_barrier;
  Melt* m_melt = nullptr;
  RunControl* m_control = nullptr;
  std::atomic<std::int32_t> m_planned{0}, m_swept{0};  // the next part to take
  std::atomic<std::size_t> m_followed{0};              // the next block of chains
  std::vector<double> m_ends;
  std::atomic<bool> m_quit{false};
  RegionFailure m_failure;
  std::vector<std::jthread> m_helpers;
};

}  // namespace polychain
