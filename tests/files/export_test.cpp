// The export's decisions and the sets of files under them: names, order, texts, what is
// skipped and what the user is told, and the real files left on disk when a file fails, a
// format refuses its data or the writing is cancelled.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "files/atomicfile.h"
#include "files/exportdata.h"
#include "polychain/export.h"
#include "polychain/fileset.h"

namespace polychain {
namespace {

namespace fs = std::filesystem;

using testing::filledData;
using testing::textOf;
using testing::ticks;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "polychain-export-XXXXXX").string();
    m_path = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(m_path); }
  const fs::path& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return (m_path / name).string(); }
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
  }

 private:
  fs::path m_path;
};

TEST(Export, WritesTheTickedFormatsInOrderUnderAppendedNames) {
  TempDir dir;
  const ExportData buffers = filledData();
  const std::string run1 = dir / "run1";
  const ExportReport report = exportFiles(buffers, ticks(true, true, true), run1);
  EXPECT_EQ(report.written,
            (std::vector<std::string>{run1 + ".cdat", run1 + ".gor", run1 + ".goq"}));
  EXPECT_TRUE(report.message().empty());
  EXPECT_EQ(readFile(run1 + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(readFile(run1 + ".gor"), textOf(buffers, "gor"));
  EXPECT_EQ(readFile(run1 + ".goq"), textOf(buffers, "goq"));

  // Only what is ticked, and the extension goes after the whole name.
  EXPECT_EQ(exportFiles(buffers, ticks(false, false, true), dir / "a.cdat").written,
            std::vector<std::string>{dir / "a.cdat.goq"});
  EXPECT_EQ(exportFiles(buffers, ticks(true, true, false), dir / "run1.txt").written,
            (std::vector<std::string>{dir / "run1.txt.cdat", dir / "run1.txt.gor"}));
  const ExportReport nothing = exportFiles(buffers, ExportChoice{}, dir / "none");
  EXPECT_TRUE(nothing.written.empty());
  EXPECT_TRUE(nothing.message().empty());
  EXPECT_EQ(dir.entries(), 6U);
}

TEST(Export, FormatsNoRunProducedAreNotWrittenAndTheMessageSaysWhy) {
  TempDir dir;
  const ExportReport report = exportFiles(ExportData{}, ticks(true, true, true), dir / "a");
  EXPECT_FALSE(report.writeFailed);
  const std::string m = report.message();
  EXPECT_TRUE(contains(m, "\"" + dir / "a.cdat" + "\" was not written: there is no chain data"))
      << m;
  EXPECT_TRUE(contains(m, "a.gor\" was not written: g(r) was not calculated in any run")) << m;
  EXPECT_TRUE(contains(m, "a.goq\" was not written: g(q) was not calculated in any run")) << m;
  EXPECT_TRUE(contains(m, "No file was written.")) << m;
  EXPECT_EQ(dir.entries(), 0U);

  // Chain data from a run without g(r): the chain goes out, g(r) is explained.
  ExportData chainOnly = filledData();
  chainOnly.correlation.reset();
  const ExportReport partial = exportFiles(chainOnly, ticks(true, true, false), dir / "b");
  EXPECT_EQ(partial.written, std::vector<std::string>{dir / "b.cdat"});
  EXPECT_TRUE(contains(partial.message(), "b.gor\" was not written")) << partial.message();
  EXPECT_TRUE(contains(partial.message(), "Written: \"" + dir / "b.cdat" + "\"."))
      << partial.message();
}

// A folder where a file should go: that file is reported with the reason and the others are
// still written; a chain too long for PDB is reported as PDB's refusal.
TEST(Export, AFailedFileIsReportedAndTheOthersAreStillWritten) {
  TempDir dir;
  fs::create_directory(dir / "a.gor");
  const ExportReport report = exportFiles(filledData(), ticks(true, true, true), dir / "a");
  EXPECT_TRUE(report.writeFailed);
  EXPECT_EQ(report.written, (std::vector<std::string>{dir / "a.cdat", dir / "a.goq"}));
  const std::string m = report.message();
  EXPECT_TRUE(contains(m, "Could not write \"" + dir / "a.gor" + "\": it is a folder.")) << m;
  EXPECT_TRUE(contains(m, "Written, in this order: \"" + dir / "a.cdat" + "\", \"")) << m;

  RunParams params;
  params.steps = 100'000;
  params.iterations = 1;
  params.seed = 1;
  RunObserver quiet;
  const ExportData longChain{params, std::make_shared<RunResult>(runSimulation(params, quiet)),
                             nullptr};
  const ExportReport pdb =
      exportFiles(longChain, {findFormat("pdb"), findFormat("xyz")}, dir / "long");
  EXPECT_EQ(pdb.written, std::vector<std::string>{dir / "long.xyz"});
  EXPECT_TRUE(contains(pdb.message(), "long.pdb\": PDB holds at most 99999 atoms"))
      << pdb.message();
}

TEST(Export, RealFilesHoldTheBuffersByteForByteAndReplaceOldOnes) {
  TempDir dir;
  const ExportData buffers = filledData();
  const std::string chosen = dir / "a.cdat";
  std::ofstream(chosen) << "keep me";
  std::ofstream(chosen + ".gor") << "an older, longer g(r) file that must go entirely\r\n";

  const ExportReport report = exportFiles(buffers, ticks(true, true, true), chosen);
  EXPECT_TRUE(report.message().empty()) << report.message();
  EXPECT_EQ(readFile(chosen + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(readFile(chosen + ".gor"), textOf(buffers, "gor"));
  EXPECT_EQ(readFile(chosen + ".goq"), textOf(buffers, "goq"));
  EXPECT_EQ(readFile(chosen), "keep me");  // the chosen name itself is never written
  EXPECT_EQ(dir.entries(), 4U);            // no temporary file stays behind
}

TEST(Export, UnwritablePlacesAreReportedWithTheReasonAndLeaveOldFilesAlone) {
  TempDir dir;
  const std::string missing = dir / "no-such-folder/a";
  const ExportReport report = exportFiles(filledData(), ticks(true, false, true), missing);
  EXPECT_TRUE(report.writeFailed);
  EXPECT_TRUE(report.written.empty());
  const std::string m = report.message();
  EXPECT_TRUE(contains(m, "Could not write \"" + missing + ".cdat\": No such file or directory."))
      << m;
  EXPECT_TRUE(contains(m, "Could not write \"" + missing + ".goq\"")) << m;
}

// Files are only ever regular files, replaced whole with their permission bits, under any
// name the system takes, and nothing temporary stays behind.
TEST(Export, ReplacesOnlyRegularFilesKeepingTheirModeUnderLongNames) {
  TempDir dir;
  const ExportData buffers = filledData();
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo((fifo + ".cdat").c_str(), 0600), 0);
  ExportReport report = exportFiles(buffers, ticks(true, false, false), fifo);
  EXPECT_TRUE(report.writeFailed);
  EXPECT_TRUE(contains(report.message(), "not a regular file")) << report.message();
  EXPECT_TRUE(fs::is_fifo(fifo + ".cdat"));

  const std::string kept = dir / "kept";
  std::ofstream(kept + ".cdat") << "old";
  fs::permissions(kept + ".cdat", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(exportFiles(buffers, ticks(true, false, false), kept).message().empty());
  EXPECT_EQ(readFile(kept + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(fs::status(kept + ".cdat").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  // 250 characters and the extension: as long as a name may be, and still written.
  const std::string longName = dir / std::string(250, 'n');
  report = exportFiles(buffers, ticks(true, false, false), longName);
  EXPECT_TRUE(report.message().empty()) << report.message();
  EXPECT_EQ(readFile(longName + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(dir.entries(), 3U);  // the FIFO and two files: no temporary left

  // A write cancelled half way leaves the old file and nothing else.
  EXPECT_EQ(writeFileAtomically(kept + ".cdat", std::string(20 << 20, 'x'), [] { return false; }),
            "cancelled");
  EXPECT_EQ(readFile(kept + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(dir.entries(), 3U);
}

// An export cancelled part way through its first, long file replaces none of the old ones
// and leaves nothing else; the share it reports only grows, to the whole.
TEST(Export, ACancelledExportReplacesNothing) {
  TempDir dir;
  RunParams params;
  params.steps = 400'000;
  params.iterations = 1;
  params.seed = 2;
  params.calcParCF = true;
  RunObserver quiet;
  auto run = std::make_shared<RunResult>(runSimulation(params, quiet));
  const ExportData data{params, run, std::make_shared<Correlation>(*run->correlation)};
  for (const char* extension : {".cdat", ".gor"})
    std::ofstream(dir / ("x" + std::string(extension))) << "old";
  double last = 0;
  int asked = 0;
  const ExportReport cancelled =
      exportFiles(data, ticks(true, true, true), dir / "x", 2, [&](double done) {
        EXPECT_GE(done, last);
        last = done;
        return ++asked < 3;
      });
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_TRUE(cancelled.written.empty());
  EXPECT_LT(last, 0.5);
  EXPECT_EQ(readFile(dir / "x.cdat"), "old");
  EXPECT_EQ(readFile(dir / "x.gor"), "old");
  EXPECT_EQ(dir.entries(), 2U);

  last = 0;
  const ExportReport whole =
      exportFiles(data, ticks(true, true, true), dir / "x", 2, [&](double done) {
        EXPECT_GE(done, last);
        last = done;
        return true;
      });
  EXPECT_FALSE(whole.cancelled);
  EXPECT_EQ(whole.written.size(), 3U);
  EXPECT_EQ(last, 1.0);
  EXPECT_EQ(readFile(dir / "x.cdat"), textOf(data, "cdat"));
}

// A set of files goes in place whole or not at all: a target in the way, a format that
// refuses its data or a no before the renames leaves every old file and nothing else.
TEST(FileSet, AllOrNoneLeavesTheOldFilesWhenAnyFails) {
  TempDir dir;
  for (const char* name : {"a", "b", "c"}) std::ofstream(dir / name) << "old " << name;
  const auto job = [](std::string path, std::string text) {
    return FileJob{std::move(path), [text](ByteSink& sink) { return sink.put(text); }};
  };
  std::vector<FileJob> jobs = {job(dir / "a", "new a"), job(dir / "b", "new b"),
                               job(dir / "c", "new c")};
  const auto unchanged = [&] {
    return readFile(dir / "a") == "old a" && readFile(dir / "b") == "old b" &&
           readFile(dir / "c") == "old c";
  };
  EXPECT_TRUE(writeFileSet(jobs, {.beforeCommit = [] { return false; }}).held);
  EXPECT_TRUE(unchanged());

  jobs[1].write = [](ByteSink&) -> bool { throw InputError("b does not fit"); };
  FileSetResult refused = writeFileSet(jobs);
  EXPECT_TRUE(refused.refused);
  ASSERT_EQ(refused.failed.size(), 1U);
  EXPECT_EQ(refused.failed[0], std::pair(dir / "b", std::string("b does not fit")));
  EXPECT_TRUE(unchanged());

  jobs[1] = job(dir / "folder/b", "new b");
  EXPECT_EQ(writeFileSet(jobs).failed.size(), 1U);
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(dir.entries(), 3U);

  // Each on its own: the others go in place, and the committing step is told.
  std::vector<bool> told;
  const FileSetResult each = writeFileSet(
      jobs, {.committing = [&told](bool on) { told.push_back(on); }}, FileSetPolicy::EachOnItsOwn);
  EXPECT_EQ(each.written, (std::vector<std::string>{dir / "a", dir / "c"}));
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
  EXPECT_EQ(readFile(dir / "a"), "new a");
  EXPECT_EQ(readFile(dir / "b"), "old b");
}

}  // namespace
}  // namespace polychain
