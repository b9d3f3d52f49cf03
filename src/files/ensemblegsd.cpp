// The GSD file layer, version 2.0, for one frame: the 256-byte header, the data chunks, the
// name list (names ended by a zero byte, the block filled with zeros to whole segments of 64
// bytes, which the header counts) and the index of 32-byte entries sorted by name id, all
// little-endian; the chunks follow the HOOMD schema 1.4. Every chunk's size follows from the
// sites and bonds, so the header and the index are known before the first chunk is written.
#include <limits>
#include <string_view>
#include <vector>

#include "files/ensemblecoords.h"
#include "files/piecewriter.h"
#include "polychain/ensemble.h"
#include "polychain/formats.h"

namespace polychain {

namespace {

constexpr std::uint64_t kMagic = 0x65DF65DF65DF65DFULL;
constexpr std::uint32_t version(std::uint32_t major, std::uint32_t minor) {
  return major << 16 | minor;
}
constexpr std::uint64_t kHeaderBytes = 256;

// Chunk element types of the file layer, with their sizes.
enum GsdType : std::uint8_t {
  kUint8 = 1,
  kUint32 = 3,
  kUint64 = 4,
  kInt8 = 5,
  kInt32 = 7,
  kFloat = 9,
};
constexpr std::uint64_t sizeOf(GsdType type) {
  switch (type) {
    case kUint8:
    case kInt8:
      return 1;
    case kUint32:
    case kInt32:
    case kFloat:
      return 4;
    case kUint64:
      return 8;
  }
  return 0;
}

struct Chunk {
  std::string_view name;
  std::uint64_t n;
  std::uint32_t m;
  GsdType type;
};

}  // namespace

void GsdWriter::check(const Ensemble& e, const EnsembleExtent& extent) const {
  ensembletext::checkCommon(*findFormat("gsd"), e, extent);
}

std::pair<double, double> GsdWriter::bondLengths(std::int64_t box, double widest) const {
  // Float32 numbers, the positions wrapped into the box.
  (void)widest;
  return ensembletext::floatingBondLengths(std::numeric_limits<float>::min(),
                                           std::numeric_limits<float>::max(), box,
                                           static_cast<double>(box));
}

bool GsdWriter::write(ByteSink& sink, const Ensemble& e) const {
  const auto n = static_cast<std::uint64_t>(e.siteCount());
  const auto bonds = static_cast<std::uint64_t>(e.bondCount());
  const Chunk chunks[] = {
      {"configuration/step", 1, 1, kUint64},
      {"configuration/dimensions", 1, 1, kUint8},
      {"configuration/box", 6, 1, kFloat},
      {"particles/N", 1, 1, kUint32},
      {"particles/types", 1, 2, kInt8},
      {"particles/typeid", n, 1, kUint32},
      {"particles/position", n, 3, kFloat},
      {"particles/image", n, 3, kInt32},
      {"bonds/N", 1, 1, kUint32},
      {"bonds/types", 1, 9, kInt8},
      {"bonds/typeid", bonds, 1, kUint32},
      {"bonds/group", bonds, 2, kUint32},
  };
  std::vector<std::uint64_t> locations;
  std::uint64_t at = kHeaderBytes;
  std::string names;
  for (const Chunk& c : chunks) {
    locations.push_back(at);
    at += c.n * c.m * sizeOf(c.type);
    names.append(c.name);
    names.push_back('\0');
  }
  names.resize((names.size() / 64 + 1) * 64, '\0');
  const std::uint64_t namesAt = at;
  const std::uint64_t indexAt = namesAt + names.size();

  PieceWriter out(sink);
  out.appendBinary(kMagic);
  out.appendBinary<std::uint64_t>(indexAt);
  out.appendBinary<std::uint64_t>(std::size(chunks));
  out.appendBinary<std::uint64_t>(namesAt);
  out.appendBinary<std::uint64_t>(names.size() / 64);
  out.appendBinary<std::uint32_t>(version(1, 4));  // the schema's
  out.appendBinary<std::uint32_t>(version(2, 0));  // the file layer's
  for (const std::string_view text : {"polychain", "hoomd"}) {
    out.append(text);
    out.append(std::string(64 - text.size(), '\0'));
  }
  out.append(std::string(kHeaderBytes - 48 - 128, '\0'));

  // The records of the big chunks, counted for the sink's share of the file.
  const std::int64_t total = static_cast<std::int64_t>(3 * n + 2 * bonds);
  std::int64_t done = 0;
  const double side = static_cast<double>(e.box) * e.bondLength;
  const double half = side / 2;
  out.appendBinary<std::uint64_t>(0);
  out.appendBinary<std::uint8_t>(3);
  for (const double v : {side, side, side, 0.0, 0.0, 0.0}) out.appendBinary(static_cast<float>(v));
  out.appendBinary(static_cast<std::uint32_t>(n));
  out.append(std::string_view("A\0", 2));
  for (std::uint64_t i = 0; i < n; ++i) {
    out.appendBinary<std::uint32_t>(0);
    if (!out.flushIfFull(++done, total)) return false;
  }
  for (const Point& p : e.sites) {
    for (const std::int32_t w : {p.x, p.y, p.z}) {
      out.appendBinary(static_cast<float>(ensembletext::wrapped(w, e.bondLength) - half));
    }
    if (!out.flushIfFull(++done, total)) return false;
  }
  for (const Point& i : e.images) {
    out.appendBinary(i.x);
    out.appendBinary(i.y);
    out.appendBinary(i.z);
    if (!out.flushIfFull(++done, total)) return false;
  }
  out.appendBinary(static_cast<std::uint32_t>(bonds));
  out.append(std::string_view("backbone\0", 9));
  for (std::uint64_t i = 0; i < bonds; ++i) {
    out.appendBinary<std::uint32_t>(0);
    if (!out.flushIfFull(++done, total)) return false;
  }
  const bool whole = ensembletext::forEachBond(e, [&](std::int64_t i, std::int64_t) {
    out.appendBinary(static_cast<std::uint32_t>(i));
    out.appendBinary(static_cast<std::uint32_t>(i + 1));
    return out.flushIfFull(++done, total);
  });
  if (!whole) return false;
  out.append(names);
  for (std::size_t id = 0; id < std::size(chunks); ++id) {
    const Chunk& c = chunks[id];
    out.appendBinary<std::uint64_t>(0);  // frame
    out.appendBinary<std::uint64_t>(c.n);
    out.appendBinary<std::int64_t>(static_cast<std::int64_t>(locations[id]));
    out.appendBinary<std::uint32_t>(c.m);
    out.appendBinary<std::uint16_t>(static_cast<std::uint16_t>(id));
    out.appendBinary<std::uint8_t>(c.type);
    out.appendBinary<std::uint8_t>(0);  // flags
  }
  return out.finish();
}

constinit const GsdWriter kGsdWriter;

}  // namespace polychain
