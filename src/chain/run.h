// A run: many chains of one model grown from one seed, summed into the six result texts
// and the export text of the last chain. Plain value types in and out; how chains grow is
// behind them (growth.h).
//
// Reproducibility: chain i (0-based) draws from the seed's base stream advanced by i jumps,
// and per-chain results are summed in chain order, so the same parameters and seed give
// the same bytes on any number of threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chain/lattice.h"

namespace polychain {

enum class Model { Meander, SAW, ShortRange };

// "meander", "saw" or "short-range": the names the command line uses.
std::string_view modelKey(Model model);

struct RunParams {
  Model model = Model::Meander;
  std::int32_t steps = 0;       // N
  std::int32_t iterations = 0;  // chains per run
  std::int32_t avoid = 1;       // avoidance range, read by SAW only
  std::int32_t kuhn = 1;        // Kuhn length (step length), read by ShortRange only
  bool calcParCF = false;       // also compute g(r) and g(q) of the last chain
  std::optional<std::uint64_t> seed;  // none: taken from the clock when the run starts
  int threads = 0;                    // 0: all the machine offers
  std::int64_t maxTrials = 0;         // per chain; 0: no cap
};

// The six result boxes, in the order they are written.
struct ResultTexts {
  std::string eR;       // <R> calculated
  std::string TR;       // <R> theoretical
  std::string Rsqred;   // Sqr<R^2> calculated
  std::string TRsqred;  // Sqr<R^2> theoretical
  std::string pers;     // lp
  std::string Rgtxt;    // Rg
};

// What one chain leaves for the run's sums and for the extended statistics.
struct ChainSummary {
  Point end;                   // last site of the finished chain
  double rgTotal = 0.0;        // the size measure with the run's divisor N
  double rg2CentreOfMass = 0;  // mean squared distance of the sites from their centre of mass
  std::int64_t sites = 0;      // records in the chain
  std::int64_t trials = 0;     // trial steps made (accepted or not)
  std::int64_t discarded = 0;  // trials refused by the occupancy or zone rules
  std::int64_t backups = 0;    // sites abandoned by back-ups
};

enum class RunStatus { Finished, Cancelled, TrialLimit };

struct RunOutput {
  RunStatus status = RunStatus::Finished;
  std::uint64_t seed = 0;
  ResultTexts results;                 // empty unless Finished
  std::string chainText;               // the last chain's export text, unless not Finished
  std::optional<std::string> gofr;     // g(r) text, when calcParCF and Finished
  std::optional<std::string> gofq;     // g(q) text, likewise
  std::vector<ChainSummary> chains;    // one per chain, in chain order, when Finished
  std::string message;                 // why the run stopped, unless Finished
};

struct RunProgress {
  float chains = 0;          // share of chains done, 0 to 100
  float steps = 0;           // share of the steps of a chain being grown, 0 to 100
  std::int64_t chain = 0;    // which chain `steps` and `trials` speak of
  std::int64_t trials = 0;   // trials made in that chain so far
};

// How a run talks to whoever started it. Calls come from worker threads but never two
// at once; cancelRequested() may be called concurrently and must be cheap.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void progress(const RunProgress& /*progress*/) {}
  virtual void correlationProgress(float /*percent*/) {}
  // Once per run, when a chain has made many trials without growing longer.
  virtual void chainSeemsTrapped(std::int64_t /*chain*/, std::int64_t /*trials*/) {}
  virtual bool cancelRequested() { return false; }
  // A message for the user, with a title (the transform's length error, for one).
  virtual void message(std::string_view /*title*/, std::string_view /*text*/) {}
};

// Trials without a new greatest chain length after which a chain is called trapped.
inline constexpr std::int64_t kTrappedTrials = 20'000'000;

// Throws InputError when the run cannot take these parameters: N < 1, Iterations < 1,
// or a Kuhn length of 0 for the short-range walk.
void validateParams(const RunParams& params);

// Runs the whole run. Validates first (throws InputError). Progress is throttled to a
// few dozen calls a second.
RunOutput runSimulation(const RunParams& params, RunObserver& observer);

}  // namespace polychain
