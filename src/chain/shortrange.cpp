// The short-range interaction walk: steps of K lattice units that never land on a site
// whose record the record search finds in the chain; an end boxed in on all six sides at
// distance K is dropped, and n (accepted sites, origin included) keeps its value, so the
// finished chain holds N records less one per back-up.
#include "chain/growth.h"
#include "chain/siteindex.h"

namespace polychain {

namespace {

class ShortRangeGrower final : public ChainGrower {
 public:
  explicit ShortRangeGrower(const RunParams& params)
      : m_steps(params.steps), m_kuhn(params.kuhn) {}

  ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                   ChainMonitor& monitor) override {
    sites.clear();
    sites.push_back(Point{});
    m_chain.clear();
    m_chain.push(Point{});

    ChainGrowth growth;
    Point p;
    std::int64_t n = 1;
    while (n < m_steps) {
      const Point saved = p;
      ChooseDir(random, p, m_kuhn);
      if (!m_chain.found(p)) {
        sites.push_back(p);
        m_chain.push(p);
        ++n;
      } else {
        p = saved;
        ++growth.discarded;
        // The origin alone is never boxed in (K is not 0), so a back-up always leaves it.
        if (sites.size() > 1 && m_chain.allNeighboursFound(p, m_kuhn)) {
          m_chain.pop(sites.back());
          sites.pop_back();
          p = sites.back();
          ++growth.backups;
        }
      }
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
  std::int32_t m_kuhn;
  ChainIndex m_chain;
};

}  // namespace

std::unique_ptr<ChainGrower> makeShortRangeGrower(const RunParams& params) {
  return std::make_unique<ShortRangeGrower>(params);
}

}  // namespace polychain
