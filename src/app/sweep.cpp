#include "app/sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/svgplot.h"
#include "chain/numtext.h"
#include "chain/random.h"

namespace polychain {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Passes everything through to the sweep's observer, turning a run's share of chains
// into a share of the whole sweep.
class PointObserver final : public RunObserver {
 public:
  PointObserver(SweepObserver& outer, double before, double share)
      : m_outer(outer), m_before(before), m_share(share) {}

  void progress(const RunProgress& p) override {
    RunProgress q = p;
    q.chains = static_cast<float>(
        std::min(100.0, (m_before + m_share * static_cast<double>(p.chains) / 100.0) * 100.0));
    m_outer.progress(q);
  }
  void correlationProgress(float percent) override { m_outer.correlationProgress(percent); }
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override {
    m_outer.chainSeemsTrapped(chain, trials);
  }
  bool cancelRequested() override { return m_outer.cancelRequested(); }
  void message(std::string_view title, std::string_view text) override {
    m_outer.message(title, text);
  }

 private:
  SweepObserver& m_outer;
  double m_before;  // share of the sweep done before this run, 0 to 1
  double m_share;   // this run's share of the sweep
};

std::string field(double value) { return std::isfinite(value) ? formatNumber(value) : ""; }

std::string trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::uint64_t sweepPointSeed(std::uint64_t sweepSeed, std::size_t index) {
  std::uint64_t state = sweepSeed;
  std::uint64_t seed = 0;
  for (std::size_t i = 0; i <= index; ++i) seed = splitMix64(state);
  return seed;
}

std::vector<std::int32_t> parseStepList(std::string_view text, std::string_view field) {
  const std::string name(field);
  if (trimmed(text).empty()) {
    throw InputError(name + " is empty: enter step counts separated by commas, such as " +
                     "100,200,400,800.");
  }
  std::vector<std::int32_t> steps;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    const std::string_view item =
        text.substr(at, comma == std::string_view::npos ? comma : comma - at);
    if (trimmed(item).empty()) {
      throw InputError(name + " has an empty entry: separate step counts by single commas, " +
                       "such as 100,200,400,800.");
    }
    steps.push_back(textToNumber(item, field));
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return steps;
}

void validateSweep(const SweepParams& params, std::string_view stepsField) {
  const std::string name(stepsField);
  if (params.steps.empty()) {
    throw InputError(name + " needs step counts to sweep, such as 100,200,400,800.");
  }
  for (std::int32_t n : params.steps) {
    if (n < 1) {
      throw InputError(name + ": every step count must be a whole number of at least 1; " +
                       formatInteger(n) + " is too small.");
    }
  }
  const auto first = params.steps.front();
  if (std::all_of(params.steps.begin(), params.steps.end(),
                  [first](auto n) { return n == first; })) {
    throw InputError(name + " needs at least two different step counts to fit an exponent.");
  }
  RunParams run = params.run;
  run.steps = first;
  validateParams(run);
}

std::optional<PowerLawFit> fitPowerLaw(std::span<const double> x, std::span<const double> y,
                                       std::span<const double> yError) {
  const std::size_t n = x.size();
  if (y.size() != n || (!yError.empty() && yError.size() != n) || n < 2) return std::nullopt;
  bool distinct = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(x[i] > 0.0) || !(y[i] > 0.0) || !std::isfinite(x[i]) || !std::isfinite(y[i])) {
      return std::nullopt;
    }
    distinct = distinct || x[i] != x[0];
  }
  if (!distinct) return std::nullopt;

  PowerLawFit fit;
  fit.points = n;
  fit.weighted = !yError.empty() && std::all_of(yError.begin(), yError.end(), [](double e) {
    return std::isfinite(e) && e > 0.0;
  });
  std::vector<double> lx(n), ly(n), w(n, 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    lx[i] = std::log(x[i]);
    ly[i] = std::log(y[i]);
    if (fit.weighted) {
      const double sigma = yError[i] / y[i];  // the error of log y
      w[i] = 1.0 / (sigma * sigma);
    }
  }
  double sw = 0.0, swx = 0.0, swy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sw += w[i];
    swx += w[i] * lx[i];
    swy += w[i] * ly[i];
  }
  const double mx = swx / sw;
  const double my = swy / sw;
  double sxx = 0.0, sxy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += w[i] * (lx[i] - mx) * (lx[i] - mx);
    sxy += w[i] * (lx[i] - mx) * (ly[i] - my);
  }
  fit.exponent = sxy / sxx;
  const double intercept = my - fit.exponent * mx;
  fit.amplitude = std::exp(intercept);
  double chi2 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = ly[i] - intercept - fit.exponent * lx[i];
    chi2 += w[i] * r * r;
  }
  const double dof = static_cast<double>(n) - 2.0;
  if (fit.weighted) {
    fit.chiSquaredPerDof = dof > 0 ? chi2 / dof : kNaN;
    fit.exponentError = std::sqrt(1.0 / sxx);
    if (fit.chiSquaredPerDof > 1.0) fit.exponentError *= std::sqrt(fit.chiSquaredPerDof);
  } else {
    fit.chiSquaredPerDof = kNaN;
    fit.exponentError = dof > 0 ? std::sqrt(chi2 / dof / sxx) : kNaN;
  }
  return fit;
}

SweepOutput runSweep(const SweepParams& params, SweepObserver& observer) {
  validateSweep(params);
  SweepOutput out;
  out.seed = params.seed.value_or(clockSeed());
  double total = 0.0;
  for (std::int32_t n : params.steps) total += n;
  double done = 0.0;
  const std::size_t count = params.steps.size();
  for (std::size_t k = 0; k < count; ++k) {
    RunParams run = params.run;
    run.steps = params.steps[k];
    run.seed = sweepPointSeed(out.seed, k);
    run.calcParCF = false;
    const std::string where =
        "after " + std::to_string(k) + " of " + std::to_string(count) + " step counts";
    if (observer.cancelRequested()) {
      out.status = RunStatus::Cancelled;
      out.message = "The sweep was cancelled " + where + ".";
      return out;
    }
    observer.pointStarted(k, run.steps, *run.seed);
    PointObserver pointObserver(observer, done / total, run.steps / total);
    RunOutput result = runSimulation(run, pointObserver);
    if (result.status != RunStatus::Finished) {
      out.status = result.status;
      out.message = result.status == RunStatus::Cancelled
                        ? "The sweep was cancelled " + where + "."
                        : result.message + " (N = " + formatInteger(run.steps) + ", " + where + ")";
      return out;
    }
    SweepPoint point;
    point.steps = run.steps;
    point.seed = *run.seed;
    point.stats = extendedStats(result.chains, run.model);
    out.points.push_back(point);
    observer.pointFinished(k, point);
    done += run.steps;
  }
  std::vector<double> x, y, e;
  for (const SweepPoint& p : out.points) {
    x.push_back(p.steps);
    y.push_back(p.stats.rmsEnd.value);
    e.push_back(p.stats.rmsEnd.standardError);
  }
  out.fit = fitPowerLaw(x, y, e);
  return out;
}

std::string sweepCsv(const SweepOutput& sweep, Model model) {
  const bool counts = model == Model::SAW || model == Model::ShortRange;
  std::string text =
      "N,seed,chains,R2,R2_se,rms_R,rms_R_se,mean_R,mean_R_se,Rg2,Rg2_se,rms_Rg,rms_Rg_se,"
      "ratio,ratio_se";
  if (counts) {
    text += ",trials_mean,trials_max,discarded_mean,discarded_max,backups_mean,backups_max";
  }
  text += "\n";
  for (const SweepPoint& p : sweep.points) {
    const ExtendedStats& s = p.stats;
    text += formatInteger(p.steps) + "," + std::to_string(p.seed) + "," + formatInteger(s.chains);
    for (const Estimate* e :
         {&s.meanSquaredEnd, &s.rmsEnd, &s.meanEnd, &s.meanSquaredRg, &s.rmsRg, &s.ratio}) {
      text += "," + field(e->value) + "," + field(e->standardError);
    }
    if (counts) {
      for (const auto* c : {&s.trials, &s.discarded, &s.backups}) {
        text += c->has_value() ? "," + field((*c)->mean) + "," + formatInteger((*c)->max)
                               : std::string(",,");
      }
    }
    text += "\n";
  }
  return text;
}

std::string sweepSvg(const SweepOutput& sweep, Model model) {
  LogLogPlot plot;
  plot.title = "Scaling of sqrt(<R^2>) with N: " + std::string(modelKey(model));
  plot.xLabel = "N (steps)";
  plot.yLabel = "sqrt(<R^2>)";
  plot.pointsLabel = "runs (error bars: 1 standard error)";
  double sumLogX = 0.0, sumLogY = 0.0;
  for (const SweepPoint& p : sweep.points) {
    const Estimate& e = p.stats.rmsEnd;
    plot.points.push_back({static_cast<double>(p.steps), e.value, e.standardError});
    sumLogX += std::log(static_cast<double>(p.steps));
    sumLogY += std::log(e.value);
  }
  if (sweep.points.empty()) return svgLogLogPlot(plot);
  // The reference slopes pass through the fitted line (or the points' centre without a fit)
  // at the geometric mean of the N, so their slopes compare at a glance.
  const double count = static_cast<double>(sweep.points.size());
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
  return svgLogLogPlot(plot);
}

}  // namespace polychain
