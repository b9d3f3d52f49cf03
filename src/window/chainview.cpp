#include "window/chainview.h"

namespace polychain {

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
