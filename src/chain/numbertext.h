// Numbers as the program writes them.
#pragma once

#include <cstdint>
#include <string>

namespace polychain {

// The general conversion: at most 15 significant digits, trailing zeros dropped, a whole
// value without a decimal point, an exponent only where printf's %.15g uses one.
// Independent of the process locale (always '.' as the decimal separator).
std::string formatNumber(double value);

// A whole number in plain decimal, with a leading '-' when negative.
std::string formatInteger(std::int64_t value);

// `value` with up to `digits` significant digits, and in fixed notation with `decimals`
// digits after the point; locale-free.
std::string formatSignificant(double value, int digits);
std::string formatFixed(double value, int decimals);

}  // namespace polychain
