// Fits of a sweep's means against N with the leading correction to scaling, N^-Delta: the
// size exponent from <R^2> or <Rg^2>, the large-N limit of a ratio, and the growth constant
// and exponent gamma of a partition function. Weighted least
// squares; the smallest N are dropped until chi^2 is acceptable.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <span>

#include "polychain/results.h"

namespace polychain {

// The chi^2 below which a fit with `dof` degrees of freedom is accepted: its 95th percentile
// (the Wilson-Hilferty approximation, within about 1 % for dof >= 1).
double chiSquaredAcceptable(double dof);

// Fits the points (N, <X>, SE) from all of them down to the four largest N, dropping the
// smallest N while chi^2 is not acceptable. Nothing when fewer than four distinct N, or a
// value or error that is not positive and finite.
std::optional<CorrectedFit> fitCorrectedPowerLaw(std::span<const double> steps,
                                                 std::span<const double> mean,
                                                 std::span<const double> error,
                                                 double delta = kDefaultCorrectionExponent);

// y = limit + c N^-Delta, weights SE^-2, the smallest N dropped in the same way down to three.
std::optional<LimitFit> fitLimit(std::span<const double> steps, std::span<const double> value,
                                 std::span<const double> error,
                                 double delta = kDefaultCorrectionExponent);

// ln Z_N = N ln mu + (gamma - 1) ln N + a + b N^-Delta from the points (N, ln Z_N, SE), the
// smallest N dropped in the same way down to five. Nothing when fewer than five distinct N.
std::optional<GrowthFit> fitGrowth(std::span<const double> steps, std::span<const double> logZ,
                                   std::span<const double> error,
                                   double delta = kDefaultCorrectionExponent);

}  // namespace polychain
