// PDB files: CRYST1 for the box, one HETATM record a site (carbon beads named C in residues
// POL, one residue a chain: residue numbers 1 to 9999 in chain A, then again in chain B and
// so on), a CONECT record for every bond, and END. Coordinates are unwrapped, in the fields'
// three decimals.
#include <cstdio>
#include <limits>

#include "chain/numbertext.h"
#include "files/ensemblecoords.h"
#include "files/piecewriter.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"
#include "polychain/params.h"

namespace polychain {

namespace {

// The fields' range, %8.3f, and the box side's, %9.3f.
constexpr double kLeast = -999.9995;
constexpr double kMost = 9999.9995;
constexpr double kMostSide = 99999.9995;
constexpr std::int64_t kResiduesPerChainId = 9999;

}  // namespace

void PdbWriter::check(const Ensemble& e, const EnsembleExtent& extent) const {
  ensembletext::checkCommon(*findFormat("pdb"), e, extent);
  const double side = static_cast<double>(e.box) * e.bondLength;
  if (side >= kMostSide) {
    throw InputError("PDB holds a box side of at most 99999.999, and this box is " +
                     formatNumber(side) + " long. Write GSD, LAMMPS data or Extended XYZ instead.");
  }
  for (const auto& [v, c] : {std::pair{extent.lowest * e.bondLength, extent.lowestChain},
                             std::pair{extent.highest * e.bondLength, extent.highestChain}}) {
    if (v > kLeast && v < kMost) continue;
    throw InputError("PDB holds coordinates from -999.999 to 9999.999, and chain " +
                     formatInteger(c + 1) + " reaches " + formatNumber(v) +
                     ". Write GSD, LAMMPS data or Extended XYZ instead, or choose a smaller "
                     "bond length.");
  }
}

std::pair<double, double> PdbWriter::bondLengths(std::int64_t box, double widest) const {
  // Three decimals: neighbours two thousandths apart at least are always written apart.
  // The fields' own bounds are check()'s.
  const auto [least, most] = ensembletext::floatingBondLengths(
      std::numeric_limits<double>::min(), std::numeric_limits<double>::max(), box, widest);
  // The box's side as CRYST1 holds it.
  return {std::max(least, 0.002), std::min(most, kMostSide / static_cast<double>(box))};
}

bool PdbWriter::write(ByteSink& sink, const Ensemble& e) const {
  const double side = static_cast<double>(e.box) * e.bondLength;
  PieceWriter out(sink);
  char line[96];
  const auto put = [&out, &line](int length) {
    out.append(std::string_view(line, static_cast<std::size_t>(length)));
  };
  put(std::snprintf(line, sizeof line, "CRYST1%9.3f%9.3f%9.3f%7.2f%7.2f%7.2f P 1           1\n",
                    side, side, side, 90.0, 90.0, 90.0));
  const std::int64_t total = e.siteCount() + e.bondCount();
  const bool atoms = ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    const double x = ensembletext::unwrapped(w.x, image.x, e.box, e.bondLength);
    const double y = ensembletext::unwrapped(w.y, image.y, e.box, e.bondLength);
    const double z = ensembletext::unwrapped(w.z, image.z, e.box, e.bondLength);
    const char chainId = static_cast<char>('A' + c / kResiduesPerChainId);
    const auto residue = static_cast<int>(c % kResiduesPerChainId + 1);
    put(std::snprintf(line, sizeof line,
                      "HETATM%5d  C   POL %c%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n",
                      static_cast<int>(i + 1), chainId, residue, x, y, z));
    return out.flushIfFull(i + 1, total);
  });
  if (!atoms) return false;
  std::int64_t done = e.siteCount();
  const bool bonds = ensembletext::forEachBond(e, [&](std::int64_t i, std::int64_t) {
    put(std::snprintf(line, sizeof line, "CONECT%5d%5d\n", static_cast<int>(i + 1),
                      static_cast<int>(i + 2)));
    return out.flushIfFull(++done, total);
  });
  if (!bonds) return false;
  out.append("END\n");
  return out.finish();
}

constinit const PdbWriter kPdbWriter;

}  // namespace polychain
