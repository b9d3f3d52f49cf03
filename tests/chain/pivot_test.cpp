// The SAW-tree pivot walk against the hash-map pivot walk move by move, against exact
// enumeration in distribution (with energies too), and its invariants on one long walk.
#include <absl/container/flat_hash_set.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "chain/pivot.h"
#include "reference/hashpivot.h"
#include "reference/walkclasses.h"

namespace polychain {

void PrintTo(const Point& p, std::ostream* os) {
  *os << "(" << p.x << "," << p.y << "," << p.z << ")";
}

namespace {

using reference::HashPivotWalk;

template <class Walk>
std::vector<Point> sitesOf(const Walk& walk) {
  std::vector<Point> out;
  walk.sites(out);
  return out;
}

// Lets initialise poll 100000 times (each poll covers 64 piece draws or join tries), so a walk
// that could never be drawn or joined fails the test instead of hanging it.
std::function<bool()> capped() {
  return [polls = 100000]() mutable { return --polls > 0; };
}

::testing::AssertionResult isSelfAvoidingWalk(const std::vector<Point>& sites) {
  if (sites.empty() || !(sites[0] == Point{})) return ::testing::AssertionFailure() << "origin";
  absl::flat_hash_set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> seen;
  for (std::size_t j = 0; j < sites.size(); ++j) {
    const Point& p = sites[j];
    if (j > 0) {
      const Point& q = sites[j - 1];
      if (std::abs(p.x - q.x) + std::abs(p.y - q.y) + std::abs(p.z - q.z) != 1) {
        return ::testing::AssertionFailure() << "no unit step into site " << j;
      }
    }
    if (!seen.insert({p.x, p.y, p.z}).second) {
      return ::testing::AssertionFailure() << "site " << j << " repeats an earlier one";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(PivotWalk, AnswersAndSitesMatchTheHashMapWalk) {
  struct Case {
    std::int32_t steps;
    bool initialised;  // else the rod
    int attempts;
  };
  for (const Case& c : {Case{1, false, 500}, Case{2, false, 2000}, Case{7, false, 4000},
                        Case{60, true, 4000}, Case{10000, true, 3000}}) {
    SCOPED_TRACE("N=" + std::to_string(c.steps));
    PivotWalk fast(c.steps);
    RandomSource start(static_cast<std::uint64_t>(c.steps));
    if (c.initialised) {
      ASSERT_TRUE(fast.initialise(start, capped()));
    }
    HashPivotWalk slow(sitesOf(fast));
    RandomSource moves(100 + static_cast<std::uint64_t>(c.steps));
    int accepted = 0;
    for (int t = 0; t < c.attempts; ++t) {
      const auto site =
          static_cast<std::int32_t>(uniformBelow(moves, static_cast<std::uint64_t>(c.steps)));
      const int symmetry = 1 + static_cast<int>(uniformBelow(moves, kLatticeSymmetries - 1));
      const bool applied = fast.pivot(site, symmetry);
      ASSERT_EQ(applied, slow.pivot(site, symmetry)) << "attempt " << t;
      accepted += applied;
      ASSERT_EQ(fast.end(), slow.end()) << "attempt " << t;
      if (t % 100 == 0) {
        ASSERT_EQ(sitesOf(fast), sitesOf(slow)) << "attempt " << t;
      }
    }
    // attempt() draws the same site and symmetry on both.
    RandomSource a(5), b(5);
    for (int t = 0; t < 200; ++t) ASSERT_EQ(fast.attempt(a), slow.attempt(b));
    EXPECT_EQ(sitesOf(fast), sitesOf(slow));
    if (c.steps > 1) {
      EXPECT_GT(accepted, c.attempts / 10);
      EXPECT_LT(accepted, c.attempts);
    }
  }
}

// The walk that a fixed seed gives, recorded once: a faster engine must give the same one, so
// any change to the draws, the joins of initialise or the answers of a pivot shows here.
// PivotWalk::initialised, which skips the rod, gives it too; told to stop at once, nothing.
TEST(PivotWalk, WalkFromAFixedSeedIsUnchanged) {
  for (const bool fromRod : {true, false}) {
    RandomSource random(11);
    std::optional<PivotWalk> walk;
    if (fromRod) {
      walk.emplace(3000);
      ASSERT_TRUE(walk->initialise(random, capped()));
    } else {
      walk = PivotWalk::initialised(3000, random, capped());
      ASSERT_TRUE(walk.has_value());
    }
    int accepted = 0;
    for (int t = 0; t < 20000; ++t) accepted += walk->attempt(random);
    std::uint64_t hash = 14695981039346656037U;  // FNV-1a over the coordinates
    for (const Point& p : sitesOf(*walk)) {
      for (const std::int32_t v : {p.x, p.y, p.z}) {
        hash = (hash ^ static_cast<std::uint32_t>(v)) * 1099511628211U;
      }
    }
    EXPECT_EQ(accepted, 8155) << fromRod;
    EXPECT_EQ(hash, 0xedf68a6dcfababc5U) << fromRod;
  }
  RandomSource random(11);
  EXPECT_FALSE(PivotWalk::initialised(3000, random, [] { return false; }).has_value());
}

struct Sizes {
  double r2;   // squared end-to-end distance
  double rg2;  // squared radius of gyration about the centre of the N + 1 sites
};

double squared(const Point& p) {
  const double x = p.x, y = p.y, z = p.z;
  return x * x + y * y + z * z;
}

Sizes sizesOf(const std::vector<Point>& sites) {
  double sx = 0, sy = 0, sz = 0, s2 = 0;
  for (const Point& p : sites) {
    sx += p.x;
    sy += p.y;
    sz += p.z;
    s2 += squared(p);
  }
  const double n = static_cast<double>(sites.size());
  return Sizes{squared(sites.back()), s2 / n - (sx * sx + sy * sy + sz * sz) / (n * n)};
}

// The sums the tree keeps for Rg^2 against a direct sum over the walk's sites, and single
// sites read down the tree against the whole walk, after random pivots (accepted ones rewrite
// the sums on their path), from the rod, from initialise and from given sites; lengths about
// the block size test the blocks' own sums.
TEST(PivotWalk, GyrationAndSitesFromTheTreeMatchTheWalk) {
  for (const std::int32_t n : {1, 2, 30, 31, 32, 33, 64, 100, 5000}) {
    SCOPED_TRACE("N=" + std::to_string(n));
    PivotWalk walk(n);
    const double rod = (static_cast<double>(n + 1) * (n + 1) - 1.0) / 12.0;
    EXPECT_DOUBLE_EQ(walk.squaredGyrationRadius(), rod);
    RandomSource random(static_cast<std::uint64_t>(n) + 40);
    const auto check = [&walk, n](int t) {
      const std::vector<Point> sites = sitesOf(walk);
      const double direct = sizesOf(sites).rg2;
      ASSERT_NEAR(walk.squaredGyrationRadius(), direct, 1e-9 * direct) << "attempt " << t;
      ASSERT_EQ(walk.end(), sites.back());
      for (std::int32_t i = 0; i <= n; i += std::max(1, n / 97)) {
        ASSERT_EQ(walk.site(i), sites[static_cast<std::size_t>(i)]) << "site " << i;
      }
      ASSERT_EQ(walk.site(n), sites.back());
    };
    int accepted = 0;
    for (int t = 0; t < 3000; ++t) {
      accepted += walk.attempt(random);
      if (n <= 100 || t % 50 == 0) {
        check(t);
      }
    }
    if (n > 1) {
      EXPECT_GT(accepted, 300);
    }
    ASSERT_TRUE(walk.initialise(random, capped()));
    check(-1);
    const PivotWalk copy(sitesOf(walk));
    EXPECT_EQ(copy.squaredGyrationRadius(), walk.squaredGyrationRadius());
    EXPECT_THROW(walk.site(n + 1), std::out_of_range);
    EXPECT_THROW(walk.site(-1), std::out_of_range);
  }
}

// Every self-avoiding walk extending `walk` to `steps` steps: their number and summed sizes.
void enumerate(std::vector<Point>& walk, std::size_t steps, std::int64_t& count, Sizes& sum) {
  if (walk.size() == steps + 1) {
    const Sizes s = sizesOf(walk);
    ++count;
    sum.r2 += s.r2;
    sum.rg2 += s.rg2;
    return;
  }
  for (const Point& m : kUnitMove) {
    const Point next{walk.back().x + m.x, walk.back().y + m.y, walk.back().z + m.z};
    bool free = true;
    for (const Point& p : walk) free = free && !(p == next);
    if (!free) continue;
    walk.push_back(next);
    enumerate(walk, steps, count, sum);
    walk.pop_back();
  }
}

TEST(PivotWalk, SampledSizesMatchExactEnumeration) {
  const std::int64_t kCounts[] = {6, 30, 150, 726, 3534, 16926, 81390, 387966};
  std::vector<Sizes> exact;
  for (std::size_t n = 1; n <= 8; ++n) {
    std::vector<Point> walk = {Point{}};
    std::int64_t count = 0;
    Sizes sum{0, 0};
    enumerate(walk, n, count, sum);
    EXPECT_EQ(count, kCounts[n - 1]) << "N=" << n;
    const double c = static_cast<double>(count);
    exact.push_back(Sizes{sum.r2 / c, sum.rg2 / c});
  }
  // Batch means over batches far longer than the chain's correlation time (a few attempts).
  constexpr int kBatches = 40;
  constexpr int kPerBatch = 5000;
  for (const std::int32_t n : {2, 5, 8}) {
    SCOPED_TRACE("N=" + std::to_string(n));
    PivotWalk walk(n);
    RandomSource random(static_cast<std::uint64_t>(n) * 7 + 1);
    ASSERT_TRUE(walk.initialise(random, capped()));
    std::vector<Point> sites;
    std::vector<Sizes> batch(kBatches, Sizes{0, 0});
    for (int b = 0; b < kBatches; ++b) {
      for (int t = 0; t < kPerBatch; ++t) {
        walk.attempt(random);
        walk.sites(sites);
        const Sizes s = sizesOf(sites);
        batch[static_cast<std::size_t>(b)].r2 += s.r2 / kPerBatch;
        batch[static_cast<std::size_t>(b)].rg2 += s.rg2 / kPerBatch;
      }
    }
    const Sizes& want = exact[static_cast<std::size_t>(n) - 1];
    for (const bool endToEnd : {true, false}) {
      double mean = 0, square = 0;
      for (const Sizes& s : batch) {
        const double v = endToEnd ? s.r2 : s.rg2;
        mean += v / kBatches;
        square += v * v / kBatches;
      }
      const double error = std::sqrt((square - mean * mean) / (kBatches - 1));
      const double expected = endToEnd ? want.r2 : want.rg2;
      EXPECT_NEAR(mean, expected, 4 * error) << (endToEnd ? "R^2" : "Rg^2");
      EXPECT_LT(error, 0.01 * expected) << "too few samples to tell";
    }
  }
}

TEST(PivotWalk, LongWalkStaysValidAndReproducible) {
  constexpr std::int32_t kSteps = 100000;
  const auto grow = [](std::uint64_t seed) {
    PivotWalk walk(kSteps);
    RandomSource random(seed);
    EXPECT_TRUE(walk.initialise(random, capped()));
    for (int t = 0; t < 5000; ++t) walk.attempt(random);
    return walk;
  };
  PivotWalk walk = grow(2024);
  const std::vector<Point> sites = sitesOf(walk);
  ASSERT_EQ(sites.size(), std::size_t{kSteps} + 1);
  EXPECT_TRUE(isSelfAvoidingWalk(sites));
  EXPECT_EQ(walk.end(), sites.back());
  EXPECT_LT(walk.bytes(), 100 * sites.size());
  EXPECT_EQ(sitesOf(grow(2024)), sites);
  EXPECT_NE(sitesOf(grow(2025)), sites);

  // A walk built from the sites holds the same walk and answers the same pivots.
  PivotWalk copy(sites);
  EXPECT_EQ(sitesOf(copy), sites);
  RandomSource a(9), b(9);
  for (int t = 0; t < 1000; ++t) ASSERT_EQ(walk.attempt(a), copy.attempt(b)) << "attempt " << t;
  EXPECT_EQ(sitesOf(copy), sitesOf(walk));
  EXPECT_THROW(PivotWalk(std::vector<Point>{{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}),
               std::invalid_argument);
  EXPECT_THROW(PivotWalk(std::vector<Point>{{0, 0, 0}, {1, 1, 0}}), std::invalid_argument);
  EXPECT_THROW(walk.pivot(kSteps, 1), std::out_of_range);

  // Told to stop on its third poll, initialise stops there and leaves a valid walk.
  int polls = 0;
  RandomSource random(7);
  EXPECT_FALSE(walk.initialise(random, [&polls] { return ++polls < 3; }));
  EXPECT_EQ(polls, 3);
  EXPECT_TRUE(isSelfAvoidingWalk(sitesOf(walk)));
}

::testing::AssertionResult sameChange(const PivotChange& got, const PivotChange& want) {
  if (got.contacts == want.contacts && got.bends == want.bends) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "changed contacts " << got.contacts << " and bends " << got.bends << ", recounted "
         << want.contacts << " and " << want.bends;
}

PivotChange difference(const PivotChange& after, const PivotChange& before) {
  return {after.contacts - before.contacts, after.bends - before.bends};
}

void allWalks(std::vector<Point>& walk, std::size_t steps, std::vector<std::vector<Point>>& out) {
  if (walk.size() == steps + 1) {
    out.push_back(walk);
    return;
  }
  for (const Point& m : kUnitMove) {
    const Point next{walk.back().x + m.x, walk.back().y + m.y, walk.back().z + m.z};
    if (std::find(walk.begin(), walk.end(), next) != walk.end()) continue;
    walk.push_back(next);
    allWalks(walk, steps, out);
    walk.pop_back();
  }
}

// What a pivot reports it changes is what a count of the whole walk finds: every pivot of
// every 4-step walk and every kink jump and crankshaft, each undone by the inverse move with the
// opposite change (so Metropolis acceptance keeps detailed balance), then Metropolis pivots of
// walks held in blocks and in a deep tree, made compact by an attractive energy so that contacts
// are made and broken across nodes, with kink jumps and crankshafts between them. Under the zero
// energy the attempt is the athermal one, draw for draw.
TEST(PivotWalk, ReportedChangesMatchACountOfTheWalk) {
  std::vector<Point> start = {Point{}};
  std::vector<std::vector<Point>> walks;
  allWalks(start, 4, walks);
  ASSERT_EQ(walks.size(), 726U);
  const auto takeAll = [](const PivotChange&) { return true; };
  for (const std::vector<Point>& sites : walks) {
    const PivotChange before = contactsAndBends(sites);
    for (std::int32_t site = 0; site < 4; ++site) {
      for (int symmetry = 1; symmetry < kLatticeSymmetries; ++symmetry) {
        PivotWalk walk(sites);
        PivotChange change;
        const bool taken = walk.pivot(site, symmetry, true, takeAll, change);
        ASSERT_EQ(taken, PivotWalk(sites).pivot(site, symmetry));
        if (!taken) continue;
        const std::vector<Point> moved = sitesOf(walk);
        ASSERT_TRUE(sameChange(change, difference(contactsAndBends(moved), before)))
            << "site " << site << ", symmetry " << symmetry;
        PivotChange back;
        ASSERT_TRUE(walk.pivot(site, inverseSymmetry(symmetry), true, takeAll, back));
        ASSERT_EQ(sitesOf(walk), sites);
        ASSERT_EQ(back.contacts, -change.contacts);
        ASSERT_EQ(back.bends, -change.bends);
      }
    }
    // A kink jump, its own inverse; the four steps make one block, so sites 1 to 3 may move.
    for (std::int32_t site = 1; site < 4; ++site) {
      PivotWalk walk(sites);
      PivotChange change, back;
      if (!walk.kink(site, takeAll, change)) {
        ASSERT_EQ(sitesOf(walk), sites);
        continue;
      }
      const std::vector<Point> moved = sitesOf(walk);
      ASSERT_TRUE(isSelfAvoidingWalk(moved));
      ASSERT_TRUE(sameChange(change, difference(contactsAndBends(moved), before)))
          << "kink at site " << site;
      ASSERT_TRUE(walk.kink(site, takeAll, back));
      ASSERT_EQ(sitesOf(walk), sites);
      ASSERT_EQ(back.contacts, -change.contacts);
      ASSERT_EQ(back.bends, -change.bends);
    }
    // A crankshaft of sites 1 and 2 or 2 and 3, undone by the opposite turn (0 by 0, 1 by 2).
    for (std::int32_t site = 1; site < 3; ++site) {
      for (int turn = 0; turn < 3; ++turn) {
        PivotWalk walk(sites);
        PivotChange change, back;
        if (!walk.crankshaft(site, turn, takeAll, change)) {
          ASSERT_EQ(sitesOf(walk), sites);
          continue;
        }
        const std::vector<Point> moved = sitesOf(walk);
        ASSERT_TRUE(isSelfAvoidingWalk(moved));
        ASSERT_NE(moved, sites);
        ASSERT_TRUE(sameChange(change, difference(contactsAndBends(moved), before)))
            << "crankshaft at site " << site << ", turn " << turn;
        ASSERT_TRUE(walk.crankshaft(site, turn == 0 ? 0 : 3 - turn, takeAll, back));
        ASSERT_EQ(sitesOf(walk), sites);
        ASSERT_EQ(back.contacts, -change.contacts);
        ASSERT_EQ(back.bends, -change.bends);
      }
    }
  }

  for (const std::int32_t n : {20, 300, 3000}) {
    SCOPED_TRACE("N=" + std::to_string(n));
    PivotWalk walk(n);
    RandomSource random(static_cast<std::uint64_t>(n) + 5);
    ASSERT_TRUE(walk.initialise(random, capped()));
    const PivotEnergy energy{.contact = -1.0, .bend = 0.2};
    PivotChange counts = contactsAndBends(sitesOf(walk));
    int madeOrBroken = 0, kinks = 0, cranks = 0;
    for (int t = 0; t < (n > 1000 ? 900 : 4500); ++t) {
      // Pivots, kink jumps and crankshafts in turn.
      PivotChange change;
      const int move = t % 3;
      const bool taken = move == 0   ? walk.attempt(random, energy, change)
                         : move == 1 ? walk.kinkAttempt(random, energy, change)
                                     : walk.crankshaftAttempt(random, energy, change);
      kinks += move == 1 && taken ? 1 : 0;
      cranks += move == 2 && taken ? 1 : 0;
      const PivotChange now = contactsAndBends(sitesOf(walk));
      if (!taken) {
        ASSERT_TRUE(sameChange(now, counts)) << "attempt " << t;
        continue;
      }
      ASSERT_TRUE(sameChange(change, difference(now, counts))) << "attempt " << t;
      madeOrBroken += change.contacts != 0 ? 1 : 0;
      counts = now;
    }
    EXPECT_GT(madeOrBroken, 50);
    EXPECT_GT(kinks, 50);
    EXPECT_GT(cranks, 5);
    EXPECT_TRUE(isSelfAvoidingWalk(sitesOf(walk)));
    EXPECT_NEAR(walk.squaredGyrationRadius(), sizesOf(sitesOf(walk)).rg2, 1e-9 * n);
    const Point end = walk.end();
    EXPECT_TRUE(walk.occupied(end));
    EXPECT_FALSE(walk.occupied(Point{end.x + 3 * n, end.y, end.z}));
  }

  PivotWalk plain(500), thermal(500);
  RandomSource a(3), b(3);
  for (int t = 0; t < 2000; ++t) {
    PivotChange change;
    ASSERT_EQ(plain.attempt(a), thermal.attempt(b, PivotEnergy{}, change)) << "attempt " << t;
  }
  EXPECT_EQ(a.next(), b.next());
}

// Metropolis pivots at attractive, repulsive and stiffening energies, and with local moves,
// against the exact means of every 10-step walk classed by contacts and bends: batch means over
// batches far longer than the chain's correlation time, each within four of its errors.
TEST(PivotWalk, MetropolisPivotsMatchExactEnumerationWithEnergies) {
  constexpr std::int32_t kSteps = 10;
  const reference::WalkClasses exact(kSteps);
  ASSERT_EQ(exact.walks(), 8809878.0);
  constexpr int kBatches = 40;
  constexpr int kPerBatch = 5000;
  struct Case {
    PivotEnergy energy;
    int kinks;  // local moves after each pivot: kink jumps and crankshafts in turn
  };
  for (const auto& [energy, kinks] :
       {Case{{.contact = -1.0, .bend = 0.0}, 0}, Case{{.contact = 0.7, .bend = 0.0}, 0},
        Case{{.contact = 0.0, .bend = 1.0}, 0}, Case{{.contact = -0.5, .bend = -0.4}, 0},
        Case{{.contact = -1.0, .bend = 0.5}, 3}}) {
    SCOPED_TRACE("E=" + std::to_string(energy.contact) + ", K=" + std::to_string(energy.bend) +
                 ", kinks " + std::to_string(kinks));
    const reference::WalkMeans want = exact.means(energy.contact, energy.bend);
    PivotWalk walk(kSteps);
    RandomSource random(77);
    PivotChange counts = contactsAndBends(sitesOf(walk));
    for (int t = 0; t < 2000; ++t) {  // burn-in
      PivotChange change;
      walk.attempt(random, energy, change);
      counts = PivotChange{counts.contacts + change.contacts, counts.bends + change.bends};
    }
    // Per batch: contacts, bends, R^2 and the energy's variance about the batch's mean.
    std::vector<std::array<double, 4>> batch(kBatches);
    for (auto& b : batch) {
      double contacts = 0, bends = 0, r2 = 0, u = 0, u2 = 0;
      for (int t = 0; t < kPerBatch; ++t) {
        PivotChange change;
        walk.attempt(random, energy, change);
        counts = PivotChange{counts.contacts + change.contacts, counts.bends + change.bends};
        for (int k = 0; k < kinks; ++k) {
          if (k % 2 == 0) {
            walk.kinkAttempt(random, energy, change);
          } else {
            walk.crankshaftAttempt(random, energy, change);
          }
          counts = PivotChange{counts.contacts + change.contacts, counts.bends + change.bends};
        }
        const Point e = walk.end();
        const double energyNow = energy.of(counts);
        contacts += counts.contacts;
        bends += counts.bends;
        r2 += e.x * e.x + e.y * e.y + e.z * e.z;
        u += energyNow;
        u2 += energyNow * energyNow;
      }
      b = {contacts / kPerBatch, bends / kPerBatch, r2 / kPerBatch,
           u2 / kPerBatch - (u / kPerBatch) * (u / kPerBatch)};
    }
    const double expected[4] = {want.contacts, want.bends, want.r2, want.heatCapacity};
    const char* names[4] = {"contacts", "bends", "R^2", "heat capacity"};
    for (std::size_t k = 0; k < 4; ++k) {
      double mean = 0, square = 0;
      for (const auto& b : batch) {
        mean += b[k] / kBatches;
        square += b[k] * b[k] / kBatches;
      }
      const double error = std::sqrt((square - mean * mean) / (kBatches - 1));
      EXPECT_NEAR(mean, expected[k], 4 * error) << names[k];
      EXPECT_LT(error, 0.02 * expected[k]) << names[k] << ": too few samples to tell";
    }
    EXPECT_EQ(counts.contacts, contactsAndBends(sitesOf(walk)).contacts);
  }
}

}  // namespace
}  // namespace polychain
