// The scaling sweep: derived seeds, the exponent fit, the free walk's exponent, progress and
// cancelling, the step list, and the CSV and SVG texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/svgplot.h"
#include "app/sweep.h"
#include "chain/numtext.h"

namespace polychain {
namespace {

SweepParams meanderSweep(std::vector<std::int32_t> steps, std::int32_t iterations,
                         std::uint64_t seed) {
  SweepParams p;
  p.run.model = Model::Meander;
  p.run.iterations = iterations;
  p.run.threads = 2;
  p.steps = std::move(steps);
  p.seed = seed;
  return p;
}

// Records what the sweep reports, and cancels on request.
class Recorder : public SweepObserver {
 public:
  void progress(const RunProgress& p) override {
    shares.push_back(p.chains);
    pointOfShare.push_back(started.size() - 1);
  }
  bool cancelRequested() override {
    return cancelAfterPoints >= 0 && static_cast<int>(finished.size()) >= cancelAfterPoints;
  }
  void pointStarted(std::size_t index, std::int32_t steps, std::uint64_t seed) override {
    started.push_back({index, steps, seed});
  }
  void pointFinished(std::size_t /*index*/, const SweepPoint& point) override {
    finished.push_back(point);
  }

  struct Start {
    std::size_t index;
    std::int32_t steps;
    std::uint64_t seed;
  };
  std::vector<float> shares;
  std::vector<std::size_t> pointOfShare;  // which N was running
  std::vector<Start> started;
  std::vector<SweepPoint> finished;
  int cancelAfterPoints = -1;
};

std::string errorOf(const SweepParams& p) {
  try {
    validateSweep(p, "--steps");
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

std::string parseErrorOf(std::string_view text) {
  try {
    parseStepList(text, "--steps");
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Checks that `text` is well-formed XML: one root element, tags that nest and close, quoted
// attributes, and '&' only as one of the five named entities. Returns the problem or "".
std::string xmlProblem(const std::string& text) {
  std::vector<std::string> open;
  bool rootSeen = false;
  const auto entityOk = [&](std::size_t at) {
    for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
      if (text.compare(at, std::string(e).size(), e) == 0) return true;
    }
    return false;
  };
  std::size_t i = 0;
  if (text.rfind("<?xml ", 0) == 0) i = text.find("?>") + 2;
  while (i < text.size()) {
    if (text[i] != '<') {
      if (text[i] == '&' && !entityOk(i)) return "bad entity at " + std::to_string(i);
      if (open.empty() && text[i] != '\n' && text[i] != ' ') return "text outside the root";
      ++i;
      continue;
    }
    const std::size_t end = text.find('>', i);
    if (end == std::string::npos) return "unclosed tag";
    std::string tag = text.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return "empty tag";
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1))
        return "mismatched </" + tag.substr(1) + ">";
      open.pop_back();
      continue;
    }
    const bool selfClosing = tag.back() == '/';
    if (selfClosing) tag.pop_back();
    const std::size_t nameEnd = tag.find(' ');
    const std::string name = tag.substr(0, nameEnd);
    // Attributes: name="value" pairs separated by blanks.
    std::size_t a = nameEnd == std::string::npos ? tag.size() : nameEnd;
    while (a < tag.size()) {
      if (tag[a] == ' ') {
        ++a;
        continue;
      }
      const std::size_t eq = tag.find('=', a);
      if (eq == std::string::npos || eq + 1 >= tag.size() || tag[eq + 1] != '"') {
        return "unquoted attribute in <" + name + ">";
      }
      const std::size_t close = tag.find('"', eq + 2);
      if (close == std::string::npos) return "unclosed attribute in <" + name + ">";
      const std::string value = tag.substr(eq + 2, close - eq - 2);
      if (value.find('<') != std::string::npos) return "'<' in an attribute of <" + name + ">";
      a = close + 1;
    }
    if (open.empty()) {
      if (rootSeen) return "a second root element";
      rootSeen = true;
    }
    if (!selfClosing) open.push_back(name);
  }
  if (!open.empty()) return "<" + open.back() + "> never closed";
  return rootSeen ? "" : "no root element";
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Sweep, PointSeedsAreSplitMix64Outputs) {
  // The first outputs of SplitMix64 from state 0, as published with the generator.
  EXPECT_EQ(sweepPointSeed(0, 0), 0xe220a8397b1dcdafULL);
  EXPECT_EQ(sweepPointSeed(0, 1), 0x6e789e6aa1b965f4ULL);
  EXPECT_EQ(sweepPointSeed(0, 2), 0x06c45d188009454fULL);
  EXPECT_NE(sweepPointSeed(1, 0), sweepPointSeed(0, 0));
}

TEST(Sweep, FitOfExactAndScatteredPowerLaws) {
  // y = 3 x^0.6 at x = 1, e^2, e^4, each with a 10 % error: weights 100, Sxx = 800.
  const std::vector<double> x = {1.0, std::exp(2.0), std::exp(4.0)};
  std::vector<double> y, e;
  for (double v : x) {
    y.push_back(3.0 * std::pow(v, 0.6));
    e.push_back(0.1 * y.back());
  }
  const auto exact = fitPowerLaw(x, y, e);
  ASSERT_TRUE(exact);
  EXPECT_TRUE(exact->weighted);
  EXPECT_EQ(exact->points, 3U);
  EXPECT_NEAR(exact->exponent, 0.6, 1e-12);
  EXPECT_NEAR(exact->amplitude, 3.0, 1e-11);
  EXPECT_NEAR(exact->chiSquaredPerDof, 0.0, 1e-20);
  EXPECT_NEAR(exact->exponentError, std::sqrt(1.0 / 800.0), 1e-15);

  // log y = 0, 1, 3 at log x = 0, 1, 2: slope 1.5, intercept -1/6, residual sum of squares
  // 1/6 on one degree of freedom, so SE = sqrt((1/6) / 2).
  const std::vector<double> x2 = {1.0, std::exp(1.0), std::exp(2.0)};
  const std::vector<double> y2 = {1.0, std::exp(1.0), std::exp(3.0)};
  const auto ordinary = fitPowerLaw(x2, y2, {});
  ASSERT_TRUE(ordinary);
  EXPECT_FALSE(ordinary->weighted);
  EXPECT_NEAR(ordinary->exponent, 1.5, 1e-12);
  EXPECT_NEAR(ordinary->amplitude, std::exp(-1.0 / 6.0), 1e-12);
  EXPECT_NEAR(ordinary->exponentError, std::sqrt(1.0 / 12.0), 1e-12);
  EXPECT_TRUE(std::isnan(ordinary->chiSquaredPerDof));
  // Equal errors that the points overshoot: chi^2/dof = 100/6, and the error is scaled up to
  // the ordinary one.
  const std::vector<double> e2 = {0.1, 0.1 * std::exp(1.0), 0.1 * std::exp(3.0)};
  const auto scaled = fitPowerLaw(x2, y2, e2);
  ASSERT_TRUE(scaled);
  EXPECT_TRUE(scaled->weighted);
  EXPECT_NEAR(scaled->chiSquaredPerDof, 100.0 / 6.0, 1e-9);
  EXPECT_NEAR(scaled->exponentError, std::sqrt(1.0 / 12.0), 1e-12);
  // One point without an error (a run of one chain) makes the whole fit ordinary.
  const std::vector<double> partial = {0.1, std::nan(""), 0.2};
  EXPECT_FALSE(fitPowerLaw(x2, y2, partial)->weighted);

  // Two points: a line through both; only the weighted fit has an error.
  const std::vector<double> x3 = {10.0, 1000.0}, y3 = {2.0, 20.0}, e3 = {0.2, 2.0};
  EXPECT_NEAR(fitPowerLaw(x3, y3, e3)->exponent, 0.5, 1e-12);
  EXPECT_TRUE(std::isfinite(fitPowerLaw(x3, y3, e3)->exponentError));
  EXPECT_TRUE(std::isnan(fitPowerLaw(x3, y3, {})->exponentError));

  // No fit: one distinct x, a non-positive value, mismatched sizes.
  const std::vector<double> same = {5.0, 5.0, 5.0};
  EXPECT_FALSE(fitPowerLaw(same, y2, {}));
  const std::vector<double> zero = {1.0, 0.0, 2.0};
  EXPECT_FALSE(fitPowerLaw(x2, zero, {}));
  EXPECT_FALSE(fitPowerLaw(x2, y3, {}));
}

TEST(Sweep, StepListsAndRefusals) {
  EXPECT_EQ(parseStepList("100,200, 400 ", "--steps"), (std::vector<std::int32_t>{100, 200, 400}));
  EXPECT_EQ(parseStepList("2.5,7", "--steps"), (std::vector<std::int32_t>{2, 7}));
  for (const char* bad : {"", "  ", "100,,200", "100,", ",100", "100,abc", "100;200"}) {
    const std::string error = parseErrorOf(bad);
    EXPECT_TRUE(contains(error, "--steps")) << "'" << bad << "': " << error;
  }
  EXPECT_TRUE(contains(parseErrorOf("100,abc"), "\"abc\""));

  EXPECT_EQ(errorOf(meanderSweep({100, 200}, 10, 1)), "");
  EXPECT_EQ(errorOf(meanderSweep({100, 100, 200}, 10, 1)), "");  // repeats are allowed
  EXPECT_TRUE(contains(errorOf(meanderSweep({}, 10, 1)), "--steps needs step counts"));
  EXPECT_TRUE(contains(errorOf(meanderSweep({100, 0}, 10, 1)), "0 is too small"));
  EXPECT_TRUE(contains(errorOf(meanderSweep({-5, 10}, 10, 1)), "--steps"));
  EXPECT_TRUE(contains(errorOf(meanderSweep({100, 100}, 10, 1)), "two different"));
  EXPECT_TRUE(contains(errorOf(meanderSweep({100, 200}, 0, 1)), "Iterations"));
  SweepParams kuhn = meanderSweep({100, 200}, 10, 1);
  kuhn.run.model = Model::ShortRange;
  kuhn.run.kuhn = 0;
  EXPECT_TRUE(contains(errorOf(kuhn), "Kuhn"));
  Recorder recorder;
  EXPECT_THROW(runSweep(meanderSweep({7}, 10, 1), recorder), InputError);
}

TEST(Sweep, FreeWalkExponentAndSizesWithinTheirErrors) {
  const SweepParams params = meanderSweep({50, 100, 200, 400, 800}, 400, 77);
  Recorder recorder;
  const SweepOutput out = runSweep(params, recorder);
  ASSERT_EQ(out.status, RunStatus::Finished);
  EXPECT_EQ(out.seed, 77U);
  ASSERT_EQ(out.points.size(), 5U);
  for (std::size_t k = 0; k < out.points.size(); ++k) {
    const SweepPoint& p = out.points[k];
    EXPECT_EQ(p.steps, params.steps[k]);
    EXPECT_EQ(p.seed, sweepPointSeed(77, k));
    EXPECT_EQ(p.stats.chains, 400);
    // <R^2> = N for the free walk.
    EXPECT_NEAR(p.stats.meanSquaredEnd.value, p.steps, 4 * p.stats.meanSquaredEnd.standardError)
        << "N = " << p.steps;
  }
  ASSERT_TRUE(out.fit);
  EXPECT_TRUE(out.fit->weighted);
  EXPECT_EQ(out.fit->points, 5U);
  EXPECT_GT(out.fit->exponentError, 0.0);
  EXPECT_LT(out.fit->exponentError, 0.05);
  EXPECT_NEAR(out.fit->exponent, kIdealChainExponent, 4 * out.fit->exponentError);
  EXPECT_NEAR(out.fit->amplitude, 1.0, 0.2);

  // Each point is exactly the run with its derived seed.
  RunParams direct = params.run;
  direct.steps = 200;
  direct.seed = sweepPointSeed(77, 2);
  RunObserver quiet;
  const ExtendedStats alone = extendedStats(runSimulation(direct, quiet).chains, Model::Meander);
  EXPECT_EQ(alone.rmsEnd.value, out.points[2].stats.rmsEnd.value);
  EXPECT_EQ(alone.ratio.standardError, out.points[2].stats.ratio.standardError);

  // The observer heard each N start and finish in order, and one bar over the whole sweep.
  ASSERT_EQ(recorder.started.size(), 5U);
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(recorder.started[k].index, k);
    EXPECT_EQ(recorder.started[k].steps, params.steps[k]);
    EXPECT_EQ(recorder.started[k].seed, out.points[k].seed);
  }
  EXPECT_EQ(recorder.finished.size(), 5U);
  // Each N's reports fall in its slice of the bar, the slice as wide as its share of all
  // the steps (N = 50 is 50/1550 of them), and the bar ends full.
  ASSERT_FALSE(recorder.shares.empty());
  const std::vector<double> sliceEnds = {50, 150, 350, 750, 1550};
  for (std::size_t i = 0; i < recorder.shares.size(); ++i) {
    const std::size_t k = recorder.pointOfShare[i];
    const double low = k == 0 ? 0.0 : sliceEnds[k - 1] / 1550 * 100;
    const double high = sliceEnds[k] / 1550 * 100;
    EXPECT_GE(recorder.shares[i], low - 1e-3) << "N = " << params.steps[k];
    EXPECT_LE(recorder.shares[i], high + 1e-3) << "N = " << params.steps[k];
  }
  EXPECT_FLOAT_EQ(*std::max_element(recorder.shares.begin(), recorder.shares.end()), 100.0f);

  // The same seed gives the same sweep; another seed another one.
  Recorder again;
  EXPECT_EQ(sweepCsv(runSweep(params, again), Model::Meander), sweepCsv(out, Model::Meander));
  SweepParams other = params;
  other.seed = 78;
  EXPECT_NE(sweepCsv(runSweep(other, again), Model::Meander), sweepCsv(out, Model::Meander));
}

TEST(Sweep, CancellingKeepsTheFinishedPointsAndFitsNothing) {
  Recorder recorder;
  recorder.cancelAfterPoints = 2;
  const SweepOutput out = runSweep(meanderSweep({10, 20, 40, 80}, 5, 3), recorder);
  EXPECT_EQ(out.status, RunStatus::Cancelled);
  EXPECT_EQ(out.points.size(), 2U);
  EXPECT_FALSE(out.fit);
  EXPECT_TRUE(contains(out.message, "after 2 of 4")) << out.message;

  // A cancel during a run (chains long enough to poll it) stops inside that run.
  class CancelAtOnce : public SweepObserver {
    bool cancelRequested() override { return calls++ > 0; }
    int calls = 0;
  } early;
  const SweepOutput stopped = runSweep(meanderSweep({100'000, 200'000}, 50, 3), early);
  EXPECT_EQ(stopped.status, RunStatus::Cancelled);
  EXPECT_TRUE(stopped.points.empty());
}

TEST(Sweep, SelfAvoidingSweepCountsTrialsAndStopsAtTheTrialLimit) {
  SweepParams params = meanderSweep({20, 40}, 10, 5);
  params.run.model = Model::SAW;
  params.run.avoid = 1;
  Recorder recorder;
  SweepOutput out;
  try {
    out = runSweep(params, recorder);
  } catch (const std::logic_error&) {
    GTEST_SKIP() << "the self-avoiding walk is not built into this program yet";
  }
  ASSERT_EQ(out.status, RunStatus::Finished);
  for (const SweepPoint& p : out.points) {
    ASSERT_TRUE(p.stats.trials && p.stats.discarded && p.stats.backups);
    EXPECT_GE(p.stats.trials->mean, p.steps);  // every step is at least one trial
    EXPECT_GE(static_cast<double>(p.stats.trials->max), p.stats.trials->mean);
    EXPECT_LE(p.stats.discarded->mean, p.stats.trials->mean);
  }
  const std::string csv = sweepCsv(out, Model::SAW);
  EXPECT_EQ(count(csv.substr(0, csv.find('\n')), ","), 20U);
  EXPECT_EQ(count(csv, "\n"), 3U);

  // A cap below N stops the first run; the sweep says where.
  params.run.maxTrials = 5;
  const SweepOutput capped = runSweep(params, recorder);
  EXPECT_EQ(capped.status, RunStatus::TrialLimit);
  EXPECT_TRUE(capped.points.empty());
  EXPECT_FALSE(capped.fit);
  EXPECT_TRUE(contains(capped.message, "N = 20, after 0 of 2")) << capped.message;
}

TEST(Sweep, CsvColumnsAndAbsentValues) {
  SweepOutput out;
  SweepPoint one;
  one.steps = 4;
  one.seed = 18446744073709551615ULL;
  ChainSummary c;
  c.end = {2, 0, 0};
  c.rg2CentreOfMass = 0.5;
  c.trials = 9;
  c.discarded = 3;
  c.backups = 1;
  const std::vector<ChainSummary> single = {c};
  one.stats = extendedStats(single, Model::SAW);
  out.points.push_back(one);

  const std::string saw = sweepCsv(out, Model::SAW);
  EXPECT_EQ(saw,
            "N,seed,chains,R2,R2_se,rms_R,rms_R_se,mean_R,mean_R_se,Rg2,Rg2_se,rms_Rg,rms_Rg_se,"
            "ratio,ratio_se,trials_mean,trials_max,discarded_mean,discarded_max,backups_mean,"
            "backups_max\n"
            "4,18446744073709551615,1,4,,2,,2,,0.5,,0.707106781186548,,0.125,,9,9,3,3,1,1\n");

  // The free walk has no count columns; every row has as many fields as the header.
  Recorder quiet;
  const std::string meander =
      sweepCsv(runSweep(meanderSweep({5, 10, 20}, 8, 9), quiet), Model::Meander);
  EXPECT_EQ(meander.rfind("N,seed,chains,R2,R2_se,rms_R,rms_R_se,mean_R,mean_R_se,Rg2,Rg2_se,"
                          "rms_Rg,rms_Rg_se,ratio,ratio_se\n",
                          0),
            0U);
  EXPECT_EQ(count(meander, "\n"), 4U);
  std::size_t at = 0;
  while (at < meander.size()) {
    const std::size_t end = meander.find('\n', at);
    const std::string line = meander.substr(at, end - at);
    EXPECT_EQ(count(line, ","), 14U) << line;
    EXPECT_EQ(line.find(",,"), std::string::npos) << line;  // eight chains: every error present
    at = end + 1;
  }
  EXPECT_TRUE(contains(meander, "\n10," + std::to_string(sweepPointSeed(9, 1)) + ",8,"));
}

TEST(Sweep, SvgIsWellFormedWithPointsBarsAndLines) {
  Recorder quiet;
  const SweepOutput out = runSweep(meanderSweep({25, 50, 100, 200}, 30, 4), quiet);
  const std::string svg = sweepSvg(out, Model::Meander);
  EXPECT_EQ(xmlProblem(svg), "");
  EXPECT_TRUE(contains(svg, "<svg xmlns=\"http://www.w3.org/2000/svg\""));
  // Four points and the legend's marker; two bar ends and the bar for each point.
  EXPECT_EQ(count(svg, "<circle "), 5U);
  const std::size_t bars = svg.find("class=\"error-bars\"");
  ASSERT_NE(bars, std::string::npos);
  EXPECT_EQ(count(svg.substr(bars, svg.find("</g>", bars) - bars), "<line "), 12U);
  // The fitted line and the two reference slopes, with their legend entries.
  for (const char* colour : {"#d62728", "#2ca02c", "#9467bd"}) {
    EXPECT_EQ(count(svg, std::string("stroke=\"") + colour + "\""), 2U) << colour;
  }
  EXPECT_TRUE(contains(svg, "fit: nu = "));
  EXPECT_TRUE(contains(svg, "ideal chain: nu = 0.5<"));
  EXPECT_TRUE(contains(svg, "self-avoiding walk: nu = 0.5876<"));
  // Axis labels, escaped.
  EXPECT_TRUE(contains(svg, ">N (steps)</text>"));
  EXPECT_TRUE(contains(svg, ">sqrt(&lt;R^2&gt;)</text>"));
  EXPECT_FALSE(contains(svg, "<R^2>"));
  EXPECT_TRUE(contains(svg, ">100</text>"));  // a tick label

  // An empty sweep still gives a valid (empty) plot.
  EXPECT_EQ(xmlProblem(sweepSvg(SweepOutput{}, Model::Meander)), "");
}

TEST(Sweep, SvgPlotEscapesTextsAndSkipsUnplottablePoints) {
  LogLogPlot plot;
  plot.title = "a & b <c> \"d\" 'e'";
  plot.xLabel = "x";
  plot.yLabel = "y";
  plot.points = {{1.0, 1.0, 0.5},  {10.0, 5.0, 10.0},        {0.0, 1.0, 0.1},
                 {5.0, -1.0, 0.1}, {3.0, std::nan(""), 0.1}, {100.0, 30.0, std::nan("")}};
  plot.lines = {{1.0, 0.5, "line & co", "#000000", true}};
  const std::string svg = svgLogLogPlot(plot);
  EXPECT_EQ(xmlProblem(svg), "");
  EXPECT_TRUE(contains(svg, "a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;"));
  EXPECT_TRUE(contains(svg, "line &amp; co"));
  EXPECT_EQ(count(svg, "<circle "), 3U);  // three plottable points, no points legend
  // The bar that reaches below zero runs to the bottom of the plot area.
  EXPECT_TRUE(contains(svg, "y1=\"420.00\""));
  EXPECT_TRUE(contains(svg, "stroke-dasharray"));
  EXPECT_EQ(xmlProblem("<svg><g></svg></g>"), "mismatched </svg>");  // the checker checks
}

}  // namespace
}  // namespace polychain
