// The options the commands share and the one rule for reading them: every value through the
// core's parameter reader, and no option given with an empty (or blank) value.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "polychain/params.h"

namespace polychain::cli {

// The options of `run`, `sweep` and `sample` that say what to grow, as typed.
struct ModelOptions {
  std::string model = "meander";
  std::string iterations;
  std::map<std::string, std::string, std::less<>> settings;  // by option, as typed
  std::string seed;
  std::string threads;
  std::string maxTrials;
  std::string restartTrapped;
};

// Adds those options to `command`: the model settings of every model of the table (an option
// that several models share once, with each model's help), but those named in `own`, which
// the command reads itself.
void addModelOptions(CLI::App& command, ModelOptions& options,
                     const std::vector<std::string>& own = {});

// Reads them into `params` (all but steps), by the one parameter reader. Throws InputError
// naming the option.
void readModelOptions(const ModelOptions& options, RunParams& params);

// Throws InputError when any option given on `command` has an empty or blank value, naming
// the option and what it takes.
void refuseEmptyValues(const CLI::App& command);

}  // namespace polychain::cli
