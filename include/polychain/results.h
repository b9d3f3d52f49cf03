// What a run computes, as numbers: the sums behind the six results and the results
// themselves, the extended statistics with their errors, g(r) and g(q), and a sweep's fit.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace polychain {

struct ChainSummary;  // what one chain leaves, internal to the run

// The run's sums, added in chain order so that they are the same bits on any thread count:
// S, the sum of x + y + z of the end points; D, the sum of the end-to-end distances; G, the
// sum of the size measures.
struct RunSums {
  std::int64_t chains = 0;
  std::int64_t endSum = 0;
  double distanceSum = 0.0;
  double rgSum = 0.0;
  // The sums of their squares, for the standard errors of the results.
  double endSquares = 0.0;
  double distanceSquares = 0.0;
  double rgSquares = 0.0;

  void add(const ChainSummary& chain);
  // Takes in the chains of `later` after these.
  void merge(const RunSums& later);
};

// A mean over the chains and its standard error. The error is NaN ("absent") when it cannot
// be estimated: from a single chain, or for a ratio whose denominator is 0.
struct Estimate {
  double value = std::numeric_limits<double>::quiet_NaN();
  double standardError = std::numeric_limits<double>::quiet_NaN();

  bool hasError() const { return std::isfinite(standardError); }
};

// The six results in the order the window shows them, each a value with, where it has one,
// its standard error: over independent chains, the spread of the chains' values over the
// square root of their number, carried through square roots and powers by the delta method;
// none for the theoretical values, nor for the samples of a Markov chain, whose errors are
// those of the extended statistics.
struct ResultValues {
  Estimate eR{0.0};       // <R> calculated: S / (chains N)
  Estimate TR{0.0};       // <R> theoretical: 0
  Estimate Rsqred{0.0};   // Sqr<R^2> calculated: D / chains, the mean end-to-end distance
  Estimate TRsqred{0.0};  // Sqr<R^2> theoretical: N^0.5 (free walk) or N^0.6
  Estimate pers{0.0};     // lp: (D / chains) / N^0.5 (free walk) or (D / chains)^2 / N
  Estimate Rgtxt{0.0};    // Rg: sqrt(G / chains)
};

// A per-chain count: its sum and mean over the chains and its largest value.
struct CountSummary {
  double mean = 0.0;
  std::int64_t max = 0;
  std::int64_t total = 0;
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
  std::int64_t restarts = 0;  // times chains were grown again from the origin
};

// g(r) and its transform as numbers: g(b) for b = 0 .. L - 1 and P(k) for k = 0 .. L/2.
struct Correlation {
  std::vector<double> gofr;
  std::vector<double> gofq;
};

// A run's single-chain form factor P(q) = <|sum_j exp(i q x_j)|^2> / n^2 over a chain's n
// sites, at wave vectors q = 2 pi m / M along the three axes (averaged over them), averaged over
// the chains it was taken on: chains 0, every, 2 every, ... of a growth run, or every chain of
// a sampler's samples 0, every, 2 every, ... `error` is its standard error over independent chains
// (NaN for a sampler's correlated samples); `debye` is the Debye function of an ideal chain
// with the run's <Rg^2>, 2 (e^-x - 1 + x) / x^2 at x = q^2 <Rg^2>.
struct FormFactor {
  std::vector<double> q;
  std::vector<double> P;
  std::vector<double> error;
  std::vector<double> debye;
  std::int64_t chains = 0;
  std::int64_t every = 1;
};

// A boxed sampler's collective structure factor of the monomer density,
// S(q) = <|sum_j exp(i q x_j)|^2> / n over the box's n sites, at the box's wave vectors
// q = 2 pi m / L along its periodic axes (averaged over them), averaged over the samples.
struct StructureFactor {
  std::vector<double> q;
  std::vector<double> S;
  std::int64_t samples = 0;
};

struct PowerLawFit {
  bool weighted = false;
  std::size_t points = 0;
  double exponent = 0.0;          // the slope, nu
  double exponentError = 0.0;     // NaN when it cannot be estimated
  double amplitude = 0.0;         // exp(intercept): y ~ amplitude * x^exponent
  double chiSquaredPerDof = 0.0;  // weighted fits with three or more points; NaN otherwise
};

// Reference values of the size exponent nu in sqrt(<R^2>) ~ N^nu.
inline constexpr double kIdealChainExponent = 0.5;
inline constexpr double kSelfAvoidingExponent = 0.5876;  // self-avoiding walk, cubic lattice
// The growth constant mu and the exponent gamma of the number of self-avoiding walks on the
// cubic lattice, c_N ~ A mu^N N^(gamma - 1) (Clisby 2013 and 2017).
inline constexpr double kSelfAvoidingGrowth = 4.684039931;
inline constexpr double kSelfAvoidingGamma = 1.15695;

// The leading correction-to-scaling exponent of the self-avoiding walk in three dimensions.
inline constexpr double kDefaultCorrectionExponent = 0.528;

// <X> = A N^(2 nu) (1 + b N^-Delta), fitted as log <X> = log A + 2 nu log N + b N^-Delta (the
// same to first order in the correction), weights (<X> / SE)^2. The errors are those of the
// weighted fit, scaled up by sqrt(chi^2/dof) when that exceeds 1.
struct CorrectedFit {
  double delta = kDefaultCorrectionExponent;
  double fromSteps = 0.0;  // the smallest N used; every larger N is used too
  std::size_t points = 0;
  double exponent = std::numeric_limits<double>::quiet_NaN();  // nu
  double exponentError = std::numeric_limits<double>::quiet_NaN();
  double amplitude = std::numeric_limits<double>::quiet_NaN();  // A
  double amplitudeError = std::numeric_limits<double>::quiet_NaN();
  double correction = std::numeric_limits<double>::quiet_NaN();  // b
  double correctionError = std::numeric_limits<double>::quiet_NaN();
  double chiSquaredPerDof = std::numeric_limits<double>::quiet_NaN();
  bool acceptable = false;  // chi^2 within chiSquaredAcceptable
};

// A ratio's large-N limit, y = limit + c N^-Delta, from the N used.
struct LimitFit {
  double delta = kDefaultCorrectionExponent;
  double fromSteps = 0.0;
  std::size_t points = 0;
  double limit = std::numeric_limits<double>::quiet_NaN();
  double limitError = std::numeric_limits<double>::quiet_NaN();
  double correction = std::numeric_limits<double>::quiet_NaN();
  double chiSquaredPerDof = std::numeric_limits<double>::quiet_NaN();
  bool acceptable = false;
};

// The growth of a partition function, ln Z_N = N ln mu + (gamma - 1) ln N + a + b N^-Delta
// (for Z_N = c_N, the number of walks: the growth constant mu and the exponent gamma), fitted
// to the N used, weights SE^-2, the errors scaled up by sqrt(chi^2/dof) when that exceeds 1.
struct GrowthFit {
  double delta = kDefaultCorrectionExponent;
  double fromSteps = 0.0;
  std::size_t points = 0;
  double mu = std::numeric_limits<double>::quiet_NaN();
  double muError = std::numeric_limits<double>::quiet_NaN();
  double gamma = std::numeric_limits<double>::quiet_NaN();
  double gammaError = std::numeric_limits<double>::quiet_NaN();
  double chiSquaredPerDof = std::numeric_limits<double>::quiet_NaN();
  bool acceptable = false;
};

}  // namespace polychain
