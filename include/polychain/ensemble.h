// Files that hold an ensemble of placed chains for simulation engines and viewers: GSD (the
// HOOMD schema, one frame), LAMMPS data (atom style bond), PDB with a CONECT record for every
// bond, and extended XYZ, the formats of placed chains in the format table. Every site is one
// bead of one type, bonded to the next site of its chain; a site at wrapped lattice point w
// with image i lies at (w + 1/2 + L i) b in the box [0, L b)^3 (GSD's box is centred on the
// origin: there, less L b / 2). GSD and LAMMPS data keep the wrapped positions and their
// images, PDB and XYZ the unwrapped positions (whole chains, as viewers draw them). The same
// ensemble gives the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "polychain/fileset.h"
#include "polychain/formats.h"
#include "polychain/placement.h"

namespace polychain {

// The lowest and the highest coordinate of any site on any axis, in lattice units as the files
// place them (w + 1/2 + L i), and the chains (from 0) that reach them.
struct EnsembleExtent {
  double lowest = 0.0;
  double highest = 0.0;
  std::int64_t lowestChain = 0;
  std::int64_t highestChain = 0;

  // The farthest any coordinate lies from the origin, the box side included.
  double widest(std::int64_t box) const;
};

// One pass over the sites, asking `keepGoing` every million sites: none when it answered false.
std::optional<EnsembleExtent> measureExtent(const Ensemble& ensemble,
                                            const std::function<bool()>& keepGoing = {});

// Throws InputError, naming `field` and the range of bond lengths that every one of `formats`
// (formats of placed chains) takes, when `bondLength` is outside it for a box of side `box` and
// sites at most `widest` lattice units from the origin (EnsembleWriter::bondLengths).
void checkBondLength(double bondLength, std::span<const FormatInfo* const> formats,
                     std::int64_t box, double widest, std::string_view field);

// Writes `ensemble` in each of `formats` (formats of placed chains) to `name` followed by the
// format's extension, all of them as one set (writeFileSet, all or none): each file is checked
// and written whole under a temporary name before any goes in place. A format that cannot take
// the ensemble (EnsembleWriter::check) fails before any file is written: the result's `failed`
// names its file and why. The bond length is the ensemble's.
FileSetResult writeEnsembleFiles(const std::string& name, const Ensemble& ensemble,
                                 std::span<const FormatInfo* const> formats,
                                 const FileSetSteps& steps = {});

}  // namespace polychain
