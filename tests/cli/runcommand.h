// Runs the polychain command as a user would, capturing what it prints and returns.
#pragma once

#include <filesystem>
#include <string>

namespace clitest {

struct CommandResult {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs `polychain <args>` through the shell (so `args` may quote and redirect).
CommandResult polychain(const std::string& args);

// The same after the shell commands `setup` (such as a ulimit).
CommandResult polychainAfter(const std::string& setup, const std::string& args);

// Runs a shell command line.
CommandResult shell(const std::string& command);

std::string readFile(const std::filesystem::path& path);

}  // namespace clitest
