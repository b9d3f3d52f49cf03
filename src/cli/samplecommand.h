// `polychain sample`: many chains of one model placed in one periodic box and written as the
// files simulation engines and molecular viewers read (the formats of placed chains in the
// format table).
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/options.h"
#include "polychain/team.h"

namespace polychain::cli {

struct SampleOptions {
  ModelOptions model;  // its iterations are set from chains
  std::string steps;
  std::string chains;
  std::string bondLength = "1";
  std::string box;
  std::vector<std::string> formats;  // repeated or comma-separated keys
  std::string exportName;
};

// Adds the "sample" subcommand, filling `options` when it is parsed.
CLI::App* addSampleCommand(CLI::App& app, SampleOptions& options);

// Samples, places and writes as parsed on `command`; returns the exit code: 0, 1 when a file
// could not be written, 2 for bad input (a box too full included), 3 when a chain passed
// --max-trials, 4 when memory ran out, 130 when cancelled. On a team of processes the leader
// does the whole work alone.
int sampleCommand(Team& team, const CLI::App& command, const SampleOptions& options);

}  // namespace polychain::cli
