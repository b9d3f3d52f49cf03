// A run's schedule of units shared among the threads of one process: a thread takes the next
// block (waiting while the window is full, giving up when the run stops) and files its block's
// results, which the schedule passes on in unit order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

#include "run/blockschedule.h"
#include "run/control.h"

namespace polychain {

template <class Results>
class SharedSchedule {
 public:
  using Schedule = BlockSchedule<Results>;

  SharedSchedule(const RandomSource& stream, std::int64_t first, std::int64_t count,
                 std::int64_t window, typename Schedule::SizeRule size)
      : m_schedule(stream, first, count, window, std::move(size)) {}

  // The next block into `block`; false when none is left or the run stopped.
  bool take(RunControl& control, Block& block) {
    if (control.pollStop()) return false;
    std::unique_lock lock(m_mutex);
    for (;;) {
      const auto next = m_schedule.next(block);
      if (next != Schedule::Next::Wait) {
        return next == Schedule::Next::Block && !control.stopped();
      }
      if (control.pollStop()) return false;
      m_space.wait_for(lock, std::chrono::milliseconds(10));
    }
  }

  // Files the results of `block` and passes every block now due to `pass(first, count,
  // results)`, in unit order.
  template <class Pass>
  void finish(const Block& block, Results& results, Pass&& pass) {
    const std::lock_guard lock(m_mutex);
    if (m_schedule.finish(block.first, block.count, results, std::forward<Pass>(pass))) {
      m_space.notify_all();
    }
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_space;
  Schedule m_schedule;
};

}  // namespace polychain
