// Chains put together in one periodic cubic box, as a simulation starts from them. With a box
// side given, each chain is turned by one of the 48 symmetries of the cube and moved by a
// random lattice translation until none of its sites, wrapped into the box, is a site already
// taken (the free walk, which crosses itself, is placed without this test). Without one, the
// chains are laid side by side in a box that holds them whole and apart.
//
// The draws come from a stream of their own, RandomSource(splitMix64(seed ^ kPlacementSalt)),
// so the same sample and seed give the same placement.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "polychain/point.h"
#include "polychain/sample.h"

namespace polychain {

// Chains of one model in a periodic cubic box of side `box` lattice units. A site's position
// is sites[i] + box * images[i]; sites[i] lies in [0, box) on every axis.
struct Ensemble {
  std::int64_t chains = 0;
  std::vector<std::int64_t> starts;  // chain c holds sites [starts[c], starts[c + 1])
  std::vector<Point> sites;          // wrapped into the box
  std::vector<Point> images;         // the box images the sites came from
  std::int64_t box = 0;              // side L in lattice units
  // Which axes are periodic; a walled one (a melt's) holds every site in [0, L) unwrapped.
  std::array<bool, 3> periodic{true, true, true};
  double bondLength = 1.0;  // b: the length of one lattice unit in the files
  // Every site of the system differs from every other (false for the free walk).
  bool selfAvoiding = true;

  std::int64_t siteCount() const { return std::ssize(sites); }
  std::int64_t bondCount() const { return siteCount() - chains; }
  // Sites occupied over sites of the box, L^3.
  double volumeFraction() const;
};

inline constexpr std::uint64_t kPlacementSalt = 0x706c6163656d656eULL;  // "placemen"
// Placements tried per chain before the box is said to be too full.
inline constexpr std::int64_t kPlacementTries = 100'000;
// The largest box side: wrapped coordinates fit 21 bits.
inline constexpr std::int64_t kMaxBoxSide = std::int64_t{1} << 21;

struct PlacementParams {
  std::optional<std::int64_t> box;  // side L; none: side by side
  std::uint64_t seed = 0;
  double bondLength = 1.0;
  std::int64_t triesPerChain = kPlacementTries;
  bool selfAvoiding = true;  // test for taken sites
};

// Throws InputError when no box of side `box` can hold `sites` sites in all, or the side is
// out of range (1 to kMaxBoxSide).
void checkBoxSide(std::int64_t box, std::uint64_t sites);

// Places the chains of `sample` (Finished): a sample that sits in a box of its own (a melt's)
// keeps its places, wrapped into that box with their images. Throws InputError when a chain
// spans the box side or more, or when a chain finds no free place in triesPerChain tries
// (saying the volume fraction reached). Asks `keepGoing` between chains and while it fills its
// copy of the sites: nothing when it answers false. Costs about one hash look-up per site tried.
std::optional<Ensemble> placeChains(const ChainSample& sample, const PlacementParams& params,
                                    const std::function<bool()>& keepGoing = {});

}  // namespace polychain
