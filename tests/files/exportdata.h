// What the export tests write: a small finished run with g(r), and the ticks of the dialog.
#pragma once

#include <string>
#include <string_view>

#include "polychain/export.h"

namespace polychain::testing {

// A free walk of 4 steps, 2 chains, seed 1, with g(r) and g(q).
inline ExportData filledData() {
  RunParams params;
  params.steps = 4;
  params.iterations = 2;
  params.seed = 1;
  params.calcParCF = true;
  RunObserver quiet;
  ExportData data;
  data.params = params;
  auto run = std::make_shared<RunResult>(runSimulation(params, quiet));
  data.correlation = std::make_shared<const Correlation>(*run->correlation);
  data.run = std::move(run);
  return data;
}

// The text the format `key` writes from `data`.
inline std::string textOf(const ExportData& data, std::string_view key) {
  return findFormat(key)->writer->writeString(data, 1);
}

// The dialog's three boxes, as the formats they stand for.
inline ExportChoice ticks(bool chain, bool gofr, bool gofq) {
  ExportChoice choice;
  if (chain) choice.push_back(findFormat("cdat"));
  if (gofr) choice.push_back(findFormat("gor"));
  if (gofq) choice.push_back(findFormat("goq"));
  return choice;
}

}  // namespace polychain::testing
