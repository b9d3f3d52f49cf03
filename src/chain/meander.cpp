// The free walk: N unit steps, each in a direction drawn afresh, no memory.
#include <algorithm>

#include "chain/growth.h"

namespace polychain {

namespace {

class MeanderGrower final : public ChainGrower {
 public:
  explicit MeanderGrower(std::int32_t steps) : m_steps(steps) {}

  ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                   TrialCounter& counter) override {
    sites.resize(static_cast<std::size_t>(m_steps) + 1);
    Point* out = sites.data();
    Point p;
    *out++ = p;
    ChainGrowth growth;
    // The draws and moves of ChooseDir with a step of 1, without branches, reported to the
    // counter in chunks.
    constexpr std::int32_t kChunk = 256;
    for (std::int32_t n = 0; n < m_steps;) {
      const std::int32_t count = std::min(kChunk, m_steps - n);
      const std::int32_t chunkEnd = n + count;
      for (; n < chunkEnd; ++n) {
        const Point& move = kUnitMove[directionOfBits(random.next() >> 40)];
        p.x += move.x;
        p.y += move.y;
        p.z += move.z;
        *out++ = p;
      }
      if (!counter.onGrowingTrials(n, count)) {
        growth.stopped = true;
        break;
      }
    }
    sites.resize(static_cast<std::size_t>(out - sites.data()));
    growth.trials = counter.trials();
    return growth;
  }

 private:
  std::int32_t m_steps;
};

}  // namespace

std::unique_ptr<ChainGrower> makeMeanderGrower(std::int32_t steps) {
  return std::make_unique<MeanderGrower>(steps);
}

}  // namespace polychain
