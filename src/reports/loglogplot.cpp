#include "polychain/loglogplot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "chain/numbertext.h"
#include "polychain/texts.h"

namespace polychain {

namespace {

// A coordinate with two decimals.
std::string num(double value) { return formatFixed(value, 2); }

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

// Tick values inside [10^low, 10^high]: 1, 2 and 5 times the powers of ten when the range
// is narrow, the powers of ten alone when it is wide; evenly spaced round values when it is
// less than a decade.
std::vector<double> ticks(const LogAxis& range) {
  std::vector<double> values;
  const double span = range.high - range.low;
  if (span < 1.0) {
    const double from = std::pow(10.0, range.low), to = std::pow(10.0, range.high);
    // A step of 1, 2 or 5 times a power of ten giving four to ten ticks; k * m / 10^-e is
    // the round value itself, where k * m * 10^e might miss it.
    const int e = static_cast<int>(std::floor(std::log10((to - from) / 4.0)));
    const double scale = std::pow(10.0, std::abs(e));
    const auto value = [&](double units) { return e < 0 ? units / scale : units * scale; };
    double m = 1.0;
    for (double candidate : {1.0, 2.0, 5.0}) {
      if ((to - from) / value(candidate) >= 4.0) m = candidate;
    }
    for (double k = std::ceil(from / value(m)); value(k * m) <= to; ++k) {
      values.push_back(value(k * m));
    }
    return values;
  }
  const bool fine = span <= 2.5;
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

// An axis over log10 values from lo to hi, widened to at least `least` (in decades) and
// padded by 5 %.
LogAxis logAxis(double lo, double hi, std::string label, double least = 1.0) {
  LogAxis axis;
  axis.label = std::move(label);
  if (lo <= hi) {
    const double span = hi - lo;
    if (span < least) {
      const double mid = (lo + hi) / 2.0;
      axis.low = mid - least / 2.0;
      axis.high = mid + least / 2.0;
    } else {
      axis.low = lo - 0.05 * span;
      axis.high = hi + 0.05 * span;
    }
  }
  axis.ticks = ticks(axis);
  return axis;
}

// The colour of curve `index`: ten distinct colours, then hues a golden angle apart.
std::string curveColour(std::size_t index) {
  static constexpr std::array<const char*, 10> kColours = {
      "#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
      "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};
  if (index < kColours.size()) return kColours[index];
  const double hue = std::fmod(static_cast<double>(index) * 137.507764, 360.0) / 60.0;
  const double x = 1.0 - std::abs(std::fmod(hue, 2.0) - 1.0);
  const std::array<std::array<double, 3>, 6> rgb = {
      {{1, x, 0}, {x, 1, 0}, {0, 1, x}, {0, x, 1}, {x, 0, 1}, {1, 0, x}}};
  std::string colour = "#";
  for (double c : rgb[static_cast<std::size_t>(hue) % 6]) {
    static constexpr const char* kHex = "0123456789abcdef";
    const int level = static_cast<int>(std::lround(40.0 + 150.0 * c));
    colour += kHex[level / 16];
    colour += kHex[level % 16];
  }
  return colour;
}

}  // namespace

LogLogPlot sweepPlot(const SweepResult& sweep, const ModelInfo& model) {
  LogLogPlot plot;
  plot.title = "Scaling of sqrt(<R^2>) with N";
  if (!sweep.points.empty()) plot.title += ": " + std::string(model.key);
  plot.pointsLabel = "runs (error bars: 1 standard error)";
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double xlo = kInf, xhi = -kInf, ylo = kInf, yhi = -kInf;
  for (const SweepPoint& point : sweep.points) {
    const PlotPoint p{static_cast<double>(point.steps), point.stats.rmsEnd.value,
                      point.stats.rmsEnd.standardError};
    if (!(p.x > 0.0) || !(p.y > 0.0) || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    plot.points.push_back(p);
    xlo = std::min(xlo, std::log10(p.x));
    xhi = std::max(xhi, std::log10(p.x));
    const bool bar = std::isfinite(p.yError) && p.yError > 0.0;
    const double barTop = bar ? p.y + p.yError : p.y;
    const double barBottom = bar && p.y - p.yError > 0.0 ? p.y - p.yError : p.y;
    ylo = std::min(ylo, std::log10(barBottom));
    yhi = std::max(yhi, std::log10(barTop));
  }
  plot.x = logAxis(xlo, xhi, "N (steps)");
  plot.y = logAxis(ylo, yhi, "sqrt(<R^2>)");
  if (plot.points.empty()) return plot;

  double sumLogX = 0.0, sumLogY = 0.0;
  for (const PlotPoint& p : plot.points) {
    sumLogX += std::log(p.x);
    sumLogY += std::log(p.y);
  }
  const double count = static_cast<double>(plot.points.size());
  const double centreX = std::exp(sumLogX / count);
  double centreY = std::exp(sumLogY / count);
  if (sweep.fit) {
    const PowerLawFit& f = *sweep.fit;
    centreY = f.amplitude * std::pow(centreX, f.exponent);
    plot.lines.push_back({f.amplitude, f.exponent,
                          "fit: nu = " + estimateText({f.exponent, f.exponentError}) +
                              (f.weighted ? " (weighted)" : " (ordinary)"),
                          "#d62728", false});
  }
  const auto reference = [&](double exponent, const std::string& label, const char* colour) {
    plot.lines.push_back({centreY / std::pow(centreX, exponent), exponent, label, colour, true});
  };
  reference(kIdealChainExponent, "ideal chain: nu = 0.5", "#2ca02c");
  reference(kSelfAvoidingExponent, "self-avoiding walk: nu = 0.5876", "#9467bd");
  return plot;
}

LogLogPlot sweepSeriesPlot(const SweepVaried& varied, const std::vector<SweepResult>& results,
                           const ModelInfo& model) {
  LogLogPlot plot;
  const std::string key(varied.setting->key);
  plot.title = "Scaling of <R^2>/N with N: " + std::string(model.key) + ", by " + key;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double xlo = kInf, xhi = -kInf, ylo = kInf, yhi = -kInf;
  for (std::size_t v = 0; v < results.size() && v < varied.values.size(); ++v) {
    PlotCurve curve{key + " = " + formatNumber(varied.values[v]), curveColour(v), {}};
    const SweepCurve perStep = sweepCurve(results[v]);
    for (std::size_t k = 0; k < perStep.perStep.size(); ++k) {
      const PlotPoint p{static_cast<double>(results[v].points[k].steps), perStep.perStep[k].value,
                        perStep.perStep[k].standardError};
      if (!(p.x > 0.0) || !(p.y > 0.0) || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
      curve.points.push_back(p);
      xlo = std::min(xlo, std::log10(p.x));
      xhi = std::max(xhi, std::log10(p.x));
      const bool bar = std::isfinite(p.yError) && p.yError > 0.0;
      ylo = std::min(ylo, std::log10(bar && p.y - p.yError > 0.0 ? p.y - p.yError : p.y));
      yhi = std::max(yhi, std::log10(bar ? p.y + p.yError : p.y));
    }
    plot.curves.push_back(std::move(curve));
  }
  plot.x = logAxis(xlo, xhi, "N (steps)");
  // At least a factor of 2, then the top share of the axis kept for the legend's entries.
  const double least = std::log10(2.0);
  if (ylo <= yhi && yhi - ylo < least) {
    const double mid = (ylo + yhi) / 2.0;
    ylo = mid - least / 2.0;
    yhi = mid + least / 2.0;
  }
  const double legendShare = std::min(0.6, 0.05 * static_cast<double>(plot.curves.size() + 1));
  if (ylo <= yhi) yhi = ylo + (yhi - ylo) / (1.0 - legendShare);
  plot.y = logAxis(ylo, yhi, "<R^2>/N", least);
  return plot;
}

std::string svgLogLogPlot(const LogLogPlot& plot, int widthPixels, int heightPixels) {
  const double width = widthPixels;
  const double height = heightPixels;
  const double left = 80, right = 20, top = 40, bottom = 60;
  const double plotW = width - left - right;
  const double plotH = height - top - bottom;
  const LogAxis& xr = plot.x;
  const LogAxis& yr = plot.y;
  const std::vector<PlotPoint>& points = plot.points;
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
  const std::vector<double>& xticks = xr.ticks;
  const std::vector<double>& yticks = yr.ticks;
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
       "\" text-anchor=\"middle\">" + escaped(xr.label) + "</text>\n";
  const double yLabelX = 20, yLabelY = top + plotH / 2;
  s += "<text class=\"y-label\" x=\"" + num(yLabelX) + "\" y=\"" + num(yLabelY) +
       "\" text-anchor=\"middle\" transform=\"rotate(-90 " + num(yLabelX) + " " + num(yLabelY) +
       ")\">" + escaped(yr.label) + "</text>\n";
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

  // Each curve: the line joining its points, their error bars, the points.
  for (const PlotCurve& curve : plot.curves) {
    const std::string colour = escaped(curve.colour);
    s += "<g class=\"curve\" stroke=\"" + colour + "\" fill=\"" + colour + "\">\n";
    if (curve.points.size() > 1) {
      s += "<polyline fill=\"none\" stroke-width=\"1.5\" points=\"";
      for (std::size_t i = 0; i < curve.points.size(); ++i) {
        s += (i > 0 ? " " : "") + num(px(curve.points[i].x)) + "," + num(py(curve.points[i].y));
      }
      s += "\"/>\n";
    }
    for (const PlotPoint& p : curve.points) {
      if (!std::isfinite(p.yError) || !(p.yError > 0.0)) continue;
      const double x = px(p.x);
      const double hi = py(p.y + p.yError);
      const double lo = p.y - p.yError > 0.0 ? py(p.y - p.yError) : top + plotH;
      s += "<path stroke-width=\"1\" d=\"M" + num(x - 4) + " " + num(lo) + "H" + num(x + 4) + "M" +
           num(x) + " " + num(lo) + "V" + num(hi) + "M" + num(x - 4) + " " + num(hi) + "H" +
           num(x + 4) + "\"/>\n";
    }
    for (const PlotPoint& p : curve.points) {
      s += "<circle cx=\"" + num(px(p.x)) + "\" cy=\"" + num(py(p.y)) + "\" r=\"3.5\"/>\n";
    }
    s += "</g>\n";
  }

  // Legend in the upper left corner of the plot area.
  s += "<g class=\"legend\">\n";
  double ly = top + 18;
  const double lx = left + 12;
  std::size_t entries = plot.lines.size(), longest = 0;
  if (!plot.pointsLabel.empty()) ++entries;
  longest = plot.pointsLabel.size();
  for (const PowerLine& line : plot.lines) longest = std::max(longest, line.label.size());
  for (const PlotCurve& curve : plot.curves) longest = std::max(longest, curve.label.size());
  entries += plot.curves.size();
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
  for (const PlotCurve& curve : plot.curves) {
    const std::string colour = escaped(curve.colour);
    s += "<line x1=\"" + num(lx) + "\" y1=\"" + num(ly - 4) + "\" x2=\"" + num(lx + 24) +
         "\" y2=\"" + num(ly - 4) + "\" stroke=\"" + colour + "\" stroke-width=\"1.5\"/>\n";
    s += "<circle cx=\"" + num(lx + 12) + "\" cy=\"" + num(ly - 4) + "\" r=\"3.5\" fill=\"" +
         colour + "\"/>\n";
    s += "<text x=\"" + num(lx + 32) + "\" y=\"" + num(ly) + "\">" + escaped(curve.label) +
         "</text>\n";
    ly += 18;
  }
  s += "</g>\n</svg>\n";
  return s;
}

}  // namespace polychain
