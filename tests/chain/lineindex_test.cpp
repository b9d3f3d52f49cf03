// The line indexes against the plain substring search they stand in for.
#include "chain/lineindex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "chain/random.h"
#include "reference/textmodel.h"
#include "reference/textwalks.h"

namespace polychain {
namespace {

std::string recordOf(const Point& p) { return reference::textRecord(p.x, p.y, p.z); }

bool recordFound(const std::string& text, const Point& p) {
  return reference::textFound(text, recordOf(p), nullptr);
}

int StrTestXYZ(const std::string& text, const Point& p) {
  return reference::textStrTestXYZ(text, p.x, p.y, p.z, nullptr);
}

std::string textOf(const std::vector<Point>& records, std::size_t count) {
  return reference::chainTextOf(std::span<const Point>(records).first(count));
}

// Draws from the generator's own stream, so the cases are the same everywhere.
std::int32_t draw(RandomSource& random, std::int32_t lo, std::int32_t hi) {
  const auto span = static_cast<std::uint64_t>(std::int64_t{hi} - lo + 1);
  return static_cast<std::int32_t>(lo + static_cast<std::int64_t>(random.next() % span));
}

// x coordinates that share digit tails: small, negative, two- and three-digit, a few large.
std::int32_t drawX(RandomSource& random) {
  switch (draw(random, 0, 4)) {
    case 0:
      return draw(random, -3, 3);
    case 1:
      return draw(random, -12, 12);
    case 2:
      return draw(random, -130, 130);
    case 3:
      return draw(random, -1200, 1200);
    default:
      return draw(random, -3, 3) * 1000 + draw(random, -3, 3);
  }
}

std::vector<Point> probes() {
  std::vector<Point> out;
  for (std::int32_t x = -140; x <= 140; ++x) {
    for (std::int32_t y = -2; y <= 2; ++y) {
      for (std::int32_t z = -2; z <= 2; ++z) out.push_back({x, y, z});
    }
  }
  for (const std::int32_t x : {-3003, -2001, -1200, -1003, 1000, 1001, 2003, 3000, 1100, 1199}) {
    out.push_back({x, 0, 0});
    out.push_back({x, 1, -1});
  }
  return out;
}

TEST(SuffixTest, AgreesWithTheDecimalTexts) {
  std::vector<std::int32_t> numbers;
  for (std::int32_t a = -1100; a <= 1100; ++a) numbers.push_back(a);
  const std::vector<std::int32_t> large = {10000,      10001,      100000,         99999,
                                           -100010,    1000000000, 1234567890,     -1000000007,
                                           -234567890, 2147483647, -2147483647 - 1};
  numbers.insert(numbers.end(), large.begin(), large.end());
  std::vector<std::int32_t> needles;
  for (std::int32_t x = -150; x <= 1100; ++x) needles.push_back(x);
  needles.insert(needles.end(), large.begin(), large.end());
  for (const std::int32_t x : {0, 7, 90, 890, 4567890, 234567890, 147483648, 147483647}) {
    needles.push_back(x);
  }
  std::int64_t matches = 0;
  for (const std::int32_t needle : needles) {
    const SuffixTest ends(needle);
    const std::string tail = std::to_string(needle);
    for (const std::int32_t a : numbers) {
      const std::string text = std::to_string(a);
      const bool expected = text.size() >= tail.size() &&
                            text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
      ASSERT_EQ(ends(a), expected) << tail << " at the end of " << text;
      matches += expected ? 1 : 0;
    }
  }
  EXPECT_GT(matches, 5000);
}

// Pushes and pops random records, comparing every answer with the substring search;
// returns how many found records were only inside others. Later rounds crowd the records
// onto fewer lines (y, z). A chain index gets no site twice.
template <class Index>
std::int64_t compareWithSubstringSearch(std::uint64_t seed, bool repeats) {
  RandomSource random(seed);
  const std::vector<Point> needles = probes();
  std::int64_t substringOnly = 0;
  for (int round = 0; round < 6; ++round) {
    const std::int32_t spread = 2 - round % 3;
    Index index;
    std::vector<Point> stack;
    for (int step = 0; step < 80; ++step) {
      if (!stack.empty() && draw(random, 0, 3) == 0) {
        index.pop(stack.back());
        stack.pop_back();
      } else {
        const Point p{drawX(random), draw(random, -spread, spread), draw(random, -spread, spread)};
        if (!repeats && std::find(stack.begin(), stack.end(), p) != stack.end()) continue;
        stack.push_back(p);
        index.push(p);
      }
      if (step % 6 != 5) continue;
      const std::string text = textOf(stack, stack.size());
      for (const Point& p : needles) {
        const bool expected = recordFound(text, p);
        EXPECT_EQ(index.found(p), expected) << recordOf(p) << " in " << text;
        if (expected && std::find(stack.begin(), stack.end(), p) == stack.end()) ++substringOnly;
      }
      for (std::size_t i = 0; i < needles.size(); i += 7) {
        const Point& p = needles[i];
        EXPECT_EQ(index.neighboursFound(p, 1), StrTestXYZ(text, p)) << recordOf(p);
        EXPECT_EQ(index.allNeighboursFound(p, 1), StrTestXYZ(text, p) == 6);
      }
      if (::testing::Test::HasFailure()) return substringOnly;
    }
    // Everything popped: nothing is found any more.
    while (!stack.empty()) {
      index.pop(stack.back());
      stack.pop_back();
    }
    EXPECT_EQ(index.keys(), 0u);
    for (const Point& p : needles) EXPECT_FALSE(index.found(p));
  }
  return substringOnly;
}

TEST(LineIndex, AnswersExactlyAsTheSubstringSearchWhileRecordsComeAndGo) {
  // The cases do exercise matches inside other records (1 in 11, -1, 101, ...).
  EXPECT_GT(compareWithSubstringSearch<RepeatingRecordIndex>(20240611, true), 1000);
  EXPECT_GT(compareWithSubstringSearch<DistinctRecordIndex>(42, false), 1000);
}

TEST(LineIndex, StaysCorrectAcrossGrowthRemovalAndClear) {
  // Single-digit x and distinct y: every record files one key of its own, so a record is
  // found exactly while it is in.
  std::vector<Point> sites;
  for (std::int32_t i = 0; i < 60000; ++i) sites.push_back({i % 10, i / 10 - 3000, i % 3});
  RepeatingRecordIndex index;
  for (int round = 0; round < 2; ++round) {
    for (const Point& p : sites) index.push(p);
    EXPECT_EQ(index.keys(), sites.size());
    // Remove the newer half, newest first, checking both halves along the way.
    for (std::size_t left = sites.size(); left > sites.size() / 2; --left) {
      index.pop(sites[left - 1]);
      if (left % 1000 == 0) {
        for (std::size_t i = 0; i < sites.size(); i += 7) {
          ASSERT_EQ(index.found(sites[i]), i < left - 1) << i << " with " << left - 1;
        }
      }
    }
    EXPECT_EQ(index.keys(), sites.size() / 2);
    index.clear();
    EXPECT_EQ(index.keys(), 0u);
    for (const Point& p : sites) ASSERT_FALSE(index.found(p));
  }
  index.push({3, 4, 5});
  EXPECT_TRUE(index.found({3, 4, 5}));
  EXPECT_FALSE(index.found({3, 4, 4}));
}

TEST(LineIndex, KeepsItsAnswersWhenCoordinatesOutgrowTwentyBits) {
  const std::vector<Point> records = {{1, 0, 0},        {-11, 0, 0},       {1048575, 2, 3},
                                      {-1048576, 2, 3}, {3000000, -5, 9},  {7, -1048577, 4},
                                      {21, 0, 0},       {2147483647, 0, 0}};
  const std::vector<Point> needles = {
      {1, 0, 0},   {11, 0, 0},         {-1, 0, 0},       {21, 0, 0},       {1048575, 2, 3},
      {75, 2, 3},  {1048576, 2, 3},    {48576, 2, 3},    {-1048576, 2, 3}, {3000000, -5, 9},
      {0, -5, 9},  {3000000, -5, 8},   {7, -1048577, 4}, {7, 1048577, 4},  {47, 0, 0},
      {647, 0, 0}, {2147483647, 0, 0}, {147483647, 0, 0}};
  RepeatingRecordIndex index;
  std::vector<Point> in;
  const auto check = [&] {
    const std::string text = textOf(in, in.size());
    for (const Point& p : needles) {
      ASSERT_EQ(index.found(p), recordFound(text, p)) << recordOf(p) << " in " << text;
    }
  };
  for (const Point& p : records) {
    in.push_back(p);
    index.push(p);
    check();
  }
  while (!in.empty()) {
    index.pop(in.back());
    in.pop_back();
    check();
  }
  index.clear();
  index.push({1048576, 0, 0});
  EXPECT_TRUE(index.found({48576, 0, 0}));
  EXPECT_FALSE(index.found({1048575, 0, 0}));
}

TEST(OlderRecordSearch, AnswersAsASearchOfTheOlderRecordsText) {
  RandomSource random(777);
  std::int64_t substringOnly = 0;
  std::int64_t hiddenByNewest = 0;
  for (int round = 0; round < 3; ++round) {
    RepeatingRecordIndex index;
    std::vector<Point> stack;
    for (int step = 0; step < 300; ++step) {
      // Pushes in bursts and pops in runs, as trials and back-ups do.
      if (!stack.empty() && draw(random, 0, 4) == 0) {
        for (int k = draw(random, 1, 12); k > 0 && !stack.empty(); --k) {
          index.pop(stack.back());
          stack.pop_back();
        }
      } else {
        for (int k = draw(random, 1, 6); k > 0; --k) {
          stack.push_back(Point{draw(random, -12, 12), draw(random, -1, 1), draw(random, -1, 1)});
          index.push(stack.back());
        }
      }
      if (step % 10 != 9) continue;
      const std::size_t size = stack.size();
      for (const std::size_t newest :
           {std::size_t{0}, std::size_t{1}, size / 3, size / 2, size > 0 ? size - 1 : 0, size}) {
        const std::size_t older = size - newest;
        const std::string text = textOf(stack, older);
        const std::string all = textOf(stack, size);
        const OlderRecordSearch search(index, std::span<const Point>(stack).subspan(older));
        const auto end = stack.begin() + static_cast<std::ptrdiff_t>(older);
        for (std::int32_t x = -14; x <= 14; ++x) {
          for (std::int32_t y = -1; y <= 1; ++y) {
            for (std::int32_t z = -1; z <= 1; ++z) {
              const Point p{x, y, z};
              const bool expected = recordFound(text, p);
              ASSERT_EQ(search.found(p), expected)
                  << recordOf(p) << " in the oldest " << older << " of " << all;
              ASSERT_EQ(search.neighboursFound(p), StrTestXYZ(text, p));
              if (expected && std::find(stack.begin(), end, p) == end) ++substringOnly;
              if (!expected && recordFound(all, p)) ++hiddenByNewest;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(substringOnly, 100);
  EXPECT_GT(hiddenByNewest, 100);
}

}  // namespace
}  // namespace polychain
