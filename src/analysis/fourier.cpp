#include "analysis/fourier.h"

#include <cmath>
#include <functional>
#include <stdexcept>

namespace polychain {

namespace {

// The angle numerator: the double nearest 6.28318530717958, a little below 2*pi.
constexpr double kAngleNumerator = 6.28318530717958;
constexpr std::int32_t kLongestTransform = 65536;

bool overlaps(std::span<const double> a, std::span<const double> b) {
  if (a.empty() || b.empty()) return false;
  const std::less<const double*> before;
  return before(a.data(), b.data() + b.size()) && before(b.data(), a.data() + a.size());
}

}  // namespace

bool TestPowerOfTwo(std::int32_t x) {
  if (x < 2) return false;
  return (x & (x - 1)) == 0;
}

std::uint8_t BitsForSize(std::int32_t n) {
  for (std::uint8_t i = 0; i <= 16; ++i) {
    if ((n & (std::int32_t{1} << i)) != 0) return i;
  }
  return 0;
}

std::int32_t BitReverse(std::int32_t index, std::uint8_t bits) {
  // Unsigned so that a bit count beyond 31 wraps instead of overflowing.
  std::uint32_t result = 0;
  for (std::uint8_t i = 0; i < bits; ++i) {
    result = (result << 1) | static_cast<std::uint32_t>(index & 1);
    index /= 2;
  }
  return static_cast<std::int32_t>(result);
}

bool Fourier(std::int32_t numSamples, std::span<const double> realIn,
             std::span<const double> imagIn, std::span<double> realOut, std::span<double> imagOut,
             bool inverse) {
  const double angleNumerator = inverse ? -kAngleNumerator : kAngleNumerator;
  if (numSamples < 2 || !TestPowerOfTwo(numSamples) || numSamples > kLongestTransform) {
    return false;
  }
  const auto n = static_cast<std::size_t>(numSamples);
  if (realIn.size() < n || imagIn.size() < n || realOut.size() < n || imagOut.size() < n) {
    throw std::invalid_argument("Fourier: an array holds fewer than NumSamples elements");
  }
  // The bit-reversed copy reads the inputs while it writes the outputs.
  for (const std::span<const double> out :
       {std::span<const double>(realOut), std::span<const double>(imagOut)}) {
    if (overlaps(out, realIn) || overlaps(out, imagIn)) {
      throw std::invalid_argument("Fourier: an output array shares storage with an input");
    }
  }

  const std::uint8_t bits = BitsForSize(numSamples);
  for (std::int32_t i = 0; i < numSamples; ++i) {
    const auto from = static_cast<std::size_t>(i);
    const auto to = static_cast<std::size_t>(BitReverse(i, bits));
    realOut[to] = realIn[from];
    imagOut[to] = imagIn[from];
  }

  std::size_t blockEnd = 1;
  for (std::size_t blockSize = 2; blockSize <= n; blockSize *= 2) {
    const double delta = angleNumerator / static_cast<double>(blockSize);
    const double s = std::sin(0.5 * delta);
    const double alpha = (s + s) * s;
    const double beta = std::sin(delta);
    for (std::size_t i = 0; i < n; i += blockSize) {
      double wr = 1.0;
      double wi = 0.0;
      std::size_t j = i;
      for (std::size_t step = 0; step < blockEnd; ++step) {
        const std::size_t k = j + blockEnd;
        const double tr = wr * realOut[k] - wi * imagOut[k];
        const double ti = wr * imagOut[k] + wi * realOut[k];
        realOut[k] = realOut[j] - tr;
        imagOut[k] = imagOut[j] - ti;
        realOut[j] = realOut[j] + tr;
        imagOut[j] = imagOut[j] + ti;
        const double t = alpha * wr + beta * wi;
        wi = wi - (alpha * wi - beta * wr);
        wr = wr - t;
        ++j;
      }
    }
    blockEnd = blockSize;
  }

  if (inverse) {
    const double denominator = numSamples;
    for (std::size_t i = 0; i < n; ++i) {
      realOut[i] = realOut[i] / denominator;
      imagOut[i] = imagOut[i] / denominator;
    }
  }
  return true;
}

}  // namespace polychain
