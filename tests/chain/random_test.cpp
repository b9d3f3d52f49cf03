// The random source's stream, pinned so that a silent change of the stream fails, and the
// choice of a direction from a draw.
#include "chain/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "chain/lattice.h"

namespace polychain {
namespace {

TEST(RandomSource, FirstDrawsAfterZeroToThreeJumpsArePinned) {
  struct Known {
    std::uint64_t seed;
    std::array<std::array<std::uint64_t, 2>, 4> draws;  // after 0, 1, 2 and 3 jumps
  };
  const Known known[] = {
      {0,
       {{{0x99ec5f36cb75f2b4ULL, 0xbf6e1f784956452aULL},
         {0x376215edc846d62cULL, 0x57c0611de8350ca7ULL},
         {0xa72791f60c825a41ULL, 0x92367e7e4edaa982ULL},
         {0xbc0c1d31202081a8ULL, 0xc00cb9f4256f99aaULL}}}},
      {42,
       {{{0x15780b2e0c2ec716ULL, 0x6104d9866d113a7eULL},
         {0x50086ef83cbf4f4aULL, 0xba285ec21347d703ULL},
         {0x8677623ee7544e81ULL, 0x1f591f213a3cb979ULL},
         {0x057ea7493b2592a3ULL, 0xd24b173f5c5cdd42ULL}}}},
  };
  for (const Known& k : known) {
    RandomSource stream(k.seed);
    for (std::size_t jumps = 0; jumps < k.draws.size(); ++jumps) {
      if (jumps > 0) stream.jump();
      RandomSource copy = stream;
      EXPECT_EQ(copy.next(), k.draws[jumps][0]) << "seed " << k.seed << ", " << jumps << " jumps";
      EXPECT_EQ(copy.next(), k.draws[jumps][1]) << "seed " << k.seed << ", " << jumps << " jumps";
    }
  }
  // 64 jumps at once are 64 jumps.
  RandomSource one(7), many(7);
  for (int i = 0; i < 64; ++i) one.jump();
  many.jump64();
  EXPECT_EQ(one.state(), many.state());
  // And any count of jumps at once is that many, the 64s and the rest together.
  RandomSource single(9), counted(9);
  for (int i = 0; i < 131; ++i) single.jump();
  counted.jumpBy(131);
  EXPECT_EQ(single.state(), counted.state());
  RandomSource fromState = RandomSource::fromState({1, 2, 3, 4});
  EXPECT_EQ(fromState.next(), 11520U);
  EXPECT_EQ(fromState.next(), 0U);
  EXPECT_EQ(fromState.next(), 1509978240U);
}

TEST(ChooseDir, BoundariesBelongToTheUpperInterval) {
  // The largest float below each boundary k/6 and the smallest at or above it.
  for (int k = 1; k <= 5; ++k) {
    const double boundary = k / 6.0;
    float below = static_cast<float>(boundary);
    while (static_cast<double>(below) >= boundary) below = std::nextafter(below, 0.0f);
    const float above = std::nextafter(below, 1.0f);
    EXPECT_EQ(directionOf(below), k - 1) << "k = " << k;
    EXPECT_EQ(directionOf(above), k) << "k = " << k;
  }
  EXPECT_EQ(directionOf(0.0f), 0);
  EXPECT_EQ(directionOf(std::nextafter(1.0f, 0.0f)), 5);
}

TEST(ChooseDir, BranchFreeDirectionAgreesWithTheFloatComparisonOnEveryDraw) {
  for (std::uint64_t m = 0; m < (std::uint64_t{1} << 24); ++m) {
    ASSERT_EQ(directionOfBits(m), directionOf(static_cast<float>(m) * 0x1.0p-24f)) << m;
  }
}

TEST(ChooseDir, EachDirectionNearOneSixthAndNoMemory) {
  constexpr int kDraws = 1'000'000;
  RandomSource random(2026);
  std::array<int, 6> counts{};
  int reversals = 0;
  int previous = -1;
  for (int i = 0; i < kDraws; ++i) {
    const int dir = directionOf(random.uniform());
    ++counts[static_cast<std::size_t>(dir)];
    reversals += (dir ^ 1) == previous ? 1 : 0;
    previous = dir;
  }
  // Binomial sd = sqrt(n p (1-p)) ~ 373; 5 sd keeps a fixed seed far from the edge.
  const double expected = kDraws / 6.0;
  const double sd = std::sqrt(kDraws * (1.0 / 6.0) * (5.0 / 6.0));
  for (int c : counts) EXPECT_NEAR(c, expected, 5 * sd);
  EXPECT_NEAR(reversals, expected, 5 * sd);  // a step back is as likely as any other
}

}  // namespace
}  // namespace polychain
