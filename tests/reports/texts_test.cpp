// What the presentation writes: a whole run's report pinned byte for byte (so a changed random
// stream or text fails), the estimate texts, the sweep's CSV and its SVG plot.
#include "polychain/texts.h"
#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "chain/numbertext.h"
#include "polychain/loglogplot.h"

namespace polychain {
namespace {

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Golden, ARunReportKeepsItsBytes) {
  RunObserver quiet;
  RunParams saw;
  saw.model = SawSettings{};
  saw.steps = 30;
  saw.iterations = 5;
  saw.seed = 7;
  saw.maxTrials = 1'000'000;
  EXPECT_EQ(
      runReport(saw, runSimulation(saw, quiet)),
      "saw: N = 30, 5 chains, seed 7\n"
      "           Calculated             Theoretical\n"
      "<R>        0.0133333333333333     0\n"
      "Sqr<R^2>   4.19482666251863       7.69613634072608\n"
      "Rg         1.45877756071657\n"
      "lp         0.586552357619241\n"
      "\n"
      "Extended statistics over 5 chains (mean +/- standard error):\n"
      "  sqrt(<R^2>)    4.8 +/- 1.2              root-mean-square end-to-end distance\n"
      "  <R^2>          23 +/- 12                mean squared end-to-end distance\n"
      "  <|R|>          4.2 +/- 1.1              mean end-to-end distance\n"
      "  sqrt(<Rg^2>)   2.37 +/- 0.21            radius of gyration about the centre of mass\n"
      "  <Rg^2>/<R^2>   0.246 +/- 0.086          (1/6 for a long ideal chain)\n"
      "  trials         mean 46.4, max 67        trial steps per chain\n"
      "  discarded      mean 16.4, max 37        refused trials per chain\n"
      "  back-ups       mean 0, max 0            sites abandoned by back-ups per chain\n"
      "  regrown        0                        times a trapped chain began again\n"
      "Form factor P(q) over 1 chain (one in 8 by index), q 0.0245 to 3.14: in the JSON\n");
}

TEST(Texts, NumbersAndEstimates) {
  EXPECT_EQ(formatNumber(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(formatNumber(1e15), "1e+15");
  EXPECT_EQ(formatNumber(0.00001), "1e-05");
  EXPECT_EQ(formatNumber(123456789012345.0), "123456789012345");
  EXPECT_EQ(estimateText({10.0234, 0.3123}), "10.02 +/- 0.31");
  EXPECT_EQ(estimateText({1234.6, 12.3}), "1235 +/- 12");
  EXPECT_EQ(estimateText({0.001234, 0.0000567}, " ± "), "0.001234 ± 0.000057");
  EXPECT_EQ(estimateText({5.0, 0.0}), "5 +/- 0");
  EXPECT_EQ(estimateText({3.5, std::nan("")}), "3.5 +/- n/a");
  EXPECT_EQ(estimateText({}), "n/a");
}

TEST(Texts, SweepCsvAndPlot) {
  SweepResult sweep;
  SweepPoint one;
  one.steps = 4;
  one.seed = 18446744073709551615ULL;
  ExtendedAccumulator single(true);
  ChainSummary c;
  c.end = {2, 0, 0};
  c.rg2CentreOfMass = 0.5;
  c.trials = 9;
  c.discarded = 3;
  c.backups = 1;
  single.add(c);
  one.stats = single.result();
  sweep.points.push_back(one);
  EXPECT_EQ(sweepCsv(sweep, modelInfo(SawSettings{})),
            "N,seed,chains,R2,R2_se,rms_R,rms_R_se,mean_R,mean_R_se,Rg2,Rg2_se,rms_Rg,rms_Rg_se,"
            "ratio,ratio_se,trials_mean,trials_max,discarded_mean,discarded_max,backups_mean,"
            "backups_max\n"
            "4,18446744073709551615,1,4,,2,,2,,0.5,,0.707106781186548,,0.125,,9,9,3,3,1,1\n");

  // Four points with errors, fitted: the points and their bars, the fit and two references.
  sweep.points.clear();
  std::vector<double> x, y, e;
  for (std::int32_t n : {25, 50, 100, 200}) {
    SweepPoint p;
    p.steps = n;
    p.stats.rmsEnd = {std::sqrt(double(n)), 0.1 * std::sqrt(double(n))};
    sweep.points.push_back(p);
    x.push_back(n);
    y.push_back(p.stats.rmsEnd.value);
    e.push_back(p.stats.rmsEnd.standardError);
  }
  sweep.fit = fitPowerLaw(x, y, e);
  const LogLogPlot plot = sweepPlot(sweep, modelInfo(SawSettings{}));
  EXPECT_EQ(plot.points.size(), 4U);
  ASSERT_EQ(plot.lines.size(), 3U);
  EXPECT_NEAR(plot.lines[0].exponent, 0.5, 1e-12);
  EXPECT_LE(plot.x.low, std::log10(25.0));
  EXPECT_GE(plot.x.high, std::log10(200.0));
  EXPECT_NE(std::find(plot.x.ticks.begin(), plot.x.ticks.end(), 100.0), plot.x.ticks.end());
  const std::string svg = svgLogLogPlot(plot);
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0U);
  EXPECT_EQ(count(svg, "<circle "), 5U);  // four points and the legend's marker
  EXPECT_NE(svg.find("fit: nu = 0.500 +/- "), std::string::npos);
  EXPECT_NE(svg.find(">sqrt(&lt;R^2&gt;)</text>"), std::string::npos);  // escaped
  EXPECT_EQ(svg.find("<R^2>"), std::string::npos);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

// A sweep over three contact energies: one curve of <R^2>/N a value, in order, its legend
// naming the value, three distinct colours; flat curves still get an axis of a factor of 2.
TEST(Texts, SweepSeriesPlotDrawsOneCurveAValue) {
  const ModelInfo& model = modelInfo(PivotSettings{});
  const auto setting = std::find_if(model.settings.begin(), model.settings.end(),
                                    [](const SettingInfo& s) { return s.key == "contact_energy"; });
  ASSERT_NE(setting, model.settings.end());
  const SweepVaried varied{&*setting, {-0.4, -0.269, 0.0}};
  std::vector<SweepResult> results(3);
  for (std::size_t v = 0; v < 3; ++v) {
    for (std::int32_t n : {100, 200, 400}) {
      SweepPoint p;
      p.steps = n;
      const double perStep = 1.5 + 0.001 * static_cast<double>(v) * n;  // at most 2.3
      p.stats.meanSquaredEnd = {perStep * n, 0.01 * n};
      results[v].points.push_back(p);
    }
  }
  const LogLogPlot plot = sweepSeriesPlot(varied, results, model);
  EXPECT_TRUE(plot.points.empty());
  EXPECT_TRUE(plot.lines.empty());
  ASSERT_EQ(plot.curves.size(), 3U);
  EXPECT_EQ(plot.curves[0].label, "contact_energy = -0.4");
  EXPECT_EQ(plot.curves[1].label, "contact_energy = -0.269");
  EXPECT_EQ(plot.curves[2].label, "contact_energy = 0");
  for (std::size_t v = 0; v < 3; ++v) {
    const PlotCurve& curve = plot.curves[v];
    ASSERT_EQ(curve.points.size(), 3U);
    EXPECT_EQ(curve.points[2].x, 400.0);
    EXPECT_DOUBLE_EQ(curve.points[2].y, 1.5 + 0.4 * static_cast<double>(v));
    EXPECT_DOUBLE_EQ(curve.points[2].yError, 0.01);
    EXPECT_NE(curve.colour, plot.curves[(v + 1) % 3].colour);
  }
  EXPECT_EQ(plot.y.label, "<R^2>/N");
  EXPECT_LE(plot.y.low, std::log10(1.49));
  EXPECT_GE(plot.y.high, std::log10(2.31));
  EXPECT_LT(plot.y.high - plot.y.low, 1.0);  // a turn of a few per cent stays visible
  EXPECT_GE(plot.y.ticks.size(), 4U);
}

}  // namespace
}  // namespace polychain
