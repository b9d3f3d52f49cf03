// The log-log plots of the program, as numbers and labels: what the SVG file draws and what
// the window's Scaling tab draws. No toolkit.
#pragma once

#include <string>
#include <vector>

#include "polychain/sweep.h"

namespace polychain {

struct PlotPoint {
  double x = 0.0;
  double y = 0.0;
  double yError = 0.0;  // half-length of the error bar; 0 or NaN: no bar
};

struct PowerLine {
  double amplitude = 1.0;  // y = amplitude * x^exponent
  double exponent = 1.0;
  std::string label;   // in the legend
  std::string colour;  // such as "#1f77b4"
  bool dashed = false;
};

// An axis over log10 values from `low` to `high`, with tick marks at the plain values
// `ticks`.
struct LogAxis {
  double low = 0.0;
  double high = 1.0;
  std::vector<double> ticks;
  std::string label;
};

// Points joined in order of x, with their error bars, in one colour and one legend entry.
struct PlotCurve {
  std::string label;
  std::string colour;
  std::vector<PlotPoint> points;  // positive and finite
};

struct LogLogPlot {
  std::string title;
  std::string pointsLabel;        // legend entry of the points
  std::vector<PlotPoint> points;  // positive and finite
  std::vector<PowerLine> lines;   // drawn across the x axis, clipped to the plot
  std::vector<PlotCurve> curves;  // drawn over the lines, each in a colour of its own
  LogAxis x;
  LogAxis y;
};

// The colour of the points and their error bars.
inline constexpr const char* kPointColour = "#1f77b4";

// The plot of a sweep: sqrt(<R^2>) against N with error bars, the fitted line, and the two
// reference slopes through the fitted line (or the points' centre) at the geometric mean of
// the N, so the slopes compare at a glance. Each axis spans the points with their error
// bars, at least a decade, padded by 5 %; ticks at 1, 2 and 5 times the powers of ten, or
// the powers of ten alone when the axis is wide.
LogLogPlot sweepPlot(const SweepResult& sweep, const ModelInfo& model);

// The plot of a sweep over a setting's values: one curve of <R^2>/N against N for each value
// (sweepCurve), its legend entry naming the value, the colours distinct. The x axis spans the
// points as sweepPlot's does; the y axis spans the points with their error bars, at least a
// factor of 2 so that a turn stays visible, with room above them for the legend.
LogLogPlot sweepSeriesPlot(const SweepVaried& varied, const std::vector<SweepResult>& results,
                           const ModelInfo& model);

// The plot as a standalone SVG 1.1 document, `width` x `height` pixels. Numbers are written
// locale-free; texts are escaped for XML.
std::string svgLogLogPlot(const LogLogPlot& plot, int width = 640, int height = 480);

}  // namespace polychain
