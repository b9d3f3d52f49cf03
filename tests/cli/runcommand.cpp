#include "runcommand.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

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

namespace {

// The threads process `pid` runs, from /proc; 0 once it has gone.
int threadsOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  }
  return 0;
}

}  // namespace

SignalledResult signalDuringRun(const std::string& args, const std::vector<int>& signals) {
  std::vector<std::string> words{POLYCHAIN_EXE};
  std::istringstream split(args);
  for (std::string word; split >> word;) words.push_back(word);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const fs::path outFile =
      fs::temp_directory_path() / ("polychain_out_" + std::to_string(::getpid()));
  SignalledResult r;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  // The run has begun once the command has more than one thread: its handlers are in place
  // long before, as the first thing it does.
  for (int i = 0; i < 2000 && threadsOf(pid) == 1; ++i) ::usleep(10'000);
  for (const int signal : signals) ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exited = WIFEXITED(status);
  r.code = r.exited ? WEXITSTATUS(status) : -1;
  r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  r.out = readFile(outFile);
  fs::remove(outFile);
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
