// The chain's tube for the 3D view, as OBJ text.
#include "window/tubemesh.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>

namespace polychain {
namespace {

TEST(TubeMesh, OnePrismABondColouredAlongTheChainAroundItsAxis) {
  // Three bonds, one of them of no length; the others along x, then along z.
  const std::string obj = tubeMeshObj({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 2}}, 0.1);
  std::istringstream lines(obj);
  std::string tag;
  int vertices = 0;
  int normals = 0;
  int faces = 0;
  std::vector<double> t;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    fields >> tag;
    if (tag == "v") {
      double x, y, z;
      fields >> x >> y >> z;
      // Every corner lies at the radius from its bond's axis.
      const double off = vertices < 6 ? std::hypot(y, z) : std::hypot(x - 1, y);
      EXPECT_NEAR(off, 0.1, 1e-4) << line;
      ++vertices;
    }
    normals += tag == "vn";
    faces += tag == "f";
    if (tag == "vt") {
      double u = 0.0;
      fields >> u;
      t.push_back(u);
    }
  }
  EXPECT_EQ(vertices, 2 * 6);
  EXPECT_EQ(normals, 2 * 3);
  EXPECT_EQ(faces, 2 * 6);
  const std::vector<double> along = {0.0, 1.0 / 3, 2.0 / 3, 1.0};
  ASSERT_EQ(t.size(), along.size());
  for (std::size_t i = 0; i < t.size(); ++i) EXPECT_NEAR(t[i], along[i], 1e-5);
  EXPECT_TRUE(tubeMeshObj({{1, 2, 3}}, 0.1).empty());
}

// Several tubes in one mesh, each of its own colour: the faces of the second tube index its
// own corners, which come after the first tube's.
TEST(TubeMesh, TubesShareOneMeshEachOfItsOwnColour) {
  const std::string obj = tubesMeshObj(
      {{{{0, 0, 0}, {1, 0, 0}}, 0.25}, {{{0, 5, 0}, {0, 5, 1}, {0, 6, 1}}, 0.75}}, 0.1);
  std::istringstream lines(obj);
  std::vector<std::array<double, 3>> vertices;
  std::vector<double> t;
  std::size_t faces = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string tag;
    fields >> tag;
    if (tag == "v") {
      std::array<double, 3> v{};
      fields >> v[0] >> v[1] >> v[2];
      vertices.push_back(v);
    } else if (tag == "vt") {
      t.emplace_back();
      fields >> t.back();
    } else if (tag == "f") {
      // The last tube's faces lie at y >= 4.9, the first's near y = 0.
      std::string corner;
      double y = 0.0;
      while (fields >> corner) {
        const std::size_t v = std::stoul(corner.substr(0, corner.find('/')));
        ASSERT_TRUE(v >= 1 && v <= vertices.size()) << line;
        y = vertices[v - 1][1];
      }
      EXPECT_EQ(y > 4, faces >= 6) << line;
      ++faces;
    }
  }
  EXPECT_EQ(faces, 3U * 6);
  EXPECT_EQ(t, (std::vector<double>{0.25, 0.25, 0.75, 0.75, 0.75, 0.75}));
}

}  // namespace
}  // namespace polychain
