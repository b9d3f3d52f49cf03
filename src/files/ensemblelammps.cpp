// LAMMPS data files as read_data reads them, atom style bond: one atom type of mass 1, one
// bond type, molecule ids from 1 by chain, image flags, the box [0, L b) on every axis.
#include "files/ensemblecoords.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"

namespace polychain {

namespace {

void appendLine(std::string& out, std::initializer_list<std::int64_t> values) {
  bool first = true;
  for (const std::int64_t v : values) {
    if (!first) out += ' ';
    ensembletext::appendInteger(out, v);
    first = false;
  }
  out += '\n';
}

}  // namespace

std::string writeLammpsData(const Ensemble& e) {
  using ensembletext::appendInteger;
  using ensembletext::appendNumber;
  checkFits(*findFormat("lammps"), e.siteCount());
  std::string out;
  out.reserve(static_cast<std::size_t>(e.siteCount()) * 64 + 1024);
  out += "polychain: ";
  appendInteger(out, e.chains);
  out += " chains on the cubic lattice, bond length ";
  appendNumber(out, e.bondLength);
  out += "\n\n";
  appendInteger(out, e.siteCount());
  out += " atoms\n";
  appendInteger(out, e.bondCount());
  out += " bonds\n1 atom types\n1 bond types\n\n";
  for (const char* axis : {"x", "y", "z"}) {
    out += "0 ";
    appendNumber(out, static_cast<double>(e.box) * e.bondLength);
    out += std::string(" ") + axis + "lo " + axis + "hi\n";
  }
  out += "\nMasses\n\n1 1\n\nAtoms # bond\n\n";
  ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    appendInteger(out, i + 1);
    out += ' ';
    appendInteger(out, c + 1);
    out += " 1";
    for (const std::int32_t v : {w.x, w.y, w.z}) {
      out += ' ';
      appendNumber(out, ensembletext::wrapped(v, e.bondLength));
    }
    for (const std::int32_t v : {image.x, image.y, image.z}) {
      out += ' ';
      appendInteger(out, v);
    }
    out += '\n';
  });
  if (e.bondCount() > 0) {
    out += "\nBonds\n\n";
    std::int64_t bond = 0;
    ensembletext::forEachBond(e, [&](std::int64_t i, std::int64_t) {
      appendLine(out, {++bond, 1, i + 1, i + 2});
    });
  }
  return out;
}

}  // namespace polychain
