// Fits of a sweep's means against N with the leading correction to scaling, N^-Delta: the
// size exponent from <R^2> or <Rg^2>, and the large-N limit of a ratio. Weighted least
// squares; the smallest N are dropped until chi^2 is acceptable.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <span>

namespace polychain {

// The leading correction-to-scaling exponent of the self-avoiding walk in three dimensions.
inline constexpr double kDefaultCorrectionExponent = 0.528;

// The chi^2 below which a fit with `dof` degrees of freedom is accepted: its 95th percentile
// (the Wilson-Hilferty approximation, within about 1 % for dof >= 1).
double chiSquaredAcceptable(double dof);

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

// Fits the points (N, <X>, SE) from all of them down to the four largest N, dropping the
// smallest N while chi^2 is not acceptable. Nothing when fewer than four distinct N, or a
// value or error that is not positive and finite.
std::optional<CorrectedFit> fitCorrectedPowerLaw(std::span<const double> steps,
                                                 std::span<const double> mean,
                                                 std::span<const double> error,
                                                 double delta = kDefaultCorrectionExponent);

// y = limit + c N^-Delta, weights SE^-2, the smallest N dropped in the same way down to three.
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
std::optional<LimitFit> fitLimit(std::span<const double> steps, std::span<const double> value,
                                 std::span<const double> error,
                                 double delta = kDefaultCorrectionExponent);

}  // namespace polychain
