#include "polychain/paramreader.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "chain/numbertext.h"

namespace polychain {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A decimal number rounded to a whole one, as its sign and magnitude.
struct Whole {
  bool negative = false;
  bool tooLarge = false;  // the magnitude passes 2^64 - 1
  std::uint64_t magnitude = 0;
};

// Reads [sign] digits [. digits] [e|E [sign] digits], with at least one digit in the
// mantissa, and rounds it exactly; nothing when the text is not such a number.
std::optional<Whole> readDecimal(std::string_view text) {
  Whole whole;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) whole.negative = text[i++] == '-';
  std::string digits;  // the mantissa's digits without leading zeros
  std::int64_t pointShift = 0;
  std::size_t mantissaDigits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i, ++mantissaDigits) {
    if (!digits.empty() || text[i] != '0') digits += text[i];
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && isDigit(text[i]); ++i, ++mantissaDigits) {
      if (!digits.empty() || text[i] != '0') digits += text[i];
      --pointShift;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    std::size_t exponentDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++exponentDigits) {
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1'000'000'000);
    }
    if (exponentDigits == 0) return std::nullopt;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;
  if (digits.empty()) return whole;  // zero

  // The value is digits x 10^shift; its whole part has `wholeDigits` digits.
  const std::int64_t shift = pointShift + exponent;
  const std::int64_t wholeDigits = static_cast<std::int64_t>(digits.size()) + shift;
  if (wholeDigits > 20) {
    whole.tooLarge = true;
    return whole;
  }
  if (wholeDigits < 0) return whole;  // below 0.1: rounds to 0
  const auto kept = static_cast<std::size_t>(
      std::min<std::int64_t>(wholeDigits, static_cast<std::int64_t>(digits.size())));
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (std::int64_t d = 0; d < wholeDigits; ++d) {
    const auto at = static_cast<std::size_t>(d);
    const auto digit = static_cast<std::uint64_t>(at < digits.size() ? digits[at] - '0' : 0);
    if (value > (kMax - digit) / 10) {
      whole.tooLarge = true;
      return whole;
    }
    value = value * 10 + digit;
  }
  // Round the dropped digits half to even.
  const std::string_view dropped = std::string_view(digits).substr(kept);
  bool up = false;
  if (!dropped.empty()) {
    if (dropped[0] > '5') {
      up = true;
    } else if (dropped[0] == '5') {
      const bool beyondHalf = dropped.find_first_not_of('0', 1) != std::string_view::npos;
      up = beyondHalf || (value & 1U) != 0;
    }
  }
  if (up) {
    if (value == kMax) {
      whole.tooLarge = true;
      return whole;
    }
    ++value;
  }
  whole.magnitude = value;
  return whole;
}

// The number in `text` (already trimmed, not empty) or InputError naming `field`.
Whole readWhole(std::string_view text, std::string_view field) {
  const std::optional<Whole> whole = readDecimal(text);
  if (!whole) {
    throw InputError(std::string(field) + " must be a number, such as 100 or 2.5; \"" +
                     std::string(text) + "\" is not one.");
  }
  return *whole;
}

std::string outOfRange(std::string_view field, std::string_view least, std::string_view most) {
  return std::string(field) + " is out of range: it accepts whole numbers from " +
         std::string(least) + " to " + std::string(most) + ".";
}

}  // namespace

std::int64_t readWholeNumber(std::string_view text, std::string_view field, std::int64_t least,
                             std::int64_t most) {
  text = trimmed(text);
  if (text.empty()) throw InputError(std::string(field) + " is empty: enter a whole number.");
  const Whole whole = readWhole(text, field);
  const auto fits = [&]() -> std::optional<std::int64_t> {
    if (whole.tooLarge) return std::nullopt;
    if (whole.negative) {
      if (whole.magnitude > std::uint64_t{1} << 63) return std::nullopt;
      return whole.magnitude == std::uint64_t{1} << 63
                 ? std::numeric_limits<std::int64_t>::min()
                 : -static_cast<std::int64_t>(whole.magnitude);
    }
    if (whole.magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(whole.magnitude);
  }();
  if (!fits || *fits < least || *fits > most) {
    throw InputError(outOfRange(field, formatInteger(least), formatInteger(most)));
  }
  return *fits;
}

std::int32_t readInt32(std::string_view text, std::string_view field) {
  return static_cast<std::int32_t>(readWholeNumber(text, field,
                                                   std::numeric_limits<std::int32_t>::min(),
                                                   std::numeric_limits<std::int32_t>::max()));
}

std::int32_t readCount(std::string_view text, std::string_view field) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::int32_t>::max();
  text = trimmed(text);
  if (text.empty()) throw InputError(std::string(field) + " is empty: enter a whole number.");
  const Whole whole = readWhole(text, field);
  const bool zero = !whole.tooLarge && whole.magnitude == 0;
  if (whole.negative || zero) {
    const std::string value = zero ? "0"
                              : whole.tooLarge || whole.magnitude > kMost
                                  ? std::string(text)
                                  : "-" + std::to_string(whole.magnitude);
    throw InputError(std::string(field) + " must be a whole number of at least 1; " + value +
                     " is too small.");
  }
  if (whole.tooLarge || whole.magnitude > kMost) {
    throw InputError(outOfRange(field, "1", formatInteger(static_cast<std::int64_t>(kMost))));
  }
  return static_cast<std::int32_t>(whole.magnitude);
}

std::optional<std::uint64_t> readSeed(std::string_view text, std::string_view field) {
  text = trimmed(text);
  if (text.empty()) return std::nullopt;
  const Whole whole = readWhole(text, field);
  if (whole.tooLarge || (whole.negative && whole.magnitude != 0)) {
    throw InputError(outOfRange(field, "0", "18446744073709551615"));
  }
  return whole.magnitude;
}

namespace {

template <class ReadOne>
std::vector<std::int32_t> readList(std::string_view text, std::string_view field,
                                   const ReadOne& readOne) {
  const std::string name(field);
  if (trimmed(text).empty()) {
    throw InputError(name + " is empty: enter step counts separated by commas, such as " +
                     "100,200,400,800.");
  }
  std::vector<std::int32_t> steps;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    const std::string_view item =
        text.substr(at, comma == std::string_view::npos ? comma : comma - at);
    if (trimmed(item).empty()) {
      throw InputError(name + " has an empty entry: separate step counts by single commas, " +
                       "such as 100,200,400,800.");
    }
    steps.push_back(readOne(item));
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return steps;
}

}  // namespace

std::vector<std::int32_t> readStepList(std::string_view text, std::string_view field) {
  return readList(text, field, [field](std::string_view item) { return readCount(item, field); });
}

std::vector<std::int32_t> readStepList(std::string_view text, std::string_view field,
                                       std::int32_t least, std::int32_t most) {
  return readList(text, field, [&](std::string_view item) {
    return static_cast<std::int32_t>(readWholeNumber(item, field, least, most));
  });
}

double readRealNumber(std::string_view text, std::string_view field) {
  text = trimmed(text);
  if (text.empty()) throw InputError(std::string(field) + " is empty: enter a number.");
  // The same grammar as the whole numbers; from_chars reads it locale-free.
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                            std::chars_format::general);
  if (!readDecimal(text) || end != digits.data() + digits.size() || error != std::errc() ||
      !std::isfinite(value)) {
    throw InputError(std::string(field) + " must be a finite number, such as 0.5; \"" +
                     std::string(text) + "\" is not one.");
  }
  return negative ? 0.0 - value : value;  // "-0" is 0, not a negative zero that prints "-0"
}

SettingValue readSetting(const SettingInfo& setting, std::string_view text,
                         std::string_view field) {
  SettingValue value;
  switch (setting.kind) {
    case SettingKind::Whole:
      return readWholeNumber(text, field, setting.least, setting.most);
    case SettingKind::Real:
      value = readRealNumber(text, field);
      break;
    case SettingKind::Choice: {
      const std::string_view word = trimmed(text);
      std::int64_t index = 0;
      while (index < std::ssize(setting.choices) &&
             setting.choices[static_cast<std::size_t>(index)] != word) {
        ++index;
      }
      if (index == std::ssize(setting.choices)) {
        throw InputError(std::string(field) + " must be " + settingRange(setting) + "; \"" +
                         std::string(word) + "\" is not one.");
      }
      value = index;
      break;
    }
    case SettingKind::Flag: {
      const std::string_view word = trimmed(text);
      if (word == "on" || word == "true" || word == "yes" || word == "1") {
        value = true;
      } else if (word == "off" || word == "false" || word == "no" || word == "0") {
        value = false;
      } else {
        throw InputError(std::string(field) + " must be on or off; \"" + std::string(word) +
                         "\" is neither.");
      }
      break;
    }
  }
  checkSetting(setting, value, field);
  return value;
}

std::vector<double> readRealSettingList(const SettingInfo& setting, std::string_view text,
                                        std::string_view field) {
  std::vector<double> values;
  while (true) {
    const std::size_t comma = text.find(',');
    values.push_back(std::get<double>(readSetting(setting, text.substr(0, comma), field)));
    if (comma == std::string_view::npos) return values;
    text.remove_prefix(comma + 1);
  }
}

const ModelInfo& readModelKey(std::string_view text, std::string_view field) {
  if (const ModelInfo* model = findModel(text)) return *model;
  throw InputError(std::string(field) + " must be " + std::string(modelKeyList()) + "; \"" +
                   std::string(text) + "\" is not one.");
}

}  // namespace polychain
