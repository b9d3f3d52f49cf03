// g(r) of one chain: the histogram of rounded differences of the sites' distances from the
// origin over every ordered pair, normalised to bin 0, and its power spectrum g(q).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "chain/lattice.h"

namespace polychain {

struct CorrelationTexts {
  std::string gofr;  // g(r) text
  std::string gofq;  // g(q) text
};

// `progress` receives the pair count's progress (0 to 100) now and then and answers
// false to cancel; then the result is empty.
std::optional<CorrelationTexts> gorCalc(std::span<const Point> sites, std::int32_t n,
                                        const std::function<bool(float)>& progress);

}  // namespace polychain
