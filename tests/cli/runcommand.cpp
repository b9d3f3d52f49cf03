#include "runcommand.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace clitest {

namespace fs = std::filesystem;

CommandResult polychain(const std::string& args) { return polychainAfter("", args); }

CommandResult polychainAfter(const std::string& setup, const std::string& args) {
  return shell(setup + " " + std::string(POLYCHAIN_EXE) + " " + args);
}

CommandResult shell(const std::string& command) {
  const fs::path errFile =
      fs::temp_directory_path() / ("polychain_err_" + std::to_string(::getpid()));
  CommandResult r;
  FILE* pipe = ::popen(("(" + command + ") 2>" + errFile.string()).c_str(), "r");
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    r.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = readFile(errFile);
  fs::remove(errFile);
  return r;
}

void ScratchDirTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "polychain-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "no scratch folder under " << pattern;
  m_dir = pattern;
}

void ScratchDirTest::TearDown() {
  if (!m_dir.empty()) fs::remove_all(m_dir);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace clitest
