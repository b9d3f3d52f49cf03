// Files that hold an ensemble of placed chains for simulation engines and viewers: GSD (the
// HOOMD schema, one frame), LAMMPS data (atom style bond), PDB with a CONECT record for every
// bond, and extended XYZ. Every site is one bead of one type, bonded to the next site of its
// chain; a site at wrapped lattice point w with image i lies at (w + 1/2 + L i) b in the box
// [0, L b)^3 (GSD's box is centred on the origin: there, less L b / 2). GSD and LAMMPS data
// keep the wrapped positions and their images, PDB and XYZ the unwrapped positions (whole
// chains, as viewers draw them). The same ensemble gives the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "polychain/placement.h"

namespace polychain {

// Each writer checks the size as checkFits does for its format, and the PDB writer also that
// every coordinate fits its fields (throws InputError otherwise). Each costs linear time in the
// sites.
std::string writeGsd(const Ensemble& ensemble);
std::string writeLammpsData(const Ensemble& ensemble);
std::string writePdb(const Ensemble& ensemble);
std::string writeExtendedXyz(const Ensemble& ensemble);

}  // namespace polychain
