// The self-avoiding walk: unit steps that never enter a site whose record the record search
// finds in the chain, backing up along the chain when its end is boxed in. With avoidance 2
// or 3 every trial also files a zone of records around its site, and trials are kept out of
// the older part of that zone (all but its newest avoidance x C records).
//
// The chain and the zone are held as record stacks with suffix-key indexes (lineindex.h),
// which give exactly the answers of substring searches on their texts. The zone is kept as
// one entry per trial (its site and how many of its records are still there), since a
// trial's records are fixed offsets from its site; a record is in the older zone when the
// zone holds it more often than its newest avoidance x C records do.
//
// A chain without a zone that stops growing longer is tested now and then (closedIn) for a
// pocket too small for the steps it still needs, and regrown at once when it is in one.
#include <absl/container/flat_hash_set.h>

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <tuple>

#include "chain/growth.h"
#include "chain/lineindex.h"
#include "chain/settingaccess.h"
#include "polychain/inputerror.h"

namespace polychain {

namespace {

// Zone records of a trial site, as offsets, in the order they are filed.
constexpr std::array<Point, 10> kZoneOfTwo = {{{0, 0, 0},
                                               {2, 0, 0},
                                               {-2, 0, 0},
                                               {0, 2, 0},
                                               {0, -2, 0},
                                               {0, 0, 2},
                                               {0, 0, -2},
                                               {1, -1, 1},
                                               {1, 0, 1},
                                               {1, 1, 1}}};

constexpr std::array<Point, 32> zoneOfThree() {
  std::array<Point, 32> zone = {
      {{0, 0, 0}, {3, 0, 0}, {-3, 0, 0}, {0, 3, 0}, {0, -3, 0}, {0, 0, 3}, {0, 0, -3}}};
  std::size_t i = 7;
  for (std::int32_t j = -2; j <= 2; ++j) {
    for (std::int32_t k = -2; k <= 2; ++k) zone[i++] = Point{j, k, j};
  }
  return zone;
}
constexpr std::array<Point, 32> kZoneOfThree = zoneOfThree();

Point offset(const Point& p, const Point& d) { return Point{p.x + d.x, p.y + d.y, p.z + d.z}; }

class SawGrower final : public ChainGrower {
 public:
  SawGrower(std::int32_t steps, std::int32_t avoid) : m_steps(steps) {
    // The zone count C is 11 for avoidance 2 although a trial files 10 records; any
    // avoidance other than 2 or 3 files no zone and tests against an empty one.
    if (avoid == 2) {
      m_zoneOffsets = kZoneOfTwo;
      m_zoneCount = 11;
    } else if (avoid == 3) {
      m_zoneOffsets = kZoneOfThree;
      m_zoneCount = 32;
    }
    m_olderExcluded = std::int64_t{avoid} * m_zoneCount;
  }

  ChainGrowth grow(RandomSource& random, std::vector<Point>& sites,
                   TrialCounter& counter) override {
    ChainGrowth growth;
    Point p;
    std::int64_t n = 0;
    startAtOrigin(sites, p, n);
    const bool zoneOn = m_zoneCount > 0;
    while (n < m_steps) {
      const Point saved = p;
      ChooseDir(random, p, 1);
      bool backUp = false;
      if (zoneOn) {
        fileZone(p);
        if (m_zoneSize > m_olderExcluded) {
          const OlderRecordSearch older = olderZone();
          while (older.found(p)) {
            p = saved;
            if (older.neighboursFound(p) > 4) {
              backUp = true;
              break;
            }
            ChooseDir(random, p, 1);  // a replacement trial from the same end
            if (older.neighboursFound(p) > 4) {
              backUp = true;
              break;
            }
          }
        }
      }
      if (backUp) {
        ++growth.discarded;
      } else if (!m_chain.found(p)) {
        sites.push_back(p);
        m_chain.push(p);
        ++n;
      } else {
        p = saved;
        ++growth.discarded;
        backUp = m_chain.allNeighboursFound(p, 1);
      }
      if (backUp) backUpFrom(p, n, sites, growth);
      TrialVerdict verdict = counter.onTrial(n);
      if (verdict == TrialVerdict::Probe && !zoneOn && closedIn(sites, counter.stall())) {
        verdict = counter.regrow();
      }
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
  struct ZoneTrial {
    Point site;
    std::int32_t records;  // how many of its zone records, oldest first, are still filed
  };

  void startAtOrigin(std::vector<Point>& sites, Point& p, std::int64_t& n) {
    sites.clear();
    sites.push_back(Point{});
    m_chain.clear();
    m_chain.push(Point{});
    m_zone.clear();
    m_zoneSize = 0;
    m_trials.clear();
    p = Point{};
    n = 0;
  }

  void fileZone(const Point& site) {
    for (const Point& d : m_zoneOffsets) m_zone.push(offset(site, d));
    m_zoneSize += static_cast<std::int64_t>(m_zoneOffsets.size());
    m_trials.push_back(ZoneTrial{site, static_cast<std::int32_t>(m_zoneOffsets.size())});
  }

  // The older zone: every zone record but the newest avoidance x C. Only while the zone
  // holds more than those.
  OlderRecordSearch olderZone() {
    m_newest.resize(static_cast<std::size_t>(m_olderExcluded));
    auto out = m_newest.rbegin();
    for (auto trial = m_trials.rbegin(); out != m_newest.rend(); ++trial) {
      for (std::int32_t k = trial->records - 1; k >= 0 && out != m_newest.rend(); --k) {
        *out++ = offset(trial->site, m_zoneOffsets[static_cast<std::size_t>(k)]);
      }
    }
    return OlderRecordSearch(m_zone, m_newest);
  }

  // Drops the newest `count` zone records, or all of them when there are fewer.
  void dropZoneRecords(std::int64_t count) {
    while (count > 0 && !m_trials.empty()) {
      ZoneTrial& trial = m_trials.back();
      const auto drop = static_cast<std::int32_t>(std::min<std::int64_t>(count, trial.records));
      for (std::int32_t k = 1; k <= drop; ++k) {
        m_zone.pop(offset(trial.site, m_zoneOffsets[static_cast<std::size_t>(trial.records - k)]));
      }
      trial.records -= drop;
      m_zoneSize -= drop;
      count -= drop;
      if (trial.records == 0) m_trials.pop_back();
    }
  }

  // Abandons the end site, then each new end while it is boxed in by the older zone (more
  // than 4 of its neighbours there) or has exactly one free neighbour in the chain. From
  // the origin the chain stays at the origin.
  void backUpFrom(Point& p, std::int64_t& n, std::vector<Point>& sites, ChainGrowth& growth) {
    for (;;) {
      if (sites.size() > 1) {
        m_chain.pop(sites.back());
        sites.pop_back();
        ++growth.backups;
      }
      n = std::max<std::int64_t>(n - 1, 0);
      p = sites.back();
      if (m_zoneCount > 0) {
        // The zone loses its newest C - 1 records.
        dropZoneRecords(m_zoneCount - 1);
        if (m_zoneSize > m_olderExcluded && olderZone().neighboursFound(p) > 4) continue;
      }
      if (m_chain.neighboursFound(p, 1) != 5) return;
    }
  }

  // Without a zone: true when the chain can certainly never reach N steps; looks at no more
  // than `budget` free sites. Whenever a site is the end, the chain is the same sites up to
  // it, so the number of its neighbours taken is fixed; back-ups give up only ends with
  // five or six taken, so a site with at most four, and every site before it, stays for
  // good. All the chain can still add lies in the free sites reachable from the last such
  // site, free meaning not found in the chain up to it: when they are fewer than the steps
  // still missing, the chain is closed in for good. Costs about `budget` searches.
  bool closedIn(const std::vector<Point>& sites, std::int64_t budget) {
    std::size_t floor = sites.size() - 1;
    while (floor > 0 && m_chain.neighboursFound(sites[floor], 1) >= 5) m_chain.pop(sites[floor--]);
    const std::int64_t most = std::min(m_steps - static_cast<std::int64_t>(floor), budget);
    const std::int64_t reached = freeSitesFrom(sites[floor], most);
    for (std::size_t i = floor + 1; i < sites.size(); ++i) m_chain.push(sites[i]);
    return reached < most;
  }

  // How many free sites the walk could reach from `start`, counting up to `most` (so fewer
  // than `most` only when that is all of them).
  std::int64_t freeSitesFrom(const Point& start, std::int64_t most) {
    m_seen.clear();
    m_frontier.clear();
    m_frontier.push_back(start);
    std::int64_t reached = 0;
    while (!m_frontier.empty() && reached < most) {
      const Point at = m_frontier.back();
      m_frontier.pop_back();
      for (const Point& d : kUnitMove) {
        const Point q = offset(at, d);
        if (reached < most && !m_chain.found(q) && m_seen.insert({q.x, q.y, q.z}).second) {
          m_frontier.push_back(q);
          ++reached;
        }
      }
    }
    return reached;
  }

  std::int32_t m_steps;
  std::span<const Point> m_zoneOffsets;
  std::int32_t m_zoneCount = 0;      // C; 0 without a zone
  std::int64_t m_olderExcluded = 0;  // avoidance x C: the newest records outside the older zone
  DistinctRecordIndex m_chain;
  RepeatingRecordIndex m_zone;
  std::int64_t m_zoneSize = 0;  // zone records
  std::vector<ZoneTrial> m_trials;
  std::vector<Point> m_newest;  // the newest avoidance x C zone records, oldest first
  absl::flat_hash_set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> m_seen;
  std::vector<Point> m_frontier;
};

}  // namespace

std::unique_ptr<ChainGrower> makeSawGrower(std::int32_t steps, std::int32_t avoid) {
  return std::make_unique<SawGrower>(steps, avoid);
}

namespace {

const SettingInfo kSawSettings[] = {{
    .key = "avoid",
    .option = "--avoid",
    .help = "saw: avoidance range A; 2 or 3 also keeps new steps out of a zone around the "
            "chain's older sites, and any other whole number (1, the default, or 0, a negative "
            "number, 4 or more) grows the walk without a zone",
    .field = "Self-Avoidance",
    .caption = "Self-Avoidance (1-3)",
    .least = std::numeric_limits<std::int32_t>::min(),
    .most = std::numeric_limits<std::int32_t>::max(),
    .get = getWhole<SawSettings, &SawSettings::avoid>,
    .set = setWhole<SawSettings, &SawSettings::avoid>,
}};

}  // namespace

const ModelInfo& modelInfo(const SawSettings&) {
  static const ModelInfo model{
      .key = "saw",
      .title = "SAW",
      .caption = "SAW",
      .exportHeading = "Self Avoidance Walk",
      .summary =
          "a walk that never re-enters a site of its own chain and backs up when boxed in; "
          "A = 2 or 3 also keeps new steps out of a zone around its older sites",
      .countsTrials = true,
      .selfAvoiding = true,
      .sizeExponent = 0.6,
      .persistence = [](double meanDistance, double n) { return meanDistance * meanDistance / n; },
      .persistencePower = 2.0,
      .settings = kSawSettings,
      .headline = 0,
      .exportLabel = "Avoidance:",
      .phrase = "avoidance {}",
      .defaults = [] { return ModelSettings(SawSettings{}); },
      .check = [](const ModelSettings&, std::int32_t) {},
      // The site buffer, the chain index (64-byte lines, at most half full, while the table
      // doubles) and, with avoidance 2 or 3, the zone.
      .bytesPerSite = [](const ModelSettings& s) -> std::uint64_t {
        const std::int32_t avoid = std::get<SawSettings>(s).avoid;
        return 24 + 192 + (avoid == 2 || avoid == 3 ? 700 : 0);
      },
      .stepLength = [](const ModelSettings&) -> std::int64_t { return 1; },
      .grower =
          [](std::int32_t steps, const ModelSettings& s) {
            return makeSawGrower(steps, std::get<SawSettings>(s).avoid);
          },
  };
  return model;
}

}  // namespace polychain
