// `polychain sweep`: one run per chain length, the size exponent fitted over them, and the
// table, CSV and SVG plot of the result.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace polychain::cli {

struct SweepOptions {
  std::string model = "meander";
  std::string steps;
  std::string iterations;
  std::string avoid = "1";
  std::string kuhn = "1";
  std::string seed;
  int threads = 0;
  std::int64_t maxTrials = 0;
  std::string csvPath;
  std::string plotPath;
  bool json = false;
};

// Adds the "sweep" subcommand, filling `options` when it is parsed.
CLI::App* addSweepCommand(CLI::App& app, SweepOptions& options);

// Runs the sweep; returns the exit code: 0, 1 when a file could not be written, 2 for bad
// input, 3 when a chain passed --max-trials, 130 when cancelled.
int sweepCommand(const SweepOptions& options);

}  // namespace polychain::cli
