// Conversions between numbers and the texts the program shows, reads and exports.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace polychain {

// Thrown when a parameter text cannot be used; what() names the field and what it accepts.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The general conversion: at most 15 significant digits, trailing zeros dropped, a whole
// value without a decimal point, an exponent only where printf's %.15g uses one.
// Independent of the process locale (always '.' as the decimal separator).
std::string formatNumber(double value);

// A whole number in plain decimal, with a leading '-' when negative.
std::string formatInteger(std::int64_t value);

// Reads a parameter text as a 32-bit signed integer: decimal text with optional blanks
// around it, an optional sign, an optional fraction and exponent, rounded to the nearest
// whole number with halves to the even neighbour ("2.5" gives 2, "3.5" gives 4).
// Throws InputError naming `field` for an empty text, a text that is not such a number,
// or a value outside the 32-bit range.
std::int32_t textToNumber(std::string_view text, std::string_view field);

}  // namespace polychain
