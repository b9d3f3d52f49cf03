// The pivot model's runner: its units are walkers, each a Markov chain of self-avoiding walks
// from its own stream, which share the run's samples out as evenly as can be (the first
// walkers taking one more) and measure the walk after every attempted pivot past the burn-in.
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "analysis/formfactor.h"
#include "analysis/measureslots.h"
#include "analysis/timeseries.h"
#include "chain/pivot.h"
#include "chain/pivotmodel.h"
#include "polychain/resources.h"
#include "run/runner.h"

namespace polychain {

namespace {

// Attempts between two looks at the stop flag: about a millisecond of work.
constexpr std::int64_t kPollEvery = 1024;

// What a walker under an energy measured after every attempted pivot past the burn-in: its
// contacts, bends and energy, and (U - reference)^2, U the energy and the reference its mean
// over the second half of the burn-in, whose mean gives the heat capacity's error.
struct EnergyNote {
  std::array<ObservableSummary, 3> terms;  // contacts, bends and energy
  ObservableSummary spread;                // (U - reference)^2
  double reference = 0.0;
};

// What one walker leaves: its samples' sums, the summary of R^2, |R| and Rg^2 measured after
// every attempted pivot past the burn-in, and its pivots.
struct WalkerNote {
  RunSums sums;
  SeriesSummary measured;
  WaveSums form;  // the form factor of its samples
  std::int64_t attempts = 0;
  std::int64_t accepted = 0;
  EnergyNote energy;  // under an energy only
};

// A walker's Metropolis pivots under a non-zero energy: the walk's contacts and bends, counted
// once and then kept up to date by what each accepted pivot changes, and their series.
class WalkerEnergy {
 public:
  WalkerEnergy(const PivotEnergy& energy, std::int32_t localMoves, const PivotWalk& walk,
               std::int64_t planned)
      : m_energy(energy), m_localMoves(localMoves), m_terms(3, planned), m_spread(1, planned) {
    std::vector<Point> sites;
    walk.sites(sites);
    m_counts = contactsAndBends(std::move(sites));
  }

  // An attempted pivot, then the local moves, kink jumps and crankshafts in turn; whether the
  // pivot was taken.
  bool attempt(PivotWalk& walk, RandomSource& random) {
    PivotChange change;
    const bool taken = walk.attempt(random, m_energy, change);
    add(change);
    for (std::int32_t k = 0; k < m_localMoves; ++k) {
      if (k % 2 == 0) {
        walk.kinkAttempt(random, m_energy, change);
      } else {
        walk.crankshaftAttempt(random, m_energy, change);
      }
      add(change);
    }
    return taken;
  }
  double energy() const { return m_energy.of(m_counts); }
  // After attempt `done` of a burn-in of `total`: the second half's energies make the reference.
  void settle(std::int64_t done, std::int64_t total) {
    if (2 * done < total) return;
    m_settledSum += energy();
    ++m_settled;
  }
  void measure() {
    if (m_terms.steps() == 0)
      m_reference = m_settled > 0 ? m_settledSum / static_cast<double>(m_settled) : energy();
    const double u = energy();
    const double terms[3] = {static_cast<double>(m_counts.contacts),
                             static_cast<double>(m_counts.bends), u};
    m_terms.add(terms);
    const double spread[1] = {(u - m_reference) * (u - m_reference)};
    m_spread.add(spread);
  }
  EnergyNote note() const {
    return {{m_terms.summary(0), m_terms.summary(1), m_terms.summary(2)},
            m_spread.summary(0),
            m_reference};
  }

 private:
  void add(const PivotChange& change) {
    m_counts.contacts += change.contacts;
    m_counts.bends += change.bends;
  }

  PivotEnergy m_energy;
  std::int32_t m_localMoves;
  PivotChange m_counts;
  ObservableSeries m_terms;
  ObservableSeries m_spread;
  double m_settledSum = 0.0;
  std::int64_t m_settled = 0;
  double m_reference = 0.0;
};

// The walkers' energy notes taken together, weighed by their measured attempts: each mean with
// the error of the walkers' variances of the mean; the heat capacity <U^2> - <U>^2 over every
// attempt, its error by the delta method from the mean of (U - reference)^2 and of U.
EnergyEstimates combineEnergy(std::span<const EnergyNote> notes) {
  double steps = 0.0;
  for (const EnergyNote& n : notes) steps += static_cast<double>(n.terms[0].n);
  EnergyEstimates out;
  if (steps == 0.0) return out;
  double contacts = 0, contactsVar = 0, bends = 0, bendsVar = 0, energy = 0, energyVar = 0;
  double second = 0, capacityVar = 0;
  for (const EnergyNote& n : notes) {
    const double w = static_cast<double>(n.terms[0].n) / steps;
    const ObservableSummary& u = n.terms[2];
    contacts += w * n.terms[0].mean;
    contactsVar += w * w * n.terms[0].varianceOfMean;
    bends += w * n.terms[1].mean;
    bendsVar += w * w * n.terms[1].varianceOfMean;
    energy += w * u.mean;
    energyVar += w * w * u.varianceOfMean;
    second += w * (u.squares / static_cast<double>(u.n) + u.mean * u.mean);
    const double lean = 2.0 * (u.mean - n.reference);
    capacityVar += w * w * (n.spread.varianceOfMean + lean * lean * u.varianceOfMean);
  }
  out.contacts = {contacts, std::sqrt(contactsVar)};
  out.bends = {bends, std::sqrt(bendsVar)};
  out.energy = {energy, std::sqrt(energyVar)};
  out.heatCapacity = {second - energy * energy, std::sqrt(capacityVar)};
  return out;
}

// One sample's own values, kept when the run asks for each chain's (RunParams::perChain); a
// walker's follow its note in its result, in the order it took them.
struct SampleValues {
  Point end;
  double squaredGyration = 0.0;
};

const PivotSettings& settingsOf(const RunParams& params) {
  return std::get<PivotSettings>(params.model);
}

// The pivot model's measures, in the slots the tally fills.
enum class Measure {
  Walkers,
  Attempts,
  Accepted,
  Measured,
  Acceptance,
  TauR2,
  TauRg2,
  TauR2Accepted,
  TauRg2Accepted,
  PivotsPerSample,
  BurnIn,
  Count
};
constexpr std::array<std::string_view, static_cast<std::size_t>(Measure::Count)> kMeasureNames = {
    "walkers", "attempts",        "accepted",         "measured",          "acceptance", "tau_R2",
    "tau_Rg2", "tau_R2_accepted", "tau_Rg2_accepted", "pivots_per_sample", "burn_in"};

// The samples whose form factor the run takes: those whose index is a multiple of this, so that
// it costs at most a few per cent of the pivots between samples (measured: at N = 10^5 a
// sample's form factor, O(N), costs about as much as 330 attempted pivots, whose cost grows
// far more slowly with N).
std::int64_t formFactorSpacing(const RunParams& params) {
  const std::int64_t perSample = std::max<std::int64_t>(settingsOf(params).pivotsPerSample, 1);
  return std::max<std::int64_t>(1, params.steps / (4 * perSample));
}

const MeasureSlots<Measure, kMeasureNames.size()>& measureSlots() {
  static const MeasureSlots<Measure, kMeasureNames.size()> slots(modelInfo(PivotSettings{}),
                                                                 kMeasureNames);
  return slots;
}

// The walkers, each taking at least one sample.
std::int64_t activeWalkers(const RunParams& params) {
  return pivotWalkers(settingsOf(params), params.steps, params.iterations);
}

std::int64_t burnIn(const RunParams& params) {
  return pivotBurnIn(settingsOf(params), params.steps);
}

std::int64_t walkerSamples(const RunParams& params, std::int64_t walker) {
  const std::int64_t walkers = activeWalkers(params);
  return params.iterations / walkers + (walker < params.iterations % walkers ? 1 : 0);
}

// The run's index of walker `walker`'s first sample: the samples of the walkers before it.
std::int64_t walkerFirstSample(const RunParams& params, std::int64_t walker) {
  const std::int64_t walkers = activeWalkers(params);
  return walker * (params.iterations / walkers) +
         std::min<std::int64_t>(walker, params.iterations % walkers);
}

// Runs walker `walker` from `random` (the base stream jumped `walker` times): the burn-in, then
// its samples `pivotsPerSample` attempts apart, measuring the walk after every one of those
// attempts (R^2 from the end, Rg^2 from the tree's sums: a few nanoseconds an attempt).
// Reports each sample to `control`, its sites to `sampleSites` when set and its values to `kept`
// when set; leaves the last sample's sites in `last`. False (and a partial result) when the run
// stopped.
bool runWalker(const RunParams& params, std::int64_t walker, RandomSource random,
               RunControl& control, WalkerNote& result, std::vector<Point>& last,
               const ChainSitesSink& sampleSites, std::vector<SampleValues>* kept) {
  const PivotSettings& settings = settingsOf(params);
  const std::int64_t samples = walkerSamples(params, walker);
  const std::int64_t pivotsPerSample = settings.pivotsPerSample;
  const std::int64_t planned = samples > std::numeric_limits<std::int64_t>::max() /
                                             std::max<std::int64_t>(pivotsPerSample, 1)
                                   ? std::numeric_limits<std::int64_t>::max()
                                   : samples * pivotsPerSample;
  MeasuredSeries series(planned);
  if (kept != nullptr) kept->reserve(static_cast<std::size_t>(samples));
  if (control.pollStop()) return false;
  std::optional<PivotWalk> made =
      PivotWalk::initialised(params.steps, random, [&control] { return !control.pollStop(); });
  if (!made) return false;
  PivotWalk& walk = *made;
  // Under an energy each attempt is a Metropolis pivot; under none, the athermal one.
  std::optional<WalkerEnergy> thermal;
  if (const PivotEnergy energy = pivotEnergy(settings); !energy.zero()) {
    thermal.emplace(energy, settings.localMoves.value_or(0), walk, planned);
  }
  const std::int64_t settling = burnIn(params);
  // Attempt `done` of the burn-in, or one measured (done < 0).
  const auto attemptOne = [&](std::int64_t done) {
    if (!thermal) return walk.attempt(random);
    const bool taken = thermal->attempt(walk, random);
    if (done >= 0) {
      thermal->settle(done, settling);
    } else {
      thermal->measure();
    }
    return taken;
  };

  // The walk's measures, taken again only when a pivot changes it.
  double r2 = 0.0, r = 0.0, rg2 = 0.0;
  const auto measure = [&] {
    const Point e = walk.end();
    r2 = static_cast<double>(std::int64_t{e.x} * e.x + std::int64_t{e.y} * e.y +
                             std::int64_t{e.z} * e.z);
    r = std::sqrt(r2);
    rg2 = walk.squaredGyrationRadius();
  };
  // `count` attempted pivots, measured after each when `measured`, looking at the stop flag
  // now and then.
  const auto attempt = [&](std::int64_t count, bool measured) {
    for (std::int64_t done = 0; done < count;) {
      const std::int64_t chunk = std::min(kPollEvery, count - done);
      if (measured) {
        for (std::int64_t i = 0; i < chunk; ++i) {
          if (attemptOne(-1)) {
            ++result.accepted;
            measure();
          }
          series.add(r2, r, rg2);
        }
      } else {
        for (std::int64_t i = 0; i < chunk; ++i) result.accepted += attemptOne(done + i) ? 1 : 0;
      }
      done += chunk;
      result.attempts += chunk;
      if (control.pollStop()) return false;
    }
    return true;
  };
  if (!attempt(burnIn(params), false)) return false;
  measure();
  std::vector<Point> sites;
  AxisFourier fourier(formFactorWaves(params));
  const std::int64_t formEvery = formFactorSpacing(params);
  for (std::int64_t s = 0; s < samples; ++s) {
    if (!attempt(pivotsPerSample, true)) return false;
    walk.sites(sites);
    if (sampleSites) sampleSites(walkerFirstSample(params, walker) + s, sites);
    const ChainSummary summary = summarizeChain(sites, params.steps);
    result.sums.add(summary);
    if ((walkerFirstSample(params, walker) + s) % formEvery == 0)
      result.form.add(fourier.formFactor(sites));
    if (kept != nullptr) kept->push_back({summary.end, summary.rg2CentreOfMass});
    control.chainDone();
  }
  result.measured = series.summary();
  if (thermal) result.energy = thermal->note();
  last = std::move(sites);
  return true;
}

// Adds the walkers up in walker order.
class WalkerTally final : public UnitTally {
 public:
  explicit WalkerTally(const RunParams& params) : m_params(params), m_slots(measureSlots()) {}

  void add(std::span<const std::byte> result) override {
    m_walkers.push_back(fromResultBytes<WalkerNote>(result));
    for (std::size_t at = sizeof(WalkerNote); at + sizeof(SampleValues) <= result.size();
         at += sizeof(SampleValues)) {
      const auto sample = fromResultBytes<SampleValues>(result.subspan(at));
      m_perChain.ends.push_back(sample.end);
      m_perChain.squaredGyration.push_back(sample.squaredGyration);
    }
  }

  void finish(RunResult& out) override {
    const ModelInfo& model = modelOf(m_params.model);
    std::vector<SeriesSummary> series;
    std::int64_t attempts = 0, accepted = 0;
    WaveSums form;
    for (const WalkerNote& w : m_walkers) {
      out.sums.merge(w.sums);
      form.merge(w.form);
      series.push_back(w.measured);
      attempts += w.attempts;
      accepted += w.accepted;
    }
    const double acceptance =
        attempts > 0 ? static_cast<double>(accepted) / static_cast<double>(attempts) : 0.0;
    const MeasuredStats measured = combineSeries(series);
    out.extended = measured.stats;
    out.extended.chains = out.sums.chains;
    out.values = resultValues(model, m_params.steps, out.sums, false);
    out.measures = m_slots.values();
    const auto set = [&](Measure slot, double value) { m_slots(out.measures, slot).value = value; };
    set(Measure::Walkers, static_cast<double>(m_walkers.size()));
    set(Measure::Attempts, static_cast<double>(attempts));
    set(Measure::Accepted, static_cast<double>(accepted));
    set(Measure::Measured, static_cast<double>(measured.steps));
    set(Measure::Acceptance, acceptance);
    set(Measure::TauR2, measured.tauR2);
    set(Measure::TauRg2, measured.tauRg2);
    set(Measure::TauR2Accepted, measured.tauR2 * acceptance);
    set(Measure::TauRg2Accepted, measured.tauRg2 * acceptance);
    set(Measure::PivotsPerSample, static_cast<double>(settingsOf(m_params).pivotsPerSample));
    set(Measure::BurnIn, static_cast<double>(burnIn(m_params)));
    if (form.added > 0) {
      out.formFactor =
          formFactorResult(formFactorWaves(m_params), form, out.extended.meanSquaredRg.value, false,
                           formFactorSpacing(m_params));
    }
    out.perChain = std::move(m_perChain);
    if (!pivotEnergy(settingsOf(m_params)).zero()) {
      std::vector<EnergyNote> energies;
      for (const WalkerNote& w : m_walkers) energies.push_back(w.energy);
      out.energy = combineEnergy(energies);
    }
  }

 private:
  const RunParams& m_params;
  const MeasureSlots<Measure, kMeasureNames.size()>& m_slots;
  std::vector<WalkerNote> m_walkers;
  ChainValues m_perChain;
};

class PivotRunner final : public ModelRunner {
 public:
  std::int64_t units(const RunParams& params) const override { return activeWalkers(params); }

  std::int64_t samples(const RunParams& params, std::int64_t first,
                       std::int64_t count) const override {
    std::int64_t samples = 0;
    for (std::int64_t w = first; w < first + count; ++w) samples += walkerSamples(params, w);
    return samples;
  }

  // A walker's work dwarfs what a team hands out at once.
  std::int64_t unitCost(const RunParams&) const override {
    return std::numeric_limits<std::int64_t>::max();
  }
  std::size_t unitBytes(const RunParams&) const override { return sizeof(WalkerNote); }
  bool independentSamples() const override { return false; }

  // The block's walkers on this process's threads, each taken by the next free thread; their
  // notes go to `sink` in walker order once all are done.
  void runUnits(const RunParams& params, const Block& block, RunControl& control,
                const UnitSink& sink, RunLeftovers& left,
                const ChainSitesSink& sites) const override {
    std::vector<WalkerNote> walkers(static_cast<std::size_t>(block.count));
    std::vector<std::vector<SampleValues>> kept(
        params.perChain ? static_cast<std::size_t>(block.count) : 0);
    const int threads = static_cast<int>(std::min<std::int64_t>(runThreads(params), block.count));
    const std::int64_t lastWalker = activeWalkers(params) - 1;
    std::mutex streamMutex;  // guards what follows
    std::int64_t next = 0;   // the next walker of the block to run
    RandomSource stream = block.stream;
    std::int64_t jumped = 0;  // the walker whose stream `stream` holds
    RegionFailure failure;

#pragma omp parallel num_threads(threads)
    failure.guard(control, [&] {
      std::vector<Point> last;
      while (!control.stopped()) {
        std::int64_t w = 0;
        RandomSource random(0);
        {
          const std::lock_guard lock(streamMutex);
          if (next >= block.count) break;
          w = next++;
          for (; jumped < w; ++jumped) stream.jump();
          random = stream;
        }
        const std::int64_t walker = block.first + w;
        std::vector<SampleValues>* keep =
            kept.empty() ? nullptr : &kept[static_cast<std::size_t>(w)];
        if (!runWalker(params, walker, random, control, walkers[static_cast<std::size_t>(w)], last,
                       sites, keep)) {
          break;
        }
        if (walker == lastWalker) std::swap(left.lastSites, last);
      }
    });
    failure.rethrow();
    if (control.stopped()) return;
    std::vector<std::byte> result;
    for (std::int64_t w = 0; w < block.count; ++w) {
      const auto note = resultBytes(walkers[static_cast<std::size_t>(w)]);
      if (kept.empty()) {
        sink(block.first + w, note);
        continue;
      }
      std::vector<SampleValues>& samples = kept[static_cast<std::size_t>(w)];
      const auto values = std::as_bytes(std::span(samples));
      result.assign(note.begin(), note.end());
      result.insert(result.end(), values.begin(), values.end());
      std::vector<SampleValues>().swap(samples);
      sink(block.first + w, result);
    }
  }

  std::unique_ptr<UnitTally> tally(const RunParams& params) const override {
    return std::make_unique<WalkerTally>(params);
  }

  // Every walker's sums and series (and the allocator's share), kept for adding up in walker
  // order.
  RunnerMemory memory(const RunParams& params) const override {
    const auto walkers =
        static_cast<std::uint64_t>(std::max<std::int64_t>(activeWalkers(params), 0));
    return {walkers * (sizeof(WalkerNote) + 64),
            "Walkers = " + std::to_string(activeWalkers(params)) +
                " (the walkers that take samples: at most one per iteration)",
            "Choose fewer walkers."};
  }

  // Each sample's values in its walker's list, in the walker's result on its way, and in the
  // tally's.
  std::uint64_t bytesPerKeptChain() const override {
    return 2 * sizeof(SampleValues) + sizeof(Point) + sizeof(double);
  }
};

}  // namespace

const ModelRunner& pivotRunner() {
  static const PivotRunner runner;
  return runner;
}

}  // namespace polychain
