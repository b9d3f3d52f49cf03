#include <stdexcept>
#include <string>
#include <utility>

#include "run/runner.h"

namespace polychain {

const ModelRunner& runnerOf(const ModelInfo& model) {
  // Every runner by the name a model's entry gives.
  static const std::pair<std::string_view, const ModelRunner*> kRunners[] = {
      {"grower", &growerRunner()},
      {"pivot", &pivotRunner()},
      {"melt", &meltRunner()},
      {"perm", &permRunner()},
  };
  for (const auto& [name, runner] : kRunners) {
    if (name == model.runner) return *runner;
  }
  throw std::logic_error("the model " + std::string(model.key) + " names the runner " +
                         std::string(model.runner) + ", which does not exist");
}

}  // namespace polychain
