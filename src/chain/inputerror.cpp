#include "polychain/inputerror.h"

#include <array>
#include <utility>

#include "polychain/model.h"

namespace polychain {

namespace {

bool isKeyChar(char c) { return (c >= 'a' && c <= 'z') || c == '_'; }

// The window's names of the fields that are no model's setting.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kWindowNames = {{
    {"steps", "Steps (N)"},
    {"iterations", "Iterations"},
    {"seed", "Seed"},
    {"threads", "Threads"},
    {"max_trials", "Trial cap"},
    {"restart_trapped", "Regrow trapped chains after (trials)"},
    {"budget", "Budget"},
    {"correction_exponent", "The correction exponent"},
}};

const SettingInfo* findAnySetting(std::string_view key) {
  for (const ModelInfo* model : modelTable()) {
    if (const SettingInfo* setting = model->findSetting(key)) return setting;
  }
  return nullptr;
}

}  // namespace

InputError::InputError(const std::string& message)
    : std::runtime_error(message), m_reason(message) {}

InputError::InputError(std::string_view field, std::string_view reason)
    : std::runtime_error(word(reason, windowFieldName)), m_field(field), m_reason(reason) {}

std::size_t InputError::nextField(std::string_view text, std::size_t from) {
  for (std::size_t open = text.find('{', from); open != std::string_view::npos;
       open = text.find('{', open + 1)) {
    std::size_t end = open + 1;
    while (end < text.size() && isKeyChar(text[end])) ++end;
    if (end > open + 1 && end < text.size() && text[end] == '}') return open;
  }
  return std::string_view::npos;
}

std::string windowFieldName(std::string_view key) {
  for (const auto& [name, caption] : kWindowNames) {
    if (name == key) return std::string(caption);
  }
  if (const SettingInfo* setting = findAnySetting(key)) {
    return std::string(setting->field.empty() ? setting->option : setting->field);
  }
  return std::string(key);
}

std::string optionFieldName(std::string_view key) {
  if (const SettingInfo* setting = findAnySetting(key)) return std::string(setting->option);
  std::string option = "--" + std::string(key);
  for (char& c : option) {
    if (c == '_') c = '-';
  }
  return option;
}

void requireAtLeastOne(std::int64_t value, std::string_view field) {
  if (value < 1) {
    throw InputError(field, "{" + std::string(field) + "} must be a whole number of at least 1; " +
                                std::to_string(value) + " is too small.");
  }
}

}  // namespace polychain
