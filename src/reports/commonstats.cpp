#include "polychain/commonstats.h"

#include <array>

namespace polychain {

namespace {

constexpr MeasureInfo estimate(std::string_view name) {
  return {.name = name, .kind = MeasureKind::Estimate};
}

constexpr MeasurePresentation shown(std::string_view name, std::string_view caption,
                                    std::string_view meaning, std::string_view column,
                                    std::string_view label, std::string_view description,
                                    std::string_view hint) {
  return {.name = name,
          .json = name,
          .caption = caption,
          .meaning = meaning,
          .column = column,
          .columnWidth = column.empty() ? 0 : 24,
          .label = label,
          .description = description,
          .hint = hint};
}

constexpr int kEnd = 0;
constexpr int kSize = 1;

const std::array kStatistics{
    CommonStatistic{estimate("rms_R"),
                    shown("rms_R", "sqrt(<R^2>)", "root-mean-square end-to-end distance",
                          "sqrt(<R^2>)", "sqrt(<R²>)", "Root-mean-square end-to-end distance",
                          "root-mean-square end-to-end distance"),
                    &ExtendedStats::rmsEnd, 1, "detailsRmsEnd", kEnd},
    CommonStatistic{estimate("R2"),
                    shown("R2", "<R^2>", "mean squared end-to-end distance", "", "<R²>",
                          "Mean squared end-to-end distance", "mean squared end-to-end distance"),
                    &ExtendedStats::meanSquaredEnd, 0, "detailsMeanSquaredEnd", kEnd},
    CommonStatistic{estimate("mean_R"),
                    shown("mean_R", "<|R|>", "mean end-to-end distance", "<|R|>", "<|R|>",
                          "Mean end-to-end distance", "mean end-to-end distance"),
                    &ExtendedStats::meanEnd, 2, "detailsMeanEnd", kEnd},
    CommonStatistic{
        estimate("rms_Rg"),
        shown("rms_Rg", "sqrt(<Rg^2>)", "radius of gyration about the centre of mass",
              "sqrt(<Rg^2>)", "sqrt(<Rg²>)", "Radius of gyration about the centre of mass",
              "radius of gyration over all sites"),
        &ExtendedStats::rmsRg, 4, "detailsRmsRg", kSize},
    // Not a line of the texts, nor a column of the sweep's table.
    CommonStatistic{estimate("Rg2"),
                    shown("Rg2", "", "", "", "<Rg²>", "Mean squared radius of gyration",
                          "mean squared radius of gyration"),
                    &ExtendedStats::meanSquaredRg, 3, "detailsMeanSquaredRg", kSize},
    CommonStatistic{
        estimate("ratio"),
        shown("ratio", "<Rg^2>/<R^2>", "(1/6 for a long ideal chain)", "<Rg^2>/<R^2>", "<Rg²>/<R²>",
              "Ratio of mean squared radius of gyration to mean squared "
              "end-to-end distance",
              "1/6 for a long ideal chain"),
        &ExtendedStats::ratio, 5, "detailsRatio", kSize},
};

constexpr MeasurePresentation result(std::string_view name, std::string_view caption) {
  return {.name = name, .json = name, .caption = caption};
}

const std::array kResults{
    CommonResult{estimate("eR"), result("eR", "<R> Calculated"), &ResultValues::eR,
                 &ResultTexts::eR},
    CommonResult{estimate("TR"), result("TR", "<R> Theoretical"), &ResultValues::TR,
                 &ResultTexts::TR},
    CommonResult{estimate("Rsqred"), result("Rsqred", "Sqr<R^2> Calculated"), &ResultValues::Rsqred,
                 &ResultTexts::Rsqred},
    CommonResult{estimate("TRsqred"), result("TRsqred", "Sqr<R^2> Theoretical"),
                 &ResultValues::TRsqred, &ResultTexts::TRsqred},
    CommonResult{estimate("pers"), result("pers", "lp"), &ResultValues::pers, &ResultTexts::pers},
    CommonResult{estimate("Rgtxt"), result("Rgtxt", "Rg"), &ResultValues::Rgtxt,
                 &ResultTexts::Rgtxt},
};

const std::array kEnergyTerms{
    EnergyTerm{"contacts", "contacts", "pairs of sites one unit apart that no step joins",
               "Contacts", [](const EnergyEstimates& e) -> const Estimate* { return &e.contacts; }},
    EnergyTerm{"bends", "bends", "sites where the walk turns", "Bends",
               [](const EnergyEstimates& e) -> const Estimate* { return &e.bends; }},
    EnergyTerm{"wall_contacts", "wall contacts", "sites next to a wall", "Wall contacts",
               [](const EnergyEstimates& e) -> const Estimate* {
                 return e.wallContacts ? &*e.wallContacts : nullptr;
               }},
    EnergyTerm{"energy", "energy", "mean energy", "Energy (kT)",
               [](const EnergyEstimates& e) -> const Estimate* { return &e.energy; }},
    EnergyTerm{"heat_capacity", "heat capacity", "(<U^2> - <U>^2) / kT^2, in units of k",
               "Heat capacity (k)",
               [](const EnergyEstimates& e) -> const Estimate* { return &e.heatCapacity; }},
};

}  // namespace

std::span<const CommonStatistic> commonStatistics() { return kStatistics; }

std::span<const CommonResult> commonResults() { return kResults; }

std::span<const EnergyTerm> energyTerms() { return kEnergyTerms; }

}  // namespace polychain
