// What the ensemble writers share: a site's coordinates in the files, the walk over sites and
// bonds, and the checks every format makes.
#pragma once

#include <cstdint>
#include <utility>

#include "polychain/ensemble.h"
#include "polychain/placement.h"

namespace polychain::ensembletext {

// Along one axis: the wrapped position (w + 1/2) b and the unwrapped one (w + 1/2 + L i) b.
inline double wrapped(std::int32_t w, double b) { return (w + 0.5) * b; }
inline double unwrapped(std::int32_t w, std::int32_t image, std::int64_t box, double b) {
  return (w + 0.5 + static_cast<double>(box) * image) * b;
}

// The chain of each site, from 0, in site order: calls `visit(site, chain)`, which returns
// false to stop; false when it did.
template <class Visit>
bool forEachSite(const Ensemble& e, Visit&& visit) {
  for (std::int64_t c = 0; c < e.chains; ++c) {
    const std::int64_t end = e.starts[static_cast<std::size_t>(c) + 1];
    for (std::int64_t i = e.starts[static_cast<std::size_t>(c)]; i < end; ++i) {
      if (!visit(i, c)) return false;
    }
  }
  return true;
}

// Every bond, as the site pairs (i, i + 1) within a chain, in order: calls `visit(site,
// chain)`, which returns false to stop; false when it did.
template <class Visit>
bool forEachBond(const Ensemble& e, Visit&& visit) {
  for (std::int64_t c = 0; c < e.chains; ++c) {
    const std::int64_t end = e.starts[static_cast<std::size_t>(c) + 1];
    for (std::int64_t i = e.starts[static_cast<std::size_t>(c)]; i + 1 < end; ++i) {
      if (!visit(i, c)) return false;
    }
  }
  return true;
}

// The checks of every format of placed chains: its size (checkFits) and the bond length
// (checkBondLength, with the ensemble's own box and sites).
void checkCommon(const FormatInfo& format, const Ensemble& e, const EnsembleExtent& extent);

// The range of b that keeps a box of side `box` and coordinates up to `widest` lattice units
// finite in a number type whose largest finite value is `most`, and sites one lattice unit
// apart distinct: b / 2 at least `least`, the type's smallest normal number.
std::pair<double, double> floatingBondLengths(double least, double most, std::int64_t box,
                                              double widest);

}  // namespace polychain::ensembletext

namespace polychain {

// The writers of the format table's formats of placed chains, each in a file of its own.
class GsdWriter final : public EnsembleWriter {
 public:
  void check(const Ensemble& e, const EnsembleExtent& extent) const override;
  bool write(ByteSink& sink, const Ensemble& e) const override;
  std::pair<double, double> bondLengths(std::int64_t box, double widest) const override;
};
class LammpsWriter final : public EnsembleWriter {
 public:
  void check(const Ensemble& e, const EnsembleExtent& extent) const override;
  bool write(ByteSink& sink, const Ensemble& e) const override;
  std::pair<double, double> bondLengths(std::int64_t box, double widest) const override;
};
class PdbWriter final : public EnsembleWriter {
 public:
  void check(const Ensemble& e, const EnsembleExtent& extent) const override;
  bool write(ByteSink& sink, const Ensemble& e) const override;
  std::pair<double, double> bondLengths(std::int64_t box, double widest) const override;
};
class XyzWriter final : public EnsembleWriter {
 public:
  void check(const Ensemble& e, const EnsembleExtent& extent) const override;
  bool write(ByteSink& sink, const Ensemble& e) const override;
  std::pair<double, double> bondLengths(std::int64_t box, double widest) const override;
};

extern const GsdWriter kGsdWriter;
extern const LammpsWriter kLammpsWriter;
extern const PdbWriter kPdbWriter;
extern const XyzWriter kXyzWriter;

}  // namespace polychain
