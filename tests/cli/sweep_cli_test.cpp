// Runs `polychain sweep`, and `polychain run` for its extended statistics, as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "runcommand.h"

namespace {

namespace fs = std::filesystem;

using clitest::polychain;
using clitest::readFile;
using Result = clitest::CommandResult;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SweepCli : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("polychain_sweep_cli_" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

TEST_F(SweepCli, RunShowsTheExtendedStatistics) {
  const Result text = polychain("run --steps 100 --iterations 20 --seed 42");
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_TRUE(contains(text.out, "Extended statistics over 20 chains")) << text.out;
  EXPECT_TRUE(contains(text.out, "sqrt(<Rg^2>)"));
  EXPECT_FALSE(contains(text.out, "trials"));  // counts only for the self-avoiding models

  const Result json = polychain("run --steps 100 --iterations 20 --seed 42 --json");
  ASSERT_EQ(json.code, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  const auto& e = j["extended"];
  EXPECT_EQ(e["chains"], 20);
  for (const char* key : {"rms_R", "R2", "mean_R", "rms_Rg", "Rg2", "ratio"}) {
    EXPECT_TRUE(e[key]["value"].is_number()) << key;
    EXPECT_GT(e[key]["se"].get<double>(), 0.0) << key;
  }
  EXPECT_DOUBLE_EQ(e["rms_R"]["value"].get<double>() * e["rms_R"]["value"].get<double>(),
                   e["R2"]["value"].get<double>());
  EXPECT_FALSE(e.contains("trials"));
  // The six specified results are untouched by the addition.
  EXPECT_EQ(j["results"].size(), 6U);

  // One chain: the errors cannot be estimated.
  const Result single = polychain("run --steps 10 --iterations 1 --seed 3");
  EXPECT_TRUE(contains(single.out, "+/- n/a")) << single.out;
  const auto one =
      nlohmann::json::parse(polychain("run --steps 10 --iterations 1 --seed 3 --json").out);
  EXPECT_TRUE(one["extended"]["rms_R"]["se"].is_null());
  EXPECT_TRUE(one["extended"]["ratio"]["se"].is_null());
}

TEST_F(SweepCli, SelfAvoidingRunsShowTheirTrialCounts) {
  const Result r = polychain("run --model saw --steps 50 --iterations 5 --seed 1 --json");
  if (r.code != 0 && contains(r.err, "not")) GTEST_SKIP() << r.err;
  ASSERT_EQ(r.code, 0) << r.err;
  const auto e = nlohmann::json::parse(r.out)["extended"];
  EXPECT_GE(e["trials"]["mean"].get<double>(), 50.0);
  EXPECT_GE(e["trials"]["max"].get<std::int64_t>(), 50);
  EXPECT_TRUE(e["discarded"]["max"].is_number_integer());
  EXPECT_TRUE(e["backups"]["mean"].is_number());
  EXPECT_TRUE(
      contains(polychain("run --model saw --steps 50 --iterations 5 --seed 1").out, "back-ups"));
  // A sweep whose chains pass --max-trials stops with exit code 3 and writes nothing.
  const fs::path csv = m_dir / "capped.csv";
  const Result capped = polychain(
      "sweep --model saw --steps 20,40 --iterations 3 --seed 1 "
      "--max-trials 5 --csv " +
      csv.string());
  EXPECT_EQ(capped.code, 3) << capped.err;
  EXPECT_TRUE(contains(capped.err, "N = 20")) << capped.err;
  EXPECT_TRUE(capped.out.empty());
  EXPECT_FALSE(fs::exists(csv));
}

TEST_F(SweepCli, SweepPrintsSeedsAndExponentAndWritesCsvAndPlot) {
  const fs::path csv = m_dir / "sweep.csv";
  const fs::path svg = m_dir / "sweep.svg";
  const Result r = polychain(
      "sweep --model meander --steps 50,100,200 --iterations 30 --seed 9 "
      "--csv " +
      csv.string() + " --plot " + svg.string());
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "sweep: meander, 30 chains per N, seed 9")) << r.out;
  EXPECT_TRUE(contains(r.out, "nu = "));
  EXPECT_TRUE(contains(r.out, "0.5876"));
  EXPECT_TRUE(contains(r.out, "wrote " + csv.string()));

  const std::string table = readFile(csv);
  EXPECT_EQ(table.rfind("N,seed,chains,R2,R2_se,rms_R,rms_R_se,", 0), 0U) << table;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);
  EXPECT_TRUE(contains(readFile(svg), "</svg>"));
  // Only the two files are left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);

  // Each N's seed is printed, and the CSV carries the same seeds.
  const auto j = nlohmann::json::parse(
      polychain("sweep --steps 50,100,200 --iterations 30 --seed 9 --json").out);
  ASSERT_EQ(j["points"].size(), 3U);
  for (const auto& point : j["points"]) {
    const std::string seed = std::to_string(point["seed"].get<std::uint64_t>());
    EXPECT_TRUE(contains(r.out, seed)) << seed;
    EXPECT_TRUE(
        contains(table, "\n" + std::to_string(point["steps"].get<int>()) + "," + seed + ",30,"));
    EXPECT_EQ(point["extended"]["chains"], 30);
  }
  EXPECT_NE(j["points"][0]["seed"], j["points"][1]["seed"]);
  EXPECT_EQ(j["seed"], 9);
  EXPECT_EQ(j["fit"]["method"], "weighted");
  EXPECT_EQ(j["fit"]["points"], 3);
  EXPECT_TRUE(j["fit"]["nu"].is_number());
  EXPECT_EQ(j["reference"]["ideal_chain"], 0.5);
  EXPECT_EQ(j["reference"]["self_avoiding_walk"], 0.5876);
}

TEST_F(SweepCli, SweepRepeatsOnAnyThreadCount) {
  const Result a = polychain("sweep --steps 30,60 --iterations 12 --seed 5 --json --threads 1");
  const Result b = polychain("sweep --steps 30,60 --iterations 12 --seed 5 --json --threads 2");
  ASSERT_EQ(a.code, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  // Without --seed the sweep seed comes from the clock and is reported.
  const auto clock =
      nlohmann::json::parse(polychain("sweep --steps 5,10 --iterations 2 --json").out);
  EXPECT_TRUE(clock["seed"].is_number_unsigned());
}

TEST_F(SweepCli, BadInputNamesTheOptionAndExitsWithTwo) {
  const std::pair<const char*, const char*> cases[] = {
      {"sweep --steps '' --iterations 10", "--steps"},
      {"sweep --steps 100,,200 --iterations 10", "--steps"},
      {"sweep --steps 100,abc --iterations 10", "--steps"},
      {"sweep --steps 0,100 --iterations 10", "--steps"},
      {"sweep --steps 100,-3 --iterations 10", "--steps"},
      {"sweep --steps 100 --iterations 10", "two different"},
      {"sweep --steps 100,200 --iterations 0", "Iterations"},
      {"sweep --steps 100,200 --iterations many", "--iterations"},
      {"sweep --steps 100,200", "--iterations"},
      {"sweep --iterations 10", "--steps"},
      {"sweep --model spiral --steps 100,200 --iterations 10", "--model"},
      {"sweep --model saw --avoid x --steps 100,200 --iterations 10", "--avoid"},
      {"sweep --model short-range --kuhn 0 --steps 100,200 --iterations 10", "Kuhn"},
      {"sweep --steps 100,200 --iterations 10 --seed 1.5", "--seed"},
      {"sweep --steps 100,200 --iterations 10 --threads 0", "--threads"},
      {"sweep --steps 100,200 --iterations 10 --gofr", "--gofr"},
  };
  for (const auto& [args, named] : cases) {
    const fs::path csv = m_dir / "never.csv";
    const Result r = polychain(std::string(args) + " --csv " + csv.string());
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, named)) << args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_FALSE(fs::exists(csv)) << args;
  }
  const Result unknown = polychain("sweeep --steps 1,2 --iterations 1");
  EXPECT_EQ(unknown.code, 2);
  EXPECT_TRUE(contains(unknown.err, "run, sweep")) << unknown.err;
}

TEST_F(SweepCli, UnwritableFilesAreAnErrorAfterTheResults) {
  const fs::path csv = m_dir / "missing-folder" / "s.csv";
  const fs::path svg = m_dir / "s.svg";
  const Result r = polychain("sweep --steps 5,10 --iterations 3 --seed 1 --csv " + csv.string() +
                             " --plot " + svg.string());
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "cannot write " + csv.string())) << r.err;
  EXPECT_TRUE(contains(r.out, "nu = "));  // the results were still printed
  EXPECT_TRUE(fs::exists(svg));           // and the other file written
  EXPECT_FALSE(fs::exists(m_dir / "missing-folder"));
}

}  // namespace
