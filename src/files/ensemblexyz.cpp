// Extended XYZ, one frame: the site count, a comment line with the cell, the columns (species,
// position, molecule id from 1 by chain) and which axes are periodic (a walled axis is F), then
// one line a site with its unwrapped position.
#include <limits>

#include "files/ensemblecoords.h"
#include "files/piecewriter.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"

namespace polychain {

void XyzWriter::check(const Ensemble& e, const EnsembleExtent& extent) const {
  ensembletext::checkCommon(*findFormat("xyz"), e, extent);
}

std::pair<double, double> XyzWriter::bondLengths(std::int64_t box, double widest) const {
  // Shortest doubles, the positions unwrapped.
  return ensembletext::floatingBondLengths(std::numeric_limits<double>::min(),
                                           std::numeric_limits<double>::max(), box, widest);
}

bool XyzWriter::write(ByteSink& sink, const Ensemble& e) const {
  const double side = static_cast<double>(e.box) * e.bondLength;
  PieceWriter out(sink);
  out.appendInteger(e.siteCount());
  out.append("\nLattice=\"");
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (row + column > 0) out.append(' ');
      out.appendShortest(row == column ? side : 0.0);
    }
  }
  out.append("\" Properties=species:S:1:pos:R:3:molecule:I:1 pbc=\"");
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) out.append(' ');
    out.append(e.periodic[static_cast<std::size_t>(axis)] ? 'T' : 'F');
  }
  out.append("\"\n");
  const std::int64_t total = e.siteCount();
  const bool whole = ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    out.append("C ");
    out.appendShortest(ensembletext::unwrapped(w.x, image.x, e.box, e.bondLength));
    out.append(' ');
    out.appendShortest(ensembletext::unwrapped(w.y, image.y, e.box, e.bondLength));
    out.append(' ');
    out.appendShortest(ensembletext::unwrapped(w.z, image.z, e.box, e.bondLength));
    out.append(' ');
    out.appendInteger(c + 1);
    out.append('\n');
    return out.flushIfFull(i + 1, total);
  });
  return whole && out.finish();
}

constinit const XyzWriter kXyzWriter;

}  // namespace polychain
