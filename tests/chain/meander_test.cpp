#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "chain/numtext.h"
#include "chain/run.h"
#include "reference/textmodel.h"

namespace polychain {
namespace {

RunParams meander(std::int32_t n, std::int32_t iterations, std::uint64_t seed, int threads = 1) {
  RunParams p;
  p.model = Model::Meander;
  p.steps = n;
  p.iterations = iterations;
  p.seed = seed;
  p.threads = threads;
  return p;
}

RunOutput run(const RunParams& params) {
  RunObserver quiet;
  return runSimulation(params, quiet);
}

TEST(Meander, SingleStepSingleChain) {
  const RunOutput out = run(meander(1, 1, 3));
  ASSERT_EQ(out.status, RunStatus::Finished);
  EXPECT_TRUE(out.results.eR == "1" || out.results.eR == "-1") << out.results.eR;
  EXPECT_EQ(out.results.TR, "0");
  EXPECT_EQ(out.results.Rsqred, "1");
  EXPECT_EQ(out.results.TRsqred, "1");
  EXPECT_EQ(out.results.pers, "1");
  EXPECT_EQ(out.results.Rgtxt, "1");
  const std::string& text = out.chainText;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.rfind("Meander\nIterations:,1,R:," + out.results.eR +
                       "\nR Theoretical:,0\n<R^2>^(1/2):,1\n<R^2>^(1/2) Theoretical:,1\n"
                       "Radius of gyration:,1\nPersistence Length:,1\nx,y,z\n0,0,0\n", 0),
            0U);
  EXPECT_FALSE(out.gofr.has_value());
}

TEST(Meander, MatchesTheTextModelByteForByte) {
  int cases = 0;
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const std::int32_t n = std::array{1, 2, 7, 50, 333, 1000}[seed % 6];
    const std::int32_t iterations = std::array{1, 3, 5, 10}[seed % 4];
    const reference::TextRun expected = reference::textMeander(n, iterations, seed);
    for (int threads : {1, 2, 8}) {
      const RunOutput out = run(meander(n, iterations, seed, threads));
      ASSERT_EQ(out.status, RunStatus::Finished);
      EXPECT_EQ(out.chainText, expected.chainText) << "seed " << seed << " threads " << threads;
      EXPECT_EQ(out.results.Rgtxt, expected.results.Rgtxt);
      ++cases;
    }
  }
  EXPECT_EQ(cases, 180);
}

TEST(Meander, SameSeedSameBytesOtherSeedOtherBytes) {
  const RunOutput a = run(meander(500, 40, 11, 1));
  const RunOutput b = run(meander(500, 40, 11, 2));
  const RunOutput c = run(meander(500, 40, 12, 2));
  EXPECT_EQ(a.chainText, b.chainText);
  EXPECT_EQ(a.seed, 11U);
  EXPECT_NE(a.chainText, c.chainText);
  // Many more chains than a block of streams, on several threads.
  const RunOutput many1 = run(meander(20, 1000, 5, 1));
  const RunOutput many3 = run(meander(20, 1000, 5, 3));
  EXPECT_EQ(many1.chainText, many3.chainText);
  for (std::size_t i = 0; i < many1.chains.size(); ++i) {
    EXPECT_EQ(many1.chains[i].end, many3.chains[i].end);
  }
}

TEST(Meander, SeedFromTheClockIsReported) {
  RunParams p = meander(10, 2, 0);
  p.seed.reset();
  const RunOutput out = run(p);
  p.seed = out.seed;
  EXPECT_EQ(run(p).chainText, out.chainText);
}

TEST(Meander, RefusesWhatTheFrameCannotAverage) {
  for (auto [n, iterations] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-5, 3},
                               std::pair{3, -1}}) {
    try {
      run(meander(n, iterations, 1));
      ADD_FAILURE() << n << " " << iterations;
    } catch (const InputError& e) {
      const std::string what = e.what();
      EXPECT_TRUE(what.find(n < 1 ? "Steps (N)" : "Iterations") != std::string::npos) << what;
    }
  }
}

// Free walk: <R^2> = N exactly in expectation; Var(R^2) = N^2 (2/3 + 1/(3N)) ~ 2N^2/3.
TEST(Meander, MeanSquaredEndToEndDistanceIsN) {
  constexpr int kSteps = 400;
  constexpr int kChains = 4000;
  const RunOutput out = run(meander(kSteps, kChains, 77, 2));
  double sum = 0;
  for (const ChainSummary& c : out.chains) {
    sum += double(c.end.x) * c.end.x + double(c.end.y) * c.end.y + double(c.end.z) * c.end.z;
  }
  const double mean = sum / kChains;
  const double standardError = kSteps * std::sqrt(2.0 / 3.0 / kChains);
  EXPECT_NEAR(mean, kSteps, 4 * standardError);
  // <R> calculated: the mean of x+y+z per step averages to 0 with sd sqrt(N/(I N^2)).
  EXPECT_NEAR(std::stod(out.results.eR), 0.0, 4 * std::sqrt(1.0 / (kChains * kSteps)));
}

class CountingObserver : public RunObserver {
 public:
  explicit CountingObserver(int cancelAfter) : m_cancelAfter(cancelAfter) {}
  void progress(const RunProgress& p) override {
    ++m_calls;
    EXPECT_GE(p.chains, m_lastChains) << "the share of chains done went back";
    m_lastChains = p.chains;
    EXPECT_GE(p.steps, 0.0f);
    EXPECT_LE(p.steps, 100.0f);
  }
  bool cancelRequested() override { return m_cancelAfter >= 0 && m_calls > m_cancelAfter; }
  std::atomic<int> m_calls{0};
  float m_lastChains = -1;

 private:
  int m_cancelAfter;
};

TEST(Meander, ProgressEndsAtOneHundredAndCancelStopsTheRun) {
  CountingObserver all(-1);
  const RunOutput done = runSimulation(meander(1000, 7, 1, 2), all);
  EXPECT_EQ(done.status, RunStatus::Finished);
  EXPECT_EQ(all.m_lastChains, 100.0f);
  CountingObserver many(-1);
  EXPECT_EQ(runSimulation(meander(20, 20000, 1, 2), many).status, RunStatus::Finished);
  EXPECT_EQ(many.m_lastChains, 100.0f);

  CountingObserver cancelling(0);
  RunParams big = meander(2'000'000, 50, 1, 2);
  const RunOutput cancelled = runSimulation(big, cancelling);
  EXPECT_EQ(cancelled.status, RunStatus::Cancelled);
  EXPECT_TRUE(cancelled.chainText.empty());
  EXPECT_TRUE(cancelled.results.eR.empty());
  EXPECT_FALSE(cancelled.message.empty());
}

}  // namespace
}  // namespace polychain
