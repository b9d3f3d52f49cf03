// The command started by mpirun as a team of processes: the very bytes of one process, one
// exit code on every rank, and signals that end it as they end one process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runcommand.h"

#ifdef POLYCHAIN_MPIRUN

namespace {

namespace fs = std::filesystem;

using clitest::polychain;
using clitest::readFile;
using clitest::shell;

std::string onTeam(int ranks, const std::string& args) {
  return std::string(POLYCHAIN_MPIRUN) + " --allow-run-as-root --oversubscribe -n " +
         std::to_string(ranks) + " " + POLYCHAIN_EXE + " " + args;
}

using Team = clitest::ScratchDirTest;

// Every model, a run with g(r) and a sweep: what a team of one, two or three processes prints
// and writes is what one process started alone prints and writes.
TEST_F(Team, GivesTheBytesOfOneProcess) {
  struct Case {
    std::string args;
    std::string files;  // the output options, with NAME for the file name
  };
  const Case cases[] = {
      {"run -N 300 -I 700 --seed 3 --gofr", "--export NAME"},
      {"run --model saw -N 60 -I 500 --seed 4 --threads 2", "--export NAME"},
      {"run --model short-range --kuhn 3 -N 40 -I 90 --seed 5", "--export NAME"},
      {"run --model pivot -N 200 -I 30 --walkers 5 --pivots-per-sample 50 --seed 6",
       "--export NAME"},
      {"run --model melt -N 10 --chains 5000 --box 48 --walls z --burn-in 6 -I 4 "
       "--sweeps-per-sample 1 --seed 9",
       "--export NAME"},
      {"sweep --model saw -N 10,20,40 -I 300 --seed 7", "--csv NAME.csv --plot NAME.svg"},
      {"sweep --model pivot -N 100,200,400,800 --budget 100000 --walkers 3 --seed 8",
       "--csv NAME.csv"},
  };
  for (const Case& c : cases) {
    const auto outputs = [&](const std::string& name) {
      std::string files = c.files;
      for (auto at = files.find("NAME"); at != std::string::npos; at = files.find("NAME")) {
        files.replace(at, 4, path(name));
      }
      return c.args + " --json " + files;
    };
    const auto one = polychain(outputs("one"));
    ASSERT_EQ(one.code, 0) << c.args << "\n" << one.err;
    for (const int ranks : {1, 2, 3}) {
      const std::string name = "team" + std::to_string(ranks);
      const auto r = shell(onTeam(ranks, outputs(name)));
      ASSERT_EQ(r.code, 0) << c.args << " on " << ranks << "\n" << r.err;
      EXPECT_EQ(r.out, one.out) << c.args << " on " << ranks;
      for (const char* ext : {".cdat", ".gor", ".goq", ".csv", ".svg"}) {
        if (!fs::exists(path("one") + ext)) continue;
        EXPECT_EQ(readFile(path(name) + ext), readFile(path("one") + ext))
            << c.args << " on " << ranks << ": " << ext;
      }
    }
  }
}

// Bad input is told once; a run too big for the memory of the ranks is refused by each;
// a chain past the trial cap on any rank, and Ctrl-C at the ranks, end every rank with the
// exit code of one process, and nothing is written.
TEST_F(Team, EndsEveryRankWithOneCode) {
  const auto bad = shell(onTeam(2, "run -N 0"));
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err.find("polychain: --steps"), bad.err.rfind("polychain: --steps")) << bad.err;

  const auto big =
      shell("ulimit -v 4000000; " + onTeam(2, "run --steps 1000000000 --iterations 1"));
  EXPECT_EQ(big.code, 2) << big.err;
  EXPECT_NE(big.err.find("rank 1: Steps (N) = 1000000000 needs about"), std::string::npos)
      << big.err;

  const auto capped =
      shell(onTeam(3, "run --model saw --avoid 2 -N 60 -I 200 --seed 1 --max-trials 50"));
  EXPECT_EQ(capped.code, 3) << capped.err;
  EXPECT_NE(capped.err.find("passed the limit of 50 trials"), std::string::npos) << capped.err;
  EXPECT_TRUE(capped.out.empty());

  // Ctrl-C once both ranks grow their chains (each has its thread named team-grower; at most
  // 20 s).
  const auto cancelled =
      shell(onTeam(2, "run -N 1000 -I 100000000 --export " + path("run")) +
            " & team=$!; for i in $(seq 2000); do n=0; for p in $(pgrep -P $team); do"
            " grep -qsx team-grower /proc/$p/task/*/comm && n=$((n + 1)); done;"
            " [ $n -ge 2 ] && break; sleep 0.01; done; pkill -INT -P $team; wait $team");
  EXPECT_EQ(cancelled.code, 130) << cancelled.err;
  EXPECT_NE(cancelled.err.find("The run was cancelled."), std::string::npos) << cancelled.err;
  EXPECT_TRUE(fs::is_empty(m_dir));
}

}  // namespace

#endif
