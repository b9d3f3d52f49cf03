// The free walk: N unit steps, each in a direction drawn afresh, no memory.
#include "chain/growth.h"

namespace polychain {

namespace {

class MeanderGrower final : public ChainGrower {
 public:
  explicit MeanderGrower(std::int32_t steps) : m_steps(steps) {}

  ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                   ChainMonitor& monitor) override {
    sites.clear();
    sites.reserve(static_cast<std::size_t>(m_steps) + 1);
    Point p;
    sites.push_back(p);
    ChainGrowth growth;
    for (std::int32_t n = 1; n <= m_steps; ++n) {
      ChooseDir(random, p, 1);
      sites.push_back(p);
      if (!monitor.onTrial(n)) {
        growth.stopped = true;
        break;
      }
    }
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
