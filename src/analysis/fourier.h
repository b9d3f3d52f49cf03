// FourierModule: a radix-2 decimation-in-time FFT over separate real and imaginary arrays.
// Forward is output[m] = sum_n input[n] * exp(+i*A*m*n/N) with A = 6.28318530717958, not
// scaled; inverse uses -A and divides by N. O(N log N), two sines per stage, no state.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace polychain {

// Receives a message for the user: a title and a text (lines joined by CR LF).
using MessageSink = std::function<void(std::string_view title, std::string_view text)>;

// False when x < 2; otherwise true exactly when x AND (x - 1) is 0.
bool TestPowerOfTwo(std::int32_t x);

// The lowest set bit among bits 0 to 16 of n (its base-2 logarithm for a power of two from
// 1 to 65536); 0 when none of these bits is set.
std::uint8_t BitsForSize(std::int32_t n);

// The lowest `bits` bits of `index` in reverse order.
std::int32_t BitReverse(std::int32_t index, std::uint8_t bits);

// The text of the message for a length that is not a power of two from 2 to 65536.
std::string fourierLengthMessage(std::int32_t numSamples);

// Transforms the first numSamples elements of the inputs into the outputs. numSamples must
// be a power of two from 2 to 65536; otherwise `message` gets ("Error!", the reason), the
// outputs are left untouched and the result is false. Outputs may share storage with the
// inputs. Throws std::out_of_range when an array holds fewer than numSamples elements.
bool Fourier(std::int32_t numSamples, std::span<const double> realIn,
             std::span<const double> imagIn, std::span<double> realOut, std::span<double> imagOut,
             bool inverse, const MessageSink& message);

}  // namespace polychain
