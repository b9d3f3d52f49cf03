// The getters and setters of the model table's settings, for a setting held in one member of
// a model's settings struct: SettingInfo{..., .get = getWhole<SawSettings, &SawSettings::avoid>,
// .set = setWhole<SawSettings, &SawSettings::avoid>}.
#pragma once

#include <optional>
#include <type_traits>

#include "polychain/model.h"

namespace polychain {

// A whole number or a choice (its index), held in any integer member or an optional one.
template <class S, auto M>
std::optional<SettingValue> getWhole(const ModelSettings& settings) {
  const auto& member = std::get<S>(settings).*M;
  using Member = std::remove_cvref_t<decltype(member)>;
  if constexpr (std::is_integral_v<Member> || std::is_enum_v<Member>) {
    return SettingValue(static_cast<std::int64_t>(member));
  } else {
    if (!member) return std::nullopt;
    return SettingValue(static_cast<std::int64_t>(*member));
  }
}

template <class S, auto M>
void setWhole(ModelSettings& settings, const SettingValue& value) {
  auto& member = std::get<S>(settings).*M;
  using Member = std::remove_cvref_t<decltype(member)>;
  const std::int64_t whole = std::get<std::int64_t>(value);
  if constexpr (std::is_integral_v<Member> || std::is_enum_v<Member>) {
    member = static_cast<Member>(whole);
  } else {
    member = static_cast<typename Member::value_type>(whole);
  }
}

template <class S, auto M>
std::optional<SettingValue> getReal(const ModelSettings& settings) {
  const auto& member = std::get<S>(settings).*M;
  if constexpr (std::is_floating_point_v<std::remove_cvref_t<decltype(member)>>) {
    return SettingValue(double{member});
  } else {
    if (!member) return std::nullopt;
    return SettingValue(double{*member});
  }
}

template <class S, auto M>
void setReal(ModelSettings& settings, const SettingValue& value) {
  std::get<S>(settings).*M = std::get<double>(value);
}

template <class S, auto M>
std::optional<SettingValue> getFlag(const ModelSettings& settings) {
  return SettingValue(bool{std::get<S>(settings).*M});
}

template <class S, auto M>
void setFlag(ModelSettings& settings, const SettingValue& value) {
  std::get<S>(settings).*M = std::get<bool>(value);
}

}  // namespace polychain
