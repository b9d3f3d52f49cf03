// Runs the polychain command as a user would, capturing what it prints and returns.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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

// How a command ended that was sent signals while it ran: its exit code when it exited, or
// the signal that killed it.
struct SignalledResult {
  bool exited = false;
  int code = -1;    // when exited
  int signal = 0;   // when killed by a signal
  std::string out;  // what it printed
};

// Starts `polychain <args>` (split at blanks, no shell), waits until its run has begun (its
// worker threads exist; at most 20 s), sends `signals` one after the other, and waits for it.
SignalledResult signalDuringRun(const std::string& args, const std::vector<int>& signals);

// A test with a fresh folder of its own for the files it writes, removed after it.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& name) const { return (m_dir / name).string(); }
  std::filesystem::path m_dir;
};

}  // namespace clitest
