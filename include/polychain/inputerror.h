// The error of parameters a run cannot take.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace polychain {

// Thrown when parameters cannot be used; what() names the field and what it accepts.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws InputError naming `field` when `value` is below 1.
void requireAtLeastOne(std::int64_t value, std::string_view field);

}  // namespace polychain
