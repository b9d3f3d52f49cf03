#include "chain/numtext.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace polychain {

std::string formatNumber(double value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::general, 15);
  return std::string(buffer.data(), result.ptr);
}

std::string formatInteger(std::int64_t value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// True when `text` is [sign] digits [. digits] [e|E [sign] digits], with at least one
// digit in the mantissa.
bool isDecimalNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissaDigits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++mantissaDigits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == text.size();
}

}  // namespace

std::int32_t textToNumber(std::string_view text, std::string_view field) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  const std::string name(field);
  if (text.empty()) {
    throw InputError(name + " is empty: enter a whole number.");
  }
  if (!isDecimalNumber(text)) {
    throw InputError(name + " must be a number, such as 100 or 2.5; \"" + std::string(text) +
                     "\" is not one.");
  }
  // from_chars takes no leading '+'.
  std::string_view digits = text;
  if (digits.front() == '+') digits.remove_prefix(1);
  double value = 0.0;
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  bool outOfRange = false;
  if (parsed.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: only a tiny magnitude rounds to a usable 0.
    const auto exponentAt = digits.find_first_of("eE");
    const bool negativeExponent =
        exponentAt != std::string_view::npos && exponentAt + 1 < digits.size() &&
        digits[exponentAt + 1] == '-';
    const auto integerPart = digits.substr(digits.front() == '-' ? 1 : 0,
                                           digits.find_first_of(".eE") - (digits.front() == '-'));
    const bool integerPartZero = integerPart.find_first_not_of('0') == std::string_view::npos;
    outOfRange = !(negativeExponent || (exponentAt == std::string_view::npos && integerPartZero));
    if (!outOfRange) value = 0.0;
  }
  // Halves go to the even neighbour: nearbyint rounds that way in the default mode.
  const double rounded = std::nearbyint(value);
  if (outOfRange || !(rounded >= double(std::numeric_limits<std::int32_t>::min()) &&
                      rounded <= double(std::numeric_limits<std::int32_t>::max()))) {
    throw InputError(name + " is out of range: it accepts whole numbers from -2147483648 to " +
                     "2147483647.");
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace polychain
