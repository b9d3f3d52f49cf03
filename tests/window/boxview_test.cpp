// A melt's box for the view: chains wrapped into the box or whole, thinned, and the box's
// edges.
#include "window/boxview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace polychain {
namespace {

// `chains` chains of `length` sites in a box of side `side`, each a staircase from its own
// site in the box that leaves it through the periodic x side and the walled z stays.
ChainBox staircases(std::int32_t side, std::int64_t chains, std::int64_t length) {
  ChainBox box;
  box.side = side;
  box.periodic = {true, true, false};
  box.sitesPerChain = length;
  for (std::int64_t c = 0; c < chains; ++c) {
    Point p{static_cast<std::int32_t>(c % side), static_cast<std::int32_t>(c / side % side), 1};
    for (std::int64_t i = 0; i < length; ++i) {
      box.sites.push_back(p);
      (i % 2 == 0 ? p.x : p.y) += 1;
    }
  }
  return box;
}

TEST(BoxView, WrappedPiecesAreTheWholeChainsMovedIntoTheBoxAndCutWhereTheyLeaveIt) {
  const ChainBox box = staircases(5, 3, 12);
  const BoxView whole = boxView(box, false, 10000);
  const BoxView wrapped = boxView(box, true, 10000);
  EXPECT_EQ(whole.low, -0.5);
  EXPECT_EQ(whole.high, 4.5);
  EXPECT_EQ(whole.walls, (std::array<bool, 3>{false, false, true}));
  ASSERT_EQ(whole.pieces.size(), 3U);  // a chain each, every site
  EXPECT_EQ(whole.sitesDrawn, box.sites.size());
  EXPECT_EQ(whole.chainsDrawn, 3);
  EXPECT_GT(wrapped.pieces.size(), whole.pieces.size());
  EXPECT_EQ(wrapped.sitesDrawn, box.sites.size());
  // Piece by piece, the wrapped sites are the whole chain's, each moved by whole sides along
  // the periodic axes, inside the box, and within a piece every bond a unit step.
  std::size_t next = 0;  // the site of the whole chains the next point stands for
  std::int64_t chain = -1;
  for (const BoxPiece& piece : wrapped.pieces) {
    if (piece.chain != chain) next = 0, chain = piece.chain;
    const std::vector<MeshPoint>& sites = whole.pieces[static_cast<std::size_t>(chain)].points;
    for (std::size_t i = 0; i < piece.points.size(); ++i, ++next) {
      const MeshPoint& p = piece.points[i];
      const MeshPoint& q = sites[next];
      for (const auto& [a, b] : {std::pair{p.x, q.x}, std::pair{p.y, q.y}}) {
        EXPECT_TRUE(a >= 0 && a < 5) << a;
        EXPECT_EQ(std::fmod(a - b, 5.0), 0.0);
      }
      EXPECT_EQ(p.z, q.z);  // walled: as it is
      if (i > 0) {
        const MeshPoint& o = piece.points[i - 1];
        EXPECT_EQ(std::abs(p.x - o.x) + std::abs(p.y - o.y) + std::abs(p.z - o.z), 1.0);
      }
    }
  }
  EXPECT_EQ(next, 12U);
}

TEST(BoxView, LargeBoxesAreThinnedToEvenlySpreadChainsAndSites) {
  const ChainBox box = staircases(20, 1000, 50);
  for (const bool wrapped : {false, true}) {
    const BoxView view = boxView(box, wrapped, 400);
    EXPECT_EQ(view.chains, 1000);
    EXPECT_EQ(view.chainsDrawn, 200);
    EXPECT_EQ(view.sitesDrawn, 400U);  // each chain's first and last sites
    std::set<std::int64_t> chains;
    for (const BoxPiece& piece : view.pieces) chains.insert(piece.chain);
    EXPECT_EQ(*chains.begin(), 0);
    EXPECT_EQ(*chains.rbegin(), 999);
    EXPECT_EQ(std::ssize(chains), 200);
  }
  const BoxView few = boxView(box, false, 20000);  // 200 chains of 100 sites each, at most
  EXPECT_EQ(few.chainsDrawn, 1000);
  EXPECT_EQ(few.sitesDrawn, 1000U * 20);
  EXPECT_EQ(boxView(ChainBox{}, true, 100).pieces.size(), 0U);
}

TEST(BoxView, TheCubeHasTwelveEdgesOfItsSideAlongTheAxes) {
  std::set<std::array<double, 6>> seen;
  for (const auto& [a, b] : cubeEdges(-0.5, 4.5)) {
    const double dx = std::abs(b.x - a.x), dy = std::abs(b.y - a.y), dz = std::abs(b.z - a.z);
    EXPECT_EQ(dx + dy + dz, 5.0);
    EXPECT_EQ(std::max({dx, dy, dz}), 5.0);
    for (const double c : {a.x, a.y, a.z, b.x, b.y, b.z}) EXPECT_TRUE(c == -0.5 || c == 4.5);
    seen.insert({a.x, a.y, a.z, b.x, b.y, b.z});
  }
  EXPECT_EQ(seen.size(), 12U);
}

}  // namespace
}  // namespace polychain
