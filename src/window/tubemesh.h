// A chain drawn as a tube for a 3D view: the bonds between consecutive points as thin
// triangular prisms, as Wavefront OBJ text. No toolkit.
#pragma once

#include <string>
#include <vector>

namespace polychain {

struct MeshPoint {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// The tube along `path` (in the mesh's own coordinates) with the given radius: vertices,
// normals, texture coordinates and triangles. Each bond's ends carry the texture
// coordinate (t, 0.5), t running from 0 at the first point to 1 at the last, so that a
// texture one pixel high colours the tube along the chain. Empty for fewer than two points;
// a bond of no length is left out. Linear in the number of points, about 500 bytes a bond.
std::string tubeMeshObj(const std::vector<MeshPoint>& path, double radius);

// A tube of one colour: every bond carries the texture coordinate (t, 0.5).
struct MeshTube {
  std::vector<MeshPoint> path;
  double t = 0.5;
};

// Several tubes in one mesh, as tubeMeshObj draws each, each of its own texture coordinate.
std::string tubesMeshObj(const std::vector<MeshTube>& tubes, double radius);

}  // namespace polychain
