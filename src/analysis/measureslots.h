// Where a runner's measures sit among a run's values (RunResult::measures), resolved from their
// names once, when the slots are built: a runner writes to a slot of its own enum, never looks a
// name up while it runs, and a name the model does not list fails at the first run.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "polychain/model.h"

namespace polychain {

// The measures of `model` for a runner whose enum `Slot` counts them, named in `names` in the
// enum's order. Every measure of the model must be named once: the runner fills them all.
template <class Slot, std::size_t K>
class MeasureSlots {
 public:
  MeasureSlots(const ModelInfo& model, const std::array<std::string_view, K>& names)
      : m_size(model.measures.size()) {
    if (K != m_size) {
      throw std::logic_error(std::string(model.key) + " lists " + std::to_string(m_size) +
                             " measures; its runner fills " + std::to_string(K));
    }
    std::vector<bool> taken(m_size, false);
    for (std::size_t k = 0; k < K; ++k) {
      const int at = model.findMeasure(names[k]);
      if (at < 0 || taken[static_cast<std::size_t>(at)]) {
        throw std::logic_error(std::string(model.key) + " has no measure " + std::string(names[k]) +
                               " (or it is named twice)");
      }
      taken[static_cast<std::size_t>(at)] = true;
      m_index[k] = static_cast<std::size_t>(at);
    }
  }

  // The model's measures, all absent.
  std::vector<MeasureValue> values() const { return std::vector<MeasureValue>(m_size); }

  // The value of `slot` among `values` (from values()).
  MeasureValue& operator()(std::vector<MeasureValue>& values, Slot slot) const {
    return values.at(m_index[static_cast<std::size_t>(slot)]);
  }

 private:
  std::size_t m_size;
  std::array<std::size_t, K> m_index{};
};

// The value of `model`'s measure `name` among `values` (the model's, in its order); throws
// std::logic_error when the model lists no measure of that name, never reaches past `values`.
inline MeasureValue& measureNamed(const ModelInfo& model, std::vector<MeasureValue>& values,
                                  std::string_view name) {
  const int at = model.findMeasure(name);
  if (at < 0) {
    throw std::logic_error(std::string(model.key) + " has no measure " + std::string(name));
  }
  return values.at(static_cast<std::size_t>(at));
}

}  // namespace polychain
