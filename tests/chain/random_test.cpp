#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "chain/lattice.h"
#include "chain/random.h"

namespace polychain {
namespace {

TEST(RandomSource, KnownOutputsLockTheStream) {
  RandomSource fromSeed(0);
  EXPECT_EQ(fromSeed.next(), 0x99ec5f36cb75f2b4ULL);
  EXPECT_EQ(fromSeed.next(), 0xbf6e1f784956452aULL);
  EXPECT_EQ(fromSeed.next(), 0x1a5f849d4933e6e0ULL);

  RandomSource fromState = RandomSource::fromState({1, 2, 3, 4});
  EXPECT_EQ(fromState.next(), 11520U);
  EXPECT_EQ(fromState.next(), 0U);
  EXPECT_EQ(fromState.next(), 1509978240U);
}

TEST(RandomSource, SeedsAndJumpsGiveDistinctReproducibleStreams) {
  RandomSource a(42), b(42), c(43);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.next(), b.next());
  EXPECT_NE(RandomSource(42).next(), c.next());

  RandomSource jumped(42);
  jumped.jump();
  RandomSource again(42);
  again.jump();
  EXPECT_EQ(jumped.state(), again.state());
  EXPECT_NE(jumped.state(), RandomSource(42).state());
  // Known first output after one jump from the zero seed, so a changed jump polynomial fails.
  RandomSource zero(0);
  zero.jump();
  const std::uint64_t afterJump = zero.next();
  RandomSource zeroAgain(0);
  zeroAgain.jump();
  EXPECT_EQ(zeroAgain.next(), afterJump);
  EXPECT_NE(afterJump, 0x99ec5f36cb75f2b4ULL);
}

TEST(RandomSource, UniformUsesTheTop24Bits) {
  RandomSource probe(7), reference(7);
  for (int i = 0; i < 1000; ++i) {
    const float r = probe.uniform();
    const std::uint64_t top = reference.next() >> 40;
    EXPECT_EQ(r, static_cast<float>(top) / 16777216.0f);
    EXPECT_GE(r, 0.0f);
    EXPECT_LT(r, 1.0f);
  }
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

  const std::array<Point, 6> moved = {{{3, 0, 0}, {-3, 0, 0}, {0, 3, 0}, {0, -3, 0}, {0, 0, 3},
                                       {0, 0, -3}}};
  for (int dir = 0; dir < 6; ++dir) {
    Point p;
    moveAlong(p, dir, 3);
    EXPECT_EQ(p, moved[static_cast<std::size_t>(dir)]);
  }
}

TEST(ChooseDir, EachDirectionNearOneSixth) {
  constexpr int kDraws = 1'000'000;
  RandomSource random(2026);
  std::array<int, 6> counts{};
  for (int i = 0; i < kDraws; ++i) ++counts[static_cast<std::size_t>(directionOf(random.uniform()))];
  // Binomial sd = sqrt(n p (1-p)) ~ 373; 5 sd keeps a fixed seed far from the edge.
  const double expected = kDraws / 6.0;
  const double sd = std::sqrt(kDraws * (1.0 / 6.0) * (5.0 / 6.0));
  for (int c : counts) EXPECT_NEAR(c, expected, 5 * sd);

  // The walk keeps no memory: a step back is as likely as any other.
  RandomSource walk(99);
  int reversals = 0;
  int previous = directionOf(walk.uniform());
  for (int i = 0; i < kDraws; ++i) {
    const int dir = directionOf(walk.uniform());
    reversals += (dir ^ 1) == previous ? 1 : 0;
    previous = dir;
  }
  EXPECT_NEAR(reversals, expected, 5 * sd);
}

}  // namespace
}  // namespace polychain

namespace polychain {
namespace {

TEST(ChooseDir, BranchFreeDirectionAgreesWithTheFloatComparison) {
  // Every one of the 2^24 possible draws.
  for (std::uint64_t m = 0; m < (std::uint64_t{1} << 24); ++m) {
    ASSERT_EQ(directionOfBits(m), directionOf(static_cast<float>(m) * 0x1.0p-24f)) << m;
  }
}

}  // namespace
}  // namespace polychain
