#include "app/svgplot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "chain/numtext.h"

namespace polychain {

namespace {

// A coordinate with two decimals, locale-free.
std::string num(double value) {
  std::array<char, 64> buffer{};
  const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::fixed, 2);
  return std::string(buffer.data(), r.ptr);
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A range of log10 values, widened to at least one decade and padded by 5 %.
struct LogRange {
  double low = 0.0;
  double high = 1.0;
};

LogRange logRange(double lo, double hi) {
  if (!(lo <= hi)) return {};  // no data
  const double span = hi - lo;
  if (span < 1.0) {
    const double mid = (lo + hi) / 2.0;
    return {mid - 0.5, mid + 0.5};
  }
  return {lo - 0.05 * span, hi + 0.05 * span};
}

// Tick values inside [10^low, 10^high]: 1, 2 and 5 times the powers of ten when the range
// is narrow, the powers of ten alone when it is wide.
std::vector<double> ticks(const LogRange& range) {
  const bool fine = range.high - range.low <= 2.5;
  std::vector<double> values;
  for (int k = static_cast<int>(std::floor(range.low));
       k <= static_cast<int>(std::ceil(range.high)); ++k) {
    for (double m : {1.0, 2.0, 5.0}) {
      if (!fine && m != 1.0) continue;
      const double v = m * std::pow(10.0, k);
      const double lv = std::log10(v);
      if (lv >= range.low - 1e-9 && lv <= range.high + 1e-9) values.push_back(v);
    }
  }
  return values;
}

}  // namespace

std::string svgLogLogPlot(const LogLogPlot& plot) {
  const double width = plot.width;
  const double height = plot.height;
  const double left = 80, right = 20, top = 40, bottom = 60;
  const double plotW = width - left - right;
  const double plotH = height - top - bottom;

  constexpr double kInf = std::numeric_limits<double>::infinity();
  double xlo = kInf, xhi = -kInf, ylo = kInf, yhi = -kInf;
  std::vector<PlotPoint> points;
  for (const PlotPoint& p : plot.points) {
    if (!(p.x > 0.0) || !(p.y > 0.0) || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    points.push_back(p);
    xlo = std::min(xlo, std::log10(p.x));
    xhi = std::max(xhi, std::log10(p.x));
    const bool bar = std::isfinite(p.yError) && p.yError > 0.0;
    const double top_ = bar ? p.y + p.yError : p.y;
    const double bottom_ = bar && p.y - p.yError > 0.0 ? p.y - p.yError : p.y;
    ylo = std::min(ylo, std::log10(bottom_));
    yhi = std::max(yhi, std::log10(top_));
  }
  const LogRange xr = logRange(xlo, xhi);
  const LogRange yr = logRange(ylo, yhi);
  const auto px = [&](double x) {
    return left + (std::log10(x) - xr.low) / (xr.high - xr.low) * plotW;
  };
  const auto py = [&](double y) {
    return top + plotH - (std::log10(y) - yr.low) / (yr.high - yr.low) * plotH;
  };

  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(width) +
       "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) +
       "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  s += "<title>" + escaped(plot.title) + "</title>\n";
  s += "<defs><clipPath id=\"plotArea\"><rect x=\"" + num(left) + "\" y=\"" + num(top) +
       "\" width=\"" + num(plotW) + "\" height=\"" + num(plotH) + "\"/></clipPath></defs>\n";
  s += "<rect x=\"0\" y=\"0\" width=\"" + num(width) + "\" height=\"" + num(height) +
       "\" fill=\"white\"/>\n";

  // Grid, ticks and tick labels.
  s += "<g class=\"axes\" stroke=\"#cccccc\" stroke-width=\"1\">\n";
  const std::vector<double> xticks = ticks(xr);
  const std::vector<double> yticks = ticks(yr);
  for (double t : xticks) {
    s += "<line x1=\"" + num(px(t)) + "\" y1=\"" + num(top) + "\" x2=\"" + num(px(t)) + "\" y2=\"" +
         num(top + plotH) + "\"/>\n";
  }
  for (double t : yticks) {
    s += "<line x1=\"" + num(left) + "\" y1=\"" + num(py(t)) + "\" x2=\"" + num(left + plotW) +
         "\" y2=\"" + num(py(t)) + "\"/>\n";
  }
  s += "</g>\n<g class=\"tick-labels\" fill=\"black\">\n";
  for (double t : xticks) {
    s += "<text x=\"" + num(px(t)) + "\" y=\"" + num(top + plotH + 18) +
         "\" text-anchor=\"middle\">" + formatNumber(t) + "</text>\n";
  }
  for (double t : yticks) {
    s += "<text x=\"" + num(left - 6) + "\" y=\"" + num(py(t) + 4) + "\" text-anchor=\"end\">" +
         formatNumber(t) + "</text>\n";
  }
  s += "</g>\n";
  s += "<rect class=\"frame\" x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" +
       num(plotW) + "\" height=\"" + num(plotH) + "\" fill=\"none\" stroke=\"black\"/>\n";

  // Axis labels and title.
  s += "<text class=\"x-label\" x=\"" + num(left + plotW / 2) + "\" y=\"" + num(height - 15) +
       "\" text-anchor=\"middle\">" + escaped(plot.xLabel) + "</text>\n";
  const double yLabelX = 20, yLabelY = top + plotH / 2;
  s += "<text class=\"y-label\" x=\"" + num(yLabelX) + "\" y=\"" + num(yLabelY) +
       "\" text-anchor=\"middle\" transform=\"rotate(-90 " + num(yLabelX) + " " + num(yLabelY) +
       ")\">" + escaped(plot.yLabel) + "</text>\n";
  s += "<text class=\"title\" x=\"" + num(width / 2) + "\" y=\"" + num(top - 15) +
       "\" text-anchor=\"middle\" font-size=\"14\">" + escaped(plot.title) + "</text>\n";

  // Power lines across the x range, clipped to the plot area.
  const double x0 = std::pow(10.0, xr.low), x1 = std::pow(10.0, xr.high);
  s += "<g class=\"lines\" clip-path=\"url(#plotArea)\" fill=\"none\" stroke-width=\"1.5\">\n";
  for (const PowerLine& line : plot.lines) {
    const double y0 = line.amplitude * std::pow(x0, line.exponent);
    const double y1 = line.amplitude * std::pow(x1, line.exponent);
    if (!(y0 > 0.0) || !(y1 > 0.0) || !std::isfinite(y0) || !std::isfinite(y1)) continue;
    s += "<line x1=\"" + num(px(x0)) + "\" y1=\"" + num(py(y0)) + "\" x2=\"" + num(px(x1)) +
         "\" y2=\"" + num(py(y1)) + "\" stroke=\"" + escaped(line.colour) + "\"" +
         (line.dashed ? " stroke-dasharray=\"6 4\"" : "") + "/>\n";
  }
  s += "</g>\n";

  // Error bars with caps, then the points over them.
  s += "<g class=\"error-bars\" stroke=\"#1f77b4\" stroke-width=\"1\">\n";
  for (const PlotPoint& p : points) {
    if (!std::isfinite(p.yError) || !(p.yError > 0.0)) continue;
    const double x = px(p.x);
    const double hi = py(p.y + p.yError);
    const double lo = p.y - p.yError > 0.0 ? py(p.y - p.yError) : top + plotH;
    s += "<line x1=\"" + num(x) + "\" y1=\"" + num(lo) + "\" x2=\"" + num(x) + "\" y2=\"" +
         num(hi) + "\"/>\n";
    for (double y : {lo, hi}) {
      s += "<line x1=\"" + num(x - 4) + "\" y1=\"" + num(y) + "\" x2=\"" + num(x + 4) + "\" y2=\"" +
           num(y) + "\"/>\n";
    }
  }
  s += "</g>\n<g class=\"points\" fill=\"#1f77b4\">\n";
  for (const PlotPoint& p : points) {
    s += "<circle cx=\"" + num(px(p.x)) + "\" cy=\"" + num(py(p.y)) + "\" r=\"3.5\"/>\n";
  }
  s += "</g>\n";

  // Legend in the upper left corner of the plot area.
  s += "<g class=\"legend\">\n";
  double ly = top + 18;
  const double lx = left + 12;
  std::size_t entries = plot.lines.size(), longest = 0;
  if (!plot.pointsLabel.empty()) ++entries;
  longest = plot.pointsLabel.size();
  for (const PowerLine& line : plot.lines) longest = std::max(longest, line.label.size());
  if (entries > 0) {  // a backing so that grid lines do not run through the texts
    s += "<rect x=\"" + num(lx - 6) + "\" y=\"" + num(ly - 14) + "\" width=\"" +
         num(44 + 6.5 * static_cast<double>(longest)) + "\" height=\"" +
         num(18 * static_cast<double>(entries) + 4) +
         "\" fill=\"white\" fill-opacity=\"0.85\" stroke=\"#cccccc\"/>\n";
  }
  if (!plot.pointsLabel.empty()) {
    s += "<circle cx=\"" + num(lx + 12) + "\" cy=\"" + num(ly - 4) +
         "\" r=\"3.5\" fill=\"#1f77b4\"/>\n";
    s += "<text x=\"" + num(lx + 32) + "\" y=\"" + num(ly) + "\">" + escaped(plot.pointsLabel) +
         "</text>\n";
    ly += 18;
  }
  for (const PowerLine& line : plot.lines) {
    s += "<line x1=\"" + num(lx) + "\" y1=\"" + num(ly - 4) + "\" x2=\"" + num(lx + 24) +
         "\" y2=\"" + num(ly - 4) + "\" stroke=\"" + escaped(line.colour) +
         "\" stroke-width=\"1.5\"" + (line.dashed ? " stroke-dasharray=\"6 4\"" : "") + "/>\n";
    s += "<text x=\"" + num(lx + 32) + "\" y=\"" + num(ly) + "\">" + escaped(line.label) +
         "</text>\n";
    ly += 18;
  }
  s += "</g>\n</svg>\n";
  return s;
}

}  // namespace polychain
