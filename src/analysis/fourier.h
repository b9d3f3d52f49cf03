// FourierModule: a radix-2 decimation-in-time FFT over separate real and imaginary arrays.
// Forward is output[m] = sum_n input[n] * exp(+i*A*m*n/N) with A = 6.28318530717958, not
// scaled; inverse uses -A and divides by N. O(N log N), two sines per stage, no state.
#pragma once

#include <cstdint>
#include <span>

namespace polychain {

// False when x < 2; otherwise true exactly when x AND (x - 1) is 0.
bool TestPowerOfTwo(std::int32_t x);

// The lowest set bit among bits 0 to 16 of n (its base-2 logarithm for a power of two from
// 1 to 65536); 0 when none of these bits is set.
std::uint8_t BitsForSize(std::int32_t n);

// The lowest `bits` bits of `index` in reverse order.
std::int32_t BitReverse(std::int32_t index, std::uint8_t bits);

// Transforms the first numSamples elements of the inputs into the outputs and returns true.
// For a length that is not a power of two from 2 to 65536 it returns false and leaves the
// outputs untouched. Throws std::invalid_argument when an array holds fewer than numSamples
// elements or an output shares storage with an input.
bool Fourier(std::int32_t numSamples, std::span<const double> realIn,
             std::span<const double> imagIn, std::span<double> realOut, std::span<double> imagOut,
             bool inverse);

}  // namespace polychain
