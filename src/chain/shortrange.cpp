// The short-range interaction walk: steps of K lattice units that never land on a site
// whose record the record search finds in the chain; an end boxed in on all six sides at
// distance K is dropped, and n (accepted sites, origin included) keeps its value, so the
// finished chain holds N records less one per back-up.
#include <cstdlib>
#include <limits>
#include <string>

#include "chain/growth.h"
#include "chain/lineindex.h"
#include "chain/settingaccess.h"
#include "polychain/inputerror.h"

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
      // A probe finds nothing to test: n never goes down, and the site a back-up gives up is
      // free again next to the new end, so the chain is never closed in.
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

namespace {

const SettingInfo kShortRangeSettings[] = {{
    .key = "kuhn",
    .option = "--kuhn",
    .help = "short-range: Kuhn length K, the length of each step in lattice units (default "
            "1; the window's caption says 1 to 10): any whole number but 0, a negative K "
            "stepping the other way along the axis drawn",
    .field = "Kuhn Length",
    .caption = "Kuhn Length (1-10)",
    .least = std::numeric_limits<std::int32_t>::min(),
    .most = std::numeric_limits<std::int32_t>::max(),
    .zeroRefused = true,
    .get = getWhole<ShortRangeSettings, &ShortRangeSettings::kuhn>,
    .set = setWhole<ShortRangeSettings, &ShortRangeSettings::kuhn>,
}};

// A chain reaches at most N - 1 steps of |K| from the origin on an axis, which must stay
// within the lattice's 32-bit coordinates.
void checkShortRange(const ModelSettings& settings, std::int32_t steps) {
  const std::int32_t kuhn = std::get<ShortRangeSettings>(settings).kuhn;
  if (kuhn == 0) {
    throw InputError("kuhn",
                     "{kuhn} must not be 0: the walk could never leave the origin. Enter a "
                     "whole number such as 1 to 10.");
  }
  const std::int64_t reach = std::abs(std::int64_t{kuhn}) * (std::int64_t{steps} - 1);
  if (reach > std::numeric_limits<std::int32_t>::max()) {
    throw InputError("kuhn", "{kuhn} " + std::to_string(kuhn) + " is too long for " +
                                 std::to_string(steps) +
                                 " steps: the chain would reach beyond the lattice's "
                                 "coordinates, which end at 2147483647. Keep {kuhn} times "
                                 "({steps} - 1) within that.");
  }
}

}  // namespace

const ModelInfo& modelInfo(const ShortRangeSettings&) {
  static const ModelInfo model{
      .key = "short-range",
      .title = "Short Range",
      .caption = "Short Range (1-10)",
      .exportHeading = "Short Range Interaction (1-10 Steps)",
      .summary =
          "steps of K lattice units that never land on a site of the chain, backing up "
          "one site when boxed in",
      .countsTrials = true,
      .sitesBeyondSteps = 0,
      .selfAvoiding = true,
      .sizeExponent = 0.6,
      .persistence = [](double meanDistance, double n) { return meanDistance * meanDistance / n; },
      .persistencePower = 2.0,
      .settings = kShortRangeSettings,
      .headline = 0,
      .exportLabel = "Kuhn Length:",
      .phrase = "Kuhn length {}",
      .defaults = [] { return ModelSettings(ShortRangeSettings{}); },
      .check = checkShortRange,
      // The site buffer and the chain index, as for the self-avoiding walk without a zone.
      .bytesPerSite = [](const ModelSettings&) -> std::uint64_t { return 24 + 192; },
      .stepLength = [](const ModelSettings& s) -> std::int64_t {
        return std::abs(std::int64_t{std::get<ShortRangeSettings>(s).kuhn});
      },
      .grower =
          [](std::int32_t steps, const ModelSettings& s) {
            return makeShortRangeGrower(steps, std::get<ShortRangeSettings>(s).kuhn);
          },
  };
  return model;
}

}  // namespace polychain
