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

std::string tubeMeshObj(const std::vector<MeshPoint>& path, double radius) {
  std::string text;
  if (path.size() < 2) return text;
  text.reserve((path.size() - 1) * 520);
  ObjWriter obj(text);
  const double last = static_cast<double>(path.size() - 1);
  std::size_t vertices = 0;  // written so far; OBJ indices start at 1
  std::size_t normals = 0;
  std::size_t coordinates = 0;
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
    obj.numbers("vt", {static_cast<double>(i - 1) / last, 0.5}, 5);
    obj.numbers("vt", {static_cast<double>(i) / last, 0.5}, 5);
    for (std::size_t k = 0; k < 3; ++k) {
      const std::size_t k2 = (k + 1) % 3;
      const std::array<std::size_t, 3> a0{vertices + k + 1, coordinates + 1, normals + k + 1};
      const std::array<std::size_t, 3> a1{vertices + k2 + 1, coordinates + 1, normals + k2 + 1};
      const std::array<std::size_t, 3> b0{vertices + k + 4, coordinates + 2, normals + k + 1};
      const std::array<std::size_t, 3> b1{vertices + k2 + 4, coordinates + 2, normals + k2 + 1};
      obj.face({a0, b0, b1});
      obj.face({a0, b1, a1});
    }
    vertices += 6;
    normals += 3;
    coordinates += 2;
  }
  return text;
}

}  // namespace polychain
