#include "reference/stringformats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

namespace polychain::reference {

namespace {

double wrapped(std::int32_t w, double b) { return (w + 0.5) * b; }
double unwrapped(std::int32_t w, std::int32_t image, std::int64_t box, double b) {
  return (w + 0.5 + static_cast<double>(box) * image) * b;
}

void appendNumber(std::string& out, double value) {
  char text[32];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void appendInteger(std::string& out, std::int64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Calls visit(site, chain) for every site, and for every bond (site, site + 1) of a chain.
template <class Visit>
void forEachSite(const Ensemble& e, Visit&& visit) {
  for (std::int64_t c = 0; c < e.chains; ++c) {
    for (std::int64_t i = e.starts[static_cast<std::size_t>(c)];
         i < e.starts[static_cast<std::size_t>(c) + 1]; ++i) {
      visit(i, c);
    }
  }
}
template <class Visit>
void forEachBond(const Ensemble& e, Visit&& visit) {
  for (std::int64_t c = 0; c < e.chains; ++c) {
    for (std::int64_t i = e.starts[static_cast<std::size_t>(c)];
         i + 1 < e.starts[static_cast<std::size_t>(c) + 1]; ++i) {
      visit(i, c);
    }
  }
}

class GsdFile {
 public:
  GsdFile() : m_out(256, '\0') {}

  void chunk(const char* name, std::uint64_t n, std::uint32_t m, std::uint8_t type) {
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

  std::string finish() {
    m_names.resize((m_names.size() / 64 + 1) * 64, '\0');
    const std::uint64_t namesAt = m_out.size();
    m_out += m_names;
    const std::uint64_t indexAt = m_out.size();
    for (const Entry& e : m_entries) {
      put<std::uint64_t>(0);
      put<std::uint64_t>(e.n);
      put<std::int64_t>(static_cast<std::int64_t>(e.location));
      put<std::uint32_t>(e.m);
      put<std::uint16_t>(e.id);
      put<std::uint8_t>(e.type);
      put<std::uint8_t>(0);
    }
    std::string body = std::move(m_out);
    m_out.clear();
    put<std::uint64_t>(0x65DF65DF65DF65DFULL);
    put<std::uint64_t>(indexAt);
    put<std::uint64_t>(m_entries.size());
    put<std::uint64_t>(namesAt);
    put<std::uint64_t>(m_names.size() / 64);
    put<std::uint32_t>(1U << 16 | 4U);
    put<std::uint32_t>(2U << 16);
    for (const char* text : {"polychain", "hoomd"}) {
      std::string field(text);
      field.resize(64, '\0');
      m_out += field;
    }
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
  std::string m_out;
  std::string m_names;
  std::vector<Entry> m_entries;
};

}  // namespace

std::string wholeGsd(const Ensemble& e) {
  constexpr std::uint8_t kUint8 = 1, kUint32 = 3, kUint64 = 4, kInt8 = 5, kInt32 = 7, kFloat = 9;
  const auto n = static_cast<std::uint64_t>(e.siteCount());
  const auto bonds = static_cast<std::uint64_t>(e.bondCount());
  const double side = static_cast<double>(e.box) * e.bondLength;
  const double half = side / 2;
  GsdFile file;
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
      file.put(static_cast<float>(wrapped(w, e.bondLength) - half));
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
  forEachBond(e, [&](std::int64_t i, std::int64_t) {
    file.put(static_cast<std::uint32_t>(i));
    file.put(static_cast<std::uint32_t>(i + 1));
  });
  return file.finish();
}

std::string wholeLammpsData(const Ensemble& e) {
  std::string out = "polychain: ";
  appendInteger(out, e.chains);
  out += " chains on the cubic lattice, bond length ";
  appendNumber(out, e.bondLength);
  out += "\n\n";
  appendInteger(out, e.siteCount());
  out += " atoms\n";
  appendInteger(out, e.bondCount());
  out += " bonds\n1 atom types\n1 bond types\n\n";
  for (const char* axis : {"x", "y", "z"}) {
    out += "0 ";
    appendNumber(out, static_cast<double>(e.box) * e.bondLength);
    out += std::string(" ") + axis + "lo " + axis + "hi\n";
  }
  out += "\nMasses\n\n1 1\n\nAtoms # bond\n\n";
  forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    appendInteger(out, i + 1);
    out += ' ';
    appendInteger(out, c + 1);
    out += " 1";
    for (const std::int32_t v : {w.x, w.y, w.z}) {
      out += ' ';
      appendNumber(out, wrapped(v, e.bondLength));
    }
    for (const std::int32_t v : {image.x, image.y, image.z}) {
      out += ' ';
      appendInteger(out, v);
    }
    out += '\n';
  });
  if (e.bondCount() > 0) {
    out += "\nBonds\n\n";
    std::int64_t bond = 0;
    forEachBond(e, [&](std::int64_t i, std::int64_t) {
      for (const std::int64_t v : {++bond, std::int64_t{1}, i + 1}) {
        appendInteger(out, v);
        out += ' ';
      }
      appendInteger(out, i + 2);
      out += '\n';
    });
  }
  return out;
}

std::string wholePdb(const Ensemble& e) {
  const double side = static_cast<double>(e.box) * e.bondLength;
  std::string out;
  char line[96];
  std::snprintf(line, sizeof line, "CRYST1%9.3f%9.3f%9.3f%7.2f%7.2f%7.2f P 1           1\n", side,
                side, side, 90.0, 90.0, 90.0);
  out += line;
  forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    std::snprintf(
        line, sizeof line, "HETATM%5d  C   POL %c%4d    %8.3f%8.3f%8.3f  1.00  0.00           C\n",
        static_cast<int>(i + 1), static_cast<char>('A' + c / 9999), static_cast<int>(c % 9999 + 1),
        unwrapped(w.x, image.x, e.box, e.bondLength), unwrapped(w.y, image.y, e.box, e.bondLength),
        unwrapped(w.z, image.z, e.box, e.bondLength));
    out += line;
  });
  forEachBond(e, [&](std::int64_t i, std::int64_t) {
    std::snprintf(line, sizeof line, "CONECT%5d%5d\n", static_cast<int>(i + 1),
                  static_cast<int>(i + 2));
    out += line;
  });
  return out + "END\n";
}

std::string wholeExtendedXyz(const Ensemble& e) {
  const double side = static_cast<double>(e.box) * e.bondLength;
  std::string out;
  appendInteger(out, e.siteCount());
  out += "\nLattice=\"";
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (row + column > 0) out += ' ';
      appendNumber(out, row == column ? side : 0.0);
    }
  }
  out += "\" Properties=species:S:1:pos:R:3:molecule:I:1 pbc=\"T T T\"\n";
  forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    out += "C";
    for (const auto& [v, n] :
         {std::pair{w.x, image.x}, std::pair{w.y, image.y}, std::pair{w.z, image.z}}) {
      out += ' ';
      appendNumber(out, unwrapped(v, n, e.box, e.bondLength));
    }
    out += ' ';
    appendInteger(out, c + 1);
    out += '\n';
  });
  return out;
}

}  // namespace polychain::reference
