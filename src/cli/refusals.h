// The refusals of outputs made before anything runs, so that a run never ends in a set of
// files of which only some could be written.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace polychain::cli {

// Throws InputError (exit 2) when two of `outputs` (option, path) would write one file, when
// one of them is the file standard output goes to, or when one cannot be written where it is
// (a folder, FIFO, device or socket in its place, a folder that does not exist or may not be
// written): the message names the option and the file.
void checkOutputs(const std::vector<std::pair<std::string, std::string>>& outputs);

}  // namespace polychain::cli
