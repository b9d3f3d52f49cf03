// What the window checks and says around an export.
#include "window/exportplan.h"

#include "files/exportdata.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace polychain {
namespace {

TEST(ExportPlan, TargetsAreTheFilesTheExportWritesAndTheTextsNameThem) {
  std::string folder = (std::filesystem::temp_directory_path() / "polychain-plan-XXXXXX").string();
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  const std::string name = folder + "/run";
  const ExportData full = testing::filledData();
  ExportData partly = full;  // a run without g(r)
  partly.correlation.reset();
  for (const ExportData& buffers : {ExportData{}, partly, full}) {
    for (int ticks = 0; ticks < 8; ++ticks) {
      const ExportChoice choice =
          testing::ticks((ticks & 1) != 0, (ticks & 2) != 0, (ticks & 4) != 0);
      const ExportReport report = exportFiles(buffers, choice, name);
      EXPECT_EQ(exportTargets(buffers, choice, name), report.written) << ticks;
    }
  }
  std::filesystem::remove_all(folder);
  const std::vector<std::string> two = {"/data/run.gor", "/data/run.goq"};
  EXPECT_EQ(replaceQuestion(two),
            "These files exist already:\n    /data/run.gor\n    /data/run.goq\n\nReplace them?");
  EXPECT_EQ(exportedStatus({"/data/run.cdat", "/data/run.gor", "/data/run.goq"}),
            "Exported run.cdat, run.gor and run.goq to /data.");
  EXPECT_EQ(exportedStatus({"run.cdat"}), "Exported run.cdat.");
  EXPECT_EQ(exportingStatus({"/data/run.cdat", "/data/run.gor"}),
            "Exporting run.cdat and run.gor to /data…");
}

}  // namespace
}  // namespace polychain
