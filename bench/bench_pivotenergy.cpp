// The pivot walk under an energy against the athermal walk: mean time per attempted pivot at
// the theta point (contact energy -0.269) and in the globule (-0.4), with and without four
// local moves (kink jumps and crankshafts in turn) after each pivot, each from a walk
// equilibrated under its energy (initialise, then 20 N attempts, at most 2 * 10^6). Ratios to
// the athermal attempt after the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "chain/pivot.h"
#include "ratioreporter.h"

namespace {

using polychain::PivotChange;
using polychain::PivotEnergy;
using polychain::PivotWalk;
using polychain::Point;
using polychain::RandomSource;

constexpr int kLocalMoves = 4;

// Energies by index: 0 athermal, 1 the theta point, 2 the globule.
PivotEnergy energyOf(std::int64_t index) {
  constexpr double kContact[] = {0.0, -0.269, -0.4};
  return PivotEnergy{.contact = kContact[index], .bend = 0.0};
}

const std::vector<Point>& startOf(std::int32_t steps, std::int64_t energy) {
  static std::map<std::tuple<std::int32_t, std::int64_t>, std::vector<Point>> starts;
  const auto key = std::tuple(steps, energy);
  auto found = starts.find(key);
  if (found != starts.end()) return found->second;
  PivotWalk walk(steps);
  RandomSource random(1);
  walk.initialise(random, [] { return true; });
  PivotChange change;
  for (std::int64_t t = 0; t < std::min<std::int64_t>(20 * std::int64_t{steps}, 2'000'000); ++t) {
    walk.attempt(random, energyOf(energy), change);
  }
  walk.sites(starts[key]);
  return starts[key];
}

// range(0): N; range(1): the energy's index; range(2): local moves after each pivot.
void BM_PivotEnergy(benchmark::State& state) {
  const auto steps = static_cast<std::int32_t>(state.range(0));
  const PivotEnergy energy = energyOf(state.range(1));
  const auto moves = static_cast<int>(state.range(2));
  PivotWalk walk(startOf(steps, state.range(1)));
  RandomSource random(3);
  PivotChange change;
  std::int64_t accepted = 0;
  for (auto _ : state) {
    accepted += walk.attempt(random, energy, change) ? 1 : 0;
    for (int k = 0; k < moves; ++k) {
      if (k % 2 == 0) {
        walk.kinkAttempt(random, energy, change);
      } else {
        walk.crankshaftAttempt(random, energy, change);
      }
    }
  }
  state.counters["acceptance"] =
      static_cast<double>(accepted) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_PivotEnergy)
    ->ArgsProduct({{1000, 100000}, {0, 1, 2}, {0}})
    ->ArgsProduct({{1000, 100000}, {1, 2}, {kLocalMoves}})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5);

std::string name(long steps, int energy, int moves) {
  return "BM_PivotEnergy/" + std::to_string(steps) + "/" + std::to_string(energy) + "/" +
         std::to_string(moves);
}

void printRatios(const RatioReporter& r) {
  std::printf(
      "\nUnder an energy / athermal, time per attempted pivot (target <= 4 without "
      "local moves at the theta point):\n");
  for (const long steps : {1000L, 100000L}) {
    const double* plain = r.time(name(steps, 0, 0));
    if (plain == nullptr) continue;
    for (const int energy : {1, 2}) {
      for (const int moves : {0, kLocalMoves}) {
        const double* t = r.time(name(steps, energy, moves));
        if (t == nullptr) continue;
        std::printf("  N=%-7ld E=%-6.3g local=%d %6.2f  (%.4g us vs %.4g us)\n", steps,
                    energyOf(energy).contact, moves, *t / *plain, *t, *plain);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithRatios(argc, argv, printRatios); }
