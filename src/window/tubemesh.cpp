#include "window/tubemesh.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>

namespace polychain {

namespace {

struct Vec {
  double x, y, z;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y, s * a.z}; }
Vec cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(Vec a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

class ObjWriter {
 public:
  explicit ObjWriter(std::string& out) : m_out(out) {}
  void numbers(const char* tag, std::initializer_list<double> values, int decimals) {
    m_out += tag;
    for (double v : values) {
      m_out += ' ';
      std::array<char, 64> buffer{};
      const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v,
                                     std::chars_format::fixed, decimals)
                           .ptr;
      m_out.append(buffer.data(), end);
    }
    m_out += '\n';
  }
  // A triangle of vertex/texture/normal index triples, 1-based.
  void face(std::initializer_list<std::array<std::size_t, 3>> corners) {
    m_out += 'f';
    for (const auto& c : corners) {
      m_out += ' ';
      m_out += std::to_string(c[0]) + '/' + std::to_string(c[1]) + '/' + std::to_string(c[2]);
    }
    m_out += '\n';
  }

 private:
  std::string& m_out;
};

}  // namespace

namespace {

// Index counts of what an OBJ text holds so far; its indices start at 1.
struct ObjCounts {
  std::size_t vertices = 0;
  std::size_t normals = 0;
  std::size_t coordinates = 0;
};

// Appends the tube along `path`, the bond from point i - 1 to i with texture coordinates
// t(i - 1) and t(i).
template <typename TextureAt>
void appendTube(ObjWriter& obj, ObjCounts& n, const std::vector<MeshPoint>& path, double radius,
                TextureAt t) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Vec a{path[i - 1].x, path[i - 1].y, path[i - 1].z};
    const Vec b{path[i].x, path[i].y, path[i].z};
    const Vec along = b - a;
    const double bond = length(along);
    if (!(bond > 0.0)) continue;
    const Vec d = (1.0 / bond) * along;
    // Two unit vectors across the bond, then the prism's three edges around it.
    const Vec helper = std::abs(d.y) < 0.9 ? Vec{0, 1, 0} : Vec{1, 0, 0};
    const Vec u = (1.0 / length(cross(d, helper))) * cross(d, helper);
    const Vec w = cross(d, u);
    const std::array<Vec, 3> out = {u, (-0.5) * u + (std::sqrt(3.0) / 2) * w,
                                    (-0.5) * u + (-std::sqrt(3.0) / 2) * w};
    for (const Vec& end : {a, b}) {
      for (const Vec& o : out) {
        const Vec p = end + radius * o;
        obj.numbers("v", {p.x, p.y, p.z}, 5);
      }
    }
    for (const Vec& o : out) obj.numbers("vn", {o.x, o.y, o.z}, 4);
    obj.numbers("vt", {t(i - 1), 0.5}, 5);
    obj.numbers("vt", {t(i), 0.5}, 5);
    for (std::size_t k = 0; k < 3; ++k) {
      const std::size_t k2 = (k + 1) % 3;
      const std::array<std::size_t, 3> a0{n.vertices + k + 1, n.coordinates + 1, n.normals + k + 1};
      const std::array<std::size_t, 3> a1{n.vertices + k2 + 1, n.coordinates + 1,
                                          n.normals + k2 + 1};
      const std::array<std::size_t, 3> b0{n.vertices + k + 4, n.coordinates + 2, n.normals + k + 1};
      const std::array<std::size_t, 3> b1{n.vertices + k2 + 4, n.coordinates + 2,
                                          n.normals + k2 + 1};
      obj.face({a0, b0, b1});
      obj.face({a0, b1, a1});
    }
    n.vertices += 6;
    n.normals += 3;
    n.coordinates += 2;
  }
}

}  // namespace

std::string tubeMeshObj(const std::vector<MeshPoint>& path, double radius) {
  std::string text;
  if (path.size() < 2) return text;
  text.reserve((path.size() - 1) * 520);
  ObjWriter obj(text);
  ObjCounts counts;
  const double last = static_cast<double>(path.size() - 1);
  appendTube(obj, counts, path, radius, [last](std::size_t i) { return double(i) / last; });
  return text;
}

std::string tubesMeshObj(const std::vector<MeshTube>& tubes, double radius) {
  std::string text;
  ObjWriter obj(text);
  ObjCounts counts;
  for (const MeshTube& tube : tubes) {
    appendTube(obj, counts, tube.path, radius, [&tube](std::size_t) { return tube.t; });
  }
  return text;
}

}  // namespace polychain
