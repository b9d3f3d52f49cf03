// The one reader of parameter texts, for the command line, the window and the sweep. Every
// number is read by one rule: decimal text with blanks around it allowed, an optional sign,
// fraction and exponent, rounded exactly to the nearest whole number with halves to the
// even neighbour ("2.5" gives 2, "3.5" gives 4). No octal, no hexadecimal, no clamping.
// Every reader throws InputError naming `field` and what it accepts.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "polychain/model.h"
#include "polychain/params.h"

namespace polychain {

// A whole number from `least` to `most`.
std::int64_t readWholeNumber(std::string_view text, std::string_view field, std::int64_t least,
                             std::int64_t most);

// A 32-bit signed whole number (the window's fields: N, Iterations, avoidance, Kuhn length).
std::int32_t readInt32(std::string_view text, std::string_view field);

// A count such as N or Iterations: a whole number from 1 to 2147483647. Below 1 it is refused
// as too small, above as out of that range.
std::int32_t readCount(std::string_view text, std::string_view field);

// A 64-bit seed, 0 to 18446744073709551615; none for a text that is empty or blank.
std::optional<std::uint64_t> readSeed(std::string_view text, std::string_view field);

// A comma-separated list of step counts such as "100,200,400", each read as readCount or,
// given a range, as a whole number from `least` to `most`.
std::vector<std::int32_t> readStepList(std::string_view text, std::string_view field);
std::vector<std::int32_t> readStepList(std::string_view text, std::string_view field,
                                       std::int32_t least, std::int32_t most);

// A real number: decimal text with blanks around it allowed, an optional sign, fraction and
// exponent; finite.
double readRealNumber(std::string_view text, std::string_view field);

// A model setting's value by its kind: a whole number as readWholeNumber within its range, a
// real number as readRealNumber, a choice's word, or a flag (on, off, true, false, yes, no, 1
// or 0); then checkSetting.
SettingValue readSetting(const SettingInfo& setting, std::string_view text, std::string_view field);

// The values of a real setting given as a comma list, such as "-0.22,-0.269,-0.32", each read
// and checked as readSetting reads one value alone.
std::vector<double> readRealSettingList(const SettingInfo& setting, std::string_view text,
                                        std::string_view field);

// The key of a model of the table, such as "saw".
const ModelInfo& readModelKey(std::string_view text, std::string_view field);

}  // namespace polychain
