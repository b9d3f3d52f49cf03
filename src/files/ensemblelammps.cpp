// LAMMPS data files as read_data reads them, atom style bond: one atom type of mass 1, one
// bond type, molecule ids from 1 by chain, image flags, the box [0, L b) on every axis.
#include <limits>

#include "files/ensemblecoords.h"
#include "files/piecewriter.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"

namespace polychain {

void LammpsWriter::check(const Ensemble& e, const EnsembleExtent& extent) const {
  ensembletext::checkCommon(*findFormat("lammps"), e, extent);
}

std::pair<double, double> LammpsWriter::bondLengths(std::int64_t box, double /*widest*/) const {
  // Shortest doubles, the positions wrapped into the box.
  return ensembletext::floatingBondLengths(std::numeric_limits<double>::min(),
                                           std::numeric_limits<double>::max(), box,
                                           static_cast<double>(box));
}

bool LammpsWriter::write(ByteSink& sink, const Ensemble& e) const {
  PieceWriter out(sink);
  out.append("polychain: ");
  out.appendInteger(e.chains);
  out.append(" chains on the cubic lattice, bond length ");
  out.appendShortest(e.bondLength);
  out.append("\n\n");
  out.appendInteger(e.siteCount());
  out.append(" atoms\n");
  out.appendInteger(e.bondCount());
  out.append(" bonds\n1 atom types\n1 bond types\n\n");
  for (const char* axis : {"x", "y", "z"}) {
    out.append("0 ");
    out.appendShortest(static_cast<double>(e.box) * e.bondLength);
    out.append(std::string(" ") + axis + "lo " + axis + "hi\n");
  }
  out.append("\nMasses\n\n1 1\n\nAtoms # bond\n\n");
  const std::int64_t total = e.siteCount() + e.bondCount();
  const bool atoms = ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    out.appendInteger(i + 1);
    out.append(' ');
    out.appendInteger(c + 1);
    out.append(" 1");
    for (const std::int32_t v : {w.x, w.y, w.z}) {
      out.append(' ');
      out.appendShortest(ensembletext::wrapped(v, e.bondLength));
    }
    for (const std::int32_t v : {image.x, image.y, image.z}) {
      out.append(' ');
      out.appendInteger(v);
    }
    out.append('\n');
    return out.flushIfFull(i + 1, total);
  });
  if (!atoms) return false;
  if (e.bondCount() > 0) {
    out.append("\nBonds\n\n");
    std::int64_t bond = 0;
    const bool bonds = ensembletext::forEachBond(e, [&](std::int64_t i, std::int64_t) {
      out.appendInteger(++bond);
      out.append(" 1 ");
      out.appendInteger(i + 1);
      out.append(' ');
      out.appendInteger(i + 2);
      out.append('\n');
      return out.flushIfFull(e.siteCount() + bond, total);
    });
    if (!bonds) return false;
  }
  return out.finish();
}

constinit const LammpsWriter kLammpsWriter;

}  // namespace polychain
