// PDB files: CRYST1 for the box, one HETATM record a site (carbon beads named C in residues
// POL, one residue a chain: residue numbers 1 to 9999 in chain A, then again in chain B and
// so on), a CONECT record for every bond, and END. Coordinates are unwrapped, in the fields'
// three decimals.
#include <cstdio>

#include "files/ensemblecoords.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"
#include "polychain/numbertext.h"
#include "polychain/params.h"

namespace polychain {

namespace {

// The fields' range, %8.3f.
constexpr double kLeast = -999.9995;
constexpr double kMost = 9999.9995;
constexpr std::int64_t kResiduesPerChainId = 9999;

}  // namespace

std::string writePdb(const Ensemble& e) {
  checkFits(*findFormat("pdb"), e.siteCount());
  const double side = static_cast<double>(e.box) * e.bondLength;
  if (side >= 99999.9995) {
    throw InputError("PDB holds a box side of at most 99999.999, and this box is " +
                     formatNumber(side) + " long. Write GSD, LAMMPS data or Extended XYZ instead.");
  }
  std::string out;
  out.reserve(static_cast<std::size_t>(e.siteCount()) * 100 + 256);
  char line[96];
  std::snprintf(line, sizeof line, "CRYST1%9.3f%9.3f%9.3f%7.2f%7.2f%7.2f P 1           1\n", side,
                side, side, 90.0, 90.0, 90.0);
  out += line;
  ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    const double x = ensembletext::unwrapped(w.x, image.x, e.box, e.bondLength);
    const double y = ensembletext::unwrapped(w.y, image.y, e.box, e.bondLength);
    const double z = ensembletext::unwrapped(w.z, image.z, e.box, e.bondLength);
    for (const double v : {x, y, z}) {
      if (v > kLeast && v < kMost) continue;
      throw InputError("PDB holds coordinates from -999.999 to 9999.999, and chain " +
                       formatInteger(c + 1) + " reaches " + formatNumber(v) +
                       ". Write GSD, LAMMPS data or Extended XYZ instead, or choose a smaller "
                       "bond length.");
    }
    const char chainId = static_cast<char>('A' + c / kResiduesPerChainId);
    const auto residue = static_cast<int>(c % kResiduesPerChainId + 1);
    std::snprintf(line, sizeof line,
                  "HETATM%5d  C   POL %c%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n",
                  static_cast<int>(i + 1), chainId, residue, x, y, z);
    out += line;
  });
  ensembletext::forEachBond(e, [&](std::int64_t i, std::int64_t) {
    std::snprintf(line, sizeof line, "CONECT%5d%5d\n", static_cast<int>(i + 1),
                  static_cast<int>(i + 2));
    out += line;
  });
  out += "END\n";
  return out;
}

}  // namespace polychain
