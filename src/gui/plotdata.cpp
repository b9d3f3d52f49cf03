#include "gui/plotdata.h"

#include <charconv>
#include <cstdint>

namespace polychain {

namespace {

// Calls `line` with each line of `text`, without its line feed (and any carriage return).
template <typename Fn>
void forEachLine(std::string_view text, Fn&& line) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view current = text.substr(0, end);
    if (!current.empty() && current.back() == '\r') current.remove_suffix(1);
    if (!line(current)) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

// Reads the comma-separated fields of `line` into `out` with from_chars; false unless the
// line holds exactly `out.size()` of them and nothing else.
template <typename T, std::size_t N>
bool readFields(std::string_view line, T (&out)[N]) {
  const char* at = line.data();
  const char* end = line.data() + line.size();
  for (std::size_t i = 0; i < N; ++i) {
    const auto [next, error] = std::from_chars(at, end, out[i]);
    if (error != std::errc()) return false;
    at = next;
    if (i + 1 < N) {
      if (at == end || *at != ',') return false;
      ++at;
    }
  }
  return at == end;
}

}  // namespace

std::vector<Point> sitesOfChainExport(std::string_view text) {
  std::vector<Point> sites;
  bool inSites = false;
  forEachLine(text, [&](std::string_view line) {
    if (!inSites) {
      inSites = line == "x,y,z";
      return true;
    }
    std::int32_t xyz[3];
    if (!readFields(line, xyz)) return false;
    sites.push_back({xyz[0], xyz[1], xyz[2]});
    return true;
  });
  return sites;
}

std::vector<Sample> samplesOfIndexText(std::string_view text) {
  std::vector<Sample> samples;
  forEachLine(text, [&](std::string_view line) {
    double pair[2];
    if (readFields(line, pair)) samples.push_back({pair[0], pair[1]});
    return true;
  });
  return samples;
}

std::vector<std::size_t> displayIndices(std::size_t count, std::size_t maxPoints) {
  if (maxPoints < 2) maxPoints = 2;
  std::vector<std::size_t> indices;
  if (count <= maxPoints) {
    indices.resize(count);
    for (std::size_t i = 0; i < count; ++i) indices[i] = i;
    return indices;
  }
  // j (count - 1) / (maxPoints - 1) for j = 0 .. maxPoints - 1: steps of at least one
  // site, so the positions are distinct, and the last one is count - 1.
  indices.resize(maxPoints);
  const std::size_t last = count - 1;
  const std::size_t parts = maxPoints - 1;
  for (std::size_t j = 0; j < maxPoints; ++j) {
    indices[j] = j / parts * last + (j % parts) * last / parts;
  }
  return indices;
}

}  // namespace polychain
