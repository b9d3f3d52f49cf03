// The writers of placed chains: on a system small enough to work out by hand (two chains, two
// sites and one, in a box of side 4 with a bond length of 2, one site wrapped from other
// images), against the formats built as whole strings on systems of many pieces, and what
// they refuse.
#include "polychain/ensemble.h"
#include "polychain/formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "polychain/sample.h"
#include "reference/runparams.h"
#include "reference/stringformats.h"

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

std::string text(std::string_view key, const Ensemble& e) {
  return findFormat(key)->writeEnsemble->writeString(e);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The message of the InputError `write` throws; empty when it throws none.
template <class Write>
std::string refusal(Write&& write) {
  try {
    write();
  } catch (const InputError& e) {
    return e.what();
  }
  return {};
}

TEST(Ensemble, TextFormatsHoldTheSitesWorkedOutByHand) {
  EXPECT_EQ(text("lammps", tiny()),
            "polychain: 2 chains on the cubic lattice, bond length 2\n\n"
            "3 atoms\n1 bonds\n1 atom types\n1 bond types\n\n"
            "0 8 xlo xhi\n0 8 ylo yhi\n0 8 zlo zhi\n\n"
            "Masses\n\n1 1\n\n"
            "Atoms # bond\n\n"
            "1 1 1 1 1 1 0 0 0\n2 1 1 3 1 1 0 0 0\n3 2 1 7 7 7 -1 0 2\n\n"
            "Bonds\n\n1 1 1 2\n");
  EXPECT_EQ(text("xyz", tiny()),
            "3\nLattice=\"8 0 0 0 8 0 0 0 8\" "
            "Properties=species:S:1:pos:R:3:molecule:I:1 pbc=\"T T T\"\n"
            "C 1 1 1 1\nC 3 1 1 1\nC -1 7 23 2\n");
  // A walled axis (a slit's z, a channel's y and z) is not periodic.
  Ensemble channel = tiny();
  channel.periodic = {true, false, false};
  EXPECT_TRUE(contains(text("xyz", channel), "molecule:I:1 pbc=\"T F F\"\n"));
  EXPECT_EQ(text("pdb", tiny()),
            "CRYST1    8.000    8.000    8.000  90.00  90.00  90.00 P 1           1\n"
            "HETATM    1  C   POL A   1       1.000   1.000   1.000  1.00  0.00           C\n"
            "HETATM    2  C   POL A   1       3.000   1.000   1.000  1.00  0.00           C\n"
            "HETATM    3  C   POL A   2      -1.000   7.000  23.000  1.00  0.00           C\n"
            "CONECT    1    2\n"
            "END\n");
  // The element symbol ends in column 78, as the format's fields are laid out.
  const std::string pdb = text("pdb", tiny());
  const std::size_t second = pdb.find('\n') + 1;
  EXPECT_EQ(pdb.find('\n', second) - second, 78U);
}

TEST(Ensemble, GsdHeaderNamesAndIndexAreTheFileLayers) {
  const std::string file = text("gsd", tiny());
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

// Takes every piece; from its `stopAt`-th question on, it answers that the writing stop, and
// counts what it is handed after that.
class StoppingSink final : public ByteSink {
 public:
  explicit StoppingSink(int stopAt) : m_stopAt(stopAt) {}
  bool put(std::string_view bytes) override {
    (m_stopped ? m_late : m_bytes) += bytes.size();
    return true;
  }
  bool keepGoing(double done) override {
    EXPECT_GE(done, m_done);  // the share written only grows
    m_done = done;
    m_stopped = m_stopped || ++m_asked >= m_stopAt;
    return !m_stopped;
  }
  std::size_t m_bytes = 0;
  std::size_t m_late = 0;
  int m_asked = 0;

 private:
  int m_stopAt;
  bool m_stopped = false;
  double m_done = 0;
};

// 99 pivot chains of 1000 steps, in a box whose faces many of them cross (their sites wrapped
// from other images) and laid side by side: every file in many pieces, the same bytes as the
// whole strings; a writer told to stop stops at once and says so.
TEST(Ensemble, StreamedFilesAreTheWholeStringsAndStopWhenTold) {
  RunObserver quiet;
  const ChainSample chains =
      sampleChains(reference::runParams(PivotSettings{.pivotsPerSample = 200}, 999, 99, 3), quiet);
  ASSERT_EQ(chains.status, RunStatus::Finished);
  using Whole = std::string (*)(const Ensemble&);
  const std::pair<std::string_view, Whole> formats[] = {
      {"gsd", reference::wholeGsd},
      {"lammps", reference::wholeLammpsData},
      {"pdb", reference::wholePdb},
      {"xyz", reference::wholeExtendedXyz},
  };
  for (const std::optional<std::int64_t> box :
       {std::optional<std::int64_t>(200), std::optional<std::int64_t>()}) {
    PlacementParams placement;
    placement.box = box;
    placement.seed = 3;
    placement.bondLength = box ? 0.97 : 0.05;  // within PDB's fields
    const Ensemble e = *placeChains(chains, placement);
    for (const auto& [key, whole] : formats) {
      SCOPED_TRACE(std::string(key) + (box ? " in a box" : " side by side"));
      const std::string streamed = text(key, e);
      EXPECT_EQ(streamed, whole(e));
      StoppingSink sink(3);
      EXPECT_FALSE(findFormat(key)->writeEnsemble->write(sink, e));
      EXPECT_EQ(sink.m_asked, 3);
      EXPECT_EQ(sink.m_late, 0U);
      EXPECT_LT(sink.m_bytes, streamed.size() / 4);
    }
  }
}

TEST(Ensemble, RefusalsNameTheFormatsThatTakeTheSystem) {
  EXPECT_NO_THROW(checkFits(*findFormat("pdb"), 99'999));
  const std::string many = refusal([] { checkFits(*findFormat("pdb"), 100'000); });
  const std::string offered = many.substr(many.find("Write them as"));
  for (const FormatInfo& format : formatTable()) {
    if (format.writeEnsemble == nullptr) continue;
    EXPECT_EQ(contains(offered, std::string(format.name)), format.maxSites >= 100'000) << many;
  }
  EXPECT_THROW(checkFits(*findFormat("gsd"), std::int64_t{1} << 32), InputError);
  Ensemble far = tiny();
  far.images[2] = {2000, 0, 0};  // x = (3.5 + 8000) 2, beyond PDB's fields
  EXPECT_TRUE(contains(refusal([&] { text("pdb", far); }), "chain 2 reaches 16007"));
  EXPECT_NO_THROW(text("xyz", far));
  EXPECT_FALSE(findFormat("LAMMPS"));
  std::string keys;  // the formats of placed chains in the table's order
  for (const FormatInfo& format : formatTable()) {
    if (format.writeEnsemble != nullptr)
      keys += (keys.empty() ? "" : ", ") + std::string(format.key);
  }
  EXPECT_EQ(ensembleFormatKeys(), keys);
}

// A bond length whose box or coordinates are not finite numbers of a format, or whose sites
// come out alike in it, is refused, naming the range of that format: float32 for GSD,
// doubles for LAMMPS data and XYZ (the unwrapped sites reaching farther), three decimals for
// PDB.
TEST(Ensemble, BondLengthsOutsideWhatAFormatsNumbersHoldAreRefused) {
  const auto with = [](double b) {
    Ensemble e = tiny();
    e.bondLength = b;
    return e;
  };
  const std::string huge = refusal([&] { text("gsd", with(1e38)); });
  EXPECT_TRUE(
      contains(huge, "The bond length must be from 2.36e-38 to 8.5e+37 for these chains in GSD"))
      << huge;
  EXPECT_TRUE(contains(huge, "; 1e+38 is not.")) << huge;
  EXPECT_NO_THROW(text("gsd", with(8.5e37)));
  EXPECT_THROW(text("gsd", with(1e-40)), InputError);
  EXPECT_NO_THROW(text("lammps", with(1e-40)));
  EXPECT_NO_THROW(text("lammps", with(1e300)));
  EXPECT_THROW(text("lammps", with(1e308)), InputError);
  // The unwrapped z of the third site, 11.5 lattice units, bounds XYZ, not the box of 4.
  EXPECT_NO_THROW(text("lammps", with(2e307)));
  EXPECT_TRUE(contains(refusal([&] { text("xyz", with(2e307)); }),
                       "to 1.56e+307 for these chains in Extended"));
  EXPECT_THROW(text("pdb", with(0.001)), InputError);
  EXPECT_NO_THROW(text("pdb", with(0.002)));
  // Before anything is placed: the bounds the command works out, all formats at once; PDB's
  // box side of at most 99999.999 bounds a box of 100.
  const FormatInfo* const both[] = {findFormat("gsd"), findFormat("pdb")};
  const std::string range =
      refusal([&] { checkBondLength(1e-50, both, 100, 130, "--bond-length"); });
  EXPECT_TRUE(contains(range,
                       "--bond-length must be from 0.002 to 999 for these chains "
                       "in GSD (HOOMD-blue) and PDB"))
      << range;
}

}  // namespace
}  // namespace polychain
