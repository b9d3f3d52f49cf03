// The ensemble writers on a system small enough to work out by hand: two chains (two sites
// and one) in a box of side 4 with a bond length of 2, one site wrapped from other images.
#include "polychain/ensemble.h"
#include "polychain/formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace polychain {
namespace {

Ensemble tiny() {
  Ensemble e;
  e.chains = 2;
  e.starts = {0, 2, 3};
  e.sites = {{0, 0, 0}, {1, 0, 0}, {3, 3, 3}};
  e.images = {{0, 0, 0}, {0, 0, 0}, {-1, 0, 2}};
  e.box = 4;
  e.bondLength = 2;
  return e;
}

TEST(Ensemble, TextFormatsHoldTheSitesWorkedOutByHand) {
  EXPECT_EQ(writeLammpsData(tiny()),
            "polychain: 2 chains on the cubic lattice, bond length 2\n\n"
            "3 atoms\n1 bonds\n1 atom types\n1 bond types\n\n"
            "0 8 xlo xhi\n0 8 ylo yhi\n0 8 zlo zhi\n\n"
            "Masses\n\n1 1\n\n"
            "Atoms # bond\n\n"
            "1 1 1 1 1 1 0 0 0\n2 1 1 3 1 1 0 0 0\n3 2 1 7 7 7 -1 0 2\n\n"
            "Bonds\n\n1 1 1 2\n");
  EXPECT_EQ(writeExtendedXyz(tiny()),
            "3\nLattice=\"8 0 0 0 8 0 0 0 8\" "
            "Properties=species:S:1:pos:R:3:molecule:I:1 pbc=\"T T T\"\n"
            "C 1 1 1 1\nC 3 1 1 1\nC -1 7 23 2\n");
  EXPECT_EQ(writePdb(tiny()),
            "CRYST1    8.000    8.000    8.000  90.00  90.00  90.00 P 1           1\n"
            "HETATM    1  C   POL A   1       1.000   1.000   1.000  1.00  0.00           C\n"
            "HETATM    2  C   POL A   1       3.000   1.000   1.000  1.00  0.00           C\n"
            "HETATM    3  C   POL A   2      -1.000   7.000  23.000  1.00  0.00           C\n"
            "CONECT    1    2\n"
            "END\n");
  // The element symbol ends in column 78, as the format's fields are laid out.
  const std::string pdb = writePdb(tiny());
  const std::size_t second = pdb.find('\n') + 1;
  EXPECT_EQ(pdb.find('\n', second) - second, 78U);
}

TEST(Ensemble, GsdHeaderNamesAndIndexAreTheFileLayers) {
  const std::string file = writeGsd(tiny());
  const auto u64 = [&](std::size_t at) {
    std::uint64_t v = 0;
    std::memcpy(&v, file.data() + at, 8);
    return v;
  };
  EXPECT_EQ(u64(0), 0x65DF65DF65DF65DFULL);
  const std::uint64_t index = u64(8);
  EXPECT_EQ(u64(16), 12U);  // entries
  const std::uint64_t names = u64(24);
  EXPECT_EQ(u64(32), 3U);  // 64-byte segments of names
  EXPECT_EQ(u64(40), (std::uint64_t{2} << 48) | (std::uint64_t{1} << 16) | 4U);  // 2.0, 1.4
  EXPECT_EQ(std::string(file.data() + 48), "polychain");
  EXPECT_EQ(std::string(file.data() + 112), "hoomd");
  EXPECT_EQ(std::string(file.data() + names), "configuration/step");
  EXPECT_EQ(index + 12 * 32, file.size());
  EXPECT_EQ(names + 3 * 64, index);
  // The positions chunk (entry 6): N = 3, M = 3, float, at its location the centred box's
  // coordinates (1 - 4, 1 - 4, 1 - 4) of the first site.
  const std::size_t entry = index + 6 * 32;
  EXPECT_EQ(u64(entry + 8), 3U);
  EXPECT_EQ(static_cast<unsigned char>(file[entry + 30]), 9);  // float
  float first[3];
  std::memcpy(first, file.data() + u64(entry + 16), sizeof first);
  EXPECT_EQ(first[0], -3.0F);
  EXPECT_EQ(first[2], -3.0F);
}

TEST(Ensemble, RefusalsNameTheFormatsThatTakeTheSystem) {
  EXPECT_NO_THROW(checkFits(*findFormat("pdb"), 99'999));
  try {
    checkFits(*findFormat("pdb"), 100'000);
    ADD_FAILURE() << "PDB took 100000 atoms";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("GSD (HOOMD-blue), LAMMPS data or Extended XYZ"),
              std::string::npos)
        << e.what();
  }
  EXPECT_THROW(checkFits(*findFormat("gsd"), std::int64_t{1} << 32), InputError);
  Ensemble far = tiny();
  far.images[2] = {2000, 0, 0};  // x = (3.5 + 8000) 2, beyond PDB's fields
  EXPECT_THROW(writePdb(far), InputError);
  EXPECT_NO_THROW(writeExtendedXyz(far));
  EXPECT_EQ(findFormat("lammps")->writeEnsemble, &writeLammpsData);
  EXPECT_FALSE(findFormat("LAMMPS"));
  EXPECT_EQ(ensembleFormatKeys(), "gsd, lammps, pdb, xyz");
}

}  // namespace
}  // namespace polychain
