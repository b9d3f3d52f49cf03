// The export's decisions: names, order, texts, what is skipped and what the user is told,
// and the real files it leaves on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "files/exportdata.h"
#include "polychain/atomicfile.h"
#include "polychain/export.h"

namespace polychain {
namespace {

namespace fs = std::filesystem;

using testing::filledData;
using testing::textOf;
using testing::ticks;

// Records every write and fails the paths it is told to.
struct RecordingWriter {
  std::vector<std::pair<std::string, std::string>> writes;
  std::vector<std::string> failing;

  FileWriter writer() {
    return [this](const std::string& path, std::string_view text) -> std::optional<std::string> {
      writes.emplace_back(path, std::string(text));
      for (const std::string& f : failing) {
        if (f == path) return "Permission denied";
      }
      return std::nullopt;
    };
  }
};

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

 private:
  fs::path m_path;
};

TEST(Export, WritesTheTickedFormatsInOrderUnderAppendedNames) {
  const ExportData buffers = filledData();
  RecordingWriter rec;
  const ExportReport report =
      exportFiles(buffers, ticks(true, true, true), "/out/run1", rec.writer());
  ASSERT_EQ(rec.writes.size(), 3u);
  EXPECT_EQ(rec.writes[0], std::pair(std::string("/out/run1.cdat"), textOf(buffers, "cdat")));
  EXPECT_EQ(rec.writes[1], std::pair(std::string("/out/run1.gor"), textOf(buffers, "gor")));
  EXPECT_EQ(rec.writes[2], std::pair(std::string("/out/run1.goq"), textOf(buffers, "goq")));
  EXPECT_EQ(report.written,
            (std::vector<std::string>{"/out/run1.cdat", "/out/run1.gor", "/out/run1.goq"}));
  EXPECT_TRUE(report.message().empty());

  // Only what is ticked, and the extension goes after the whole name.
  RecordingWriter one;
  exportFiles(buffers, ticks(false, false, true), "a.cdat", one.writer());
  ASSERT_EQ(one.writes.size(), 1u);
  EXPECT_EQ(one.writes[0].first, "a.cdat.goq");
  RecordingWriter dotted;
  exportFiles(buffers, ticks(true, true, false), "run1.txt", dotted.writer());
  ASSERT_EQ(dotted.writes.size(), 2u);
  EXPECT_EQ(dotted.writes[0].first, "run1.txt.cdat");
  EXPECT_EQ(dotted.writes[1].first, "run1.txt.gor");

  RecordingWriter none;
  const ExportReport nothing = exportFiles(buffers, ExportChoice{}, "a", none.writer());
  EXPECT_TRUE(none.writes.empty());
  EXPECT_TRUE(nothing.message().empty());
}

TEST(Export, FormatsNoRunProducedAreNotWrittenAndTheMessageSaysWhy) {
  RecordingWriter rec;
  const ExportReport report = exportFiles(ExportData{}, ticks(true, true, true), "a", rec.writer());
  EXPECT_TRUE(rec.writes.empty());
  EXPECT_FALSE(report.writeFailed);
  const std::string m = report.message();
  EXPECT_TRUE(contains(m, "\"a.cdat\" was not written: there is no chain data yet")) << m;
  EXPECT_TRUE(contains(m, "\"a.gor\" was not written: g(r) was not calculated in any run")) << m;
  EXPECT_TRUE(contains(m, "\"a.goq\" was not written: g(q) was not calculated in any run")) << m;
  EXPECT_TRUE(contains(m, "No file was written.")) << m;

  // Chain data from a run without g(r): the chain goes out, g(r) is explained.
  ExportData chainOnly = filledData();
  chainOnly.correlation.reset();
  RecordingWriter mixed;
  const ExportReport partial =
      exportFiles(chainOnly, ticks(true, true, false), "b", mixed.writer());
  ASSERT_EQ(mixed.writes.size(), 1u);
  EXPECT_EQ(mixed.writes[0].first, "b.cdat");
  EXPECT_TRUE(contains(partial.message(), "\"b.gor\" was not written")) << partial.message();
  EXPECT_TRUE(contains(partial.message(), "Written: \"b.cdat\".")) << partial.message();
}

TEST(Export, AFailedFileIsReportedAndTheOthersAreStillWritten) {
  RecordingWriter rec;
  rec.failing = {"a.gor"};
  const ExportReport report = exportFiles(filledData(), ticks(true, true, true), "a", rec.writer());
  ASSERT_EQ(rec.writes.size(), 3u);  // a.goq was still attempted after a.gor failed
  EXPECT_TRUE(report.writeFailed);
  EXPECT_EQ(report.written, (std::vector<std::string>{"a.cdat", "a.goq"}));
  const std::string m = report.message();
  EXPECT_TRUE(contains(m, "Could not write \"a.gor\": Permission denied.")) << m;
  EXPECT_TRUE(contains(m, "\"a.cdat\", \"a.goq\"")) << m;
}

TEST(Export, RealFilesHoldTheBuffersByteForByteAndReplaceOldOnes) {
  TempDir dir;
  const ExportData buffers = filledData();
  const std::string chosen = (dir.path() / "a.cdat").string();
  std::ofstream(chosen) << "keep me";
  std::ofstream(chosen + ".gor") << "an older, longer g(r) file that must go entirely\r\n";

  const ExportReport report = exportFiles(buffers, ticks(true, true, true), chosen);
  EXPECT_TRUE(report.message().empty()) << report.message();
  EXPECT_EQ(readFile(chosen + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(readFile(chosen + ".gor"), textOf(buffers, "gor"));
  EXPECT_EQ(readFile(chosen + ".goq"), textOf(buffers, "goq"));
  EXPECT_EQ(readFile(chosen), "keep me");  // the chosen name itself is never written
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 4u);  // no temporary file stays behind
}

TEST(Export, UnwritablePlacesAreReportedWithTheReasonAndLeaveOldFilesAlone) {
  TempDir dir;
  const ExportData buffers = filledData();

  const std::string missing = (dir.path() / "no-such-folder" / "a").string();
  ExportReport report = exportFiles(buffers, ticks(true, false, true), missing);
  EXPECT_TRUE(report.writeFailed);
  EXPECT_TRUE(report.written.empty());
  std::string m = report.message();
  EXPECT_TRUE(contains(m, "Could not write \"" + missing + ".cdat\": No such file or directory"))
      << m;
  EXPECT_TRUE(contains(m, "Could not write \"" + missing + ".goq\"")) << m;
}

// Files are only ever regular files, replaced whole with their permission bits, under any
// name the system takes, and nothing temporary stays behind.
TEST(Export, ReplacesOnlyRegularFilesKeepingTheirModeUnderLongNames) {
  TempDir dir;
  const ExportData buffers = filledData();
  const std::string fifo = (dir.path() / "pipe").string();
  ASSERT_EQ(::mkfifo((fifo + ".cdat").c_str(), 0600), 0);
  ExportReport report = exportFiles(buffers, ticks(true, false, false), fifo);
  EXPECT_TRUE(report.writeFailed);
  EXPECT_TRUE(contains(report.message(), "not a regular file")) << report.message();
  EXPECT_TRUE(fs::is_fifo(fifo + ".cdat"));
  fs::create_directory(dir.path() / "folder.cdat");
  EXPECT_TRUE(exportFiles(buffers, ticks(true, false, false), (dir.path() / "folder").string())
                  .writeFailed);

  const std::string kept = (dir.path() / "kept").string();
  std::ofstream(kept + ".cdat") << "old";
  fs::permissions(kept + ".cdat", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(exportFiles(buffers, ticks(true, false, false), kept).message().empty());
  EXPECT_EQ(readFile(kept + ".cdat"), textOf(buffers, "cdat"));
  EXPECT_EQ(fs::status(kept + ".cdat").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  // 250 characters and the extension: as long as a name may be, and still written.
  const std::string longName = (dir.path() / std::string(250, 'n')).string();
  report = exportFiles(buffers, ticks(true, false, false), longName);
  EXPECT_TRUE(report.message().empty()) << report.message();
  EXPECT_EQ(readFile(longName + ".cdat"), textOf(buffers, "cdat"));
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 4U);  // the FIFO, the folder and two files: no temporary left

  // A write cancelled half way leaves the old file and nothing else.
  EXPECT_EQ(writeFileAtomically(kept + ".cdat", std::string(20 << 20, 'x'), [] { return false; }),
            "cancelled");
  EXPECT_EQ(readFile(kept + ".cdat"), textOf(buffers, "cdat"));
  entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 4U);
}

}  // namespace
}  // namespace polychain
