// What the ensemble writers share: a site's coordinates in the files and locale-free numbers.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

#include "polychain/placement.h"

namespace polychain::ensembletext {

// Along one axis: the wrapped position (w + 1/2) b and the unwrapped one (w + 1/2 + L i) b.
inline double wrapped(std::int32_t w, double b) { return (w + 0.5) * b; }
inline double unwrapped(std::int32_t w, std::int32_t image, std::int64_t box, double b) {
  return (w + 0.5 + static_cast<double>(box) * image) * b;
}

// The shortest text that reads back as `value`.
inline void appendNumber(std::string& out, double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

inline void appendInteger(std::string& out, std::int64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

// The chain of each site, from 0, in site order: calls `visit(site, chain)`.
template <class Visit>
void forEachSite(const Ensemble& e, Visit&& visit) {
  for (std::int64_t c = 0; c < e.chains; ++c) {
    const std::int64_t end = e.starts[static_cast<std::size_t>(c) + 1];
    for (std::int64_t i = e.starts[static_cast<std::size_t>(c)]; i < end; ++i) visit(i, c);
  }
}

// Every bond, as the site pairs (i, i + 1) within a chain, in order.
template <class Visit>
void forEachBond(const Ensemble& e, Visit&& visit) {
  for (std::int64_t c = 0; c < e.chains; ++c) {
    const std::int64_t end = e.starts[static_cast<std::size_t>(c) + 1];
    for (std::int64_t i = e.starts[static_cast<std::size_t>(c)]; i + 1 < end; ++i) visit(i, c);
  }
}

}  // namespace polychain::ensembletext
