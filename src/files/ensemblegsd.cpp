// The GSD file layer, version 2.0, for one frame: the 256-byte header, the data chunks, the
// name list (names ended by a zero byte, the block filled with zeros to whole segments of 64
// bytes, which the header counts) and the index of 32-byte entries sorted by name id, all
// little-endian; the chunks follow the HOOMD schema 1.4.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "files/ensemblecoords.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"

namespace polychain {

namespace {

constexpr std::uint64_t kMagic = 0x65DF65DF65DF65DFULL;
constexpr std::uint32_t version(std::uint32_t major, std::uint32_t minor) {
  return major << 16 | minor;
}

// Chunk element types of the file layer.
enum GsdType : std::uint8_t {
  kUint8 = 1,
  kUint32 = 3,
  kUint64 = 4,
  kInt8 = 5,
  kInt32 = 7,
  kFloat = 9,
};

class GsdFile {
 public:
  GsdFile() : m_out(256, '\0') {}

  // Starts chunk `name` of N x M elements of `type`; its data follows through put().
  void chunk(const char* name, std::uint64_t n, std::uint32_t m, GsdType type) {
    m_entries.push_back({n, m_out.size(), m, static_cast<std::uint16_t>(m_entries.size()), type});
    m_names.append(name);
    m_names.push_back('\0');
  }
  template <class T>
  void put(T value) {
    std::array<char, sizeof(T)> bytes;
    std::memcpy(bytes.data(), &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
      std::reverse(bytes.begin(), bytes.end());
    }
    m_out.append(bytes.data(), bytes.size());
  }
  void reserve(std::size_t bytes) { m_out.reserve(bytes); }

  std::string finish() {
    m_names.resize((m_names.size() / 64 + 1) * 64, '\0');
    const std::uint64_t namesAt = m_out.size();
    m_out += m_names;
    const std::uint64_t indexAt = m_out.size();
    for (const Entry& e : m_entries) {
      put<std::uint64_t>(0);  // frame
      put<std::uint64_t>(e.n);
      put<std::int64_t>(static_cast<std::int64_t>(e.location));
      put<std::uint32_t>(e.m);
      put<std::uint16_t>(e.id);
      put<std::uint8_t>(e.type);
      put<std::uint8_t>(0);  // flags
    }
    std::string body = std::move(m_out);
    m_out.clear();
    put(kMagic);
    put<std::uint64_t>(indexAt);
    put<std::uint64_t>(m_entries.size());
    put<std::uint64_t>(namesAt);
    put<std::uint64_t>(m_names.size() / 64);
    put<std::uint32_t>(version(1, 4));  // the schema's
    put<std::uint32_t>(version(2, 0));  // the file layer's
    text("polychain", 64);
    text("hoomd", 64);
    m_out.resize(256, '\0');
    body.replace(0, 256, m_out);
    return body;
  }

 private:
  struct Entry {
    std::uint64_t n;
    std::uint64_t location;
    std::uint32_t m;
    std::uint16_t id;
    std::uint8_t type;
  };
  void text(const std::string& value, std::size_t width) {
    std::string field = value.substr(0, width - 1);
    field.resize(width, '\0');
    m_out += field;
  }

  std::string m_out;
  std::string m_names;
  std::vector<Entry> m_entries;
};

}  // namespace

std::string writeGsd(const Ensemble& e) {
  checkFits(*findFormat("gsd"), e.siteCount());
  const auto n = static_cast<std::uint64_t>(e.siteCount());
  const auto bonds = static_cast<std::uint64_t>(e.bondCount());
  const double side = static_cast<double>(e.box) * e.bondLength;
  const double half = side / 2;
  GsdFile file;
  file.reserve(static_cast<std::size_t>(40 * n + 1024));
  file.chunk("configuration/step", 1, 1, kUint64);
  file.put<std::uint64_t>(0);
  file.chunk("configuration/dimensions", 1, 1, kUint8);
  file.put<std::uint8_t>(3);
  file.chunk("configuration/box", 6, 1, kFloat);
  for (const double v : {side, side, side, 0.0, 0.0, 0.0}) file.put(static_cast<float>(v));
  file.chunk("particles/N", 1, 1, kUint32);
  file.put(static_cast<std::uint32_t>(n));
  file.chunk("particles/types", 1, 2, kInt8);
  file.put('A');
  file.put('\0');
  file.chunk("particles/typeid", n, 1, kUint32);
  for (std::uint64_t i = 0; i < n; ++i) file.put<std::uint32_t>(0);
  file.chunk("particles/position", n, 3, kFloat);
  for (const Point& p : e.sites) {
    for (const std::int32_t w : {p.x, p.y, p.z}) {
      file.put(static_cast<float>(ensembletext::wrapped(w, e.bondLength) - half));
    }
  }
  file.chunk("particles/image", n, 3, kInt32);
  for (const Point& i : e.images) {
    file.put(i.x);
    file.put(i.y);
    file.put(i.z);
  }
  file.chunk("bonds/N", 1, 1, kUint32);
  file.put(static_cast<std::uint32_t>(bonds));
  file.chunk("bonds/types", 1, 9, kInt8);
  for (const char c : std::string_view("backbone\0", 9)) file.put(c);
  file.chunk("bonds/typeid", bonds, 1, kUint32);
  for (std::uint64_t i = 0; i < bonds; ++i) file.put<std::uint32_t>(0);
  file.chunk("bonds/group", bonds, 2, kUint32);
  ensembletext::forEachBond(e, [&](std::int64_t i, std::int64_t) {
    file.put(static_cast<std::uint32_t>(i));
    file.put(static_cast<std::uint32_t>(i + 1));
  });
  return file.finish();
}

}  // namespace polychain
