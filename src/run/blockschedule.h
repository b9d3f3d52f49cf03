// The one scheduler of a run's units (chains, or pivot walkers): hands them out in blocks,
// each with the random stream of its first unit (unit i draws from the run's stream jumped
// i times, whatever the blocks), never more than a window beyond the oldest unit not yet
// passed on, and passes the blocks' results on in unit order. The threads of one process
// and the leader of a team both share their work through it. Not thread-safe: its users
// hold their own lock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "chain/random.h"

namespace polychain {

// Units [first, first + count), the first drawing from `stream`.
struct Block {
  std::int64_t first = 0;
  std::int64_t count = 0;
  RandomSource stream{0};
};

template <class Results>
class BlockSchedule {
 public:
  // The size of the next block when `left` units are not yet handed out (at least 1).
  using SizeRule = std::function<std::int64_t(std::int64_t left)>;
  enum class Next { Block, Wait, None };

  // Units [first, first + count) of a run, unit `first` drawing from `stream`; a block goes
  // out only while it ends within `window` units of the oldest one not passed on.
  BlockSchedule(const RandomSource& stream, std::int64_t first, std::int64_t count,
                std::int64_t window, SizeRule size)
      : m_next(stream),
        m_first(first),
        m_count(count),
        m_window(std::max<std::int64_t>(window, 1)),
        m_size(std::move(size)) {}

  // The next block into `block`; Wait while the window is full, None when all are out.
  Next next(Block& block) {
    const std::int64_t left = m_count - m_taken;
    if (left <= 0) return Next::None;
    const std::int64_t count = std::clamp<std::int64_t>(m_size(left), 1, std::min(left, m_window));
    if (m_taken + count > m_passed + m_window) return Next::Wait;
    block.first = m_first + m_taken;
    block.count = count;
    block.stream = m_next;
    m_next.jumpBy(count);
    m_taken += count;
    return Next::Block;
  }

  // Files the results of the block that starts at unit `first` and has `count` units, and
  // passes every block now due to `pass(first, count, results)` in unit order. `results` is
  // moved from only when it must wait for an older block. True when anything was passed on.
  template <class Pass>
  bool finish(std::int64_t first, std::int64_t count, Results& results, Pass&& pass) {
    if (first != m_first + m_passed) {
      m_waiting.emplace(first, std::pair(count, std::move(results)));
      return false;
    }
    pass(first, count, results);
    m_passed += count;
    for (auto due = m_waiting.begin(); due != m_waiting.end() && due->first == m_first + m_passed;
         due = m_waiting.erase(due)) {
      pass(due->first, due->second.first, due->second.second);
      m_passed += due->second.first;
    }
    return true;
  }

  // Units passed on, and whether all were.
  std::int64_t passed() const { return m_passed; }
  bool done() const { return m_passed == m_count; }

 private:
  RandomSource m_next;  // the stream of the next unit handed out
  std::int64_t m_first;
  std::int64_t m_count;
  std::int64_t m_window;
  SizeRule m_size;
  std::int64_t m_taken = 0;                                            // units handed out
  std::int64_t m_passed = 0;                                           // units passed on
  std::map<std::int64_t, std::pair<std::int64_t, Results>> m_waiting;  // by first unit
};

}  // namespace polychain
