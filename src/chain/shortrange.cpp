// The short-range interaction walk: steps of K lattice units that never land on a site
// whose record the record search finds in the chain; an end boxed in on all six sides at
// distance K is dropped, and n (accepted sites, origin included) keeps its value, so the
// finished chain holds N records less one per back-up.
#include "chain/growth.h"
#include "chain/lineindex.h"

namespace polychain {

namespace {

class ShortRangeGrower final : public ChainGrower {
 public:
  ShortRangeGrower(std::int32_t steps, std::int32_t kuhn) : m_steps(steps), m_kuhn(kuhn) {}

  ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                   TrialCounter& counter) override {
    ChainGrowth growth;
    Point p;
    std::int64_t n = 1;
    startAtOrigin(sites, p, n);
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
      const TrialVerdict verdict = counter.onTrial(n);
      if (verdict == TrialVerdict::Stop) {
        growth.stopped = true;
        break;
      }
      if (verdict == TrialVerdict::Restart) startAtOrigin(sites, p, n);
    }
    growth.trials = counter.trials();
    growth.restarts = counter.restarts();
    return growth;
  }

 private:
  void startAtOrigin(std::vector<Point>& sites, Point& p, std::int64_t& n) {
    sites.clear();
    sites.push_back(Point{});
    m_chain.clear();
    m_chain.push(Point{});
    p = Point{};
    n = 1;
  }

  std::int32_t m_steps;
  std::int32_t m_kuhn;
  DistinctRecordIndex m_chain;
};

}  // namespace

std::unique_ptr<ChainGrower> makeShortRangeGrower(std::int32_t steps, std::int32_t kuhn) {
  return std::make_unique<ShortRangeGrower>(steps, kuhn);
}

}  // namespace polychain
