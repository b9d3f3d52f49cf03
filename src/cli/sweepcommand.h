// `polychain sweep`: one run per chain length, the size exponent fitted over them, and the
// table, CSV and SVG plot of the result.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/options.h"
#include "polychain/team.h"

namespace polychain::cli {

struct SweepOptions {
  ModelOptions model;
  std::string steps;
  std::string csvPath;
  std::string plotPath;
  std::string budget;              // pivot: attempted pivots for N = 1000
  std::string correctionExponent;  // Delta1 of the corrected fits
  bool json = false;
};

// Adds the "sweep" subcommand, filling `options` when it is parsed.
CLI::App* addSweepCommand(CLI::App& app, SweepOptions& options);

// Runs the sweep parsed on `command`; returns the exit code: 0, 1 when a file could not be
// written, 2 for bad input, 3 when a chain passed --max-trials, 4 when memory ran out, 130 when
// cancelled.
int sweepCommand(Team& team, const CLI::App& command, const SweepOptions& options);

}  // namespace polychain::cli
