// The melt model's runner: one unit, the melt itself, a Markov chain of configurations of its
// C chains in their box. It lays the chains out (in slices, looking at the stop flag), burns in
// (for the sweeps given, or until it has measured that the chains forgot their start), then
// takes a sample every so many sweeps: each sample adds every chain to the run's sums, the
// chains' mean R^2, |R| and Rg^2 to a time series (whose autocorrelation gives the errors),
// and now and then every chain's internal distances on a logarithmic set of n to a series of
// their own (whose errors are found as the samples' are). After every sweep of the sampling (and
// of the later part of a measured burn-in) the end-to-end vectors go to a correlator, whose
// integrated time says how many of them the burn-in and the sampling covered. Under an energy
// each sample also counts the melt's contacts, bends and wall sites into a series of their own.
// Every sweep is split into the parts of the box (MeltDecomposition::standard), the parts taken
// by the run's threads as they come free, and on a team shared by its processes, each sweeping
// its run of the parts and taking the others' (every process holds the whole melt and runs the
// whole run; the leader's result is the run's): the same bytes on any number of threads and
// processes. A box of one part is swept whole, by the undecomposed moves, on every process.
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

#include "analysis/formfactor.h"
#include "analysis/measureslots.h"
#include "analysis/timeseries.h"
#include "analysis/vectorcorrelation.h"
#include "chain/meltmodel.h"
#include "run/meltsweeper.h"
#include "run/runner.h"

namespace polychain {

namespace {

// A measured burn-in: at least this many sweeps, and at most kMostBurnInTaus times the law's
// time (then the note says what the sampling measured).
constexpr std::int64_t kLeastMeasuredBurnIn = 20;
constexpr double kMostBurnInTaus = 400.0;

// What a melt leaves, followed by its internal distances' means at the n of
// MeltInternalDistances::spacedSteps(N), then their standard errors.
struct MeltNote {
  RunSums sums;
  SeriesSummary series;                 // the chains' mean R^2, |R| and Rg^2, a sample each
  SeriesSummary firstHalf, secondHalf;  // the same over each half of the samples
  double tau = 0.0;                     // of the end-to-end vectors, in sweeps
  std::int64_t settled = 0;             // 1 when its window settled
  std::int64_t side = 0;
  double fraction = 0.0;
  std::int64_t burnIn = 0;  // sweeps, as given or measured
  std::int64_t perSample = 0;
  std::int64_t sweeps = 0;  // of the sampling
  std::array<std::int64_t, kMeltMoves> attempted{};
  std::array<std::int64_t, kMeltMoves> accepted{};
  std::int64_t configurations = 0;  // added to the internal distances
  std::int64_t chainsAdded = 0;
  WaveSums form, structure;  // the chains' form factor and the box's structure factor
  // Under an energy, per chain and a sample each: contacts, bends and the energy U / C in the
  // three places, and wall sites and (U - reference)^2 / C in the first two, the reference the
  // first sample's U.
  SeriesSummary energy, spread;
  double reference = 0.0;
};

const MeltSettings& settingsOf(const RunParams& params) {
  return std::get<MeltSettings>(params.model);
}

std::array<bool, 3> periodicAxes(MeltWalls walls) {
  switch (walls) {
    case MeltWalls::None:
      return {true, true, true};
    case MeltWalls::Z:
      return {true, true, false};
    case MeltWalls::YZ:
      return {true, false, false};
    case MeltWalls::XYZ:
      return {false, false, false};
  }
  return {true, true, true};
}

// The form and structure factors are taken every so many samples: a few per cent of the
// work of 16 sweeps.
std::int64_t meltFactorSpacing(std::int64_t perSample) {
  return std::max<std::int64_t>(1, (16 + perSample - 1) / perSample);
}

// The sweeps of a run and how many are done, for its progress: a measured burn-in counts as
// the law expects it to last, and while it lasts longer the total keeps `ahead` sweeps (the
// sampling's) beyond those done, so that the share still creeps up.
struct SweepProgress {
  std::int64_t done = 0;
  double total = 1.0;
  double ahead = 0.0;
  void report(RunControl& control) {
    const double now = static_cast<double>(++done);
    total = std::max(total, now + ahead);
    control.reportShare(std::min(1.0, now / total));
  }
};

// `sweeps` decomposed sweeps of `melt`, polling the stop flag as they go and reporting
// progress; `afterSweep` is called after each whole sweep. False when the run stopped.
template <class AfterSweep>
bool runSweeps(Melt& melt, MeltSweeper& sweeper, std::int64_t sweeps, RunControl& control,
               SweepProgress& progress, const AfterSweep& afterSweep) {
  for (std::int64_t s = 0; s < sweeps; ++s) {
    if (!sweeper.sweep(melt, control)) return false;
    afterSweep();
    progress.report(control);
  }
  return true;
}

// The chains whose end-to-end vectors a run follows sweep by sweep: the first ones, at most
// kMostVectors.
std::int32_t followedChains(const Melt& melt) {
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(melt.chains(), VectorAutocorrelation::kMostVectors));
}

// The burn-in when none is given: sweeps until the run has seen the chains forget their start,
// kMeltBurnInTaus integrated times of their end-to-end vectors measured as it goes
// (EquilibrationWatch). Returns the sweeps done, sets `tau` to the last time measured (NaN
// when none settled) and hands over the correlator of the later sweeps, or nullopt when the
// run stopped. A melt whose time never settles stops at kMostBurnInTaus times the law's.
std::optional<std::int64_t> measuredBurnIn(Melt& melt, MeltSweeper& sweeper, RunControl& control,
                                           SweepProgress& progress, double expectedTau, double& tau,
                                           std::optional<VectorAutocorrelation>& later) {
  EquilibrationWatch watch(melt.chains(), kMeltBurnInTaus, kLeastMeasuredBurnIn);
  sweeper.followEnds(followedChains(melt));
  const auto most = static_cast<std::int64_t>(
      std::max(static_cast<double>(kLeastMeasuredBurnIn), kMostBurnInTaus * expectedTau));
  bool forgotten = false;
  while (!forgotten && watch.sweeps() < most) {
    if (!runSweeps(melt, sweeper, 1, control, progress,
                   [&] { forgotten = watch.add(sweeper.ends()); })) {
      return std::nullopt;
    }
  }
  tau = watch.tau();
  const std::int64_t sweeps = watch.sweeps();
  later.emplace(std::move(watch).takeCorrelation());
  return sweeps;
}

// Lays out the melt of `plan`, polling the stop flag between slices; nullopt when stopped.
std::optional<Melt> setUpMelt(const RunParams& params, const MeltPlan& plan, RunControl& control) {
  const MeltSettings& settings = settingsOf(params);
  return Melt::laidOut(settings.chains, params.steps, static_cast<std::int32_t>(plan.side),
                       meltWalls(settings), [&control] { return control.pollStop(); });
}

// The burn-in of `plan`, given or measured, and the sampling interval that follows, into
// `note`; after a measured burn-in the correlator of its later sweeps goes to `later`. False
// when the run stopped.
bool burnIn(Melt& melt, MeltSweeper& sweeper, RunControl& control, const MeltPlan& plan,
            std::int64_t samples, SweepProgress& progress, MeltNote& note,
            std::optional<VectorAutocorrelation>& later) {
  const std::int64_t lawPerSample = std::max<std::int64_t>(1, std::llround(plan.expectedTau));
  progress.ahead = static_cast<double>(plan.sweepsPerSample.value_or(lawPerSample)) *
                   static_cast<double>(samples);
  progress.total =
      static_cast<double>(plan.burnIn.value_or(std::llround(kMeltBurnInTaus * plan.expectedTau))) +
      progress.ahead;
  if (plan.burnIn) {
    note.burnIn = *plan.burnIn;
    if (!runSweeps(melt, sweeper, note.burnIn, control, progress, [] {})) return false;
  } else {
    double measured = 0.0;
    const std::optional<std::int64_t> done =
        measuredBurnIn(melt, sweeper, control, progress, plan.expectedTau, measured, later);
    if (!done) return false;
    note.burnIn = *done;
    if (!plan.sweepsPerSample && std::isfinite(measured)) {
      note.perSample = std::max<std::int64_t>(1, std::llround(measured));
    }
  }
  if (note.perSample == 0) note.perSample = plan.sweepsPerSample.value_or(lawPerSample);
  progress.ahead = 0.0;
  progress.total = static_cast<double>(progress.done) +
                   static_cast<double>(note.perSample) * static_cast<double>(samples);
  return true;
}

// The samples of the run after its burn-in, into `note`, the end-to-end vectors after every
// sweep into `correlation`, the internal distances' means at internal.at() and then their
// standard errors into `curve`; the last sample's last chain to `left`. False when the run
// stopped.
bool takeSamples(const RunParams& params, Melt& melt, MeltSweeper& sweeper, RunControl& control,
                 SweepProgress& progress, VectorAutocorrelation& correlation, MeltNote& note,
                 MeltInternalDistances& internal, std::vector<double>& curve, RunLeftovers& left) {
  const std::int64_t samples = params.iterations;
  const std::int64_t perSample = note.perSample;
  const std::int32_t chains = melt.chains();
  sweeper.followEnds(followedChains(melt));
  const auto followEnds = [&] { correlation.add(sweeper.ends()); };
  // Internal distances every `spacing` samples, so that they cost a fraction of the sweeps
  // (C N K pairs for K values of n against C (N + 1) attempts a sweep, a pair some hundred
  // times cheaper).
  const auto spacedN = static_cast<std::int64_t>(internal.at().size());
  const std::int64_t spacing =
      std::max<std::int64_t>(1, (spacedN + 20 * perSample - 1) / (20 * perSample));
  ObservableSeries distances(internal.at().size(), (samples + spacing - 1) / spacing);
  MeasuredSeries series(samples), firstHalf((samples + 1) / 2), secondHalf(samples / 2 + 1);
  const bool thermal = !melt.energy().zero();
  MeasuredSeries energy(thermal ? samples : 1), spread(thermal ? samples : 1);
  std::vector<Point> chain;
  AxisFourier fourier(formFactorWaves(params)),
      density(waveNumbers(static_cast<std::int32_t>(note.side)));
  const std::array<bool, 3> periodic = periodicAxes(meltWalls(settingsOf(params)));
  // The form and structure factors every `factorsEvery` samples: a few per cent of 16 sweeps.
  const std::int64_t factorsEvery = meltFactorSpacing(perSample);
  std::vector<Point> wrapped, images;
  const auto stopRequested = [&control] { return control.pollStop(); };
  // Whether two chains ever differed in R^2 or Rg^2: then a series that stays constant did not
  // move (the melt's chains may take other shapes), and its error cannot be judged.
  bool chainsDiffer = false;
  for (std::int64_t s = 0; s < samples; ++s) {
    if (!runSweeps(melt, sweeper, perSample, control, progress, followEnds)) return false;
    note.sweeps += perSample;
    double r2 = 0.0, r = 0.0, rg2 = 0.0;
    double firstR2 = 0.0, firstRg2 = 0.0;
    for (std::int32_t c = 0; c < chains; ++c) {
      chain.clear();
      melt.forEachSite(c, [&chain](std::int32_t x, std::int32_t y, std::int32_t z) {
        chain.push_back(Point{x, y, z});
      });
      const ChainSummary summary = summarizeChain(chain, params.steps);
      note.sums.add(summary);
      const Point e = summary.end;
      const double e2 = static_cast<double>(std::int64_t{e.x} * e.x + std::int64_t{e.y} * e.y +
                                            std::int64_t{e.z} * e.z);
      r2 += e2;
      r += std::sqrt(e2);
      rg2 += summary.rg2CentreOfMass;
      if (c == 0) {
        firstR2 = e2;
        firstRg2 = summary.rg2CentreOfMass;
      } else if (e2 != firstR2 || summary.rg2CentreOfMass != firstRg2) {
        chainsDiffer = true;
      }
      if (s % factorsEvery == 0) note.form.add(fourier.formFactor(chain));
      if (s + 1 == samples && c + 1 == chains) left.lastSites = chain;
    }
    if (s % factorsEvery == 0) {
      melt.wrappedSites(wrapped, images);
      density.countInBox(wrapped, periodic);
      note.structure.add(density.takeStructureFactor(periodic));
    }
    const double n = chains;
    if (thermal) {
      const MeltEnergyTerms terms = melt.energyTerms();
      const double u = melt.energyOf(terms);
      if (s == 0) note.reference = u;
      energy.add(static_cast<double>(terms.contacts) / n, static_cast<double>(terms.bends) / n,
                 u / n);
      spread.add(static_cast<double>(terms.wallSites) / n,
                 (u - note.reference) * (u - note.reference) / n, 0.0);
    }
    series.add(r2 / n, r / n, rg2 / n);
    (2 * s < samples ? firstHalf : secondHalf).add(r2 / n, r / n, rg2 / n);
    if (s % spacing == 0) {
      if (!internal.add(melt, stopRequested)) return false;
      distances.add(internal.last());
    }
    if (control.pollStop()) return false;
  }
  const VectorAutocorrelation::Time time = correlation.integratedTime();
  note.tau = time.tau;
  note.settled = time.settled ? 1 : 0;
  // The samples' own time, in samples, is at least what the end-to-end vectors' time, measured
  // on every sweep, implies: squares of vectors that decay as exp(-t / tau) decay as
  // exp(-2 t / tau), so samples `perSample` apart have 1/2 + 1 / (exp(2 perSample / tau) - 1).
  const auto leastTauOf = [&time](std::int64_t sweepsApart) {
    return time.tau > 0.0 && std::isfinite(time.tau)
               ? 0.5 + 1.0 / std::expm1(2.0 * static_cast<double>(sweepsApart) / time.tau)
               : 0.5;
  };
  const double leastTau = leastTauOf(perSample);
  const bool constantKnown = !chainsDiffer;
  note.series = series.calibratedSummary(leastTau, constantKnown);
  note.firstHalf = firstHalf.calibratedSummary(leastTau, constantKnown);
  note.secondHalf = secondHalf.calibratedSummary(leastTau, constantKnown);
  if (thermal) {
    note.energy = energy.calibratedSummary(leastTau, constantKnown);
    note.spread = spread.calibratedSummary(leastTau, constantKnown);
  }
  note.attempted = melt.counts().attempted;
  note.accepted = melt.counts().accepted;
  note.configurations = internal.configurations();
  note.chainsAdded = internal.chains();
  // Squared distances n apart decorrelate no slower than those of the ends (n = N).
  const double leastTauOfDistances = leastTauOf(perSample * spacing);
  const std::size_t spaced = internal.at().size();
  curve.assign(2 * spaced, std::numeric_limits<double>::quiet_NaN());
  for (std::size_t k = 0; k < spaced; ++k) {
    // Every bond is one unit long: R^2(1) is the same in every chain whatever the melt does.
    const ObservableSummary o =
        distances.calibratedSummary(k, leastTauOfDistances, constantKnown || internal.at()[k] == 1);
    if (o.n > 0) curve[k] = o.mean;
    curve[spaced + k] = std::sqrt(o.varianceOfMean);
  }
  return true;
}

// The energy's estimates per chain from a melt's series: each mean with its error; the heat
// capacity C (<u^2> - <u>^2), u = U / C, as the mean of (U - reference)^2 / C less
// (<U> - reference)^2 / C, its error by the delta method.
EnergyEstimates energyEstimates(const MeltNote& note, std::int32_t chains, bool walls) {
  const auto estimate = [](const ObservableSummary& o) {
    return Estimate{o.mean, std::sqrt(o.varianceOfMean)};
  };
  EnergyEstimates out;
  out.contacts = estimate(note.energy.r2);
  out.bends = estimate(note.energy.r);
  if (walls) out.wallContacts = estimate(note.spread.r2);
  out.energy = estimate(note.energy.rg2);
  const double c = chains;
  const double lean = note.energy.rg2.mean * c - note.reference;
  out.heatCapacity = {
      note.spread.r.mean - lean * lean / c,
      std::sqrt(note.spread.r.varianceOfMean + 4.0 * lean * lean * note.energy.rg2.varianceOfMean)};
  return out;
}

// The melt's chains as the run leaves them: to `sites` when it is set, else into `left`'s box.
void leaveBox(const RunParams& params, const Melt& melt, RunLeftovers& left,
              const ChainSitesSink& sites) {
  ChainBox box;
  box.side = melt.side();
  box.periodic = periodicAxes(meltWalls(settingsOf(params)));
  box.sitesPerChain = std::int64_t{params.steps} + 1;
  const std::int32_t chains = melt.chains();
  if (!sites)
    box.sites.reserve(static_cast<std::size_t>(chains) *
                      static_cast<std::size_t>(box.sitesPerChain));
  std::vector<Point> chain;
  for (std::int32_t c = 0; c < chains; ++c) {
    melt.chainSites(c, chain);
    if (sites) {
      sites(c, chain);
    } else {
      box.sites.insert(box.sites.end(), chain.begin(), chain.end());
    }
  }
  left.box = std::move(box);
}

// Runs the melt of `params` from `random` into `note` and `curve` (as takeSamples); the last
// sample's chains go to `left` (the last chain from its own first site, the box of every chain)
// and to `sites` when it is set. False when the run stopped.
bool runMelt(const RunParams& params, RandomSource random, RunControl& control, MeltNote& note,
             std::vector<double>& curve, RunLeftovers& left, const ChainSitesSink& sites) {
  const MeltPlan plan = meltPlan(settingsOf(params), params.steps);
  std::optional<Melt> laid = setUpMelt(params, plan, control);
  if (!laid) return false;
  Melt& melt = *laid;
  melt.setEnergy(meltEnergy(settingsOf(params)));
  melt.setDecomposition(MeltDecomposition::standard(melt.side(), melt.steps()));
  const int asked = params.threads;
  MeltSweeper sweeper(random, asked > 0 ? asked : omp_get_max_threads(), melt.decomposition().parts,
                      control.share());
  note.side = plan.side;
  note.fraction = melt.volumeFraction();
  SweepProgress progress;
  std::optional<VectorAutocorrelation> later;
  if (!burnIn(melt, sweeper, control, plan, params.iterations, progress, note, later)) {
    return false;
  }
  melt.resetCounts();
  VectorAutocorrelation correlation =
      later ? std::move(*later) : VectorAutocorrelation(melt.chains());
  later.reset();
  MeltInternalDistances internal(params.steps);
  if (!takeSamples(params, melt, sweeper, control, progress, correlation, note, internal, curve,
                   left)) {
    return false;
  }
  leaveBox(params, melt, left, sites);
  control.chainDone(params.iterations);
  return true;
}

class MeltTally final : public UnitTally {
 public:
  explicit MeltTally(const RunParams& params) : m_params(params) {}

  void add(std::span<const std::byte> result) override {
    m_note = fromResultBytes<MeltNote>(result.first(sizeof(MeltNote)));
    const std::span<const std::byte> sums = result.subspan(sizeof(MeltNote));
    m_internal.resize(sums.size() / sizeof(double));
    std::memcpy(m_internal.data(), sums.data(), m_internal.size() * sizeof(double));
  }

  void finish(RunResult& out) override {
    const ModelInfo& model = modelOf(m_params.model);
    out.sums = m_note.sums;
    out.values = resultValues(model, m_params.steps, out.sums, false);
    const MeasuredStats stats = combineSeries(std::span(&m_note.series, 1));
    out.extended = stats.stats;
    out.extended.chains = out.sums.chains;
    out.measures.assign(model.measures.size(), MeasureValue{});
    const auto at = [&](std::string_view name) -> MeasureValue& {
      return measureNamed(model, out.measures, name);
    };
    const auto count = [](std::int64_t n) { return static_cast<double>(n); };
    const std::int64_t burnIn = m_note.burnIn;
    at("side").value = count(m_note.side);
    at("volume_fraction").value = m_note.fraction;
    at("samples").value = count(m_params.iterations);
    at("chains_sampled").value = count(out.sums.chains);
    at("burn_in").value = count(burnIn);
    at("sweeps_per_sample").value = count(m_note.perSample);
    at("sweeps").value = count(m_note.sweeps);
    at("tau_end_to_end").value = m_note.tau;
    at("tau_settled").value = count(m_note.settled);
    at("burn_in_taus").value = count(burnIn) / m_note.tau;
    at("sampling_taus").value = count(m_note.sweeps) / m_note.tau;
    const auto half = [](const SeriesSummary& s, MeasureValue& v) {
      v.value = s.r2.n > 0 ? s.r2.mean : std::numeric_limits<double>::quiet_NaN();
      v.standardError = std::sqrt(s.r2.varianceOfMean);
    };
    half(m_note.firstHalf, at("R2_first_half"));
    half(m_note.secondHalf, at("R2_second_half"));
    static constexpr std::string_view kAcceptance[kMeltMoves] = {
        "acceptance_end",       "acceptance_kink",  "acceptance_crankshaft",
        "acceptance_reptation", "acceptance_pivot", "acceptance_tail_swap"};
    static constexpr std::string_view kAttempts[kMeltMoves] = {
        "attempts_end",       "attempts_kink",  "attempts_crankshaft",
        "attempts_reptation", "attempts_pivot", "attempts_tail_swap"};
    for (std::size_t k = 0; k < kMeltMoves; ++k) {
      at(kAttempts[k]).value = count(m_note.attempted[k]);
      at(kAcceptance[k]).value = m_note.attempted[k] > 0
                                     ? count(m_note.accepted[k]) / count(m_note.attempted[k])
                                     : std::numeric_limits<double>::quiet_NaN();
    }
    if (!meltEnergy(settingsOf(m_params)).zero()) {
      out.energy = energyEstimates(m_note, settingsOf(m_params).chains,
                                   meltWalls(settingsOf(m_params)) != MeltWalls::None);
    }
    out.formFactor =
        formFactorResult(formFactorWaves(m_params), m_note.form, out.extended.meanSquaredRg.value,
                         false, meltFactorSpacing(m_note.perSample));
    if (std::ranges::count(periodicAxes(meltWalls(settingsOf(m_params))), true) > 0) {
      out.structureFactor = structureFactorResult(
          waveNumbers(static_cast<std::int32_t>(m_note.side)), m_note.structure);
    }
    // <R^2(n)>/n at the spaced n, with its standard error.
    MeasureValue& curve = at("internal_distances");
    const std::vector<std::int32_t> spaced = MeltInternalDistances::spacedSteps(m_params.steps);
    const bool whole = m_internal.size() == 2 * spaced.size();
    for (std::size_t k = 0; k < spaced.size(); ++k) {
      const double n = count(spaced[k]);
      curve.at.push_back(n);
      curve.curve.push_back(whole ? m_internal[k] / n : std::numeric_limits<double>::quiet_NaN());
      curve.curveError.push_back(whole ? m_internal[spaced.size() + k] / n
                                       : std::numeric_limits<double>::quiet_NaN());
    }
  }

 private:
  const RunParams& m_params;
  MeltNote m_note;
  std::vector<double> m_internal;
};

class MeltRunner final : public ModelRunner {
 public:
  std::int64_t units(const RunParams&) const override { return 1; }
  std::int64_t samples(const RunParams& params, std::int64_t, std::int64_t count) const override {
    return count * params.iterations;
  }
  std::int64_t unitCost(const RunParams&) const override {
    return std::numeric_limits<std::int64_t>::max();
  }
  std::size_t unitBytes(const RunParams& params) const override {
    return sizeof(MeltNote) +
           2 * sizeof(double) * MeltInternalDistances::spacedSteps(params.steps).size();
  }
  bool independentSamples() const override { return false; }
  bool sharedUnit() const override { return true; }
  std::int64_t sampledChains(const RunParams& params) const override {
    return settingsOf(params).chains;
  }

  void runUnits(const RunParams& params, const Block& block, RunControl& control,
                const UnitSink& sink, RunLeftovers& left,
                const ChainSitesSink& sites) const override {
    if (block.count < 1) return;
    MeltNote note;
    std::vector<double> curve;
    try {
      if (!runMelt(params, block.stream, control, note, curve, left, sites)) return;
    } catch (const std::bad_alloc&) {
      control.stop(RunStatus::OutOfMemory);
      return;
    }
    std::vector<std::byte> bytes(unitBytes(params));
    std::memcpy(bytes.data(), &note, sizeof(MeltNote));
    std::memcpy(bytes.data() + sizeof(MeltNote), curve.data(),
                std::min(curve.size() * sizeof(double), bytes.size() - sizeof(MeltNote)));
    sink(block.first, bytes);
  }

  std::unique_ptr<UnitTally> tally(const RunParams& params) const override {
    return std::make_unique<MeltTally>(params);
  }

  // The melt (its sites and the box's cells), the last sample's box of chains, the two
  // correlators of a measured burn-in and the internal distances.
  RunnerMemory memory(const RunParams& params) const override {
    const MeltSettings& settings = settingsOf(params);
    const std::int64_t side = meltPlan(settings, params.steps).side;
    const std::int64_t sites = std::int64_t{settings.chains} * (std::int64_t{params.steps} + 1);
    const std::uint64_t followed = static_cast<std::uint64_t>(
        std::min<std::int64_t>(settings.chains, VectorAutocorrelation::kMostVectors));
    // The internal distances' series: a block of the spaced n for each configuration added.
    const std::uint64_t spaced = MeltInternalDistances::spacedSteps(params.steps).size();
    const auto configurations =
        static_cast<std::uint64_t>(std::max<std::int64_t>(1, params.iterations));
    constexpr std::uint64_t kBlocks = ObservableSeries::kMostBlocks;
    const std::uint64_t bytes = Melt::bytesNeeded(settings.chains, params.steps, side) +
                                static_cast<std::uint64_t>(sites) * sizeof(Point) +
                                2 * followed * 48 * 24 * 16 +
                                24 * (static_cast<std::uint64_t>(params.steps) + 1) +
                                8 * spaced * std::min<std::uint64_t>(configurations, kBlocks);
    return {bytes,
            "Chains = " + std::to_string(settings.chains) + " of N = " +
                std::to_string(params.steps) + " in a box of side " + std::to_string(side),
            // The box's cells, 4 bytes each, or the chains.
            8 * static_cast<std::uint64_t>(side * side * side) > bytes
                ? "Choose a smaller box side or a higher density."
                : "Choose fewer chains or a smaller N."};
  }
};

}  // namespace

const ModelRunner& meltRunner() {
  static const MeltRunner runner;
  return runner;
}

}  // namespace polychain
