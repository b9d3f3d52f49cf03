// The textbook chain measures of a finished run, each with its standard error over the
// chains, computed from the per-chain summaries a run returns (no chain is regrown or
// reread). Linear in the number of chains; sums run in chain order, so the same run gives
// the same bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "chain/run.h"

namespace polychain {

// A mean over the chains and its standard error. The error is NaN ("absent") when it cannot
// be estimated: from a single chain, or for a ratio whose denominator is 0.
struct Estimate {
  double value = std::numeric_limits<double>::quiet_NaN();
  double standardError = std::numeric_limits<double>::quiet_NaN();

  bool hasError() const { return std::isfinite(standardError); }
};

// A per-chain count: its mean over the chains and its largest value.
struct CountSummary {
  double mean = 0.0;
  std::int64_t max = 0;
};

// R is the end-to-end vector (the last site; every chain starts at the origin) and Rg^2 the
// mean squared distance of a chain's sites from their own centre of mass. Means over chains
// are written <...>. Standard errors are s / sqrt(M) for a plain mean over M chains (s the
// sample standard deviation, divisor M - 1); for a square root or a ratio of means they are
// carried through by the delta method (first-order error propagation):
//   SE(sqrt(<X>))     = SE(<X>) / (2 sqrt(<X>))       (0 when <X> = 0: then every X is 0)
//   SE(<A> / <B>)     = sqrt(Var<A> + q^2 Var<B> - 2 q Cov(<A>,<B>)) / <B>,  q = <A>/<B>
// where Var and Cov are those of the means (the sample (co)variance over M).
struct ExtendedStats {
  std::int64_t chains = 0;
  Estimate meanSquaredEnd;  // <R^2>
  Estimate rmsEnd;          // sqrt(<R^2>), the root-mean-square end-to-end distance
  Estimate meanEnd;         // <|R|>, the mean end-to-end distance
  Estimate meanSquaredRg;   // <Rg^2>
  Estimate rmsRg;           // sqrt(<Rg^2>), the radius of gyration about the centre of mass
  Estimate ratio;           // <Rg^2> / <R^2> (1/6 for a long ideal chain); NaN when <R^2> = 0
  // Per chain, for the self-avoiding models only: trial steps made, trials refused by the
  // occupancy or zone rules, and sites abandoned by back-ups.
  std::optional<CountSummary> trials;
  std::optional<CountSummary> discarded;
  std::optional<CountSummary> backups;
};

// The measures over `chains` (at least one) of a run of `model`. The counts are filled for
// Model::SAW and Model::ShortRange. Throws std::invalid_argument for an empty span.
ExtendedStats extendedStats(std::span<const ChainSummary> chains, Model model);

// The measures as a few aligned lines for a terminal, each ending in '\n'; an absent
// standard error is written "n/a".
std::string extendedStatsText(const ExtendedStats& stats);

// An estimate as "value ± error" with the error to two significant digits and the value to
// the same decimal place, or "value ± n/a"; NaN values are written "n/a".
std::string estimateText(const Estimate& estimate);

}  // namespace polychain
