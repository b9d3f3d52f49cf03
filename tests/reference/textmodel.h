// The deliberately naive model: chains held as text and searched by substring, every rule
// written out literally. Slow on purpose; the fast code must match it byte for byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "chain/lattice.h"
#include "chain/random.h"
#include "polychain/texts.h"

namespace polychain::reference {

struct TextRun {
  ResultTexts results;
  std::string chainText;  // export text of the last chain
  std::string lastChain;  // the last chain's chain text ("0,0,0;...")
};

// The chain text of `sites`: records "x,y,z;" one after another.
std::string chainTextOf(std::span<const Point> sites);

// The size measure, parsing the chain text record by record.
double textCalcRgTotal(const std::string& chainText, std::int32_t m);

// The random stream of chain `chain` of a run seeded with `seed`.
RandomSource chainStream(std::uint64_t seed, std::int64_t chain);

// The free walk, grown as text.
TextRun textMeander(std::int32_t n, std::int32_t iterations, std::uint64_t seed);

}  // namespace polychain::reference
