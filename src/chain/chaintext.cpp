#include "chain/chaintext.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <numeric>

namespace polychain {

namespace {

// Writes "x,y,z" into `out` (room for 3 * 11 + 2 characters) and returns its end.
char* writeCoordinates(char* out, const Point& p) {
  out = std::to_chars(out, out + 11, p.x).ptr;
  *out++ = ',';
  out = std::to_chars(out, out + 11, p.y).ptr;
  *out++ = ',';
  return std::to_chars(out, out + 11, p.z).ptr;
}

constexpr std::size_t kMaxRecord = 3 * 11 + 3;

std::size_t textLength(std::int32_t v) {
  std::size_t length = v < 0 ? 2 : 1;
  std::uint32_t magnitude =
      v < 0 ? 0U - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  while (magnitude >= 10) magnitude /= 10, ++length;
  return length;
}

}  // namespace

void appendRecord(std::string& text, const Point& p) {
  std::array<char, kMaxRecord> buffer{};
  char* end = writeCoordinates(buffer.data(), p);
  *end++ = ';';
  text.append(buffer.data(), end);
}

std::string recordOf(const Point& p) {
  std::string record;
  appendRecord(record, p);
  return record;
}

std::string chainTextOf(std::span<const Point> sites) {
  std::string text;
  text.reserve(sites.size() * 8);
  for (const Point& p : sites) appendRecord(text, p);
  return text;
}

bool recordFound(std::string_view text, const Point& p) {
  return text.find(recordOf(p)) != std::string_view::npos;
}

int StrTestXYZ(std::string_view text, const Point& p) {
  const std::array<Point, 6> neighbours = {{{p.x + 1, p.y, p.z},
                                            {p.x - 1, p.y, p.z},
                                            {p.x, p.y - 1, p.z},
                                            {p.x, p.y + 1, p.z},
                                            {p.x, p.y, p.z + 1},
                                            {p.x, p.y, p.z - 1}}};
  int found = 0;
  for (const Point& q : neighbours) found += recordFound(text, q) ? 1 : 0;
  return found;
}

std::vector<Point> parseChainText(std::string_view text) {
  std::vector<Point> sites;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  while (at < end) {
    Point p;
    auto r = std::from_chars(at, end, p.x);
    if (r.ec != std::errc{} || r.ptr == end || *r.ptr != ',') break;
    r = std::from_chars(r.ptr + 1, end, p.y);
    if (r.ec != std::errc{} || r.ptr == end || *r.ptr != ',') break;
    r = std::from_chars(r.ptr + 1, end, p.z);
    if (r.ec != std::errc{} || r.ptr == end || *r.ptr != ';') break;
    sites.push_back(p);
    at = r.ptr + 1;
  }
  return sites;
}

std::string chainExportText(std::string_view header, std::span<const Point> sites, int threads) {
  // Sized exactly first, as the text is the largest thing a run holds for long chains; then
  // each block of sites is written at its own offset, so the blocks can go in parallel.
  constexpr std::size_t kBlock = std::size_t{1} << 15;
  const std::size_t blocks = (sites.size() + kBlock - 1) / kBlock;
  const auto block = [&](std::size_t b) {
    return sites.subspan(b * kBlock, std::min(kBlock, sites.size() - b * kBlock));
  };
  const int team = threads > 0 ? threads : omp_get_max_threads();
  constexpr std::string_view kColumns = "x,y,z\n";

  std::vector<std::size_t> start(blocks + 1);
  start[0] = header.size() + kColumns.size();
#pragma omp parallel for num_threads(team) if (blocks > 1) schedule(static)
  for (std::size_t b = 0; b < blocks; ++b) {
    std::size_t size = 0;
    for (const Point& p : block(b)) {
      size += textLength(p.x) + textLength(p.y) + textLength(p.z) + 3;
    }
    start[b + 1] = size;
  }
  std::partial_sum(start.begin(), start.end(), start.begin());

  std::string text(start[blocks], '\0');
  std::memcpy(text.data(), header.data(), header.size());
  std::memcpy(text.data() + header.size(), kColumns.data(), kColumns.size());
#pragma omp parallel for num_threads(team) if (blocks > 1) schedule(static)
  for (std::size_t b = 0; b < blocks; ++b) {
    char* out = text.data() + start[b];
    for (const Point& p : block(b)) {
      out = writeCoordinates(out, p);
      *out++ = '\n';
    }
  }
  return text;
}

}  // namespace polychain
