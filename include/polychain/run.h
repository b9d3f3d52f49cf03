// A run: many chains of one model grown from one seed, summed into numbers: the six
// results, the extended statistics, the last chain's sites and, on request, g(r) and g(q)
// of the last chain. Plain value types in and out; how chains grow is behind them.
//
// Reproducibility: chain i (0-based) draws from the seed's base stream advanced by i jumps,
// and per-chain results are added in chain order, so the same parameters and seed give
// the same bits on any number of threads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "polychain/params.h"
#include "polychain/point.h"
#include "polychain/results.h"

namespace polychain {

enum class RunStatus {
  Finished,
  Cancelled,
  TrialLimit,   // a chain passed the trial cap
  OutOfMemory,  // an allocation failed while the run was going on
};

// The chains of a boxed sampler's last sample (the melt's) as they sit in its cubic box of side
// `side`, each axis periodic or walled: chain after chain, `sitesPerChain` sites each,
// unwrapped, each chain's first site inside [0, side)^3.
struct ChainBox {
  std::int32_t side = 0;
  std::array<bool, 3> periodic{true, true, true};
  std::int64_t sitesPerChain = 0;
  std::vector<Point> sites;

  std::int64_t chains() const {
    return sitesPerChain > 0 ? static_cast<std::int64_t>(sites.size()) / sitesPerChain : 0;
  }
};

// Each chain's own values, in chain order (a sampler's samples in the order of their index),
// the same on any thread count.
struct ChainValues {
  std::vector<Point> ends;              // the end-to-end vector R, the last site
  std::vector<double> squaredGyration;  // Rg^2 about the chain's centre of mass

  std::int64_t size() const { return std::ssize(ends); }
};

// A run's energy terms per chain (means over its samples, with standard errors from their
// autocorrelation): contacts, bends, wall contacts (none for a model without walls), the energy
// in kT and the heat capacity in units of Boltzmann's constant, from the energy's fluctuations.
struct EnergyEstimates {
  Estimate contacts;
  Estimate bends;
  std::optional<Estimate> wallContacts;
  Estimate energy;
  Estimate heatCapacity;
};

struct RunResult {
  RunStatus status = RunStatus::Finished;
  std::uint64_t seed = 0;
  std::int64_t trialLimitChain = -1;  // when TrialLimit: the chain (0-based) that passed the cap
  // The rest only when Finished.
  RunSums sums;
  ResultValues values;
  ExtendedStats extended;
  std::vector<Point> lastSites;            // the last chain, origin first
  std::optional<Correlation> correlation;  // when calcParCF
  std::optional<FormFactor> formFactor;
  std::optional<StructureFactor> structureFactor;  // a boxed sampler's
  // What the model measures beyond the common statistics, in the order of its measures.
  std::vector<MeasureValue> measures;
  // A boxed sampler's last sample, from a run on one process.
  std::optional<ChainBox> box;
  // With RunParams::perChain, every chain's values; empty for a runner that does not record them.
  ChainValues perChain;
  // Only for a model run with an energy.
  std::optional<EnergyEstimates> energy;
};

// A run's outcome on one rank of a team (teamrun.h): the whole result on the leader (only the
// status and seed elsewhere), and the rank where the run stopped early: -1 when it finished or was
// cancelled on the leader's word, the failing rank when a chain passed the trial cap or memory ran
// out.
struct TeamRun {
  RunResult result;
  int stoppedAt = -1;
};

struct RunProgress {
  float chains = 0;         // share of chains done, 0 to 100
  float steps = 0;          // share of the steps of a chain being grown, 0 to 100
  std::int64_t chain = 0;   // which chain `steps` and `trials` speak of
  std::int64_t trials = 0;  // trials made in that chain so far
};

// How a run talks to whoever started it. Calls come from worker threads but never two at
// once, at most a few dozen a second (the last report of a stage always comes through);
// cancelRequested() may be called concurrently and must be cheap.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void progress(const RunProgress& /*progress*/) {}
  virtual void correlationProgress(float /*percent*/) {}
  // Once per run, when a chain has made many trials without growing longer.
  virtual void chainSeemsTrapped(std::int64_t /*chain*/, std::int64_t /*trials*/) {}
  virtual bool cancelRequested() { return false; }
};

// Parameters that passed a run's checks, as only the checks make them: the run functions
// that take one check nothing again.
class CheckedRun {
 public:
  const RunParams& params() const { return m_params; }
  // The same run from `seed` (a seed changes nothing the checks look at).
  CheckedRun seeded(std::uint64_t seed) const;

 private:
  friend CheckedRun checkRun(const RunParams& params, int processesHere);
  friend CheckedRun checkSample(const RunParams& params, std::uint64_t extraBytesPerSite);
  friend class CheckedSweep;
  explicit CheckedRun(const RunParams& params) : m_params(params) {}
  RunParams m_params;
};

// Checks `params` once for a run: throws InputError for what validateParams refuses, then
// MemoryRefusal for a run too big for the memory available to one of `processesHere`
// processes on this machine (checkMemory).
CheckedRun checkRun(const RunParams& params, int processesHere = 1);

// Runs the whole run. Every failure ends the run with its status; no exception escapes a
// worker thread.
RunResult runSimulation(const CheckedRun& run, RunObserver& observer);
// The same after checkRun(params).
RunResult runSimulation(const RunParams& params, RunObserver& observer);

}  // namespace polychain
