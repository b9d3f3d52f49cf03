#include "chain/run.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "analysis/paircorrelation.h"
#include "analysis/sizemeasure.h"
#include "chain/chaintext.h"
#include "chain/growth.h"
#include "chain/numtext.h"

namespace polychain {

std::string_view modelKey(Model model) {
  switch (model) {
    case Model::Meander: return "meander";
    case Model::SAW: return "saw";
    case Model::ShortRange: return "short-range";
  }
  return "meander";
}

void validateParams(const RunParams& params) {
  if (params.steps < 1) {
    throw InputError("Steps (N) must be a whole number of at least 1; " +
                     formatInteger(params.steps) + " is too small.");
  }
  if (params.iterations < 1) {
    throw InputError("Iterations must be a whole number of at least 1; " +
                     formatInteger(params.iterations) + " is too small.");
  }
  if (params.model == Model::ShortRange && params.kuhn == 0) {
    throw InputError(
        "Kuhn Length must not be 0: the walk could never leave the origin. Enter a whole "
        "number such as 1 to 10.");
  }
  // Every site of a chain lies within |K| (N - 1) of the origin on each axis; beyond 32 bits
  // the coordinates would wrap.
  const std::int64_t reach =
      (params.model == Model::ShortRange ? std::abs(std::int64_t{params.kuhn}) : 1) *
      (std::int64_t{params.steps} - 1);
  if (reach > std::numeric_limits<std::int32_t>::max()) {
    throw InputError("Kuhn Length " + formatInteger(params.kuhn) + " is too long for " +
                     formatInteger(params.steps) +
                     " steps: the chain would reach beyond the lattice's coordinates, which "
                     "end at 2147483647. Keep Kuhn Length times (Steps (N) - 1) within that.");
  }
}

// ---------------------------------------------------------------------------------------
// Run control and the per-chain monitor

namespace {
constexpr std::int64_t kCheckEvery = 1024;
constexpr auto kReportInterval = std::chrono::milliseconds(30);
}  // namespace

RunControl::RunControl(RunObserver& observer, const RunParams& params)
    : m_observer(observer), m_params(params) {}

void RunControl::stop(RunStatus why) {
  RunStatus expected = RunStatus::Finished;
  m_stop.compare_exchange_strong(expected, why);
}

bool RunControl::pollStop() {
  if (!stopped() && m_observer.cancelRequested()) stop(RunStatus::Cancelled);
  return stopped();
}

bool RunControl::due() {
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastReport < kReportInterval) return false;
  m_lastReport = now;
  return true;
}

void RunControl::chainDone() {
  // Counted under the lock, so the published share never goes back.
  const std::lock_guard lock(m_mutex);
  const std::int64_t done = ++m_chainsDone;
  m_last.chains = static_cast<float>(static_cast<double>(done) / m_params.iterations * 100.0);
  if (done == m_params.iterations || due()) m_observer.progress(m_last);
}

void RunControl::reportChain(std::int64_t chain, std::int64_t n, std::int64_t trials) {
  const std::lock_guard lock(m_mutex);
  if (!due()) return;
  m_last.chain = chain;
  m_last.trials = trials;
  m_last.steps = static_cast<float>(static_cast<double>(n) / m_params.steps * 100.0);
  m_observer.progress(m_last);
}

void RunControl::reportTrapped(std::int64_t chain, std::int64_t trials) {
  if (m_trappedSaid.exchange(true)) return;
  const std::lock_guard lock(m_mutex);
  m_observer.chainSeemsTrapped(chain, trials);
}

ChainMonitor::ChainMonitor(RunControl& control, std::int64_t chain, std::int32_t steps)
    : m_control(control), m_chain(chain), m_steps(steps) {
  const std::int64_t cap = control.params().maxTrials;
  m_nextCheck = cap > 0 ? std::min(kCheckEvery, cap + 1) : kCheckEvery;
}

bool ChainMonitor::check(std::int64_t n) {
  const std::int64_t cap = m_control.params().maxTrials;
  if (cap > 0 && m_trials > cap) {
    m_control.stop(RunStatus::TrialLimit);
    return false;
  }
  m_nextCheck = m_trials + kCheckEvery;
  if (cap > 0) m_nextCheck = std::min(m_nextCheck, cap + 1);
  if (m_control.pollStop()) return false;
  if (n > m_longest) {
    m_longest = n;
    m_trialsAtLongest = m_trials;
  } else if (m_trials - m_trialsAtLongest >= kTrappedTrials) {
    m_control.reportTrapped(m_chain, m_trials);
    m_trialsAtLongest = m_trials;
  }
  m_control.reportChain(m_chain, n, m_trials);
  (void)m_steps;
  return true;
}

// ---------------------------------------------------------------------------------------
// The run frame

namespace {

std::unique_ptr<ChainGrower> makeGrower(const RunParams& params) {
  switch (params.model) {
    case Model::Meander: return makeMeanderGrower(params);
    case Model::SAW: return makeSawGrower(params);
    case Model::ShortRange: return makeShortRangeGrower(params);
  }
  return makeMeanderGrower(params);
}

// Mean squared distance of the sites from their centre of mass, <r^2> - |<r>|^2, from what
// the size measure's pass gathered: the coordinate sums, and sum d_i^2 recovered from
// V = (1/m) sum (d_i - mu)^2 and S = sum d_i (mu = S/m over c sites) as
// sum d_i^2 = mV + mu (2S - c mu). No second pass over the sites.
double meanSquaredRadiusAboutCentre(double rgTotal, const SiteSums& sums, std::size_t sites,
                                    std::int32_t m) {
  const double c = static_cast<double>(sites);
  const double mu = sums.distances * (1.0 / static_cast<double>(m));
  const double squares = m * rgTotal + mu * (2.0 * sums.distances - c * mu);
  const double cx = static_cast<double>(sums.x) / c;
  const double cy = static_cast<double>(sums.y) / c;
  const double cz = static_cast<double>(sums.z) / c;
  return std::max(0.0, squares / c - (cx * cx + cy * cy + cz * cz));
}

ChainSummary summarize(const std::vector<Point>& sites, const ChainGrowth& growth,
                       std::int32_t divisor) {
  ChainSummary s;
  s.end = sites.back();
  SiteSums sums;
  s.rgTotal = CalcRgTotal(std::span<const Point>(sites), divisor, &sums);
  s.rg2CentreOfMass = meanSquaredRadiusAboutCentre(s.rgTotal, sums, sites.size(), divisor);
  s.sites = static_cast<std::int64_t>(sites.size());
  s.trials = growth.trials;
  s.discarded = growth.discarded;
  s.backups = growth.backups;
  return s;
}

ResultTexts resultTexts(const RunParams& params, const std::vector<ChainSummary>& chains) {
  std::int64_t endSum = 0;
  double distanceSum = 0.0;
  double rgSum = 0.0;
  for (const ChainSummary& c : chains) {
    endSum += std::int64_t{c.end.x} + c.end.y + c.end.z;
    distanceSum += distanceFromOrigin(c.end);
    rgSum += c.rgTotal;
  }
  const double iterations = params.iterations;
  const double n = params.steps;
  const double meanDistance = distanceSum / iterations;
  ResultTexts r;
  r.eR = formatNumber(static_cast<double>(endSum) / (iterations * n));
  r.TR = "0";
  r.Rsqred = formatNumber(meanDistance);
  if (params.model == Model::Meander) {
    r.TRsqred = formatNumber(std::pow(n, 0.5));
    r.pers = formatNumber(meanDistance / std::pow(n, 0.5));
  } else {
    r.TRsqred = formatNumber(std::pow(n, 3.0 / 5.0));
    r.pers = formatNumber(meanDistance * meanDistance / n);
  }
  r.Rgtxt = formatNumber(std::sqrt(rgSum / iterations));
  return r;
}

std::string exportHeader(const RunParams& params, const ResultTexts& r) {
  std::string h;
  const std::string iterations = formatInteger(params.iterations);
  switch (params.model) {
    case Model::Meander:
      h = "Meander\nIterations:," + iterations + ",R:," + r.eR + "\n";
      break;
    case Model::SAW:
      h = "Self Avoidance Walk\nIterations:," + iterations + ",Avoidance:," +
          formatInteger(params.avoid) + ",R:," + r.eR + "\n";
      break;
    case Model::ShortRange:
      h = "Short Range Interaction (1-10 Steps)\nIterations:," + iterations +
          ",Kuhn Length:," + formatInteger(params.kuhn) + ",R:," + r.eR + "\n";
      break;
  }
  h += "R Theoretical:," + r.TR + "\n";
  h += "<R^2>^(1/2):," + r.Rsqred + "\n";
  h += "<R^2>^(1/2) Theoretical:," + r.TRsqred + "\n";
  h += "Radius of gyration:," + r.Rgtxt + "\n";
  h += "Persistence Length:," + r.pers + "\n";
  return h;
}

std::string stopMessage(RunStatus status, const RunParams& params) {
  if (status == RunStatus::TrialLimit) {
    return "A chain passed the limit of " + formatInteger(params.maxTrials) +
           " trials; the run was stopped.";
  }
  return "The run was cancelled.";
}

}  // namespace

RunOutput runSimulation(const RunParams& params, RunObserver& observer) {
  validateParams(params);
  RunOutput out;
  out.seed = params.seed.value_or(clockSeed());

  RunControl control(observer, params);
  const int threads = params.threads > 0 ? params.threads : omp_get_max_threads();
  std::vector<std::unique_ptr<ChainGrower>> growers;
  for (int t = 0; t < threads; ++t) growers.push_back(makeGrower(params));
  std::vector<std::vector<Point>> buffers(static_cast<std::size_t>(threads));

  const std::int64_t iterations = params.iterations;
  std::vector<ChainSummary> chains(static_cast<std::size_t>(iterations));
  std::vector<Point> lastSites;

  // Chain i's stream is the base stream jumped i times; the states of a block of chains
  // are laid out first, then the block grows in parallel.
  RandomSource stream(out.seed);
  constexpr std::int64_t kBlock = 256;
  std::vector<RandomSource::State> states;
  for (std::int64_t first = 0; first < iterations && !control.stopped(); first += kBlock) {
    const std::int64_t count = std::min(kBlock, iterations - first);
    states.resize(static_cast<std::size_t>(count));
    for (auto& state : states) {
      state = stream.state();
      stream.jump();
    }
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1)
    for (std::int64_t k = 0; k < count; ++k) {
      if (control.stopped()) continue;
      const std::int64_t chain = first + k;
      const auto t = static_cast<std::size_t>(omp_get_thread_num());
      RandomSource random = RandomSource::fromState(states[static_cast<std::size_t>(k)]);
      ChainMonitor monitor(control, chain, params.steps);
      std::vector<Point>& sites = buffers[t];
      const ChainGrowth growth = growers[t]->grow(random, sites, monitor);
      if (growth.stopped) continue;
      chains[static_cast<std::size_t>(chain)] = summarize(sites, growth, params.steps);
      if (chain == iterations - 1) std::swap(lastSites, sites);
      control.chainDone();
    }
  }
  growers.clear();
  buffers.clear();

  if (!control.stopped() && params.calcParCF) {
    auto correlation = gorCalc(lastSites, params.steps, [&](float percent) {
      observer.correlationProgress(percent);
      return !control.pollStop();
    });
    if (correlation) {
      out.gofr = std::move(correlation->gofr);
      out.gofq = std::move(correlation->gofq);
    }
  }
  if (control.stopped()) {
    out.status = control.stopReason();
    out.message = stopMessage(out.status, params);
    return out;
  }

  out.results = resultTexts(params, chains);
  out.chainText = chainExportText(exportHeader(params, out.results), lastSites, threads);
  out.chains = std::move(chains);
  return out;
}

}  // namespace polychain
