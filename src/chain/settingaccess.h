// The getters and setters of the model table's settings, for a setting held in one member of
// a model's settings struct: SettingInfo{..., .get = getWhole<SawSettings, &SawSettings::avoid>,
// .set = setWhole<SawSettings, &SawSettings::avoid>}.
#pragma once

#include <optional>
#include <string_view>
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

// The energies a model may weigh its walks by, in kT.
enum class EnergyTerm {
  Contact,  // each pair of sites one unit apart that no step joins
  Bend,     // each site where two steps are not parallel
  Wall,     // each site on a layer next to a wall
};

// The setting of an energy term held in member M of a model's settings: every model that takes
// one shares its key, option, captions and range, so that the command, the window and Python
// name it alike; `help` says what it counts in that model.
template <class S, auto M>
constexpr SettingInfo energySetting(EnergyTerm term, std::string_view help) {
  constexpr double kMostEnergy = 10.0;
  SettingInfo setting{
      .help = help,
      .kind = SettingKind::Real,
      .lowest = -kMostEnergy,
      .highest = kMostEnergy,
      .get = getReal<S, M>,
      .set = setReal<S, M>,
  };
  switch (term) {
    case EnergyTerm::Contact:
      setting.key = "contact_energy";
      setting.option = "--contact-energy";
      setting.field = "Contact energy";
      setting.caption = "Contact energy (kT)";
      break;
    case EnergyTerm::Bend:
      setting.key = "bend_energy";
      setting.option = "--bend-energy";
      setting.field = "Bend energy";
      setting.caption = "Bend energy (kT)";
      break;
    case EnergyTerm::Wall:
      setting.key = "wall_energy";
      setting.option = "--wall-energy";
      setting.field = "Wall energy";
      setting.caption = "Wall energy (kT)";
      break;
  }
  return setting;
}

}  // namespace polychain
