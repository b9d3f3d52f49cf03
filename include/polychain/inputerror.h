// The error of parameters a run cannot take: a field's key and the reason, which each front
// end words with its own names for the fields.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace polychain {

// Thrown when parameters cannot be used. A keyed error is about the field `field()`, a key
// such as "density", "steps" or "iterations" (a setting's key, or a run's parameter as Python
// calls it); its reason names fields as {key}, which what() words as the window names them
// and worded() as a front end does. An error without a key names its fields itself.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message);
  InputError(std::string_view field, std::string_view reason);

  // The key of the field it is about; empty when it has none.
  const std::string& field() const noexcept { return m_field; }
  // The reason with its fields as {key}; for an error without a key, its whole message.
  const std::string& reason() const noexcept { return m_reason; }
  // The message with each {key} replaced by `name(key)`; an error without a key as it is.
  template <class Name>
  std::string worded(const Name& name) const {
    return m_field.empty() ? std::string(what()) : word(m_reason, name);
  }

  // `reason` with each {key} replaced by `name(key)`.
  template <class Name>
  static std::string word(std::string_view reason, const Name& name) {
    std::string text;
    std::size_t at = 0;
    for (std::size_t open = nextField(reason, at); open != std::string_view::npos;
         open = nextField(reason, at)) {
      const std::size_t close = reason.find('}', open);
      text.append(reason.substr(at, open - at));
      text += name(reason.substr(open + 1, close - open - 1));
      at = close + 1;
    }
    return text.append(reason.substr(at));
  }

  // Where the next {key} in `text` from `from` opens; npos when there is none.
  static std::size_t nextField(std::string_view text, std::size_t from);

 private:
  std::string m_field;
  std::string m_reason;
};

// The window's name of the field `key`, such as "Density" or "Steps (N)".
std::string windowFieldName(std::string_view key);

// The command's option for the field `key`, such as "--density" or "--max-trials".
std::string optionFieldName(std::string_view key);

// Throws InputError about the field `field` (a key) when `value` is below 1.
void requireAtLeastOne(std::int64_t value, std::string_view field);

}  // namespace polychain
