#include "analysis/fourier.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "chain/random.h"
#include "reference/textgor.h"

namespace polychain {
namespace {

struct Message {
  int calls = 0;
  std::string title;
  std::string text;
};

MessageSink recordInto(Message& m) {
  return [&m](std::string_view title, std::string_view text) {
    ++m.calls;
    m.title = title;
    m.text = text;
  };
}

struct Transform {
  std::vector<double> re, im;
};

Transform forward(const std::vector<double>& re, const std::vector<double>& im) {
  Transform out{std::vector<double>(re.size()), std::vector<double>(re.size())};
  Message m;
  EXPECT_TRUE(
      Fourier(static_cast<std::int32_t>(re.size()), re, im, out.re, out.im, false, recordInto(m)));
  EXPECT_EQ(m.calls, 0);
  return out;
}

std::vector<double> randomValues(RandomSource& random, std::size_t n) {
  std::vector<double> v(n);
  for (double& x : v) x = random.uniform() * 2.0 - 1.0;
  return v;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b, std::size_t n) {
  return std::memcmp(a.data(), b.data(), n * sizeof(double)) == 0;
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

TEST(Fourier, RejectsLengthsThatAreNotPowersOfTwoUpTo65536) {
  for (const std::int32_t n : {6, 0, 1, -1, -8, INT_MIN, 3, 65537, 131072, 1 << 30}) {
    std::vector<double> in(8, 1.0);
    std::vector<double> re(8, 7.0), im(8, 9.0);
    Message m;
    EXPECT_FALSE(Fourier(n, in, in, re, im, false, recordInto(m))) << n;
    EXPECT_EQ(m.calls, 1);
    EXPECT_EQ(m.title, "Error!");
    EXPECT_EQ(m.text, "Error in procedure Fourier:\r\n NumSamples is " + std::to_string(n) +
                          ", which is not a positive integer power of two.");
    EXPECT_EQ(re, std::vector<double>(8, 7.0)) << "outputs untouched for " << n;
    EXPECT_EQ(im, std::vector<double>(8, 9.0));
  }
  Message m;
  std::vector<double> in(8, 1.0), out(8);
  Fourier(6, in, in, out, out, true, recordInto(m));
  EXPECT_EQ(m.text,
            "Error in procedure Fourier:\r\n NumSamples is 6, which is not a positive "
            "integer power of two.");
  EXPECT_THROW(Fourier(16, in, in, out, out, false, recordInto(m)), std::out_of_range);
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

// The arithmetic is fixed down to the last bit: the angle constant, the two-sine twiddle
// recurrence and the butterfly order. A literal transcription must agree exactly.
TEST(Fourier, MatchesTheLiteralTransformBitForBit) {
  RandomSource random(20240611);
  for (std::int32_t n = 2; n <= 65536; n *= 2) {
    const auto size = static_cast<std::size_t>(n);
    const std::vector<double> re = randomValues(random, size);
    const std::vector<double> im = randomValues(random, size);
    for (const bool inverse : {false, true}) {
      std::vector<double> fastRe(size), fastIm(size), slowRe(size), slowIm(size);
      ASSERT_TRUE(Fourier(n, re, im, fastRe, fastIm, inverse, nullptr));
      ASSERT_TRUE(reference::literalFourier(n, re, im, slowRe, slowIm, inverse));
      EXPECT_TRUE(sameBits(fastRe, slowRe, size)) << "n = " << n << " inverse " << inverse;
      EXPECT_TRUE(sameBits(fastIm, slowIm, size)) << "n = " << n << " inverse " << inverse;
    }
  }
}

TEST(Fourier, InverseUndoesForwardAndAgreesWithTheSum) {
  RandomSource random(77);
  for (std::int32_t n = 2; n <= 65536; n *= 2) {
    const auto size = static_cast<std::size_t>(n);
    const std::vector<double> re = randomValues(random, size);
    const std::vector<double> im = randomValues(random, size);
    std::vector<double> fre(size), fim(size), bre(size), bim(size);
    ASSERT_TRUE(Fourier(n, re, im, fre, fim, false, nullptr));
    ASSERT_TRUE(Fourier(n, fre, fim, bre, bim, true, nullptr));
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

TEST(Fourier, OutputsMayBeTheInputArrays) {
  RandomSource random(5);
  const std::vector<double> re = randomValues(random, 64);
  const std::vector<double> im = randomValues(random, 64);
  const Transform expected = forward(re, im);
  std::vector<double> a = re, b = im;
  ASSERT_TRUE(Fourier(64, a, b, a, b, false, nullptr));
  EXPECT_TRUE(sameBits(a, expected.re, 64));
  EXPECT_TRUE(sameBits(b, expected.im, 64));
}

}  // namespace
}  // namespace polychain
