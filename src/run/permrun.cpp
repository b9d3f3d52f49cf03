// The perm model's runner: its units are tours, each a tree of chains grown from the origin by
// the pruned-enriched Rosenbluth method (chain/perm.h) from the run's stream jumped once per
// tour, with thresholds fixed by a deterministic pilot, so that tours are independent and
// their sums, added up in tour order, are the same bits on any thread and process count.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "analysis/chainmeasures.h"
#include "analysis/formfactor.h"
#include "analysis/measureslots.h"
#include "analysis/sizemeasure.h"
#include "chain/perm.h"
#include "polychain/resources.h"
#include "run/runner.h"
#include "run/sharedschedule.h"

namespace polychain {

namespace {

// A tour's result, in doubles: the deepest n it reached, then for n = 1 ... N the sums over its
// chains of n steps of w, w R^2, w Rg^2 and w^2 and their count, then, over its chains of N
// steps, the sums of w (x + y + z), w |R| and w times the size measure, (0 without an energy)
// of w c, w b, w U and w U^2, c the contacts, b the bends and U the energy in kT, and (0 but
// in every kFormEvery-th tour) of w and of w P(q) at each wave number of the form factor.
constexpr std::size_t kPerStep = 5;
constexpr std::size_t kHead = 1;
constexpr std::size_t kFormAt = 7;
constexpr std::size_t kTail = kFormAt + 1 + kWavePoints;
// The form factor is taken in every kFormEvery-th tour by index: tours are independent, so
// those tours' chains of N steps weigh it without bias, at a fraction of the run's cost.
constexpr std::int64_t kFormEvery = 4;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t tourWords(std::int32_t steps) {
  return kHead + kPerStep * static_cast<std::size_t>(steps) + kTail;
}
std::size_t stepAt(std::int32_t n) { return kHead + kPerStep * static_cast<std::size_t>(n - 1); }

// The tours a run grows at most after its last tour to find a chain of N steps to show, when
// the last tour reached none.
constexpr int kShowTours = 1000;

const PermSettings& settingsOf(const RunParams& params) {
  return std::get<PermSettings>(params.model);
}

bool hasEnergy(const RunParams& params) {
  const PermSettings& s = settingsOf(params);
  return s.contactEnergy != 0.0 || s.bendEnergy != 0.0;
}

// The pilot's ln Z_n for the run's N and energies, worked out once and kept for the latest
// parameters asked (worked out without the lock, so that a run waits for no other's pilot);
// null when `goOn` stopped it.
template <class GoOn>
std::shared_ptr<const std::vector<double>> pilotFor(const RunParams& params, GoOn&& goOn) {
  struct Kept {
    std::int32_t steps = -1;
    PermSettings settings;
    std::shared_ptr<const std::vector<double>> logZ;
  };
  static std::mutex mutex;
  static Kept kept;
  const PermSettings& asked = settingsOf(params);
  {
    const std::lock_guard lock(mutex);
    if (kept.logZ != nullptr && kept.steps == params.steps &&
        kept.settings.contactEnergy == asked.contactEnergy &&
        kept.settings.bendEnergy == asked.bendEnergy) {
      return kept.logZ;
    }
  }
  std::optional<std::vector<double>> logZ = permPilot(params.steps, asked, goOn);
  if (!logZ) return nullptr;
  auto made = std::make_shared<const std::vector<double>>(std::move(*logZ));
  const std::lock_guard lock(mutex);
  kept = {params.steps, asked, made};
  return made;
}

// A run's tours' guide: weights in units of the pilot's Z_n (so the thresholds are the same
// numbers at every n), each chain added into the tour's sums.
struct TourGuide {
  std::span<const double> step;  // at n: Z_(n-1) / Z_n of the pilot
  std::span<double> sums;
  std::int32_t steps = 0;
  std::int32_t deepest = 0;
  RunControl* control = nullptr;
  std::vector<Point>* shown = nullptr;  // when set: the last chain of N steps reached
  std::int64_t tour = 0;
  std::int64_t chains = 0;
  std::int64_t cap = 0;                  // the run's trial cap, on the chains of one tour (0: none)
  const PermSettings* energy = nullptr;  // when an energy is set: its energies
  AxisFourier* form = nullptr;           // in a tour that takes the form factor

  double weigh(std::int32_t n, double parent, double atmosphere) const {
    return parent * atmosphere * step[static_cast<std::size_t>(n)];
  }
  PermBounds bounds(std::int32_t) const { return {kPermEnrich, kPermPrune}; }
  void visit(const PermNode& node) {
    ++chains;
    deepest = std::max(deepest, node.steps);
    const double w = node.weight;
    double* at = sums.data() + stepAt(node.steps);
    at[0] += w;
    at[1] += w * node.squaredEnd;
    at[2] += w * node.squaredGyration;
    at[3] += w * w;
    at[4] += 1.0;
    if (node.steps < steps) return;
    if (shown != nullptr) shown->assign(node.sites.begin(), node.sites.end());
    const ChainSummary summary = summarizeChain(node.sites, steps);
    double* tail = sums.data() + stepAt(steps + 1);
    tail[0] += w * static_cast<double>(std::int64_t{summary.end.x} + summary.end.y + summary.end.z);
    tail[1] += w * distanceFromOrigin(summary.end);
    tail[2] += w * summary.rgTotal;
    if (form != nullptr) {
      const std::array<double, kWavePoints> power = form->formFactor(node.sites);
      tail[kFormAt] += w;
      for (std::size_t i = 0; i < kWavePoints; ++i) tail[kFormAt + 1 + i] += w * power[i];
    }
    if (energy) {
      const double u = energy->contactEnergy * node.contacts + energy->bendEnergy * node.bends;
      tail[3] += w * node.contacts;
      tail[4] += w * node.bends;
      tail[5] += w * u;
      tail[6] += w * u * u;
    }
  }
  bool goOn() const {
    if (cap > 0 && chains > cap) control->stopAtTrialLimit(tour);
    return !control->pollStop();
  }
};

// Sums over the tours of a tour's sum a, and of a^2, and of a b with another sum b; and the
// tours whose a is not zero (of a weight: the tours that reached that n).
struct TourMoments {
  double sum = 0.0, squares = 0.0, times = 0.0;
  std::int64_t nonzero = 0;
  void add(double a, double b) {
    sum += a;
    squares += a * a;
    times += a * b;
    if (a != 0.0) ++nonzero;
  }
};

// The ratio estimator sum a / sum b over T tours and its standard error by the delta method:
// sqrt(sum (a - q b)^2 / (T (T - 1))) / mean b. The error needs two tours that weigh something:
// from one, the spread is zero however uncertain the value, and there is none.
Estimate ratioOf(const TourMoments& a, const TourMoments& b, double tours) {
  Estimate e;
  if (!(b.sum > 0.0)) return e;
  e.value = a.sum / b.sum;
  if (tours >= 2.0 && b.nonzero >= 2) {
    const double q = e.value;
    const double spread = std::max(0.0, a.squares - 2.0 * q * a.times + q * q * b.squares);
    e.standardError = std::sqrt(spread / (tours * (tours - 1.0))) / (b.sum / tours);
  }
  return e;
}

Estimate rootOf(const Estimate& e) {
  Estimate r{std::sqrt(e.value), std::numeric_limits<double>::quiet_NaN()};
  if (e.hasError()) r.standardError = r.value > 0.0 ? e.standardError / (2.0 * r.value) : 0.0;
  return r;
}

// Adds the tours up in tour order.
class TourTally final : public UnitTally {
 public:
  explicit TourTally(const RunParams& params)
      : m_params(params),
        m_steps(params.steps),
        m_weight(static_cast<std::size_t>(params.steps) + 1),
        m_end(m_weight.size()),
        m_gyration(m_weight.size()),
        m_squares(m_weight.size(), 0.0),
        m_chains(m_weight.size(), 0.0),
        m_waves(formFactorWaves(params)) {}

  void add(std::span<const std::byte> result) override {
    const auto word = [&result](std::size_t at) {
      double value = 0.0;
      std::memcpy(&value, result.data() + at * sizeof(double), sizeof(double));
      return value;
    };
    ++m_tours;
    const auto deepest = static_cast<std::int32_t>(word(0));
    // A tour adds nothing (zeros) at the n it did not reach.
    for (std::int32_t n = 1; n <= deepest; ++n) {
      const auto at = static_cast<std::size_t>(n);
      const std::size_t from = stepAt(n);
      const double w = word(from);
      m_weight[at].add(w, w);
      m_end[at].add(word(from + 1), w);
      m_gyration[at].add(word(from + 2), w);
      m_squares[at] += word(from + 3);
      m_chains[at] += word(from + 4);
    }
    const double wN = deepest == m_steps ? word(stepAt(m_steps)) : 0.0;
    const std::size_t tail = stepAt(m_steps + 1);
    m_sum.add(word(tail), wN);
    m_distance.add(word(tail + 1), wN);
    m_size.add(word(tail + 2), wN);
    const double gyrationN = deepest == m_steps ? word(stepAt(m_steps) + 2) : 0.0;
    const double endN = deepest == m_steps ? word(stepAt(m_steps) + 1) : 0.0;
    m_gyrationOverEnd.add(gyrationN, endN);
    m_contacts.add(word(tail + 3), wN);
    m_bends.add(word(tail + 4), wN);
    m_energy.add(word(tail + 5), wN);
    m_energySquared.add(word(tail + 6), wN);
    m_energyCross += word(tail + 5) * word(tail + 6);
    if (deepest == m_steps) ++m_reaching;
    if ((m_tours - 1) % kFormEvery == 0) {
      const double formWeight = word(tail + kFormAt);
      m_formWeight.add(formWeight, formWeight);
      if (formWeight > 0.0) ++m_formTours;
      for (std::size_t i = 0; i < kWavePoints; ++i) {
        m_form[i].add(word(tail + kFormAt + 1 + i), formWeight);
      }
    }
  }

  void finish(RunResult& out) override {
    const ModelInfo& model = modelOf(m_params.model);
    const auto pilot = pilotFor(m_params, [] { return true; });
    const double tours = static_cast<double>(m_tours);
    const auto size = static_cast<std::size_t>(m_steps);
    std::vector<double> n(size), logZ(size), logZError(size), r2(size), r2Error(size), rg2(size),
        rg2Error(size), effective(size);
    for (std::int32_t k = 1; k <= m_steps; ++k) {
      const auto at = static_cast<std::size_t>(k);
      const TourMoments& w = m_weight[at];
      const double mean = w.sum / tours;
      const double variance =
          tours >= 2.0 ? std::max(0.0, (w.squares - w.sum * mean) / (tours - 1.0)) : kNaN;
      n[at - 1] = k;
      logZ[at - 1] = mean > 0.0 ? (*pilot)[at] + std::log(mean) : kNaN;
      logZError[at - 1] = mean > 0.0 ? std::sqrt(variance / tours) / mean : kNaN;
      const Estimate end = ratioOf(m_end[at], w, tours);
      const Estimate gyration = ratioOf(m_gyration[at], w, tours);
      r2[at - 1] = end.value;
      r2Error[at - 1] = end.standardError;
      rg2[at - 1] = gyration.value;
      rg2Error[at - 1] = gyration.standardError;
      effective[at - 1] = m_squares[at] > 0.0 ? w.sum * w.sum / m_squares[at] : 0.0;
    }
    const auto last = static_cast<std::size_t>(m_steps);
    const TourMoments& w = m_weight[last];
    const auto chains = static_cast<std::int64_t>(m_chains[last]);

    // The six results and the extended statistics at N: weighted means over the chains of N
    // steps, with errors over the tours.
    const double steps = m_steps;
    const Estimate sum = ratioOf(m_sum, w, tours);
    const Estimate distance = ratioOf(m_distance, w, tours);
    const Estimate size2 = ratioOf(m_size, w, tours);
    out.sums.chains = chains;
    ResultValues& r = out.values;
    r.eR = {sum.value / steps, sum.standardError / steps};
    r.TR = {0.0};
    r.Rsqred = distance;
    r.TRsqred = {std::pow(steps, model.sizeExponent)};
    r.pers.value = model.persistence(distance.value, steps);
    r.pers.standardError = distance.value > 0.0 ? model.persistencePower * r.pers.value /
                                                      distance.value * distance.standardError
                                                : kNaN;
    r.Rgtxt = rootOf(size2);
    ExtendedStats& e = out.extended;
    e.chains = chains;
    e.meanSquaredEnd = ratioOf(m_end[last], w, tours);
    e.rmsEnd = rootOf(e.meanSquaredEnd);
    e.meanEnd = distance;
    e.meanSquaredRg = ratioOf(m_gyration[last], w, tours);
    e.rmsRg = rootOf(e.meanSquaredRg);
    const TourMoments end{m_end[last].sum, m_end[last].squares, 0.0, w.nonzero};
    e.ratio = ratioOf(m_gyrationOverEnd, end, tours);

    out.measures.assign(model.measures.size(), MeasureValue{});
    const auto measure = [&](std::string_view name) -> MeasureValue& {
      return measureNamed(model, out.measures, name);
    };
    measure("log_partition") = {logZ.back(), logZError.back(), {}};
    measure("effective_samples").value = effective.back();
    measure("chains").value = static_cast<double>(chains);
    measure("tours_reaching").value = static_cast<double>(m_reaching);
    measure("n").curve = std::move(n);
    measure("log_partition_n").curve = std::move(logZ);
    measure("log_partition_n_se").curve = std::move(logZError);
    measure("R2_n").curve = std::move(r2);
    measure("R2_n_se").curve = std::move(r2Error);
    measure("Rg2_n").curve = std::move(rg2);
    measure("Rg2_n_se").curve = std::move(rg2Error);
    measure("effective_samples_n").curve = std::move(effective);
    if (hasEnergy(m_params)) out.energy = energyAtN(w, tours);
    out.formFactor = formFactorAtN(e.meanSquaredRg.value);
  }

 private:
  // P(q) at N: the weighted mean over the chains of N steps of the tours that took it, with
  // errors over those tours, and the Debye function at the run's <Rg^2>.
  FormFactor formFactorAtN(double squaredGyration) const {
    FormFactor f;
    f.q = m_waves.qs();
    f.every = kFormEvery;
    const double tours = static_cast<double>((m_tours + kFormEvery - 1) / kFormEvery);
    f.chains = m_formTours;
    for (std::size_t i = 0; i < f.q.size(); ++i) {
      const Estimate p = ratioOf(m_form[i], m_formWeight, tours);
      f.P.push_back(p.value);
      f.error.push_back(p.standardError);
      f.debye.push_back(debyeFunction(f.q[i], squaredGyration));
    }
    return f;
  }

  // The weighted means at N of the contacts, bends and energy, and the heat capacity
  // <U^2> - <U>^2, each with its error over the tours by the delta method.
  EnergyEstimates energyAtN(const TourMoments& w, double tours) const {
    EnergyEstimates e;
    e.contacts = ratioOf(m_contacts, w, tours);
    e.bends = ratioOf(m_bends, w, tours);
    e.energy = ratioOf(m_energy, w, tours);
    if (!(w.sum > 0.0)) return e;
    // C = A/W - (B/W)^2 with A, B and W the sums over the tours of w U^2, w U and w; a tour
    // of sums (a, b, v) moves it by (a + beta b + gamma v) / W.
    const double mean = m_energy.sum / w.sum;
    const double second = m_energySquared.sum / w.sum;
    const double beta = -2.0 * mean;
    const double gamma = 2.0 * mean * mean - second;
    e.heatCapacity.value = second - mean * mean;
    if (tours >= 2.0 && w.nonzero >= 2) {
      const double spread = m_energySquared.squares + beta * beta * m_energy.squares +
                            gamma * gamma * w.squares + 2.0 * beta * m_energyCross +
                            2.0 * gamma * m_energySquared.times +
                            2.0 * beta * gamma * m_energy.times;
      e.heatCapacity.standardError =
          std::sqrt(std::max(0.0, spread) * tours / (tours - 1.0)) / w.sum;
    }
    return e;
  }

  const RunParams& m_params;
  std::int32_t m_steps;
  std::int64_t m_tours = 0;
  std::int64_t m_reaching = 0;
  // At n: the weights (times themselves), and w R^2 and w Rg^2 (times the weights).
  std::vector<TourMoments> m_weight, m_end, m_gyration;
  std::vector<double> m_squares, m_chains;  // at n: sum of w^2 and the chains
  // At N, times the weights: w (x + y + z), w |R|, w times the size measure; and w Rg^2 times
  // w R^2.
  TourMoments m_sum, m_distance, m_size, m_gyrationOverEnd;
  // At N, times the weights: w c, w b, w U and w U^2; and the sum of w U times w U^2.
  TourMoments m_contacts, m_bends, m_energy, m_energySquared;
  WaveNumbers m_waves;
  TourMoments m_formWeight;
  std::array<TourMoments, kWavePoints> m_form{};
  std::int64_t m_formTours = 0;  // of those that took the form factor, the tours reaching N
  double m_energyCross = 0.0;
};

// The tours of a block shared out one at a time among this process's threads, never more than
// a window beyond the oldest not yet passed on, so that the results waiting stay a few per
// thread.
using TourQueue = SharedSchedule<std::vector<double>>;

class PermRunner final : public ModelRunner {
 public:
  std::int64_t units(const RunParams& params) const override { return params.iterations; }
  std::int64_t samples(const RunParams&, std::int64_t, std::int64_t count) const override {
    return count;
  }
  // A tour grows a few chains of each length (tours that die early and tours with many chains
  // alike).
  std::int64_t unitCost(const RunParams& params) const override {
    return 4 * std::int64_t{params.steps};
  }
  std::size_t unitBytes(const RunParams& params) const override {
    return tourWords(params.steps) * sizeof(double);
  }
  bool independentSamples() const override { return true; }
  // Its chains are weighted: a sample of them is not one of the walks' distribution.
  std::int64_t sampledChains(const RunParams&) const override { return 0; }

  void runUnits(const RunParams& params, const Block& block, RunControl& control,
                const UnitSink& sink, RunLeftovers& left,
                const ChainSitesSink& /*sites*/) const override {
    const auto pilot = pilotFor(params, [&control] { return !control.pollStop(); });
    if (pilot == nullptr) return;
    const std::int32_t steps = params.steps;
    std::vector<double> step(static_cast<std::size_t>(steps) + 1, 1.0);
    for (std::size_t n = 1; n < step.size(); ++n) step[n] = std::exp((*pilot)[n - 1] - (*pilot)[n]);
    const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), block.count));
    const PermSettings* energy = hasEnergy(params) ? &settingsOf(params) : nullptr;
    const std::int64_t lastTour = params.iterations - 1;
    TourQueue queue(block.stream, block.first, block.count, 4 * std::int64_t{threads},
                    [](std::int64_t) { return std::int64_t{1}; });
    // Their results go to the sink in tour order.
    const auto pass = [&sink](std::int64_t first, std::int64_t, const std::vector<double>& due) {
      sink(first, std::as_bytes(std::span(due)));
    };
    RegionFailure failure;

#pragma omp parallel num_threads(threads)
    failure.guard(control, [&] {
      PermTree tree(steps, settingsOf(params));
      std::vector<double> sums(tourWords(steps), 0.0);
      std::vector<Point> shown;
      AxisFourier fourier(formFactorWaves(params));
      Block tour;
      while (queue.take(control, tour)) {
        if (sums.size() != tourWords(steps)) sums.assign(tourWords(steps), 0.0);
        const bool last = tour.first == lastTour;
        TourGuide guide{step,
                        sums,
                        steps,
                        0,
                        &control,
                        last ? &shown : nullptr,
                        tour.first,
                        0,
                        params.maxTrials,
                        energy,
                        tour.first % kFormEvery == 0 ? &fourier : nullptr};
        RandomSource random = tour.stream;
        if (!tree.tour(random, guide)) break;
        sums[0] = guide.deepest;
        queue.finish(tour, sums, pass);
        if (sums.size() == tourWords(steps)) {
          std::fill(sums.begin(),
                    sums.begin() + static_cast<std::ptrdiff_t>(stepAt(guide.deepest + 1)), 0.0);
          std::fill(sums.end() - kTail, sums.end(), 0.0);
        }
        control.chainDone();
        if (!last) continue;
        // The chain shown for the run: the last tour's last chain of N steps, or that of one of
        // a few more tours grown on from its stream and not counted (the origin alone when
        // none reached N).
        std::vector<double> unused(tourWords(steps), 0.0);
        TourGuide more{step, unused, steps, 0, &control, &shown, tour.first, 0, params.maxTrials};
        for (int t = 0; t < kShowTours && shown.empty(); ++t) {
          if (!tree.tour(random, more)) break;
        }
        if (shown.empty()) shown.push_back({0, 0, 0});
        left.lastSites = std::move(shown);
      }
    });
    failure.rethrow();
  }

  std::unique_ptr<UnitTally> tally(const RunParams& params) const override {
    return std::make_unique<TourTally>(params);
  }

  // The tally's sums and the pilot's estimates at every n, and the tours' results waiting to be
  // added up.
  RunnerMemory memory(const RunParams& params) const override {
    const auto sites = static_cast<std::uint64_t>(params.steps) + 1;
    const auto waiting = static_cast<std::uint64_t>(4 * runThreads(params) + 1);
    return {sites * 14 * sizeof(double) + waiting * tourWords(params.steps) * sizeof(double),
            "Steps (N) = " + std::to_string(params.steps), "Choose a smaller N."};
  }
};

}  // namespace

const ModelRunner& permRunner() {
  static const PermRunner runner;
  return runner;
}

}  // namespace polychain
