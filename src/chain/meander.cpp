// The free walk: N unit steps, each in a direction drawn afresh, no memory.
#include <algorithm>

#include "chain/growth.h"

namespace polychain {

namespace {

class MeanderGrower final : public ChainGrower {
 public:
  explicit MeanderGrower(std::int32_t steps) : m_steps(steps) {}

  ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                   ChainMonitor& monitor) override {
    sites.resize(static_cast<std::size_t>(m_steps) + 1);
    Point* out = sites.data();
    Point p;
    *out++ = p;
    ChainGrowth growth;
    // The draws and moves of ChooseDir with a step of 1, without branches, reported to the
    // monitor in chunks.
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
      if (!monitor.onTrials(n, count)) {
        growth.stopped = true;
        break;
      }
    }
    sites.resize(static_cast<std::size_t>(out - sites.data()));
    growth.trials = monitor.trials();
    return growth;
  }

 private:
  std::int32_t m_steps;
};

}  // namespace

std::unique_ptr<ChainGrower> makeMeanderGrower(const RunParams& params) {
  return std::make_unique<MeanderGrower>(params.steps);
}

}  // namespace polychain
