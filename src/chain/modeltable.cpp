#include "polychain/model.h"

#include <string>

#include "polychain/inputerror.h"

namespace polychain {

namespace {

template <std::size_t... I>
std::array<const ModelInfo*, kModelCount> collect(std::index_sequence<I...>) {
  return {&modelInfo(std::variant_alternative_t<I, ModelSettings>{})...};
}

}  // namespace

void requireAtLeastOne(std::int64_t value, std::string_view field) {
  if (value < 1) {
    throw InputError(std::string(field) + " must be a whole number of at least 1; " +
                     std::to_string(value) + " is too small.");
  }
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

}  // namespace polychain
