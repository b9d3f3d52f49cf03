// Runs the polychain command as a user would and checks what it prints, writes and returns.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "runcommand.h"

namespace {

namespace fs = std::filesystem;

using clitest::polychain;
using clitest::readFile;
using Result = clitest::CommandResult;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("polychain_cli_" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

TEST_F(Cli, RunPrintsTheSixResultsAndTheSeed) {
  const Result r = polychain("run --model meander --steps 100 --iterations 10 --seed 42");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* caption :
       {"Calculated", "Theoretical", "<R>", "Sqr<R^2>", "Rg", "lp", "seed 42"}) {
    EXPECT_NE(r.out.find(caption), std::string::npos) << caption << "\n" << r.out;
  }
  EXPECT_NE(r.out.find("10 "), std::string::npos);  // theoretical Sqr<R^2> of N = 100
}

TEST_F(Cli, JsonHoldsTheWindowTextsAndRepeatsForTheSameSeed) {
  const Result a = polychain("run --steps 200 --iterations 5 --seed 7 --json --threads 1");
  const Result b = polychain("run --steps 200 --iterations 5 --seed 7 --json --threads 2");
  ASSERT_EQ(a.code, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  const auto j = nlohmann::json::parse(a.out);
  EXPECT_EQ(j["model"], "meander");
  EXPECT_EQ(j["seed"], 7);
  EXPECT_EQ(j["steps"], 200);
  EXPECT_EQ(j["iterations"], 5);
  for (const char* key : {"eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt"}) {
    EXPECT_TRUE(j["results"][key].is_string()) << key;
  }
  EXPECT_EQ(j["results"]["TR"], "0");
  // Without --seed the seed comes from the clock and is reported.
  const auto clock = nlohmann::json::parse(polychain("run --steps 5 --iterations 1 --json").out);
  EXPECT_TRUE(clock["seed"].is_number_unsigned());
}

TEST_F(Cli, ExportWritesTheChainTextWithTheExtensionAppended) {
  const fs::path name = m_dir / "run1.txt";
  const Result r = polychain("run --steps 1000 --iterations 3 --seed 42 --export " + name.string());
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string text = readFile(m_dir / "run1.txt.cdat");
  EXPECT_EQ(text.rfind("Meander\nIterations:,3,R:,", 0), 0U);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8 + 1000 + 1);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_FALSE(fs::exists(name));
  // Nothing but the export itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(Cli, UnwritableExportIsAnErrorAndLeavesNoFile) {
  const fs::path name = m_dir / "missing-folder" / "run";
  const Result r = polychain("run --steps 10 --iterations 1 --seed 1 --export " + name.string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("run.cdat"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(m_dir / "missing-folder"));

  if (::geteuid() != 0) {  // root writes anywhere
    const fs::path locked = m_dir / "locked";
    fs::create_directories(locked);
    std::ofstream(locked / "old.cdat") << "keep me";
    ::chmod(locked.c_str(), 0555);
    EXPECT_EQ(polychain("run --steps 10 --iterations 1 --export " + (locked / "old").string()).code,
              1);
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(readFile(locked / "old.cdat"), "keep me");
  }
}

TEST_F(Cli, BadInputNamesTheOptionAndExitsWithTwo) {
  const std::pair<const char*, const char*> cases[] = {
      {"run --steps abc --iterations 1", "--steps"},
      {"run --steps 10 --iterations ''", "--iterations"},
      {"run --steps 0 --iterations 1", "Steps (N)"},
      {"run --steps 10 --iterations 0", "Iterations"},
      {"run --steps 10 --iterations 1e12", "--iterations"},
      {"run --model short-range --kuhn 0 --steps 10 --iterations 1", "Kuhn"},
      {"run --model saw --avoid x --steps 10 --iterations 1", "--avoid"},
      {"run --model spiral --steps 10 --iterations 1", "--model"},
      {"run --steps 10", "--iterations"},
      {"run --steps 10 --iterations 1 --threads 0", "--threads"},
      {"run --steps 10 --iterations 1 --seed -4", "--seed"},
      {"walk", "walk"},
  };
  for (const auto& [args, named] : cases) {
    const fs::path name = m_dir / "never";
    const Result r = polychain(std::string(args) + " --export " + name.string());
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_NE(r.err.find(named), std::string::npos) << args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_FALSE(fs::exists(m_dir / "never.cdat")) << args;
  }
}

TEST_F(Cli, NumbersFollowTheWindowsRounding) {
  // "2.5" iterations grows 2 chains, as the window would.
  const auto j =
      nlohmann::json::parse(polychain("run --steps 3 --iterations 2.5 --seed 1 --json").out);
  EXPECT_EQ(j["iterations"], 2);
  // The free walk does not read --avoid or --kuhn.
  EXPECT_EQ(polychain("run --steps 3 --iterations 1 --kuhn 0 --avoid x").code, 0);
}

}  // namespace
