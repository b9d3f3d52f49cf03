#include <cmath>
#include <string>

#include "chain/numbertext.h"
#include "polychain/inputerror.h"
#include "polychain/model.h"

namespace polychain {

namespace {

template <std::size_t... I>
std::array<const ModelInfo*, kModelCount> collect(std::index_sequence<I...>) {
  return {&modelInfo(std::variant_alternative_t<I, ModelSettings>{})...};
}

// "a, b or c".
std::string wordList(std::span<const std::string_view> words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? " or " : ", ";
    text += words[i];
  }
  return text;
}

}  // namespace

const SettingInfo* ModelInfo::findSetting(std::string_view name) const {
  for (const SettingInfo& setting : settings) {
    if (setting.key == name) return &setting;
  }
  return nullptr;
}

int ModelInfo::findMeasure(std::string_view name) const {
  for (std::size_t i = 0; i < measures.size(); ++i) {
    if (measures[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

const std::array<const ModelInfo*, kModelCount>& modelTable() {
  static const auto table = collect(std::make_index_sequence<kModelCount>());
  return table;
}

const ModelInfo* findModel(std::string_view key) {
  for (const ModelInfo* model : modelTable()) {
    if (model->key == key) return model;
  }
  return nullptr;
}

std::string_view modelKeyList() {
  static const std::string list = [] {
    std::string text;
    for (std::size_t i = 0; i < kModelCount; ++i) {
      if (i > 0) text += i + 1 == kModelCount ? " or " : ", ";
      text += modelTable()[i]->key;
    }
    return text;
  }();
  return list;
}

std::string settingRange(const SettingInfo& setting) {
  switch (setting.kind) {
    case SettingKind::Whole:
      return "whole numbers from " + formatInteger(setting.least) + " to " +
             formatInteger(setting.most) + (setting.zeroRefused ? " but 0" : "");
    case SettingKind::Real:
      return "numbers " + std::string(setting.lowestIncluded ? "from " : "above ") +
             formatNumber(setting.lowest) + (setting.lowestIncluded ? " to " : " and at most ") +
             formatNumber(setting.highest);
    case SettingKind::Choice:
      return wordList(setting.choices);
    case SettingKind::Flag:
      return "on or off";
  }
  return {};
}

void checkSetting(const SettingInfo& setting, const SettingValue& value, std::string_view field) {
  const std::string name(field);
  switch (setting.kind) {
    case SettingKind::Whole: {
      const auto* whole = std::get_if<std::int64_t>(&value);
      if (whole == nullptr) throw InputError(name + " must be a whole number.");
      if (*whole < setting.least || *whole > setting.most) {
        throw InputError(name + " is out of range: it accepts " + settingRange(setting) + ".");
      }
      return;
    }
    case SettingKind::Real: {
      const auto* real = std::get_if<double>(&value);
      if (real == nullptr) throw InputError(name + " must be a number.");
      const bool above = setting.lowestIncluded ? *real >= setting.lowest : *real > setting.lowest;
      if (!std::isfinite(*real) || !above || !(*real <= setting.highest)) {
        throw InputError(name + " is out of range: it accepts " + settingRange(setting) + "; " +
                         formatNumber(*real) + " is not one.");
      }
      return;
    }
    case SettingKind::Choice: {
      const auto* index = std::get_if<std::int64_t>(&value);
      if (index == nullptr || *index < 0 || *index >= std::ssize(setting.choices)) {
        throw InputError(name + " must be " + settingRange(setting) + ".");
      }
      return;
    }
    case SettingKind::Flag:
      if (!std::holds_alternative<bool>(value)) throw InputError(name + " must be on or off.");
      return;
  }
}

void checkSetting(const SettingInfo& setting, const SettingValue& value) {
  const std::string key(setting.key);
  try {
    checkSetting(setting, value, "{" + key + "}");
  } catch (const InputError& e) {
    throw InputError(key, e.what());
  }
}

}  // namespace polychain
