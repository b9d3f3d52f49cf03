#include "window/boxview.h"

#include <algorithm>

#include "window/chainview.h"

namespace polychain {

namespace {

std::int32_t wrap(std::int32_t c, std::int32_t side) {
  const std::int32_t r = c % side;
  return r < 0 ? r + side : r;
}

}  // namespace

BoxView boxView(const ChainBox& box, bool wrapped, std::size_t maxSites) {
  BoxView view;
  view.low = -0.5;
  view.high = static_cast<double>(box.side) - 0.5;
  for (std::size_t axis = 0; axis < 3; ++axis) view.walls[axis] = !box.periodic[axis];
  view.chains = box.chains();
  view.sites = box.sites.size();
  if (view.chains == 0 || box.side <= 0) return view;
  const auto perChain = static_cast<std::size_t>(box.sitesPerChain);
  const std::size_t budget = std::max<std::size_t>(maxSites, 2);
  const std::vector<std::size_t> chains =
      displayIndices(static_cast<std::size_t>(view.chains), std::max<std::size_t>(budget / 2, 2));
  const std::vector<std::size_t> shown =
      displayIndices(perChain, std::max<std::size_t>(budget / chains.size(), 2));
  view.chainsDrawn = std::ssize(chains);
  const auto place = [&](const Point& p, std::size_t axis) {
    const std::int32_t c = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
    return wrapped && box.periodic[axis] ? wrap(c, box.side) : c;
  };
  for (const std::size_t chain : chains) {
    const Point* sites = box.sites.data() + chain * perChain;
    BoxPiece piece{static_cast<std::int64_t>(chain), {}};
    std::array<std::int32_t, 3> last{};
    for (std::size_t k = 0; k < shown.size(); ++k) {
      const Point& p = sites[shown[k]];
      const std::array<std::int32_t, 3> at = {place(p, 0), place(p, 1), place(p, 2)};
      if (k > 0) {
        // A step that wrapping changed went out through a side: the piece ends there.
        const Point& q = sites[shown[k - 1]];
        const std::array<std::int32_t, 3> step = {p.x - q.x, p.y - q.y, p.z - q.z};
        bool through = false;
        for (std::size_t axis = 0; axis < 3; ++axis) through |= at[axis] - last[axis] != step[axis];
        if (through) {
          view.pieces.push_back(std::move(piece));
          piece = BoxPiece{static_cast<std::int64_t>(chain), {}};
        }
      }
      piece.points.push_back(MeshPoint{static_cast<double>(at[0]), static_cast<double>(at[1]),
                                       static_cast<double>(at[2])});
      last = at;
      ++view.sitesDrawn;
    }
    view.pieces.push_back(std::move(piece));
  }
  return view;
}

std::array<std::array<MeshPoint, 2>, 12> cubeEdges(double low, double high) {
  std::array<std::array<MeshPoint, 2>, 12> edges{};
  std::size_t n = 0;
  const double ends[2] = {low, high};
  // Along each axis, the four edges at the four corners of the other two.
  for (std::size_t axis = 0; axis < 3; ++axis) {
    for (const double a : ends) {
      for (const double b : ends) {
        std::array<double, 3> from{}, to{};
        from[axis] = low;
        to[axis] = high;
        from[(axis + 1) % 3] = to[(axis + 1) % 3] = a;
        from[(axis + 2) % 3] = to[(axis + 2) % 3] = b;
        edges[n++] = {MeshPoint{from[0], from[1], from[2]}, MeshPoint{to[0], to[1], to[2]}};
      }
    }
  }
  return edges;
}

}  // namespace polychain
