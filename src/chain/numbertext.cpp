#include "chain/numbertext.h"

#include <array>
#include <charconv>

namespace polychain {

std::string formatNumber(double value) { return formatSignificant(value, 15); }

std::string formatInteger(std::int64_t value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string formatSignificant(double value, int digits) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::general, digits);
  return std::string(buffer.data(), result.ptr);
}

std::string formatFixed(double value, int decimals) {
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, decimals);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace polychain
