// The free walk: N unit steps, each in a direction drawn afresh, no memory.
#include <algorithm>
#include <cmath>

#include "chain/growth.h"
#include "polychain/inputerror.h"

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

const ModelInfo& modelInfo(const MeanderSettings&) {
  static const ModelInfo model{
      .key = "meander",
      .title = "Meander",
      .caption = "Meander",
      .exportHeading = "Meander",
      .summary = "N unit steps, each in one of the six axis directions drawn afresh",
      .countsTrials = false,
      .sizeExponent = 0.5,
      .persistence = [](double meanDistance, double n) { return meanDistance / std::pow(n, 0.5); },
      .settings = {},
      .defaults = [] { return ModelSettings(MeanderSettings{}); },
      .check = [](const ModelSettings&, std::int32_t) {},
      // The site buffer, with room for doubling as it grows site by site.
      .bytesPerSite = [](const ModelSettings&) -> std::uint64_t { return 12; },
      .stepLength = [](const ModelSettings&) -> std::int64_t { return 1; },
      .grower = [](std::int32_t steps, const ModelSettings&) { return makeMeanderGrower(steps); },
  };
  return model;
}

}  // namespace polychain
