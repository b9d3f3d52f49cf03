// Whole runs of the polychain command on the machine's two cores: one process with two
// threads against a team of two single-threaded processes under mpirun (its start-up
// included, and timed on its own with a run of one chain). The ratio is the team's speed as a
// share of the one process's.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ratioreporter.h"

namespace {

const char* const kCases[][2] = {
    {"FreeWalk", "run -N 1000 -I 4000000 --seed 1"},
    {"SelfAvoidingSweep", "sweep --model saw -N 100,200,400 -I 40000 --seed 2"},
    {"Start", "run -N 1 -I 1 --seed 4"},
    {"Pivot", "run --model pivot -N 100000 -I 4000 --walkers 8 --seed 3"},
    // One melt whose two slabs the processes share, sweep by sweep.
    {"Melt",
     "run --model melt -N 100 --chains 1000 --burn-in 2000 -I 20 --sweeps-per-sample 10 "
     "--seed 5"},
};

// Runs a shell command line with its output dropped; seconds of wall time.
double timed(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system((command + " > /dev/null").c_str());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
  return elapsed.count();
}

void BM_OneProcess(benchmark::State& state, const std::string& args) {
  for (auto _ : state) {
    state.SetIterationTime(timed(std::string(POLYCHAIN_EXE) + " " + args + " --threads 2"));
  }
}

void BM_Team(benchmark::State& state, const std::string& args) {
  for (auto _ : state) {
    state.SetIterationTime(timed(std::string(POLYCHAIN_MPIRUN) + " --allow-run-as-root -n 2 " +
                                 POLYCHAIN_EXE + " " + args + " --threads 1"));
  }
}

void printRatios(const RatioReporter& r) {
  const double* startOne = r.time("BM_OneProcess/Start");
  const double* startTeam = r.time("BM_Team/Start");
  const double start = startOne != nullptr && startTeam != nullptr ? *startTeam - *startOne : 0;
  std::printf(
      "\nTeam of 2 single-threaded processes, speed as a share of 1 process x 2 threads\n"
      "(then without mpirun's start and end, %.2f s):\n",
      start);
  for (const auto& c : kCases) {
    const double* one = r.time(std::string("BM_OneProcess/") + c[0]);
    const double* team = r.time(std::string("BM_Team/") + c[0]);
    if (one == nullptr || team == nullptr || std::string(c[0]) == "Start") continue;
    std::printf("  %-18s %5.2f  %5.2f  (%.2f s vs %.2f s)\n", c[0], *one / *team,
                *one / (*team - start), *one, *team);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const auto& c : kCases) {
    const std::string args = c[1];
    benchmark::RegisterBenchmark((std::string("BM_OneProcess/") + c[0]).c_str(), BM_OneProcess,
                                 args)
        ->UseManualTime()
        ->Unit(benchmark::kSecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark((std::string("BM_Team/") + c[0]).c_str(), BM_Team, args)
        ->UseManualTime()
        ->Unit(benchmark::kSecond)
        ->Iterations(3);
  }
  return runBenchmarksWithRatios(argc, argv, printRatios);
}
