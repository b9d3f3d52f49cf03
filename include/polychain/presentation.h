// How the texts, the JSON, the window and the Python module show what each model measures
// beyond the common statistics: one table, the models beside each other, keyed by the model's
// key and the measure's name. The model's entry says what it measures; this says how that
// reads. A lookup is a short linear search, for the writers, never while a run runs.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "polychain/model.h"

namespace polychain {

// The presentation of one measure.
struct MeasurePresentation {
  std::string_view name;  // the measure's name in its model's entry
  // Its place in the JSON object of the model's measures, levels joined by '/', such as
  // "autocorrelation_time/R2".
  std::string_view json;
  std::string_view caption;  // the window's and the text's short name; empty: no line of its own
  std::string_view meaning;  // the text line's explanation; {name} puts another measure's value
  std::string_view unit;     // such as "sweeps"; empty for a pure number
  // The sweep table's column heading (empty: not a column) and width.
  std::string_view column;
  int columnWidth = 0;
  // The window's Details tab: its caption there (empty: not shown), its accessible name and
  // what its value means.
  std::string_view label;
  std::string_view description;
  std::string_view hint;
};

// Adds the presentation of the measures of a model the built-in table does not hold (one that
// only the tests offer, say), before any run of it; `measures` must outlive every lookup. Not
// for use while other threads look presentations up.
void addPresentation(std::string_view modelKey, std::span<const MeasurePresentation> measures);

// The presentation of the measure `name` of the model whose key is `modelKey`; none when the
// table has no such entry.
const MeasurePresentation* findPresentation(std::string_view modelKey, std::string_view name);

// The presentation of `model`'s measure number `m`. Every measure of every model has one (a
// test holds the table to it); std::logic_error names one that has none.
const MeasurePresentation& presentationOf(const ModelInfo& model, std::size_t m);

}  // namespace polychain
