#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  EXPECT_EQ(chainExportText("", {}), "x,y,z\n");
}

// Long chains are written block by block, possibly in parallel: the text must be the
// records' lines in order, whatever the thread count, across block ends.
TEST(ChainText, LongExportTextIsTheSameOnAnyThreadCount) {
  RandomSource random(5);
  std::vector<Point> sites(100'003);
  for (Point& p : sites) {
    const auto wide = [&](int bits) {
      return static_cast<std::int32_t>(random.next() >> (64 - bits)) - (1 << (bits - 1));
    };
    p = {wide(3), wide(17), wide(31)};
  }
  sites[77'777] = {-2147483647 - 1, 2147483647, 0};
  std::string expected = "Chain\nx,y,z\n";
  for (const Point& p : sites) {
    std::string record = recordOf(p);
    record.back() = '\n';
    expected += record;
  }
  for (const int threads : {1, 2, 3, 8}) {
    EXPECT_EQ(chainExportText("Chain\n", sites, threads), expected) << threads << " threads";
  }
}

}  // namespace
}  // namespace polychain
