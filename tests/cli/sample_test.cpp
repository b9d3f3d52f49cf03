// `polychain sample` as a user runs it, its files read by the programs they are for: GSD by
// gsd.hoomd, the LAMMPS data file by lmp (read, then a bead-spring run with FENE bonds), PDB
// by MDAnalysis, extended XYZ by ASE. Each reader's positions, unwrapped, must be lattice
// sites times the bond length, its bonds must join consecutive sites, no two sites may meet
// in the box, and all readers must see the same sites.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runcommand.h"

namespace {

namespace fs = std::filesystem;

using clitest::polychain;
using clitest::readFile;
using clitest::shell;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The checks every reader's view goes through; argv: sites per chain, chains, L, b, out file.
// u: unwrapped positions; bonds: 0-based pairs or None (the format has none); mol: chain of
// each site. Writes the lattice sites (u / b - 1/2) to the out file.
constexpr const char* kCheck = R"(
import sys
import numpy as np
per, chains, L, b, out = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
n = per * chains
def check(u, bonds, mol):
    u = np.asarray(u, dtype=np.float64)
    assert u.shape == (n, 3), u.shape
    lattice = u / b - 0.5
    sites = np.rint(lattice).astype(np.int64)
    assert np.abs(lattice - sites).max() < 2e-3, 'off the lattice'
    mol = np.asarray(mol)
    assert np.array_equal(mol, np.repeat(np.arange(chains), per) + mol[0]), 'molecules'
    want = np.array([(i, i + 1) for i in range(n - 1) if mol[i] == mol[i + 1]])
    if bonds is not None:
        got = np.unique(np.sort(np.asarray(bonds, dtype=np.int64), axis=1), axis=0)
        assert np.array_equal(got, want), 'bonds'
    assert (np.abs(sites[want[:, 1]] - sites[want[:, 0]]).sum(axis=1) == 1).all(), 'steps'
    assert len(np.unique(np.mod(sites, L), axis=0)) == n, 'a site taken twice'
    np.savetxt(out, sites, fmt='%d')
)";

constexpr const char* kGsd = R"(
import gsd.hoomd
with gsd.hoomd.open(sys.argv[6], 'rb') as t:
    assert len(t) == 1
    f = t[0]
    assert f.particles.N == n and f.particles.types == ['A'] and (f.particles.typeid == 0).all()
    assert np.allclose(f.configuration.box, [L * b] * 3 + [0, 0, 0])
    p = f.particles.position
    assert p.dtype == np.float32 and (np.abs(p) < L * b / 2).all()
    assert f.bonds.N == n - chains and f.bonds.types == ['backbone']
    u = p.astype(np.float64) + f.particles.image * L * b + L * b / 2
    check(u, f.bonds.group, np.arange(n) // per)
)";

constexpr const char* kPdb = R"(
import warnings
warnings.simplefilter('ignore')
import MDAnalysis as mda
u = mda.Universe(sys.argv[6])
assert u.atoms.n_atoms == n and len(u.residues) == chains
assert np.allclose(u.dimensions, [L * b] * 3 + [90] * 3, atol=1e-3)
check(u.atoms.positions, u.bonds.indices, u.atoms.resindices)
)";

constexpr const char* kXyz = R"(
import ase.io
a = ase.io.read(sys.argv[6], format='extxyz')
assert len(a) == n and a.pbc.all()
assert np.allclose(a.cell.array, np.eye(3) * L * b)
assert set(a.get_chemical_symbols()) == {'C'}
check(a.get_positions(), None, a.arrays['molecule'])
)";

// What lmp read (its own dump of atoms and bonds) goes through the same checks.
constexpr const char* kLammpsDump = R"(
def table(path):
    lines = open(path).read().splitlines()
    start = max(i for i, line in enumerate(lines) if line.startswith('ITEM: ATOMS') or line.startswith('ITEM: ENTRIES'))
    return np.loadtxt(lines[start + 1:], ndmin=2)
atoms = table(sys.argv[6])
atoms = atoms[np.argsort(atoms[:, 0])]
u = atoms[:, 2:5] + atoms[:, 5:8] * L * b
check(u, table(sys.argv[7]).astype(np.int64) - 1, atoms[:, 1].astype(np.int64))
)";

constexpr const char* kLammpsInput = R"(units lj
atom_style bond
boundary p p p
read_data melt.data
pair_style lj/cut 1.122462
pair_modify shift yes
pair_coeff 1 1 1.0 1.0
bond_style fene
bond_coeff 1 30.0 1.5 1.0 1.0
special_bonds fene
write_dump all custom atoms.dump id mol x y z ix iy iz
compute bond all property/local batom1 batom2
dump bonds all local 1 bonds.dump c_bond[1] c_bond[2]
run 0
undump bonds
velocity all create 1.0 4
fix move all nve/limit 0.05
fix heat all langevin 1.0 1.0 1.0 4
thermo 100
run 300
)";

class Sample : public clitest::ScratchDirTest {
 protected:
  // Runs a reader's script on `files` in the scratch folder; its checks print on failure.
  clitest::CommandResult python(const std::string& script, const std::string& sizes,
                                const std::string& files) {
    std::ofstream(path("check.py")) << kCheck << script;
    return shell("cd " + m_dir.string() + " && /usr/bin/python3 check.py " + sizes + " " + files);
  }
  bool hasModule(const std::string& module) {
    return shell("/usr/bin/python3 -c 'import " + module + "' 2>/dev/null").code == 0;
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  }
};

TEST_F(Sample, EveryReaderSeesTheSameLatticeChainsBondsAndBox) {
  // 30 chains of 61 sites in a box of side 40, one lattice unit 0.97 long.
  const clitest::CommandResult r = polychain(
      "sample --model pivot --steps 60 --chains 30 --box 40 --bond-length 0.97 "
      "--format gsd,lammps --format pdb,xyz --seed 8 --threads 2 --export " +
      path("melt"));
  ASSERT_EQ(r.code, 0) << r.err;
  for (const std::string& part : {"wrote " + path("melt.gsd"), "wrote " + path("melt.data"),
                                  std::string("1830 sites, 1800 bonds"), std::string("side 40"),
                                  std::string("bond length 0.97")}) {
    EXPECT_TRUE(contains(r.out, part)) << part << "\n" << r.out;
  }
  const std::string sizes = "61 30 40 0.97";
  std::vector<std::string> missing;
  std::vector<std::string> seen;
  const auto read = [&](const char* module, const char* script, const std::string& file) {
    if (!hasModule(module)) {
      missing.push_back(module);
      return;
    }
    const std::string out = std::string(module) + ".sites";
    const clitest::CommandResult check = python(script, sizes, out + " " + file);
    EXPECT_EQ(check.code, 0) << module << ": " << check.err;
    seen.push_back(out);
  };
  read("gsd.hoomd", kGsd, "melt.gsd");
  read("MDAnalysis", kPdb, "melt.pdb");
  read("ase.io", kXyz, "melt.xyz");
  if (shell("command -v lmp").code == 0 && hasModule("numpy")) {
    std::ofstream(path("in.melt")) << kLammpsInput;
    const clitest::CommandResult lmp = shell(
        "cd " + m_dir.string() + " && lmp -in in.melt -log none -screen lmp.out; cat lmp.out");
    ASSERT_EQ(lmp.code, 0) << lmp.out << lmp.err;
    for (const char* part : {"1830 atoms", "1800 bonds", "Loop time"}) {
      EXPECT_TRUE(contains(lmp.out, part)) << part << "\n" << lmp.out;
    }
    EXPECT_FALSE(contains(lmp.out, "FENE bond too long")) << lmp.out;
    EXPECT_FALSE(contains(lmp.out, "ERROR")) << lmp.out;
    const clitest::CommandResult check =
        python(kLammpsDump, sizes, "lammps.sites atoms.dump bonds.dump");
    EXPECT_EQ(check.code, 0) << "lmp: " << check.err;
    seen.push_back("lammps.sites");
  } else {
    missing.push_back("lmp");
  }
  for (const std::string& other : seen) {
    EXPECT_EQ(readFile(m_dir / other), readFile(m_dir / seen.front())) << other;
  }
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += " " + m;
    GTEST_SKIP() << "readers missing:" << names;
  }
}

TEST_F(Sample, TheMeltOfTheExampleOpensInHoomdsReaderAndRepeatsOnAnyThreadCount) {
  const std::string args =
      "sample --model pivot --steps 1000 --chains 100 --box 200 --format gsd --seed 21 --export ";
  const clitest::CommandResult one = polychain(args + path("one") + " --threads 1");
  ASSERT_EQ(one.code, 0) << one.err;
  ASSERT_EQ(polychain(args + path("two") + " --threads 2").code, 0);
  EXPECT_EQ(readFile(m_dir / "one.gsd"), readFile(m_dir / "two.gsd"));
  EXPECT_NE(
      readFile(m_dir / "one.gsd"),
      readFile(m_dir / (polychain(args + path("three") + " --seed 22").code == 0 ? "three.gsd"
                                                                                 : "missing")));
  if (!hasModule("gsd.hoomd")) GTEST_SKIP() << "gsd.hoomd missing";
  const clitest::CommandResult check = python(kGsd, "1001 100 200 1", "gsd.sites one.gsd");
  EXPECT_EQ(check.code, 0) << check.err;
}

// A slit's walls normal to z: ASE reads z as not periodic and every bead between the walls.
// A free walk's beads overlap, which the command says; self-avoiding chains' do not. The
// short burn-in's note advises only options this command has (it has no --iterations).
TEST_F(Sample, AMeltsWallsAreNotPeriodicInTheFileAndAFreeWalkWarnsOfOverlaps) {
  const clitest::CommandResult r = polychain(
      "sample --model melt --walls z --steps 9 --chains 20 --box 8 --burn-in 20 "
      "--sweeps-per-sample 2 --bond-length 0.97 --format xyz --seed 3 --export " +
      path("slit"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(readFile(m_dir / "slit.xyz"), "pbc=\"T T F\"\n"));
  EXPECT_FALSE(contains(r.out, "overlap")) << r.out;
  EXPECT_TRUE(contains(r.out, "(give more --burn-in, or more --sweeps-per-sample).")) << r.out;
  EXPECT_FALSE(contains(r.out, "--iterations")) << r.out;
  if (hasModule("ase.io")) {
    const clitest::CommandResult check =
        python(std::string(kXyz).replace(std::string(kXyz).find("a.pbc.all()"), 11,
                                         "list(a.pbc) == [True, True, False]") +
                   "assert (a.get_positions()[:, 2] > 0).all() and "
                   "(a.get_positions()[:, 2] < L * b).all()\n",
               "10 20 8 0.97", "ase.sites slit.xyz");
    EXPECT_EQ(check.code, 0) << check.err;
  }
  const clitest::CommandResult free =
      polychain("sample --model meander --steps 50 --chains 2 --seed 3 --export " + path("free"));
  ASSERT_EQ(free.code, 0) << free.err;
  EXPECT_TRUE(contains(free.out, "beads of a free walk overlap")) << free.out;
  EXPECT_TRUE(contains(free.out, "pair_style soft")) << free.out;
}

TEST_F(Sample, BadInputNamesTheOptionExitsWithTwoAndWritesNothing) {
  const std::string base =
      "sample --model saw --steps 20 --max-trials 1e6 --seed 1 --export " + path("x") + " ";
  for (const auto& [args, part] : std::vector<std::pair<std::string, std::string>>{
           {"--chains 0", "--chains"},
           {"--chains 3 --bond-length 0", "--bond-length"},
           {"--chains 3 --bond-length nan", "--bond-length"},
           {"--chains 3 --bond-length inf", "--bond-length"},
           {"--chains 3 --bond-length 1x", "--bond-length"},
           {"--chains 3 --box 0", "--box"},
           {"--chains 30 --box 8", "--box: A box of side 8 has 512 sites, fewer than the 630"},
           {"--chains 3 --format gsd,svg", "--format \"svg\" is not a format"},
           {"--chains 5000 --format pdb", "PDB holds at most 99999 atoms"},
           {"--chains 300 --box 19", "volume fraction of"},
           {"--chains 1 --box 3", "Chain 1 spans"},
       }) {
    const clitest::CommandResult r = polychain(base + args);
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, part)) << args << "\n" << r.err;
    EXPECT_EQ(entries(), 0U) << args;
  }
  // Naming the formats that take them (which the files' tests check against the table).
  EXPECT_TRUE(contains(polychain(base + "--chains 5000 --format pdb").err, "Write them as "));
  // Without --export there is nothing to write.
  EXPECT_EQ(polychain("sample --steps 10 --chains 2").code, 2);
  // A chain that passes the trial cap stops the run: exit 3, nothing written.
  const clitest::CommandResult capped = polychain(
      "sample --model saw --steps 2000 --chains 4 --max-trials 50 --export " + path("capped"));
  EXPECT_EQ(capped.code, 3) << capped.err;
  EXPECT_EQ(entries(), 0U);
}

}  // namespace
