// A log-log plot written as a standalone SVG 1.1 document, with no toolkit: points with
// vertical error bars, power-law lines y = a x^b, labelled axes with decade ticks and a
// legend. Numbers are written locale-free; texts are escaped for XML.
#pragma once

#include <string>
#include <vector>

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
  std::string colour;  // an SVG colour, such as "#1f77b4"
  bool dashed = false;
};

struct LogLogPlot {
  std::string title;
  std::string xLabel;
  std::string yLabel;
  std::string pointsLabel;  // legend entry of the points; empty: none
  std::vector<PlotPoint> points;
  std::vector<PowerLine> lines;
  int width = 640;
  int height = 480;
};

// The plot as SVG text. The axes span the positive points (with their error bars) and are
// widened to at least a factor of 10 each way; non-positive or non-finite points are left
// out. Lines are drawn across the x range, clipped to the plot area.
std::string svgLogLogPlot(const LogLogPlot& plot);

}  // namespace polychain
