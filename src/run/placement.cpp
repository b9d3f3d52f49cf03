#include "polychain/placement.h"

#include <absl/container/flat_hash_set.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "chain/lattice.h"
#include "chain/pivot.h"
#include "chain/random.h"
#include "polychain/params.h"

namespace polychain {

namespace {

__extension__ using Wide = unsigned __int128;

// A draw in [0, n) (n >= 1), by the high half of one 64 x 64-bit product.
std::int64_t below(RandomSource& random, std::int64_t n) {
  return static_cast<std::int64_t>((Wide{random.next()} * static_cast<std::uint64_t>(n)) >> 64);
}

struct Wrapped {
  Point site;
  Point image;
};

std::int32_t wrapAxis(std::int64_t q, std::int64_t box, std::int32_t& image) {
  std::int64_t w = q % box;
  if (w < 0) w += box;
  image = static_cast<std::int32_t>((q - w) / box);
  return static_cast<std::int32_t>(w);
}

// Sites within 2^21 on each axis, one 63-bit key.
std::uint64_t key(Point p) {
  return (static_cast<std::uint64_t>(p.x) << 42) | (static_cast<std::uint64_t>(p.y) << 21) |
         static_cast<std::uint64_t>(p.z);
}

std::string fraction(double phi) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", phi);
  return text;
}

std::array<std::int64_t, 3> extent(std::span<const Point> chain, Point& low) {
  Point high = chain.front();
  low = chain.front();
  for (const Point& p : chain) {
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
  return {std::int64_t{high.x} - low.x, std::int64_t{high.y} - low.y, std::int64_t{high.z} - low.z};
}

// Every chain in a cell of its own, the cells in a cube k on a side; false when `keepGoing`
// answered false, asked between chains.
bool layOut(const ChainSample& sample, Ensemble& out, const std::function<bool()>& keepGoing) {
  std::int64_t cell = 1;
  Point low;
  for (std::int64_t c = 0; c < sample.chains; ++c) {
    if (keepGoing && !keepGoing()) return false;
    const auto e = extent(sample.chain(c), low);
    cell = std::max(cell, *std::max_element(e.begin(), e.end()) + 1);
  }
  std::int64_t k = 1;
  while (k * k * k < sample.chains) ++k;
  if (cell > kMaxBoxSide / k) {
    throw InputError("The chains laid side by side need a box of side " + std::to_string(k * cell) +
                     " lattice units, more than the largest, " + std::to_string(kMaxBoxSide) +
                     ". Give a box side, or fewer or shorter chains.");
  }
  out.box = k * cell;
  for (std::int64_t c = 0; c < sample.chains; ++c) {
    if (keepGoing && !keepGoing()) return false;
    const std::span<const Point> chain = sample.chain(c);
    extent(chain, low);
    const Point corner{static_cast<std::int32_t>(c % k * cell),
                       static_cast<std::int32_t>(c / k % k * cell),
                       static_cast<std::int32_t>(c / (k * k) * cell)};
    for (const Point& p : chain) {
      out.sites.push_back({p.x - low.x + corner.x, p.y - low.y + corner.y, p.z - low.z + corner.z});
    }
    out.images.resize(out.sites.size());
  }
  return true;
}

}  // namespace

double Ensemble::volumeFraction() const {
  const double side = static_cast<double>(box);
  return box > 0 ? static_cast<double>(siteCount()) / (side * side * side) : 0.0;
}

void checkBoxSide(std::int64_t box, std::uint64_t sites) {
  if (box < 1 || box > kMaxBoxSide) {
    throw InputError("The box side must be a whole number of lattice units from 1 to " +
                     std::to_string(kMaxBoxSide) + ".");
  }
  const auto volume = static_cast<std::uint64_t>(box) * static_cast<std::uint64_t>(box) *
                      static_cast<std::uint64_t>(box);
  if (sites > volume) {
    throw InputError("A box of side " + std::to_string(box) + " has " + std::to_string(volume) +
                     " sites, fewer than the " + std::to_string(sites) +
                     " sites of the chains. Choose a box side of at least " +
                     std::to_string(static_cast<std::int64_t>(
                         std::ceil(std::cbrt(static_cast<double>(sites))))) +
                     ".");
  }
}

std::optional<Ensemble> placeChains(const ChainSample& sample, const PlacementParams& params,
                                    const std::function<bool()>& keepGoing) {
  Ensemble out;
  out.chains = sample.chains;
  out.starts = sample.starts;
  out.bondLength = params.bondLength;
  out.selfAvoiding = params.selfAvoiding;
  if (sample.box) {
    out.sites.resize(sample.sites.size());
    out.images.assign(sample.sites.size(), Point{});
    // Chains that sit in their own box already: wrapped into it, with their images.
    const std::int32_t side = sample.box->side;
    out.box = side;
    out.periodic = sample.box->periodic;
    const auto wrap = [side](std::int32_t v, std::int32_t& image) {
      image = v >= 0 ? v / side : -((side - 1 - v) / side);
      return v - image * side;
    };
    for (std::size_t i = 0; i < sample.sites.size(); ++i) {
      if ((i & 0xffff) == 0 && keepGoing && !keepGoing()) return std::nullopt;
      const Point& p = sample.sites[i];
      Point& image = out.images[i];
      out.sites[i] = Point{wrap(p.x, image.x), wrap(p.y, image.y), wrap(p.z, image.z)};
    }
    return out;
  }
  // Filled chain by chain as the chains are placed, so that memory is touched as they go.
  out.sites.reserve(sample.sites.size());
  out.images.reserve(sample.sites.size());
  if (!params.box) {
    if (!layOut(sample, out, keepGoing)) return std::nullopt;
    return out;
  }
  const std::int64_t box = out.box = *params.box;
  checkBoxSide(box, sample.sites.size());
  RandomSource random = [&] {
    std::uint64_t state = params.seed ^ kPlacementSalt;
    return RandomSource(splitMix64(state));
  }();
  absl::flat_hash_set<std::uint64_t> taken;
  if (params.selfAvoiding) taken.reserve(sample.sites.size());
  for (std::int64_t c = 0; c < sample.chains; ++c) {
    if (keepGoing && !keepGoing()) return std::nullopt;
    const std::span<const Point> chain = sample.chain(c);
    Point low;
    const auto e = extent(chain, low);
    const std::int64_t span = *std::max_element(e.begin(), e.end());
    if (params.selfAvoiding && span >= box) {
      throw InputError("Chain " + std::to_string(c + 1) + " spans " + std::to_string(span) +
                       " lattice units, as much as the box side " + std::to_string(box) +
                       " or more. Choose a box side of at least " + std::to_string(span + 1) + ".");
    }
    const auto first = static_cast<std::size_t>(sample.starts[static_cast<std::size_t>(c)]);
    out.sites.resize(first + chain.size());
    out.images.resize(first + chain.size());
    const Point origin = chain.front();
    bool placed = false;
    for (std::int64_t attempt = 0; attempt < params.triesPerChain && !placed; ++attempt) {
      const int s = static_cast<int>(below(random, 48));
      const std::int64_t tx = below(random, box);
      const std::int64_t ty = below(random, box);
      const std::int64_t tz = below(random, box);
      std::size_t done = 0;
      placed = true;
      for (const Point& p : chain) {
        const Point d = applySymmetry(s, {p.x - origin.x, p.y - origin.y, p.z - origin.z});
        Point& w = out.sites[first + done];
        Point& image = out.images[first + done];
        w = {wrapAxis(d.x + tx, box, image.x), wrapAxis(d.y + ty, box, image.y),
             wrapAxis(d.z + tz, box, image.z)};
        if (params.selfAvoiding && !taken.insert(key(w)).second) {
          for (std::size_t i = 0; i < done; ++i) taken.erase(key(out.sites[first + i]));
          placed = false;
          break;
        }
        ++done;
      }
      if (!placed && attempt % 1024 == 1023 && keepGoing && !keepGoing()) return std::nullopt;
    }
    if (!placed) {
      const double side = static_cast<double>(box);
      const double volume = side * side * side;
      throw InputError("Only " + std::to_string(c) + " of the " + std::to_string(sample.chains) +
                       " chains found a free place in a box of side " + std::to_string(box) +
                       ": chain " + std::to_string(c + 1) + " found none in " +
                       std::to_string(params.triesPerChain) + " tries, at a volume fraction of " +
                       fraction(static_cast<double>(first) / volume) + " reached (" +
                       fraction(static_cast<double>(sample.sites.size()) / volume) +
                       " asked for). Choose a larger box, or fewer or shorter chains.");
    }
  }
  return out;
}

}  // namespace polychain
