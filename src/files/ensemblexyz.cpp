// Extended XYZ, one frame: the site count, a comment line with the cell, the columns (species,
// position, molecule id from 1 by chain) and periodic boundaries on all three axes, then one
// line a site with its unwrapped position.
#include "files/ensemblecoords.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"

namespace polychain {

std::string writeExtendedXyz(const Ensemble& e) {
  using ensembletext::appendInteger;
  using ensembletext::appendNumber;
  checkFits(*findFormat("xyz"), e.siteCount());
  const double side = static_cast<double>(e.box) * e.bondLength;
  std::string out;
  out.reserve(static_cast<std::size_t>(e.siteCount()) * 64 + 256);
  appendInteger(out, e.siteCount());
  out += "\nLattice=\"";
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (row + column > 0) out += ' ';
      appendNumber(out, row == column ? side : 0.0);
    }
  }
  out += "\" Properties=species:S:1:pos:R:3:molecule:I:1 pbc=\"T T T\"\n";
  ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    out += 'C';
    out += ' ';
    appendNumber(out, ensembletext::unwrapped(w.x, image.x, e.box, e.bondLength));
    out += ' ';
    appendNumber(out, ensembletext::unwrapped(w.y, image.y, e.box, e.bondLength));
    out += ' ';
    appendNumber(out, ensembletext::unwrapped(w.z, image.z, e.box, e.bondLength));
    out += ' ';
    appendInteger(out, c + 1);
    out += '\n';
  });
  return out;
}

}  // namespace polychain
