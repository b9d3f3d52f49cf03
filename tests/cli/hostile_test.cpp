// The command against hostile inputs and odd environments: memory limits, a standard output
// that blocks, closes or fills, the file size limit, empty values, outputs sharing a file,
// files of other owners and two processes exporting to one name.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "runcommand.h"

namespace {

namespace fs = std::filesystem;

using clitest::polychain;
using clitest::polychainAfter;
using clitest::readFile;
using clitest::shell;
using Result = clitest::CommandResult;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Hostile : public clitest::ScratchDirTest {
 protected:
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  }
  void writeText(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
};

// A run refused for its memory names what needs it, in a unit that shows the numbers; threads
// that cannot start are said to be that (exit 4); an option out of range says the range it
// really takes.
TEST_F(Hostile, RefusalsNameWhatIsWrong) {
  const Result walkers =
      polychainAfter("ulimit -v 204800;",
                     "run --model pivot --steps 100 --iterations 1000000 --walkers 1000000 "
                     "--pivots-per-sample 1 --burn-in 0 --seed 1 --threads 1");
  EXPECT_EQ(walkers.code, 2) << walkers.err;
  EXPECT_TRUE(contains(walkers.err, "Walkers = 1000000 ")) << walkers.err;
  EXPECT_TRUE(contains(walkers.err, " MiB of memory")) << walkers.err;
  const Result threads = polychainAfter(
      "ulimit -v 4000000;", "run --steps 1000 --iterations 10000 --threads 1024 --max-trials 1");
  EXPECT_EQ(threads.code, 2) << threads.err;
  EXPECT_TRUE(contains(threads.err, "Threads = 1024 need about")) << threads.err;

  // Worker threads that cannot start (here: stacks larger than the address space allowed).
  const Result stacks = polychainAfter("ulimit -v 4000000; OMP_STACKSIZE=8G",
                                       "run --steps 10 --iterations 100 --threads 2");
  EXPECT_EQ(stacks.code, 4) << stacks.err;
  EXPECT_TRUE(contains(stacks.err, "polychain: the worker threads could not be started"))
      << stacks.err;

  const std::pair<const char*, const char*> ranges[] = {
      {"run --steps 3e9 --iterations 1",
       "--steps is out of range: it accepts whole numbers from "
       "1 to 2147483647."},
      {"run --model pivot --steps 1e8 --iterations 1", "from 1 to 67108862."},
      {"run --steps 10 --iterations 1e12",
       "--iterations is out of range: it accepts whole "
       "numbers from 1 to 2147483647."},
      {"sweep --model pivot --steps 10,1e8 --iterations 1", "from 1 to 67108862."},
  };
  for (const auto& [args, message] : ranges) {
    const Result r = polychain(args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_TRUE(contains(r.err, message)) << args << "\n" << r.err;
  }
}

// A refusal names the option as the command spells it, says what it takes, and comes before
// the run (exit 2, nothing written): a field of the model's own checks (the melt's box and
// density), a density whose box would pass the largest, a number in a form no option takes, a
// name the file system cannot take, a bond length that gives a box PDB cannot hold, and
// memory that the box's side is to blame for.
TEST_F(Hostile, RefusalsNameTheOptionBeforeTheRun) {
  const std::string longName = path(std::string(252, 'y'));  // 252 + ".cdat" passes 255
  const std::pair<std::string, std::string> cases[] = {
      {"run --model melt --density 0.5 --box 10 -N 10 -I 1", "--density and --box are either-or"},
      {"run --model melt --box 2 --chains 4 -N 10 -I 1", "--box must be at least 3"},
      {"run --model melt --box 3 -N 10 -I 1", "raise --box, or lower --chains or --steps"},
      {"run --model melt --density 1e-60 -N 10 -I 1",
       "--density of 1e-60 is too low for 100 chains of N = 10"},
      {"run --model melt --density '' -N 10 -I 1", "--density is empty: enter a number"},
      {"run --model melt --walls '' -N 10 -I 1", "--walls is empty: enter none, z, yz or xyz"},
      {"sweep -N 10,20 -I 2 --correction-exponent 0x1p-1", "--correction-exponent must be"},
      {"sample -N 10 -C 2 --bond-length 0x1p-1 --export " + path("x"), "--bond-length must be"},
      {"run -N 10 -I 1 --export " + longName, "--export cannot write"},
      {"sample -N 10 -C 2 --export " + longName, "--export cannot write"},
      {"sweep -N 10,20 -I 2 --plot " + longName + "y.svg", "--plot cannot write"},
      {"run -N 10 -I 1 --export " + path(std::string(4100, 'z')), "--export cannot write"},
      {"sample --model melt --box 30 -N 10 -C 100 --format pdb --bond-length 5000 --export " +
           path("x"),
       "--bond-length must be from 0.002 to 3330"},
      {"ulimit -v 3000000; sample --model melt --box 1024 -N 10 -C 10 --export " + path("x"),
       "Choose a smaller box side"},
  };
  for (const auto& [args, message] : cases) {
    const bool limited = args.rfind("ulimit", 0) == 0;
    const Result r = limited ? polychainAfter(args.substr(0, args.find(';') + 1),
                                              args.substr(args.find(';') + 2))
                             : polychain(args);
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, message)) << args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_EQ(entries(), 0U) << args;
  }
}

// What is not refused: blanks around a number, as every option takes them; options the chosen
// model does not read, said ignored in one line with the model's own; one chain said so, by a
// run and a sample; "-0" read as 0.
TEST_F(Hostile, UnreadOptionsAreSaidIgnored) {
  const Result sweep = polychain("sweep -N 10,20 -I 2 --seed 1 --correction-exponent ' 0.5 '");
  EXPECT_EQ(sweep.code, 0) << sweep.err;
  const Result melt = polychain(
      "run --model melt -N 4 -I 1 --chains 5 --burn-in 10 --seed 1 --kuhn 3 --walkers "
      "2 --max-trials 5");
  EXPECT_EQ(melt.code, 0) << melt.err;
  EXPECT_TRUE(contains(melt.err,
                       "the melt model does not read --kuhn, --walkers and "
                       "--max-trials, which are ignored (its own options: --chains,"))
      << melt.err;
  // "-0" is 0: the same bytes as "0", in the settings and the sweep's values.
  const std::string zero = "sweep --model pivot -N 10,20 -I 2 --seed 1 --json --contact-energy ";
  const Result negativeZero = polychain(zero + "-0,0.5");
  EXPECT_EQ(negativeZero.code, 0) << negativeZero.err;
  EXPECT_EQ(negativeZero.out, polychain(zero + "0,0.5").out);
  const Result chain = polychain("sample -N 10 -C 1 --seed 1 --export " + path("one"));
  EXPECT_TRUE(contains(chain.out, "N = 10, 1 chain, seed 1\n1 chain, 11 sites,")) << chain.out;
  const Result one = polychain("run -N 10 -I 1 --seed 1 --avoid 3");
  EXPECT_EQ(one.code, 0) << one.err;
  EXPECT_TRUE(contains(one.out, "meander: N = 10, 1 chain, seed 1\n")) << one.out;
  EXPECT_TRUE(contains(one.err,
                       "does not read --avoid, which is ignored (its own options: "
                       "none)"))
      << one.err;
}

// One rule for every option: an empty value is refused (exit 2) as a wrong one, and so are
// two outputs to one file, or an export over the file standard output goes to.
TEST_F(Hostile, EmptyValuesAndSharedOutputsAreRefused) {
  const std::string same = path("same.csv");
  const std::pair<std::string, std::string> cases[] = {
      {"run -N 10 -I 1 --threads ''", "--threads is empty"},
      {"run -N 10 -I 1 --seed ''", "--seed is empty"},
      {"run -N 10 -I 1 --max-trials ''", "--max-trials is empty"},
      {"run -N 10 -I 1 --restart-trapped ' '", "--restart-trapped is empty"},
      {"run --model pivot -N 10 -I 1 --walkers ''", "--walkers is empty"},
      {"run --model pivot -N 10 -I 1 --pivots-per-sample ''", "--pivots-per-sample is empty"},
      {"run --model pivot -N 10 -I 1 --burn-in ''", "--burn-in is empty"},
      {"sweep -N 10,20 -I 2 --csv ''", "--csv is empty"},
      {"sweep -N 10,20 -I 2 --plot ''", "--plot is empty"},
      {"sweep -N 10,20 -I 2 --correction-exponent ''", "--correction-exponent is empty"},
      {"run -N 10 -I 1 --export ' '", "--export is empty"},
      {"run -N 10 -I 1 --export '\t'", "--export is empty"},
      {"sample -N 10 -C 2 --export " + path("x") + " --box ''", "--box is empty"},
      {"sample -N 10 -C 2 --export ' '", "--export is empty"},
      {"sample -N 10 -C 2 --export " + path("x") + " --format ''", "--format is empty"},
      {"sweep -N 10,20 -I 2 --csv " + same + " --plot " + same, "--csv and --plot"},
      {"sweep -N 10,20 -I 2 --csv " + same + " --plot " + m_dir.string() + "/./same.csv",
       "--csv and --plot"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = polychain(args);
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, message)) << args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_EQ(entries(), 0U) << args;
  }
  for (const char* args : {"run -N 10 -I 1 --export ", "sample -N 10 -C 2 --export "}) {
    const bool sample = args[1] == 'a';
    const Result intoOutput =
        polychain(args + path("o") + " > " + path(sample ? "o.gsd" : "o.cdat"));
    EXPECT_EQ(intoOutput.code, 2) << args << intoOutput.err;
    EXPECT_TRUE(contains(intoOutput.err, "where standard output goes")) << intoOutput.err;
    EXPECT_EQ(entries(), 1U);  // the redirection's own file
    fs::remove(path(sample ? "o.gsd" : "o.cdat"));
  }
}

// Every target is checked before anything runs: a folder or a FIFO where one of the files
// goes refuses the whole command (exit 2), and the other files stay as they were.
TEST_F(Hostile, ATargetInTheWayRefusesTheWholeSet) {
  writeText("a.cdat", "old");
  fs::create_directory(path("a.gor"));
  ASSERT_EQ(::mkfifo(path("b.goq").c_str(), 0600), 0);
  fs::create_directory(path("x.pdb"));
  fs::create_directory(path("s.svg"));
  const std::pair<std::string, std::string> cases[] = {
      {"run -N 10 -I 2 --gofr --export " + path("a"), "--export cannot write \"" + path("a.gor")},
      {"run -N 10 -I 2 --gofr --export " + path("b"), "--export cannot write \"" + path("b.goq")},
      {"sample -N 10 -C 2 --format gsd,pdb --export " + path("x"), path("x.pdb") + "\": it is"},
      {"sweep -N 10,20 -I 2 --csv " + path("s.csv") + " --plot " + path("s.svg"), "--plot"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = polychain(args);
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, message)) << args << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_EQ(entries(), 5U) << args;
  }
  EXPECT_EQ(readFile(path("a.cdat")), "old");
}

// A bond length whose box or coordinates are no finite numbers of a format, or whose sites
// come out alike there, is refused before anything runs, with the range the formats asked
// for take; the same bond length suits a format of wider numbers.
TEST_F(Hostile, BondLengthsBeyondTheFormatsNumbersAreRefused) {
  const std::string base = "sample --model meander -N 10 -C 2 --seed 1 --export " + path("b");
  const std::pair<std::string, std::string> cases[] = {
      {" --bond-length 1e308 --format lammps", "--bond-length must be from 4.46e-308 to "},
      {" --bond-length 1e308 --format xyz", "in Extended XYZ"},
      {" --bond-length 1e-50", "in GSD (HOOMD-blue)"},
      {" --bond-length 1e40 --box 10", "--bond-length must be from 2.36e-38 to 3.4e+37"},
      {" --bond-length 0.001 --format pdb", "from 0.002 to"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = polychain(base + args);
    EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, message)) << args << "\n" << r.err;
    EXPECT_EQ(entries(), 0U) << args;
  }
  const Result small = polychain(base + " --bond-length 1e-50 --format lammps,xyz");
  EXPECT_EQ(small.code, 0) << small.err;
  EXPECT_TRUE(contains(readFile(path("b.data")), "bond length 1e-50\n"))
      << readFile(path("b.data"));
}

// Once the files are in place, a reader that went away before the "wrote" lines changes
// nothing: exit 0, the new files there (tried a few times, as the reader's leaving races the
// command).
TEST_F(Hostile, AClosedPipeAfterTheResultsLeavesTheExitCodeAlone) {
  for (int round = 0; round < 4; ++round) {
    writeText("a.cdat", "OLD\n");
    for (const std::string& args :
         {"run --model meander --steps 100 --iterations 10 --seed 1 --export " + path("a"),
          "sample --model meander --steps 100 --chains 10 --seed 1 --format lammps --export " +
              path("a")}) {
      const Result r = shell("{ " + std::string(POLYCHAIN_EXE) + " " + args +
                             "; echo \"exit $?\" >&2; } | head -c1 > /dev/null");
      EXPECT_TRUE(contains(r.err, "exit 0")) << args << "\n" << r.err;
      EXPECT_FALSE(contains(r.err, "cannot write")) << args << "\n" << r.err;
    }
    EXPECT_TRUE(contains(readFile(path("a.cdat")), "x,y,z"));
    EXPECT_TRUE(contains(readFile(path("a.data")), "Atoms # bond"));
  }
}

// Ctrl-C while standard output is a pipe nobody reads cancels (exit 130), and does not wait
// for the reader; the test gives the exit a few seconds before it ends the process itself.
TEST_F(Hostile, BlockedStandardOutputIsCancelled) {
  const std::string fifo = path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string steps = "2";
  for (int n = 3; n <= 151; ++n) steps += "," + std::to_string(n);  // some 100 kB of JSON
  const Result r =
      shell("sleep 60 < " + fifo + " & reader=$!; " + POLYCHAIN_EXE + " sweep -N " + steps +
            " -I 2 --seed 1 --json --csv " + path("s.csv") + " > " + fifo +
            " & pid=$!; "
            // Until it waits for the reader (or ten seconds).
            "for i in $(seq 100); do case $(cat /proc/$pid/wchan 2>/dev/null) in *poll*|pipe_w*) "
            "break;; esac; sleep 0.1; done; "
            "kill -INT $pid; "
            "for i in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done; "
            "kill -KILL $pid 2>/dev/null; wait $pid; code=$?; kill $reader; exit $code");
  EXPECT_EQ(r.code, 130) << r.err;
  EXPECT_TRUE(contains(r.err, "cancelled")) << r.err;
  EXPECT_FALSE(fs::exists(path("s.csv")));
}

// A reader that went away, a full device and the file size limit are write errors (exit 1)
// with a message, not signals that end the process; the old file stays whole, and no export
// file goes in place of results that could not be printed.
TEST_F(Hostile, ClosedPipeAndFileSizeLimitAreWriteErrors) {
  const Result closed =
      shell("{ sleep 0.3; " + std::string(POLYCHAIN_EXE) + " run -N 1000 -I 1 --seed 1 --export " +
            path("f") + "; echo \"exit $?\" >&2; } | true");
  EXPECT_TRUE(contains(closed.err, "cannot write to standard output: Broken pipe")) << closed.err;
  EXPECT_TRUE(contains(closed.err, "exit 1")) << closed.err;
  EXPECT_EQ(entries(), 0U);

  writeText("full.cdat", "old\n");
  const Result full =
      polychain("run -N 1000 -I 1 --seed 1 --export " + path("full") + " > /dev/full");
  EXPECT_EQ(full.code, 1) << full.err;
  EXPECT_TRUE(contains(full.err, "cannot write to standard output: No space left")) << full.err;
  EXPECT_EQ(readFile(path("full.cdat")), "old\n");
  EXPECT_EQ(entries(), 1U);

  writeText("big.cdat", "old\n");
  const Result limited = polychainAfter(
      "ulimit -f 100;", "run --steps 100000 --iterations 1 --seed 1 --export " + path("big"));
  EXPECT_EQ(limited.code, 1) << limited.err;
  EXPECT_TRUE(contains(limited.err, "cannot write " + path("big.cdat") + ": File too large"))
      << limited.err;
  EXPECT_EQ(readFile(path("big.cdat")), "old\n");
  EXPECT_EQ(entries(), 2U);
}

// As root: a file of another owner keeps its owner, group and mode when replaced; a setuid
// file's replacement has neither the setuid nor the setgid bit.
TEST_F(Hostile, ReplacedFilesKeepTheirOwnerAndLoseSpecialBits) {
  const passwd* nobody = ::getpwnam("nobody");
  const group* nogroup = ::getgrnam("nogroup");
  if (::geteuid() != 0 || nobody == nullptr || nogroup == nullptr) {
    GTEST_SKIP() << "needs root and the user nobody, group nogroup";
  }
  writeText("theirs.cdat", "theirs\n");
  ASSERT_EQ(::chown(path("theirs.cdat").c_str(), nobody->pw_uid, nogroup->gr_gid), 0);
  ASSERT_EQ(::chmod(path("theirs.cdat").c_str(), 0640), 0);
  writeText("setuid.cdat", "setuid\n");
  ASSERT_EQ(::chmod(path("setuid.cdat").c_str(), 06755), 0);
  for (const char* name : {"theirs", "setuid"}) {
    const Result r = polychain("run -N 10 -I 1 --seed 1 --export " + path(name));
    ASSERT_EQ(r.code, 0) << r.err;
  }
  struct stat theirs {};
  ASSERT_EQ(::stat(path("theirs.cdat").c_str(), &theirs), 0);
  EXPECT_EQ(theirs.st_uid, nobody->pw_uid);
  EXPECT_EQ(theirs.st_gid, nogroup->gr_gid);
  EXPECT_EQ(theirs.st_mode & 07777, 0640U);
  EXPECT_TRUE(contains(readFile(path("theirs.cdat")), "x,y,z"));
  struct stat setuid {};
  ASSERT_EQ(::stat(path("setuid.cdat").c_str(), &setuid), 0);
  EXPECT_EQ(setuid.st_mode & 07777, 0755U);
}

// Two processes exporting to one name at once leave the three files of one of them, never a
// mix; some rounds, since the mix needs their commits to meet.
TEST_F(Hostile, ConcurrentExportsLeaveOneSet) {
  const auto run = [&](int seed, const std::string& name) {
    return std::string(POLYCHAIN_EXE) + " run -N 20000 -I 1 --gofr --seed " + std::to_string(seed) +
           " --export " + path(name) + " > /dev/null";
  };
  ASSERT_EQ(shell(run(1, "a") + " && " + run(2, "b")).code, 0);
  const auto set = [&](const std::string& name) {
    return readFile(path(name + ".cdat")) + readFile(path(name + ".gor")) +
           readFile(path(name + ".goq"));
  };
  const std::string a = set("a");
  const std::string b = set("b");
  ASSERT_NE(a, b);
  for (int round = 0; round < 40; ++round) {
    ASSERT_EQ(shell(run(1, "o") + " & " + run(2, "o") + " & wait").code, 0);
    const std::string o = set("o");
    ASSERT_TRUE(o == a || o == b) << "round " << round;
  }
  EXPECT_EQ(entries(), 9U);  // nothing but the three sets
}

}  // namespace
