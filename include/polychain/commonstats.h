// The statistics every run reports whatever its model, described once as a model's measures
// are (MeasureInfo and its MeasurePresentation): the six results and the extended statistics <R^2>,
// <|R|>, <Rg^2>, their square roots and their ratio. The texts, the CSV, the JSON, the Python
// module and the Details tab loop over these tables instead of naming the statistics.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "polychain/model.h"
#include "polychain/presentation.h"
#include "polychain/results.h"
#include "polychain/run.h"
#include "polychain/texts.h"

namespace polychain {

// One of the extended statistics, a mean over a run's chains (or samples) with its standard
// error: its `measure` (name: Python's and the CSV's), how it is `shown` (json: its key in
// "extended"; caption and meaning: its line of the texts, none when empty; column: the sweep
// table's; label, description and hint: the Details tab's), where a run keeps it, its place
// among the CSV's pairs of columns, and the Details tab's box and group for it.
struct CommonStatistic {
  MeasureInfo measure;
  MeasurePresentation shown;
  Estimate ExtendedStats::*value = nullptr;
  int csvPlace = 0;
  std::string_view control;  // the box's object name, such as "detailsRmsEnd"
  int group = 0;             // 0: the end-to-end vector, 1: the radius of gyration
};

// The extended statistics in the order the texts and the Details tab show them.
std::span<const CommonStatistic> commonStatistics();

// One of the six results: its `measure` (name: the result box's control name, its key in
// Python's texts and values), how it is `shown` (json: its key in "results"; caption: the
// box's caption), where a run keeps its value and where the result texts keep its text.
struct CommonResult {
  MeasureInfo measure;
  MeasurePresentation shown;
  Estimate ResultValues::*value = nullptr;
  std::string ResultTexts::*text = nullptr;
};

// The six results in the order a run writes them.
std::span<const CommonResult> commonResults();

// One of a run's energy terms per chain: its `name` (its key in "energy", Python's attribute),
// its line of the texts (`caption`, `meaning`), the Details tab's `label` and where a run
// keeps it (null where the run has none, such as wall contacts without walls).
struct EnergyTerm {
  std::string_view name;
  std::string_view caption;
  std::string_view meaning;
  std::string_view label;
  const Estimate* (*of)(const EnergyEstimates&) = nullptr;
};

// The energy terms in the order the texts and the Details tab show them.
std::span<const EnergyTerm> energyTerms();

}  // namespace polychain
