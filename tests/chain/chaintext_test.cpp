#include <gtest/gtest.h>

#include "chain/chaintext.h"
#include "chain/random.h"

namespace polychain {
namespace {

TEST(ChainText, RecordLayout) {
  EXPECT_EQ(recordOf({-12, 0, 305}), "-12,0,305;");
  EXPECT_EQ(recordOf({-12, 0, 305}).size(), 10U);
  EXPECT_EQ(recordOf({0, 0, 0}), "0,0,0;");
  EXPECT_EQ(recordOf({-2147483647 - 1, 2147483647, -1}), "-2147483648,2147483647,-1;");
  const std::vector<Point> sites = {{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {1, -1, 1}};
  EXPECT_EQ(chainTextOf(sites), "0,0,0;1,0,0;1,-1,0;1,-1,1;");
  EXPECT_EQ(parseChainText("0,0,0;1,0,0;1,-1,0;1,-1,1;"), sites);
}

TEST(ChainText, ParseStopsAtTheFirstPieceThatIsNotARecord) {
  EXPECT_EQ(parseChainText("0,0,0;1,2").size(), 1U);
  EXPECT_EQ(parseChainText("0,0,0;;1,2,3;").size(), 1U);
  EXPECT_EQ(parseChainText("a,0,0;").size(), 0U);
  EXPECT_TRUE(parseChainText("").empty());
}

TEST(RecordSearch, IsAPlainSubstringSearch) {
  EXPECT_TRUE(recordFound("0,0,0;-1,0,0;", {1, 0, 0}));
  EXPECT_TRUE(recordFound("0,0,0;11,0,0;", {1, 0, 0}));
  EXPECT_TRUE(recordFound("0,0,0;-11,0,0;", {1, 0, 0}));
  EXPECT_TRUE(recordFound("0,0,0;21,0,0;", {1, 0, 0}));
  EXPECT_FALSE(recordFound("0,0,0;-1,0,0;", {-11, 0, 0}));
  EXPECT_FALSE(recordFound("0,0,0;1,0,0;", {-1, 0, 0}));
  EXPECT_FALSE(recordFound("0,0,0;1,10,0;", {1, 0, 0}));
  EXPECT_FALSE(recordFound("0,0,0;1,0,10;", {1, 0, 1}));
  EXPECT_TRUE(recordFound("0,0,0;", {0, 0, 0}));
  EXPECT_FALSE(recordFound(";", {0, 0, 0}));
}

TEST(StrTestXYZ, CountsNeighboursTheSearchFinds) {
  EXPECT_EQ(StrTestXYZ("0,0,0;", {0, 0, 0}), 0);
  EXPECT_EQ(StrTestXYZ("0,0,0;1,0,0;", {1, 0, 0}), 1);
  // (1,0,0) is "found" inside the record of (-1,0,0).
  EXPECT_EQ(StrTestXYZ("0,0,0;-1,0,0;", {0, 0, 0}), 2);
  const std::string boxed = "0,0,0;1,0,0;-1,0,0;0,1,0;0,-1,0;0,0,1;0,0,-1;";
  EXPECT_EQ(StrTestXYZ(boxed, {0, 0, 0}), 6);
  EXPECT_EQ(StrTestXYZ(boxed, {5, 5, 5}), 0);
}

TEST(ChainText, ExportTextTurnsRecordsIntoLines) {
  const std::vector<Point> sites = {{0, 0, 0}, {-3, 4, 0}};
  EXPECT_EQ(chainExportText("Head\n", sites), "Head\nx,y,z\n0,0,0\n-3,4,0\n");
}

}  // namespace
}  // namespace polychain
