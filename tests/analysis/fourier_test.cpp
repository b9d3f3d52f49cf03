#include "analysis/fourier.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "chain/random.h"

namespace polychain {
namespace {

struct Transform {
  std::vector<double> re, im;
};

Transform forward(const std::vector<double>& re, const std::vector<double>& im) {
  Transform out{std::vector<double>(re.size()), std::vector<double>(re.size())};
  EXPECT_TRUE(Fourier(static_cast<std::int32_t>(re.size()), re, im, out.re, out.im, false));
  return out;
}

std::vector<double> randomValues(RandomSource& random, std::size_t n) {
  std::vector<double> v(n);
  for (double& x : v) x = random.uniform() * 2.0 - 1.0;
  return v;
}

TEST(FourierHelpers, PowerOfTwoBitCountAndBitReversal) {
  EXPECT_FALSE(TestPowerOfTwo(INT_MIN));
  EXPECT_FALSE(TestPowerOfTwo(-2));
  EXPECT_FALSE(TestPowerOfTwo(0));
  EXPECT_FALSE(TestPowerOfTwo(1));
  EXPECT_TRUE(TestPowerOfTwo(2));
  EXPECT_FALSE(TestPowerOfTwo(6));
  EXPECT_TRUE(TestPowerOfTwo(1 << 30));
  EXPECT_FALSE(TestPowerOfTwo(INT_MAX));

  for (int i = 0; i <= 16; ++i) EXPECT_EQ(BitsForSize(1 << i), i) << "2^" << i;
  EXPECT_EQ(BitsForSize(65536), 16);
  EXPECT_EQ(BitsForSize(131072), 0);  // only bits 0 to 16 are looked at
  EXPECT_EQ(BitsForSize(0), 0);
  EXPECT_EQ(BitsForSize(12), 2);  // the lowest set bit

  EXPECT_EQ(BitReverse(1, 3), 4);
  EXPECT_EQ(BitReverse(6, 3), 3);
  EXPECT_EQ(BitReverse(0b1011, 4), 0b1101);
  EXPECT_EQ(BitReverse(0b1011, 2), 0b11);  // only the lowest bits count
  EXPECT_EQ(BitReverse(5, 0), 0);

  // For every size the reversal is a permutation that undoes itself.
  for (std::uint8_t bits = 1; bits <= 16; ++bits) {
    const std::int32_t n = 1 << bits;
    std::vector<bool> seen(static_cast<std::size_t>(n), false);
    for (std::int32_t i = 0; i < n; ++i) {
      const std::int32_t r = BitReverse(i, bits);
      ASSERT_GE(r, 0);
      ASSERT_LT(r, n);
      ASSERT_FALSE(seen[static_cast<std::size_t>(r)]);
      seen[static_cast<std::size_t>(r)] = true;
      ASSERT_EQ(BitReverse(r, bits), i);
    }
  }
}

TEST(Fourier, RefusesBadLengthsAndSharedArrays) {
  for (const std::int32_t n : {6, 0, 1, -1, -8, INT_MIN, 3, 65537, 131072, 1 << 30}) {
    std::vector<double> in(8, 1.0);
    std::vector<double> re(8, 7.0), im(8, 9.0);
    EXPECT_FALSE(Fourier(n, in, in, re, im, false)) << n;
    EXPECT_EQ(re, std::vector<double>(8, 7.0)) << "outputs untouched for " << n;
    EXPECT_EQ(im, std::vector<double>(8, 9.0));
  }
  std::vector<double> in(8, 1.0), out(8), other(8);
  EXPECT_THROW(Fourier(16, in, in, out, other, false), std::invalid_argument);  // too short
  EXPECT_THROW(Fourier(8, in, other, in, out, false), std::invalid_argument);   // shared
}

TEST(Fourier, SmallTransformsByHand) {
  const Transform two = forward({3, 5}, {0, 0});
  EXPECT_EQ(two.re, (std::vector<double>{8, -2}));
  EXPECT_EQ(two.im, (std::vector<double>{0, 0}));

  // The exponent is positive: a unit impulse at n = 1 gives e^(+i 2 pi m / 4) = 1, i, -1, -i.
  const Transform four = forward({0, 1, 0, 0}, {0, 0, 0, 0});
  const double re4[] = {1, 0, -1, 0};
  const double im4[] = {0, 1, 0, -1};
  for (std::size_t m = 0; m < 4; ++m) {
    EXPECT_NEAR(four.re[m], re4[m], 4e-15) << m;
    EXPECT_NEAR(four.im[m], im4[m], 4e-15) << m;
  }

  const Transform eight = forward({1, 2, 3, 4, 5, 6, 7, 8}, std::vector<double>(8, 0.0));
  const double r2 = std::sqrt(2.0);
  const double im8[] = {0, -4 * (1 + r2), -4, -4 * (r2 - 1), 0, 4 * (r2 - 1), 4, 4 * (1 + r2)};
  EXPECT_EQ(eight.re[0], 36.0);
  for (std::size_t m = 0; m < 8; ++m) {
    if (m > 0) {
      EXPECT_NEAR(eight.re[m], -4.0, 1e-13) << m;
    }
    EXPECT_NEAR(eight.im[m], im8[m], 1e-13) << m;
  }
}

TEST(Fourier, InverseUndoesForwardAndAgreesWithTheSum) {
  RandomSource random(77);
  for (std::int32_t n = 2; n <= 65536; n *= 2) {
    const auto size = static_cast<std::size_t>(n);
    const std::vector<double> re = randomValues(random, size);
    const std::vector<double> im = randomValues(random, size);
    std::vector<double> fre(size), fim(size), bre(size), bim(size);
    ASSERT_TRUE(Fourier(n, re, im, fre, fim, false));
    ASSERT_TRUE(Fourier(n, fre, fim, bre, bim, true));
    // The angle constant falls short of 2 pi by ~3e-15, which leaves an error growing
    // with n on top of rounding.
    const double tolerance = 1e-13 + 4e-15 * n;
    double worst = 0;
    for (std::size_t i = 0; i < size; ++i) {
      worst = std::max({worst, std::abs(bre[i] - re[i]), std::abs(bim[i] - im[i])});
    }
    EXPECT_LT(worst, tolerance) << "n = " << n;

    // A few outputs against the direct sum with the same angle constant.
    if (n <= 1024) {
      for (std::size_t m = 0; m < size; m += size / 4 + 1) {
        long double sr = 0, si = 0;
        for (std::size_t k = 0; k < size; ++k) {
          const long double angle = 6.28318530717958L * static_cast<long double>(m * k % size) /
                                    static_cast<long double>(n);
          sr += re[k] * std::cos(angle) - im[k] * std::sin(angle);
          si += re[k] * std::sin(angle) + im[k] * std::cos(angle);
        }
        EXPECT_NEAR(fre[m], static_cast<double>(sr), 1e-11 * n) << "n = " << n << " m " << m;
        EXPECT_NEAR(fim[m], static_cast<double>(si), 1e-11 * n) << "n = " << n << " m " << m;
      }
    }
  }
}

}  // namespace
}  // namespace polychain
