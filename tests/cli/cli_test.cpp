// Runs the polychain command as a user would and checks what it prints, writes and returns.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <vector>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "runcommand.h"

namespace {

namespace fs = std::filesystem;

using clitest::polychain;
using clitest::polychainAfter;
using clitest::readFile;
using Result = clitest::CommandResult;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Cli : public clitest::ScratchDirTest {
 protected:
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  }
};

TEST_F(Cli, RunPrintsTheResultsAndJsonRepeatsForTheSameSeed) {
  const Result text = polychain("run --model meander --steps 100 --iterations 20 --seed 42");
  ASSERT_EQ(text.code, 0) << text.err;
  for (const char* part : {"Calculated", "Theoretical", "<R>", "Sqr<R^2>", "Rg", "lp", "seed 42",
                           "Extended statistics over 20 chains", "sqrt(<Rg^2>)"}) {
    EXPECT_TRUE(contains(text.out, part)) << part << "\n" << text.out;
  }
  EXPECT_FALSE(contains(text.out, "trials"));  // counts only for the self-avoiding models

  const Result a = polychain("run --steps 200 --iterations 5 --seed 7 --gofr --json --threads 1");
  const Result b = polychain("run --steps 200 --iterations 5 --seed 7 --gofr --json --threads 2");
  ASSERT_EQ(a.code, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  const auto j = nlohmann::json::parse(a.out);
  EXPECT_EQ(j["model"], "meander");
  EXPECT_EQ(j["seed"], 7);
  EXPECT_EQ(j["steps"], 200);
  for (const char* key : {"eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt"}) {
    EXPECT_TRUE(j["results"][key].is_string()) << key;
  }
  EXPECT_EQ(j["gofr"][0], nlohmann::json::array({0, 1.0}));
  EXPECT_EQ(j["gofq"].size(), j["gofr"].size() / 2 + 1);
  const auto& e = j["extended"];
  EXPECT_EQ(e["chains"], 5);
  EXPECT_GT(e["rms_Rg"]["se"].get<double>(), 0.0);
  // One chain: the errors cannot be estimated; without --seed the clock's seed is reported.
  const auto one = nlohmann::json::parse(polychain("run --steps 10 --iterations 1 --json").out);
  EXPECT_TRUE(one["extended"]["rms_R"]["se"].is_null());
  EXPECT_TRUE(one["seed"].is_number_unsigned());
  // "2.5" iterations grows 2 chains, as the window would; the free walk reads no --kuhn.
  EXPECT_EQ(
      nlohmann::json::parse(
          polychain("run --steps 3 --iterations 2.5 --kuhn 0 --seed 1 --json").out)["iterations"],
      2);
}

TEST_F(Cli, SelfAvoidingRunsShowTheirTrialCountsAndStopAtTheCap) {
  const Result r =
      polychain("run --model saw --steps 50 --iterations 5 --seed 1 --max-trials 1e6 --json");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto e = nlohmann::json::parse(r.out)["extended"];
  EXPECT_GE(e["trials"]["mean"].get<double>(), 50.0);
  EXPECT_TRUE(e["backups"]["max"].is_number_integer());
  const fs::path csv = m_dir / "capped.csv";
  const Result capped =
      polychain("sweep --model saw --steps 20,40 --iterations 3 --seed 1 --max-trials 5 --csv " +
                csv.string());
  EXPECT_EQ(capped.code, 3) << capped.err;
  EXPECT_TRUE(contains(capped.err, "N = 20")) << capped.err;
  EXPECT_TRUE(capped.out.empty());
  EXPECT_FALSE(fs::exists(csv));
}

TEST_F(Cli, ExportWritesTheChainTextWithTheExtensionAppended) {
  const fs::path name = m_dir / "run1.txt";
  const Result r = polychain("run --steps 1000 --iterations 3 --seed 42 --export " + name.string());
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string text = readFile(m_dir / "run1.txt.cdat");
  EXPECT_EQ(text.rfind("Meander\nIterations:,3,R:,", 0), 0U);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8 + 1000 + 1);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(entries(), 1U);  // nothing but the export itself
}

TEST_F(Cli, SweepPrintsSeedsAndExponentAndWritesCsvAndPlot) {
  const fs::path csv = m_dir / "sweep.csv";
  const fs::path svg = m_dir / "sweep.svg";
  const std::string args = "sweep --model meander --steps 50,100,200 --iterations 30 --seed 9";
  const Result r = polychain(args + " --csv " + csv.string() + " --plot " + svg.string());
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "sweep: meander, 30 chains per N, seed 9")) << r.out;
  EXPECT_TRUE(contains(r.out, "nu = "));
  EXPECT_TRUE(contains(r.out, "wrote " + csv.string()));
  const std::string table = readFile(csv);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);
  EXPECT_TRUE(contains(readFile(svg), "</svg>"));
  EXPECT_EQ(entries(), 2U);

  // Each N's seed is printed, and the CSV carries the same seeds; any thread count.
  const Result json = polychain(args + " --json --threads 1");
  EXPECT_EQ(json.out, polychain(args + " --json --threads 2").out);
  const auto j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["points"].size(), 3U);
  for (const auto& point : j["points"]) {
    const std::string seed = std::to_string(point["seed"].get<std::uint64_t>());
    EXPECT_TRUE(contains(r.out, seed)) << seed;
    EXPECT_TRUE(
        contains(table, "\n" + std::to_string(point["steps"].get<int>()) + "," + seed + ",30,"));
  }
  EXPECT_EQ(j["fit"]["method"], "weighted");
  EXPECT_EQ(j["reference"]["self_avoiding_walk"], 0.5876);
}

// SplitMix64's next output, written out here so that the seeds are checked against the
// generator itself and not against the code that derives them.
std::uint64_t nextSplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

TEST_F(Cli, SweepOverAnEnergyIsOneSweepPerValueFromSeedsThatFollowOn) {
  const std::string args =
      "sweep --model pivot --steps 20,40,80 --budget 3000 --threads 1 --contact-energy ";
  const Result r = polychain(args + "-0.3,0.2 --json --seed 5");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["varied"], "contact_energy");
  ASSERT_EQ(j["series"].size(), 2U);
  std::uint64_t state = 5;  // the (value, N) runs take the sweep seed's outputs in turn
  for (const double value : {-0.3, 0.2}) {
    nlohmann::json one = j["series"][value < 0 ? 0 : 1];
    EXPECT_EQ(one["contact_energy"], value);
    for (const auto& point : one["points"]) EXPECT_EQ(point["seed"], nextSplitMix(state));
    // The curve: <R^2>/N at each N, nu_eff between neighbours.
    const auto& curve = one["curve"];
    ASSERT_EQ(curve["R2_per_N"].size(), 3U);
    ASSERT_EQ(curve["nu_eff"].size(), 2U);
    const double r2 = one["points"][1]["extended"]["R2"]["value"];
    EXPECT_DOUBLE_EQ(curve["R2_per_N"][1].get<double>(), r2 / 40);
    const double r2Next = one["points"][2]["extended"]["R2"]["value"];
    EXPECT_NEAR(curve["nu_eff"][1].get<double>(), std::log(r2Next / r2) / (2 * std::log(2.0)),
                1e-12);
    // The rest is, byte for byte, the sweep of this value alone from the value's seed.
    one.erase("curve");
    const std::string alone = args + (value < 0 ? "-0.3" : "0.2") + " --json --seed " +
                              std::to_string(one["seed"].get<std::uint64_t>());
    EXPECT_EQ(one.dump(2) + "\n", polychain(alone).out) << alone;
  }
  EXPECT_EQ(j["series"][0]["seed"], 5);  // the first value's sweep is today's sweep

  const fs::path csv = m_dir / "energies.csv";
  const Result text = polychain(args + "-0.3,0.2 --seed 5 --csv " + csv.string());
  ASSERT_EQ(text.code, 0) << text.err;
  for (const char* part : {"contact_energy = -0.3\n", "contact_energy = 0.2\n", "nu_eff"}) {
    EXPECT_TRUE(contains(text.out, part)) << part << "\n" << text.out;
  }
  const std::string table = readFile(csv);
  EXPECT_EQ(table.rfind("contact_energy,N,seed,chains,R2,", 0), 0U) << table;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 2 * 3);
  EXPECT_TRUE(contains(table, "\n0.2,80,")) << table;
}

TEST_F(Cli, BadInputNamesTheOptionExitsWithTwoAndWritesNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"run --steps abc --iterations 1", "--steps"},
      {"run --steps 10 --iterations ''", "--iterations"},
      {"run --steps 0 --iterations 1", "--steps"},
      {"run --steps 10 --iterations 0", "--iterations"},
      {"run --steps 10 --iterations 1e12", "--iterations"},
      {"run --model short-range --kuhn 0 --steps 10 --iterations 1", "--kuhn must not be 0"},
      {"run --model saw --avoid x --steps 10 --iterations 1", "--avoid"},
      {"run --model spiral --steps 10 --iterations 1", "--model"},
      {"run --steps 10", "--iterations"},
      {"run --steps 10 --iterations 1 --threads 0", "--threads"},
      {"run --steps 10 --iterations 1 --threads 1025", "--threads"},
      {"run --steps 10 --iterations 1 --threads 0x10", "--threads"},
      {"run --steps 10 --iterations 1 --max-trials 1e19", "--max-trials"},
      {"run --steps 10 --iterations 1 --export ''", "--export"},
      {"run --steps 10 --iterations 1 --export somewhere/", "--export"},
      {"run --model pivot --steps 10 --iterations 1 --pivots-per-sample 0", "--pivots-per-sample"},
      {"run --model pivot --steps 10 --iterations 1 --walkers 0", "--walkers"},
      {"run --model pivot --steps 70000000 --iterations 1", "1 to 67108862"},
      {"sweep --model short-range --kuhn 1000000 --steps 2,3000 --iterations 1",
       "--kuhn 1000000 is too long"},
      {"run --steps 10 --iterations 1 --seed -4", "--seed"},
      {"sweep --steps 100,,200 --iterations 10", "--steps"},
      {"sweep --steps 0,100 --iterations 10", "--steps"},
      {"sweep --steps 100 --iterations 10", "two different"},
      {"sweep --steps 100,200 --iterations many", "--iterations"},
      {"sweep --iterations 10", "--steps"},
      {"sweep --steps 100,200 --iterations 10 --seed x", "--seed"},
      {"sweep --steps 100,200 --iterations 10 --gofr", "--gofr"},
      {"sweep --model saw --steps 100,200", "--iterations"},
      {"sweep --model pivot --steps 100,200 --iterations 10 --budget 5000", "not both"},
      {"sweep --model pivot --steps 100,200 --budget 0", "--budget"},
      {"sweep --model pivot --steps 100,200 --correction-exponent -1", "--correction-exponent"},
      {"sweep --model pivot --steps 100,200 --contact-energy -0.2,x", "--contact-energy"},
      {"sweep --model pivot --steps 100,200 --walkers 2,4", "--walkers takes one value"},
      {"sweep --model pivot --steps 10,20 --contact-energy 0,1 --bend-energy 0,1", "one setting"},
      {"walk", "run, sweep"},
  };
  for (const auto& [args, named] : cases) {
    const fs::path name = m_dir / "never";
    const bool sweep = std::string(args).rfind("sweep", 0) == 0;
    const Result r =
        polychain(std::string(args) + (sweep ? " --csv " : " --export ") + name.string());
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, named)) << args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_EQ(entries(), 0U) << args;
  }
}

// A pivot sweep by budget: each N's samples fill its attempts, the corrected fits and the
// ratio's limit are printed and in the JSON, the same bytes on any thread count.
TEST_F(Cli, PivotSweepByBudgetFitsTheCorrectionToScaling) {
  const std::string args = "sweep --model pivot --steps 100,200,400,800 --budget 200000 --seed 4";
  const Result r = polychain(args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "budget 200000 attempted pivots for N = 1000")) << r.out;
  EXPECT_TRUE(contains(r.out, "(corrected: <R^2> = A N^(2 nu) (1 + b N^-0.528), N >= 100"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "<Rg^2>/<R^2> -> ")) << r.out;
  const Result json = polychain(args + " --json --threads 1 --correction-exponent 0.5");
  EXPECT_EQ(json.out, polychain(args + " --json --threads 2 --correction-exponent 0.5").out);
  const auto j = nlohmann::json::parse(json.out);
  EXPECT_EQ(j["budget"], 200000);
  EXPECT_TRUE(j["iterations"].is_null());
  EXPECT_EQ(j["corrected_fit"]["R2"]["delta"], 0.5);
  EXPECT_GT(j["corrected_fit"]["R2"]["nu_se"].get<double>(), 0.0);
  EXPECT_FALSE(j["ratio_limit"].is_null());
  for (const auto& point : j["points"]) {
    const auto steps = point["steps"].get<std::int64_t>();
    // The budget less the eight walkers' burn-in of 10000, in whole samples of 1000 attempts.
    const auto attempts =
        std::llround(200000 * std::pow(1000.0 / static_cast<double>(steps), 0.17));
    EXPECT_EQ(point["pivot"]["measured"].get<std::int64_t>(), (attempts - 80000) / 1000 * 1000)
        << steps;
    EXPECT_EQ(point["pivot"]["attempts"].get<std::int64_t>(),
              point["pivot"]["measured"].get<std::int64_t>() + 80000);
  }
}

// Every target is checked before anything runs: one that cannot be written is refused with
// the option that names it, and nothing is printed or written.
TEST_F(Cli, UnwritableTargetsAreRefusedBeforeAnythingRuns) {
  const fs::path missing = m_dir / "missing-folder" / "run";
  Result r = polychain("run --steps 10 --iterations 1 --seed 1 --export " + missing.string());
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(contains(
      r.err, "--export cannot write \"" + missing.string() + ".cdat\": No such file or directory"))
      << r.err;
  const fs::path svg = m_dir / "s.svg";
  r = polychain("sweep --steps 5,10 --iterations 3 --seed 1 --csv " + missing.string() +
                " --plot " + svg.string());
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(contains(r.err, "--csv cannot write")) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(entries(), 0U);
}

// Signals stop a run with exit 130 and leave no file and no temporary behind; a run too big
// for the memory it may take is refused before it starts; standard output that cannot be
// written, and targets that are not regular files, are errors.
TEST_F(Cli, EndsWellOnSignalsLimitsAndOddTargets) {
  // A handled signal ends the process with a normal exit of 130; one left to its default
  // action would kill it (which a shell reports as 130 too).
  const std::string exportTo = " --export " + (m_dir / "run").string();
  const std::string longRun = "run --steps 1000000 --iterations 2000 --threads 2" + exportTo;
  for (const auto& signals : {std::vector<int>{SIGINT}, std::vector<int>{SIGINT, SIGINT},
                              std::vector<int>{SIGTERM}, std::vector<int>{SIGHUP}}) {
    const clitest::SignalledResult r = clitest::signalDuringRun(longRun, signals);
    EXPECT_TRUE(r.exited) << "killed by signal " << r.signal << " after " << signals.size();
    EXPECT_EQ(r.code, 130) << signals.front();
    EXPECT_TRUE(r.out.empty()) << signals.front();
    EXPECT_EQ(entries(), 0U) << signals.front();
  }
  // Short chains too: the cancel is not counted per chain.
  const clitest::SignalledResult shortChains = clitest::signalDuringRun(
      "run --steps 10 --iterations 2000000000 --threads 2" + exportTo, {SIGINT});
  EXPECT_TRUE(shortChains.exited && shortChains.code == 130) << shortChains.signal;

  const Result big = polychainAfter("ulimit -v 2000000;", "run --steps 1000000000 --iterations 1");
  EXPECT_EQ(big.code, 2) << big.err;
  EXPECT_TRUE(contains(big.err, "Steps (N) = 1000000000 needs about")) << big.err;

  EXPECT_EQ(polychain("run --steps 10 --iterations 1 > /dev/full").code, 1);
  const fs::path fifo = m_dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Result toFifo = polychain("sweep --steps 5,10 --iterations 2 --csv " + fifo.string());
  EXPECT_EQ(toFifo.code, 2);
  EXPECT_TRUE(contains(toFifo.err, "not a regular file")) << toFifo.err;
  EXPECT_TRUE(fs::is_fifo(fifo));

  // The largest cap is no cap; a small regrowing limit frees a chain its zone traps.
  const Result regrown = polychain(
      "run --model saw --avoid 3 --steps 50 --iterations 2 --seed 1 --max-trials "
      "9223372036854775807 --restart-trapped 5000 --json");
  ASSERT_EQ(regrown.code, 0) << regrown.err;
  EXPECT_GT(nlohmann::json::parse(regrown.out)["extended"]["restarts"].get<int>(), 0);
}

}  // namespace
