#include "chain/melt.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "chain/lattice.h"
#include "chain/pivot.h"

namespace polychain {

namespace {

constexpr std::uint64_t kMixGrain = std::uint64_t{1} << 53;

// The four directions normal to each axis, in the order of successive quarter turns about it,
// and the place of each direction in its normal axis' cycle.
constexpr int kQuarterTurns[3][4] = {{2, 4, 3, 5}, {4, 0, 5, 1}, {0, 2, 1, 3}};
constexpr int kPlaceInTurns[3][6] = {
    {-1, -1, 0, 2, 1, 3}, {1, 3, -1, -1, 0, 2}, {0, 2, 1, 3, -1, -1}};

// The image of each direction under each lattice symmetry.
struct DirectionImages {
  std::array<std::array<std::uint8_t, 6>, kLatticeSymmetries> of{};
  DirectionImages() {
    for (int s = 0; s < kLatticeSymmetries; ++s) {
      for (int d = 0; d < 6; ++d) {
        const Point p = applySymmetry(s, kUnitMove[d]);
        for (int e = 0; e < 6; ++e) {
          if (kUnitMove[e] == p) {
            of[static_cast<std::size_t>(s)][static_cast<std::size_t>(d)] =
                static_cast<std::uint8_t>(e);
          }
        }
      }
    }
  }
};

const DirectionImages& directionImages() {
  static const DirectionImages images;
  return images;
}

bool axisHasWalls(MeltWalls walls, int axis) {
  switch (walls) {
    case MeltWalls::None:
      return false;
    case MeltWalls::Z:
      return axis == 2;
    case MeltWalls::YZ:
      return axis >= 1;
    case MeltWalls::XYZ:
      return true;
  }
  return true;
}

// uniformBelow's draw (the same draws give the same numbers), inline on the hot path.
inline std::uint64_t below(RandomSource& random, std::uint64_t bound) {
  __extension__ using Wide = unsigned __int128;
  Wide product = static_cast<Wide>(random.next()) * bound;
  if (static_cast<std::uint64_t>(product) < bound) {
    const std::uint64_t threshold = (0 - bound) % bound;
    while (static_cast<std::uint64_t>(product) < threshold) {
      product = static_cast<Wide>(random.next()) * bound;
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

}  // namespace

// Measured with bench_meltrelax in a periodic box from the laid-out start, tau in sweeps of the
// chains' end-to-end vector R (tau_int with Sokal's window / tau_exp of its tail; the weights
// are end, kink, crankshaft, reptation, pivot, tail swap):
// - Short chains live by reptation: at phi 0.5, 200 chains of N = 100, reptation alone gives
//   101 / 124, 94 % reptation with 6 % local moves 110 / 134, 44 % reptation (1, 2, 1, 4, 0.1,
//   1) 179 / 223, local moves alone over 2000. The local moves stay for what reptation cannot
//   do alone (a chain with both ends blocked) and for the local order. Tail swaps add nothing
//   there: 136 / 178 with (0.5, 1, 0.5, 8, 0, 8), 188 / 262 with the long chains' mix.
// - Long chains need local moves and tail swaps: at phi 0.5, 50 chains of N = 1000, 94 %
//   reptation gives 3978 / 4890 (the other chains' middles, which only local moves change,
//   pin the snakes' heads), (1, 2, 1, 2, 0, 0) 6622 / 15177, (1, 2, 1, 4, 0.1, 1) 1236 / 1758
//   and (1, 2, 1, 4, 0, 12) 538 / 1270. A tail swap is accepted about once in 50 N attempts,
//   but then remakes two chains at once, at a rate a sweep that does not fall with N.
// - Between them (100 chains, the short chains' mix against the long chains'): N = 200 296 /
//   375 against 289 / 472, N = 300 525 / 656 against 358 / 556, N = 400 897 / 1149 against
//   393 / 711; the long chains' mix from N = 250.
// - Pivots pay only in dilute melts: at N = 100 one pivot in 18 attempts takes tau_int from 39
//   to 6.7 sweeps at phi 0.1, for 39 % more time a sweep, but only from 52 to 46 at phi 0.25,
//   for 32 % more. At phi 0.5 one pivot in 60 is accepted at N = 100 and one in 600 at
//   N = 1000, all of them turning a few beads at an end.
MeltMoveMix MeltMoveMix::standard(std::int32_t steps, double volumeFraction) {
  MeltMoveMix mix;
  if (steps >= kMeltLongChains) {
    mix.weights = {1.0, 2.0, 1.0, 4.0, 0.0, 12.0};
  } else {
    mix.weights = {0.25, 0.5, 0.25, 16.0, 0.0, 0.0};
  }
  if (volumeFraction < kMeltDilute) mix.weights[static_cast<std::size_t>(MeltMove::Pivot)] = 1.0;
  return mix;
}

MeltMoveMix MeltMoveMix::only(MeltMove kind) {
  MeltMoveMix mix;
  mix.weights[static_cast<std::size_t>(kind)] = 1.0;
  return mix;
}

namespace {

MeltMoveMix standardMix(std::int32_t chains, std::int32_t steps, std::int32_t side) {
  return MeltMoveMix::standard(steps, static_cast<double>(chains) * (steps + 1.0) /
                                          (static_cast<double>(side) * side * side));
}

}  // namespace

Melt::Melt(std::int32_t chains, std::int32_t steps, std::int32_t side, MeltWalls walls)
    : Melt(chains, steps, side, walls, standardMix(chains, steps, side)) {}

Melt::Melt(std::int32_t chains, std::int32_t steps, std::int32_t side, MeltWalls walls,
           const MeltMoveMix& mix)
    : Melt(chains, steps, side, walls, mix, Unplaced{}) {
  layOut({});
}

std::optional<Melt> Melt::laidOut(std::int32_t chains, std::int32_t steps, std::int32_t side,
                                  MeltWalls walls, const std::function<bool()>& stopRequested) {
  std::optional<Melt> melt(
      Melt(chains, steps, side, walls, standardMix(chains, steps, side), Unplaced{}));
  if (!melt->layOut(stopRequested)) return std::nullopt;
  return melt;
}

Melt::Melt(std::int32_t chains, std::int32_t steps, std::int32_t side, MeltWalls walls,
           const MeltMoveMix& mix, Unplaced)
    : m_chains(chains), m_steps(steps), m_side(side), m_walls(walls) {
  const bool periodic = !axisHasWalls(walls, 0);  // x is periodic unless every axis is walled
  if (chains < 1) throw std::invalid_argument("Melt: at least one chain");
  if (steps < 1) throw std::invalid_argument("Melt: at least one step a chain");
  if (side < (periodic ? 3 : 2) || side > kMostSide) {
    throw std::invalid_argument("Melt: box side out of range");
  }
  const std::int64_t cells = std::int64_t{side} * side * side;
  const std::int64_t beads = std::int64_t{chains} * (std::int64_t{steps} + 1);
  if (beads > cells) throw std::invalid_argument("Melt: more beads than sites in the box");
  m_ring = static_cast<std::uint32_t>(steps) + 1;
  m_ringReciprocal = ~std::uint64_t{0} / m_ring + 1;
  m_usSide = static_cast<std::uint32_t>(side);
  m_usArea = m_usSide * m_usSide;
  for (int d = 0; d < 6; ++d) {
    const auto k = static_cast<std::size_t>(d);
    const int axis = d / 2;
    const std::uint32_t shift = static_cast<std::uint32_t>(kFieldBits * axis);
    const std::uint32_t unit = 1U << shift;
    const std::uint32_t across = (m_usSide - 1) << shift;
    m_shift[k] = shift;
    const bool plus = d % 2 == 0;
    m_edge[k] = plus ? m_usSide - 1 : 0;
    m_increment[k] = plus ? unit : 0U - unit;
    m_wrap[k] = axisHasWalls(walls, axis) ? kNoSite : plus ? 0U - across : across;
  }
  for (int axis = 0; axis < 3; ++axis) {
    m_walled[static_cast<std::size_t>(axis)] = axisHasWalls(walls, axis);
  }
  setMix(mix);
}

bool Melt::layOut(const std::function<bool()>& stopRequested) {
  // Slices of about 2^22 cells or beads (a few milliseconds) between looks at the stop flag;
  // reserving touches no page, so a large box costs its time in the slices.
  constexpr std::int64_t kSlice = std::int64_t{1} << 22;
  const auto stopped = [&stopRequested] { return stopRequested && stopRequested(); };
  const std::int64_t side = m_side;
  const std::int64_t cells = side * side * side;
  const std::int64_t beads = sweepAttempts();
  const auto fill = [&](Table& v, std::int64_t size, std::uint32_t value) {
    v.clear();
    v.reserve(static_cast<std::size_t>(size));
    for (std::int64_t done = 0; done < size; done += kSlice) {
      if (stopped()) return false;
      v.insert(v.end(), static_cast<std::size_t>(std::min(kSlice, size - done)), value);
    }
    return true;
  };
  if (!fill(m_cell, cells, kEmpty) || !fill(m_site, beads, 0)) return false;
  m_head.assign(static_cast<std::size_t>(m_chains), 0);
  m_whole.moved.resize(m_ring);
  std::int64_t laid = 0;
  for (std::int32_t c = 0; c < m_chains; ++c) {
    const std::int64_t start = cells * c / m_chains;
    for (std::int32_t b = 0; b <= m_steps; ++b) {
      if (++laid % kSlice == 0 && stopped()) return false;
      // Serpentine order: planes of z, rows of y back and forth within them, x back and forth
      // along the rows, so that each row starts where the last one ended.
      const std::int64_t t = start + b;
      const std::int64_t z = t / (side * side);
      const std::int64_t row = t / side;
      const std::int64_t inRow = t % side;
      const std::int64_t rowInPlane = row % side;
      const std::int64_t y = z % 2 == 0 ? rowInPlane : side - 1 - rowInPlane;
      const std::int64_t x = row % 2 == 0 ? inRow : side - 1 - inRow;
      const std::uint32_t site = static_cast<std::uint32_t>(x) |
                                 static_cast<std::uint32_t>(y) << kFieldBits |
                                 static_cast<std::uint32_t>(z) << (2 * kFieldBits);
      const std::uint32_t slot = slotOf(c, b);
      m_site[slot] = site;
      m_cell[cellOf(site)] = slot;
    }
  }
  return !stopped();
}

std::uint64_t Melt::bytesNeeded(std::int64_t chains, std::int64_t steps, std::int64_t side) {
  const auto c = static_cast<std::uint64_t>(chains < 0 ? 0 : chains);
  const auto ring = static_cast<std::uint64_t>(steps < 0 ? 1 : steps + 1);
  const auto l = static_cast<std::uint64_t>(side < 0 ? 0 : side);
  // With a decomposed sweep's lists of the parts' beads and ends, and the chains' owners.
  return sizeof(Melt) + 4 * (2 * c * ring + 4 * c + l * l * l + ring);
}

std::size_t Melt::bytes() const {
  std::size_t parts = 0;
  for (const Part& part : m_parts) {
    parts += sizeof(Part) + sizeof(std::uint32_t) * (part.beads.capacity() + part.ends.capacity() +
                                                     part.mover.moved.size());
  }
  return sizeof(Melt) + parts +
         sizeof(std::uint32_t) * (m_site.size() + m_head.size() + m_cell.size() + m_owner.size() +
                                  m_whole.moved.size()) +
         sizeof(std::int16_t) * m_interior.size();
}

double Melt::volumeFraction() const {
  return static_cast<double>(sweepAttempts()) / static_cast<double>(m_cell.size());
}

void Melt::setMix(const MeltMoveMix& mix) {
  double total = 0.0;
  for (const double w : mix.weights) {
    if (!std::isfinite(w) || w < 0.0) throw std::invalid_argument("Melt: a move weight below 0");
    total += w;
  }
  if (!(total > 0.0) || !std::isfinite(total)) {
    throw std::invalid_argument("Melt: no move has weight");
  }
  double sum = 0.0;
  for (std::size_t k = 0; k < kMeltMoves; ++k) {
    sum += mix.weights[k];
    m_threshold[k] = static_cast<std::uint64_t>(sum / total * static_cast<double>(kMixGrain));
  }
  // The last kind drawn takes every draw above the one before it, whatever the rounding.
  std::size_t last = kMeltMoves - 1;
  while (mix.weights[last] == 0.0) --last;
  for (std::size_t k = last; k < kMeltMoves; ++k) m_threshold[k] = kMixGrain;
  m_mix = mix;
}

int Melt::directionBetween(std::uint32_t from, std::uint32_t to) const {
  const std::uint32_t differ = from ^ to;
  const int axis = (differ & kFieldMask) != 0                   ? 0
                   : ((differ >> kFieldBits) & kFieldMask) != 0 ? 1
                                                                : 2;
  const std::uint32_t a = field(from, axis), b = field(to, axis);
  const bool plus = b == a + 1 || (b == 0 && a == m_usSide - 1);
  return 2 * axis + (plus ? 0 : 1);
}

std::int32_t Melt::beadOf(std::int32_t chain, std::uint32_t slot) const {
  std::uint32_t k = slot - static_cast<std::uint32_t>(chain) * m_ring;
  const std::uint32_t head = m_head[static_cast<std::size_t>(chain)];
  k = k >= head ? k - head : k + m_ring - head;
  return static_cast<std::int32_t>(k);
}

Point Melt::unpack(std::uint32_t site) const {
  return Point{static_cast<std::int32_t>(field(site, 0)), static_cast<std::int32_t>(field(site, 1)),
               static_cast<std::int32_t>(field(site, 2))};
}

std::int32_t Melt::drawChain(RandomSource& random) const {
  return static_cast<std::int32_t>(below(random, static_cast<std::uint64_t>(m_chains)));
}

void Melt::setEnergy(const MeltEnergy& energy) {
  if (!std::isfinite(energy.contact) || !std::isfinite(energy.bend) ||
      !std::isfinite(energy.wall)) {
    throw std::invalid_argument("Melt: an energy that is not finite");
  }
  if (energy.wall != 0.0 && m_walls == MeltWalls::None) {
    throw std::invalid_argument("Melt: a wall energy in a box without walls");
  }
  m_energy = energy;
  m_thermal = !energy.zero();
}

std::int64_t Melt::neighbours(std::uint32_t site) const {
  // From the site's cell by strides, without unpacking each neighbour's site: across a face
  // only where the axis is periodic.
  const std::uint32_t cell = cellOf(site);
  const std::uint32_t* cells = m_cell.data();
  const std::uint32_t strides[3] = {1, m_usSide, m_usArea};
  std::int64_t n = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::uint32_t f = field(site, static_cast<int>(axis)), stride = strides[axis];
    const std::uint32_t across = (m_usSide - 1) * stride;
    if (f + 1 < m_usSide) {
      n += cells[cell + stride] != kEmpty;
    } else if (!m_walled[axis]) {
      n += cells[cell - across] != kEmpty;
    }
    if (f > 0) {
      n += cells[cell - stride] != kEmpty;
    } else if (!m_walled[axis]) {
      n += cells[cell + across] != kEmpty;
    }
  }
  return n;
}

std::int64_t Melt::onWall(std::uint32_t site) const {
  for (int axis = 0; axis < 3; ++axis) {
    if (!m_walled[static_cast<std::size_t>(axis)]) continue;
    const std::uint32_t f = field(site, axis);
    if (f == 0 || f + 1 == m_usSide) return 1;
  }
  return 0;
}

std::int64_t Melt::bendsAt(std::int32_t chain, std::int32_t first, std::int32_t last) const {
  std::int64_t bends = 0;
  for (std::int32_t b = std::max(first, 1); b <= std::min(last, m_steps - 1); ++b) {
    // The sites before and after a bend differ on two axes, those about a straight bead on one.
    const std::uint32_t differ = siteOf(chain, b - 1) ^ siteOf(chain, b + 1);
    bends += static_cast<int>((differ & kFieldMask) != 0) +
                 static_cast<int>(((differ >> kFieldBits) & kFieldMask) != 0) +
                 static_cast<int>((differ >> (2 * kFieldBits)) != 0) ==
             2;
  }
  return bends;
}

MeltEnergyTerms Melt::energyTerms() const {
  MeltEnergyTerms terms;
  std::int64_t neighbourPairs = 0;
  for (const std::uint32_t site : m_site) {
    neighbourPairs += neighbours(site);
    terms.wallSites += onWall(site);
  }
  // Each pair of neighbours seen from both sides; the bonds are C N of them.
  terms.contacts = neighbourPairs / 2 - std::int64_t{m_chains} * m_steps;
  for (std::int32_t c = 0; c < m_chains; ++c) terms.bends += bendsAt(c, 1, m_steps - 1);
  return terms;
}

bool Melt::keep(Mover& w, MeltMove kind, const MeltEnergyTerms& before,
                const MeltEnergyTerms& after) {
  const double change = energyOf({after.contacts - before.contacts, after.bends - before.bends,
                                  after.wallSites - before.wallSites});
  w.lastChange = change;
  if (change > 0.0 && w.random != nullptr &&
      !(static_cast<double>(w.random->next() >> 11) * 0x1.0p-53 < std::exp(-change))) {
    return false;
  }
  return accept(w, kind);
}

[[gnu::flatten]] void Melt::attempt(RandomSource& random, std::int64_t attempts) {
  const auto steps = static_cast<std::uint64_t>(m_steps);
  Mover& w = m_whole;
  w.random = &random;
  for (; attempts > 0; --attempts) {
    const std::uint64_t r = random.next() >> 11;
    std::size_t kind = 0;
    while (r >= m_threshold[kind]) ++kind;
    switch (static_cast<MeltMove>(kind)) {
      case MeltMove::End: {
        const std::uint64_t x = below(random, static_cast<std::uint64_t>(m_chains) * 12);
        endMove(w, static_cast<std::int32_t>(x / 12), static_cast<int>(x % 12 / 6),
                static_cast<int>(x % 6));
        break;
      }
      case MeltMove::Kink: {
        if (m_steps < 2) {
          tally(w, MeltMove::Kink);
          break;
        }
        const std::int32_t chain = drawChain(random);
        kinkJump(w, chain, 1 + static_cast<std::int32_t>(below(random, steps - 1)));
        break;
      }
      case MeltMove::Crankshaft: {
        if (m_steps < 3) {
          tally(w, MeltMove::Crankshaft);
          break;
        }
        const std::int32_t chain = drawChain(random);
        const std::uint64_t x = below(random, (steps - 2) * 3);
        crankshaft(w, chain, 1 + static_cast<std::int32_t>(x / 3), 1 + static_cast<int>(x % 3));
        break;
      }
      case MeltMove::Reptation: {
        const std::uint64_t x = below(random, static_cast<std::uint64_t>(m_chains) * 12);
        reptation(w, static_cast<std::int32_t>(x / 12), static_cast<int>(x % 12 / 6),
                  static_cast<int>(x % 6));
        break;
      }
      case MeltMove::Pivot: {
        const std::int32_t chain = drawChain(random);
        const auto side = static_cast<std::int32_t>(below(random, 2 * steps));
        pivot(w, chain, side, 1 + static_cast<int>(below(random, kLatticeSymmetries - 1)));
        break;
      }
      case MeltMove::TailSwap: {
        const std::int32_t chain = drawChain(random);
        const std::uint64_t x = below(random, steps * 6);
        tailSwap(w, chain, static_cast<std::int32_t>(x / 6), static_cast<int>(x % 6));
        break;
      }
    }
  }
  w.random = nullptr;
}

MeltDecomposition MeltDecomposition::standard(std::int32_t side, std::int32_t steps) {
  const double least = std::max<double>(kLeastWidth, kWidthPerRootN * std::sqrt(steps));
  MeltDecomposition d;
  while (2 * d.parts <= kMostParts && side / (2.0 * d.parts) >= least) d.parts *= 2;
  return d;
}

void Melt::setDecomposition(const MeltDecomposition& decomposition) {
  const std::int32_t parts = decomposition.parts;
  if (parts < 1 || parts > MeltDecomposition::kMostParts ||
      (parts > 1 && m_side / parts < 2 * MeltDecomposition::kMargin + 2)) {
    throw std::invalid_argument("Melt: a decomposition into parts narrower than a move needs");
  }
  m_decomposition = decomposition;
  m_parts.clear();
}

void Melt::beginSweep(RandomSource& random) {
  const auto parts = static_cast<std::size_t>(m_decomposition.parts);
  if (m_parts.size() != parts) {
    m_parts.assign(parts, Part{});
    for (std::size_t p = 0; p < parts; ++p) {
      m_parts[p].mover.part = static_cast<std::int32_t>(p);
      m_parts[p].mover.moved.resize(m_ring);
    }
    m_interior.assign(m_usSide, 0);
    m_owner.assign(static_cast<std::size_t>(m_chains), kWhole);
  }
  m_offset = static_cast<std::uint32_t>(below(random, m_usSide));
  m_key = random.next();
  // Slab p holds the z whose distance u = z - offset (mod L) is in [p L / P, (p + 1) L / P),
  // its interior those kMargin from either end (all of them when there is one slab).
  const std::int64_t side = m_side;
  const auto margin = static_cast<std::int64_t>(parts > 1 ? MeltDecomposition::kMargin : 0);
  for (std::size_t p = 0; p < parts; ++p) {
    const std::int64_t lo = side * static_cast<std::int64_t>(p) / static_cast<std::int64_t>(parts);
    const std::int64_t hi =
        side * static_cast<std::int64_t>(p + 1) / static_cast<std::int64_t>(parts);
    for (std::int64_t u = lo; u < hi; ++u) {
      const auto z = static_cast<std::size_t>((u + m_offset) % side);
      m_interior[z] =
          static_cast<std::int16_t>(u >= lo + margin && u < hi - margin ? std::int64_t(p) : kWhole);
    }
    // A stream of its own from the sweep's key and the part.
    std::uint64_t state = m_key ^ (0xd1b54a32d192ed03ULL * (p + 1));
    m_parts[p].random = RandomSource(splitMix64(state));
  }
  // A part owns the chains whose bead 0 and bead N both lie in its interior.
  for (std::int32_t c = 0; c < m_chains; ++c) {
    const std::int16_t first = m_interior[siteOf(c, 0) >> (2 * kFieldBits)];
    const std::int16_t last = m_interior[siteOf(c, m_steps) >> (2 * kFieldBits)];
    m_owner[static_cast<std::size_t>(c)] = first == last ? first : kWhole;
  }
}

void Melt::planPart(std::int32_t part) {
  Part& own = m_parts[static_cast<std::size_t>(part)];
  own.ends.clear();
  own.attempts = 0;
  std::size_t n = 0;  // beads listed
  const std::uint32_t side = m_usSide;
  const std::uint32_t lo =
      static_cast<std::uint32_t>(std::int64_t{m_side} * part / m_decomposition.parts);
  const std::uint32_t hi =
      static_cast<std::uint32_t>(std::int64_t{m_side} * (part + 1) / m_decomposition.parts);
  // The ends among beads first..n of the list.
  const auto findEnds = [&](std::size_t first) {
    for (std::size_t i = first; i < n; ++i) {
      const std::uint32_t slot = own.beads[i];
      const std::int32_t chain = chainOf(slot);
      const std::uint32_t k = slot - static_cast<std::uint32_t>(chain) * m_ring;
      const std::uint32_t head = m_head[static_cast<std::size_t>(chain)];
      if (k == head) {
        own.ends.push_back(2 * static_cast<std::uint32_t>(chain));
      } else if (k == (head == 0 ? m_ring - 1 : head - 1)) {
        own.ends.push_back(2 * static_cast<std::uint32_t>(chain) + 1);
      }
    }
  };
  if (m_cell.size() > 8 * m_site.size()) {
    // A sparse box: the beads in slot order, those in the slab counted, those inside listed.
    for (std::uint32_t slot = 0; slot < m_site.size(); ++slot) {
      const std::uint32_t z = m_site[slot] >> (2 * kFieldBits);
      const std::uint32_t u = z >= m_offset ? z - m_offset : z + side - m_offset;
      if (u < lo || u >= hi) continue;
      ++own.attempts;
      if (m_interior[z] != part) continue;
      if (n == own.beads.size()) own.beads.resize(2 * n + 16);
      own.beads[n++] = slot;
    }
    findEnds(0);
    own.count = n;
    return;
  }
  // The slab's cells plane by plane, without a branch a cell: the margins' planes only
  // counted, the interior's listed.
  for (std::uint32_t u = lo; u < hi; ++u) {
    const std::uint32_t z = u + m_offset < side ? u + m_offset : u + m_offset - side;
    const std::uint32_t* plane = m_cell.data() + std::size_t{m_usArea} * z;
    if (m_interior[z] != part) {
      std::int64_t held = 0;
      for (std::uint32_t c = 0; c < m_usArea; ++c) held += plane[c] != kEmpty;
      own.attempts += held;
      continue;
    }
    if (own.beads.size() < n + m_usArea) own.beads.resize(n + m_usArea);
    std::uint32_t* out = own.beads.data();
    const std::size_t first = n;
    for (std::uint32_t c = 0; c < m_usArea; ++c) {
      out[n] = plane[c];
      n += plane[c] != kEmpty;
    }
    own.attempts += static_cast<std::int64_t>(n - first);
    findEnds(first);
  }
  own.count = n;
}

bool Melt::sweepPart(std::int32_t part, const std::function<bool()>& stopRequested) {
  constexpr std::int64_t kPollEvery = std::int64_t{1} << 15;
  Part& own = m_parts[static_cast<std::size_t>(part)];
  Mover& w = own.mover;
  RandomSource& random = own.random;
  w.random = &random;
  const std::uint32_t* beads = own.beads.data();
  const std::uint32_t* ends = own.ends.data();
  const auto beadCount = static_cast<std::uint64_t>(own.count);
  const auto endCount = static_cast<std::uint64_t>(own.ends.size());
  // A bead of the interior, its chain and its number; false (the attempt counted) when another
  // part owns the chain or the bead is out of the range the move takes.
  const auto chosen = [&](std::uint32_t slot, std::int32_t least, std::int32_t most,
                          std::int32_t& chain, std::int32_t& bead) {
    chain = chainOf(slot);
    if (!mayMove(w, chain)) return false;
    bead = beadOf(chain, slot);
    return bead >= least && bead <= most;
  };
  for (std::int64_t a = 0; a < own.attempts; ++a) {
    if (a % kPollEvery == kPollEvery - 1 && stopRequested && stopRequested()) {
      w.random = nullptr;
      return false;
    }
    const std::uint64_t r = random.next() >> 11;
    std::size_t kind = 0;
    while (r >= m_threshold[kind]) ++kind;
    const auto move = static_cast<MeltMove>(kind);
    const bool byEnd = move == MeltMove::End || move == MeltMove::Reptation;
    if (byEnd ? endCount == 0 : beadCount == 0) {
      tally(w, move);
      continue;
    }
    std::int32_t chain = 0, bead = 0;
    switch (move) {
      case MeltMove::End:
      case MeltMove::Reptation: {
        const std::uint64_t x = below(random, endCount * 6);
        const std::uint32_t e = ends[x / 6];
        chain = static_cast<std::int32_t>(e / 2);
        if (move == MeltMove::End) {
          endMove(w, chain, static_cast<int>(e % 2), static_cast<int>(x % 6));
        } else {
          reptation(w, chain, static_cast<int>(e % 2), static_cast<int>(x % 6));
        }
        break;
      }
      case MeltMove::Kink: {
        if (!chosen(beads[below(random, beadCount)], 1, m_steps - 1, chain, bead)) {
          tally(w, move);
          break;
        }
        kinkJump(w, chain, bead);
        break;
      }
      case MeltMove::Crankshaft: {
        const std::uint64_t x = below(random, beadCount * 3);
        if (!chosen(beads[x / 3], 1, m_steps - 2, chain, bead)) {
          tally(w, move);
          break;
        }
        crankshaft(w, chain, bead, 1 + static_cast<int>(x % 3));
        break;
      }
      case MeltMove::Pivot: {
        // About the bead chosen: the beads after it (side = bead) or before it (side = N +
        // bead - 1).
        const std::uint64_t x = below(random, beadCount * 2);
        const bool low = x % 2 == 1;
        const int symmetry = 1 + static_cast<int>(below(random, kLatticeSymmetries - 1));
        if (!chosen(beads[x / 2], low ? 1 : 0, low ? m_steps : m_steps - 1, chain, bead)) {
          tally(w, move);
          break;
        }
        pivot(w, chain, low ? m_steps + bead - 1 : bead, symmetry);
        break;
      }
      case MeltMove::TailSwap: {
        const std::uint64_t x = below(random, beadCount * 6);
        if (!chosen(beads[x / 6], 0, m_steps - 1, chain, bead)) {
          tally(w, move);
          break;
        }
        tailSwap(w, chain, bead, static_cast<int>(x % 6));
        break;
      }
    }
  }
  w.random = nullptr;
  return true;
}

void Melt::endSweep() {
  for (Part& part : m_parts) {
    for (std::size_t k = 0; k < kMeltMoves; ++k) {
      m_whole.counts.attempted[k] += part.mover.counts.attempted[k];
      m_whole.counts.accepted[k] += part.mover.counts.accepted[k];
    }
    part.mover.counts = {};
  }
}

// A part's record: its counts, the number of chains it owns, each one's number and ring offset,
// the number of beads in its interior, each one's slot and site (pairs of 32-bit values). The
// slots whose sites lie in the interior stay the same through the part's sweep (no move takes
// a bead in or out of it, a tail swap exchanges the sites of two such slots), so they are
// those planPart listed.
void Melt::savePart(std::int32_t part, std::vector<std::byte>& out) const {
  const Part& own = m_parts[static_cast<std::size_t>(part)];
  std::uint64_t owned = 0;
  for (std::int32_t c = 0; c < m_chains; ++c) owned += m_owner[static_cast<std::size_t>(c)] == part;
  const std::uint64_t beads = own.count;
  const std::size_t start = out.size();
  out.resize(start + sizeof(MeltMoveCounts) + 2 * sizeof(std::uint64_t) +
             2 * sizeof(std::uint32_t) * (owned + beads));
  std::byte* at = out.data() + start;
  const auto put = [&at](const void* from, std::size_t bytes) {
    std::memcpy(at, from, bytes);
    at += bytes;
  };
  put(&own.mover.counts, sizeof(MeltMoveCounts));
  put(&owned, sizeof owned);
  for (std::int32_t c = 0; c < m_chains; ++c) {
    if (m_owner[static_cast<std::size_t>(c)] != part) continue;
    const std::uint32_t pair[2] = {static_cast<std::uint32_t>(c),
                                   m_head[static_cast<std::size_t>(c)]};
    put(pair, sizeof pair);
  }
  put(&beads, sizeof beads);
  for (std::size_t i = 0; i < own.count; ++i) {
    const std::uint32_t slot = own.beads[i];
    const std::uint32_t pair[2] = {slot, m_site[slot]};
    put(pair, sizeof pair);
  }
}

void Melt::loadPart(std::int32_t part, std::span<const std::byte> record) {
  Part& own = m_parts[static_cast<std::size_t>(part)];
  const auto refuse = [] {
    throw std::invalid_argument("Melt: a part's record does not fit this sweep");
  };
  const std::byte* at = record.data();
  std::size_t left = record.size();
  const auto get = [&](void* to, std::size_t bytes) {
    if (left < bytes) refuse();
    std::memcpy(to, at, bytes);
    at += bytes;
    left -= bytes;
  };
  get(&own.mover.counts, sizeof(MeltMoveCounts));
  std::uint64_t owned = 0;
  get(&owned, sizeof owned);
  if (owned > static_cast<std::uint64_t>(m_chains)) refuse();
  for (std::uint64_t k = 0; k < owned; ++k) {
    std::uint32_t pair[2];
    get(pair, sizeof pair);
    if (pair[0] >= static_cast<std::uint32_t>(m_chains) || pair[1] >= m_ring) refuse();
    m_head[pair[0]] = pair[1];
  }
  std::uint64_t beads = 0;
  get(&beads, sizeof beads);
  if (beads > m_site.size() || left != 2 * sizeof(std::uint32_t) * beads) refuse();
  // The interior emptied, then its beads put back where the part left them.
  for (std::uint32_t z = 0; z < m_usSide; ++z) {
    if (m_interior[z] != part) continue;
    std::fill_n(m_cell.begin() + static_cast<std::ptrdiff_t>(std::size_t{m_usArea} * z), m_usArea,
                kEmpty);
  }
  for (std::uint64_t k = 0; k < beads; ++k) {
    std::uint32_t pair[2];
    get(pair, sizeof pair);
    const std::uint32_t slot = pair[0], site = pair[1];
    if (slot >= m_site.size() || field(site, 0) >= m_usSide || field(site, 1) >= m_usSide ||
        (site >> (2 * kFieldBits)) >= m_usSide || m_interior[site >> (2 * kFieldBits)] != part) {
      refuse();
    }
    m_site[slot] = site;
    m_cell[cellOf(site)] = slot;
  }
}

void Melt::decomposedSweep(RandomSource& random) {
  beginSweep(random);
  for (std::int32_t p = 0; p < m_decomposition.parts; ++p) planPart(p);
  for (std::int32_t p = 0; p < m_decomposition.parts; ++p) sweepPart(p);
  endSweep();
}

bool Melt::endMove(std::int32_t chain, int end, int direction) {
  return endMove(m_whole, chain, end, direction);
}

bool Melt::endMove(Mover& w, std::int32_t chain, int end, int direction) {
  tally(w, MeltMove::End);
  const std::int32_t bead = end == 0 ? 0 : m_steps;
  const std::uint32_t to = stepFrom(siteOf(chain, end == 0 ? 1 : m_steps - 1), direction);
  if (to == kNoSite || !inside(w, to)) return false;
  const std::uint32_t cell = cellOf(to);
  if (m_cell[cell] != kEmpty) return false;
  const std::uint32_t slot = slotOf(chain, bead);
  const std::uint32_t from = m_site[slot];
  if (!m_thermal) {
    place(slot, to);
    return accept(w, MeltMove::End);
  }
  // Only the bend next to the end changes.
  const std::int32_t next = end == 0 ? 1 : m_steps - 1;
  MeltEnergyTerms before = beadTerms(from);
  before.bends = movedBends(chain, next, next);
  place(slot, to);
  MeltEnergyTerms after = beadTerms(to);
  after.bends = movedBends(chain, next, next);
  if (keep(w, MeltMove::End, before, after)) return true;
  place(slot, from);
  return false;
}

bool Melt::kinkJump(std::int32_t chain, std::int32_t bead) {
  return kinkJump(m_whole, chain, bead);
}

bool Melt::kinkJump(Mover& w, std::int32_t chain, std::int32_t bead) {
  tally(w, MeltMove::Kink);
  const std::uint32_t before = siteOf(chain, bead - 1);
  const std::uint32_t slot = slotOf(chain, bead);
  const std::uint32_t here = m_site[slot];
  const std::uint32_t after = siteOf(chain, bead + 1);
  // At a corner the sites before and after differ on two axes and agree on the third; on each
  // axis two of the three sites agree, and the opposite corner takes the third's coordinate.
  const std::uint32_t differ = before ^ after;
  const int axes = ((differ & kFieldMask) != 0) + (((differ >> kFieldBits) & kFieldMask) != 0) +
                   ((differ >> (2 * kFieldBits)) != 0);
  if (axes != 2) return false;
  const std::uint32_t to = before ^ here ^ after;
  if (!inside(w, to)) return false;
  const std::uint32_t cell = cellOf(to);
  if (m_cell[cell] != kEmpty) return false;
  if (!m_thermal) {
    place(slot, to);
    return accept(w, MeltMove::Kink);
  }
  MeltEnergyTerms was = beadTerms(here);
  was.bends = movedBends(chain, bead - 1, bead + 1);
  place(slot, to);
  MeltEnergyTerms is = beadTerms(to);
  is.bends = movedBends(chain, bead - 1, bead + 1);
  if (keep(w, MeltMove::Kink, was, is)) return true;
  place(slot, here);
  return false;
}

bool Melt::crankshaft(std::int32_t chain, std::int32_t bead, int turn) {
  return crankshaft(m_whole, chain, bead, turn);
}

bool Melt::crankshaft(Mover& w, std::int32_t chain, std::int32_t bead, int turn) {
  tally(w, MeltMove::Crankshaft);
  const std::uint32_t a = siteOf(chain, bead - 1);
  const std::uint32_t slotB = slotOf(chain, bead);
  const std::uint32_t slotC = slotOf(chain, bead + 1);
  const std::uint32_t d = siteOf(chain, bead + 2);
  const int out = directionBetween(a, m_site[slotB]);
  if (directionBetween(m_site[slotC], d) != (out ^ 1)) return false;
  if (!inside(w, m_site[slotC])) return false;
  const int axis = directionBetween(m_site[slotB], m_site[slotC]) / 2;
  const int turned = kQuarterTurns[axis][(kPlaceInTurns[axis][out] + turn) % 4];
  const std::uint32_t b2 = stepFrom(a, turned);
  const std::uint32_t c2 = stepFrom(d, turned);
  if (b2 == kNoSite || c2 == kNoSite || !inside(w, b2) || !inside(w, c2)) return false;
  const std::uint32_t cellB = cellOf(b2), cellC = cellOf(c2);
  if (m_cell[cellB] != kEmpty || m_cell[cellC] != kEmpty) return false;
  const std::uint32_t b1 = m_site[slotB], c1 = m_site[slotC];
  if (!m_thermal) {
    place(slotB, b2);
    place(slotC, c2);
    return accept(w, MeltMove::Crankshaft);
  }
  // The pair's neighbours count their own bond twice, before and after alike.
  const auto terms = [&](std::uint32_t b, std::uint32_t c) {
    MeltEnergyTerms t = beadTerms(b);
    const MeltEnergyTerms u = beadTerms(c);
    t.contacts += u.contacts;
    t.wallSites += u.wallSites;
    t.bends = movedBends(chain, bead - 1, bead + 2);
    return t;
  };
  const MeltEnergyTerms before = terms(b1, c1);
  place(slotB, b2);
  place(slotC, c2);
  if (keep(w, MeltMove::Crankshaft, before, terms(b2, c2))) return true;
  place(slotB, b1);
  place(slotC, c1);
  return false;
}

bool Melt::reptation(std::int32_t chain, int end, int direction) {
  return reptation(m_whole, chain, end, direction);
}

bool Melt::reptation(Mover& w, std::int32_t chain, int end, int direction) {
  tally(w, MeltMove::Reptation);
  // A part reptates only the chains it owns (both ends inside it), and keeps both ends inside.
  if (w.part != kWhole && m_owner[static_cast<std::size_t>(chain)] != w.part) return false;
  // The bead at the other end leaves its site and, its slot reused, becomes the new end bead.
  const std::uint32_t from = siteOf(chain, end == 0 ? 0 : m_steps);
  const std::uint32_t leaving = slotOf(chain, end == 0 ? m_steps : 0);
  const std::uint32_t to = stepFrom(from, direction);
  if (to == kNoSite || !inside(w, to) || !inside(w, siteOf(chain, end == 0 ? m_steps - 1 : 1))) {
    return false;
  }
  const std::uint32_t cell = cellOf(to);
  if (m_cell[cell] != kEmpty && m_cell[cell] != leaving) return false;
  // The chain keeps its shape but for its ends: the bend next to the end left goes, one next
  // to the new end comes; the bonds stay as many, so the contacts change as the neighbours of
  // the site left and the site taken.
  const std::uint32_t left = m_site[leaving];
  MeltEnergyTerms before;
  if (m_thermal) {
    before = beadTerms(left);
    before.bends = end == 0 ? movedBends(chain, m_steps - 1, m_steps - 1) : movedBends(chain, 1, 1);
  }
  place(leaving, to);
  std::uint32_t& head = m_head[static_cast<std::size_t>(chain)];
  const std::uint32_t oldHead = head;
  if (end == 0) {
    head = head == 0 ? m_ring - 1 : head - 1;
  } else {
    head = head + 1 == m_ring ? 0 : head + 1;
  }
  if (!m_thermal) return accept(w, MeltMove::Reptation);
  MeltEnergyTerms after = beadTerms(to);
  after.bends = end == 0 ? movedBends(chain, 1, 1) : movedBends(chain, m_steps - 1, m_steps - 1);
  if (keep(w, MeltMove::Reptation, before, after)) return true;
  head = oldHead;
  place(leaving, left);
  return false;
}

bool Melt::pivot(std::int32_t chain, std::int32_t side, int symmetry) {
  return pivot(m_whole, chain, side, symmetry);
}

bool Melt::pivot(Mover& w, std::int32_t chain, std::int32_t side, int symmetry) {
  tally(w, MeltMove::Pivot);
  const auto& image = directionImages().of[static_cast<std::size_t>(symmetry)];
  // The side turned runs from the pivot outwards: beads bead - 1 down to 0, or bead + 1 up to N.
  const bool low = side >= m_steps;
  const std::int32_t bead = low ? side - m_steps + 1 : side;
  const std::int32_t way = low ? -1 : 1;
  const std::int32_t turned = low ? bead : m_steps - bead;
  const std::uint32_t chainFirst = static_cast<std::uint32_t>(chain) * m_ring;
  // Every new site must be inside the box, and empty or held by a bead that moves; most
  // attempts in a dense melt end after a few beads.
  std::uint32_t previousOld = siteOf(chain, bead);
  std::uint32_t previousNew = previousOld;
  for (std::int32_t k = 1; k <= turned; ++k) {
    const std::uint32_t old = siteOf(chain, bead + way * k);
    const int direction = image[static_cast<std::size_t>(directionBetween(previousOld, old))];
    const std::uint32_t site = stepFrom(previousNew, direction);
    if (site == kNoSite || !inside(w, old) || !inside(w, site)) return false;
    const std::uint32_t holder = m_cell[cellOf(site)];
    if (holder != kEmpty) {
      if (holder - chainFirst >= m_ring) return false;
      const std::int32_t held = beadOf(chain, holder);
      if (low ? held >= bead : held <= bead) return false;
    }
    w.moved[static_cast<std::size_t>(k)] = site;
    previousOld = old;
    previousNew = site;
  }
  // That is all: two turned beads never land on one site, since their new sites differ by the
  // turned difference of their old ones, and a lattice symmetry takes a difference of whole
  // periods (zero across walls, where no two sites of the box are a period apart) to one and
  // back: they would have shared a site before.
  // The turned side is moved rigidly: only the bend at the pivot changes, and the contacts as
  // the pairs of neighbours with a turned bead in them, each counted once (a pair of turned
  // beads may part or meet where a wall stands in for a period).
  const auto terms = [&] {
    MeltEnergyTerms t;
    for (std::int32_t k = 1; k <= turned; ++k) {
      const std::uint32_t site = siteOf(chain, bead + way * k);
      for (int d = 0; d < (m_energy.contact != 0.0 ? 6 : 0); ++d) {
        const std::uint32_t to = stepFrom(site, d);
        if (to == kNoSite) continue;
        const std::uint32_t holder = m_cell[cellOf(to)];
        if (holder == kEmpty) continue;
        if (holder - chainFirst < m_ring) {
          const std::int32_t apart = (beadOf(chain, holder) - bead) * way;
          if (apart > 0 && apart <= k) continue;  // a turned bead, counted from the farther one
        }
        ++t.contacts;
      }
      if (m_energy.wall != 0.0) t.wallSites += onWall(site);
    }
    t.bends = movedBends(chain, bead, bead);
    return t;
  };
  // Each turned bead's site and w.moved's swap places: undoing the move is doing it again.
  const auto turn = [&] {
    for (std::int32_t k = 1; k <= turned; ++k) {
      m_cell[cellOf(siteOf(chain, bead + way * k))] = kEmpty;
    }
    for (std::int32_t k = 1; k <= turned; ++k) {
      const std::uint32_t slot = slotOf(chain, bead + way * k);
      std::swap(m_site[slot], w.moved[static_cast<std::size_t>(k)]);
      m_cell[cellOf(m_site[slot])] = slot;
    }
  };
  if (!m_thermal) {
    turn();
    return accept(w, MeltMove::Pivot);
  }
  const MeltEnergyTerms before = terms();
  turn();
  if (keep(w, MeltMove::Pivot, before, terms())) return true;
  turn();
  return false;
}

bool Melt::tailSwap(std::int32_t chain, std::int32_t bead, int direction) {
  return tailSwap(m_whole, chain, bead, direction);
}

bool Melt::tailSwap(Mover& w, std::int32_t chain, std::int32_t bead, int direction) {
  tally(w, MeltMove::TailSwap);
  const std::uint32_t site = stepFrom(siteOf(chain, bead), direction);
  if (site == kNoSite) return false;
  const std::uint32_t holder = m_cell[cellOf(site)];
  if (holder == kEmpty) return false;
  const std::int32_t other = chainOf(holder);
  if (other == chain || !mayMove(w, other) || beadOf(other, holder) != bead + 1) return false;
  const std::uint32_t next = siteOf(chain, bead + 1);
  const std::uint32_t otherSite = siteOf(other, bead);
  bool adjacent = false;
  for (int d = 0; d < 6 && !adjacent; ++d) adjacent = stepFrom(next, d) == otherSite;
  if (!adjacent) return false;
  // The shorter parts, or in a part of a decomposed sweep the longer ones when only they lie
  // inside it: either swap keeps every site where it is, so the choice is the same both ways.
  bool heads = bead + 1 <= m_steps - bead;
  if (!swapInside(w, chain, other, heads ? 0 : bead + 1, heads ? bead : m_steps)) {
    heads = !heads;
    if (!swapInside(w, chain, other, heads ? 0 : bead + 1, heads ? bead : m_steps)) return false;
  }
  const std::int32_t first = heads ? 0 : bead + 1;
  const std::int32_t last = heads ? bead : m_steps;
  if (!m_thermal || m_energy.bend == 0.0) {
    swapTails(chain, other, first, last);
    return accept(w, MeltMove::TailSwap);
  }
  // No bead changes its site, so neither the contacts nor the wall sites change; only the
  // bends at the two beads beside the swapped bonds of each chain.
  const auto terms = [&] {
    return MeltEnergyTerms{0, movedBends(chain, bead, bead + 1) + movedBends(other, bead, bead + 1),
                           0};
  };
  const MeltEnergyTerms before = terms();
  swapTails(chain, other, first, last);
  if (keep(w, MeltMove::TailSwap, before, terms())) return true;
  swapTails(chain, other, first, last);
  return false;
}

bool Melt::swapInside(const Mover& w, std::int32_t chain, std::int32_t other, std::int32_t first,
                      std::int32_t last) const {
  if (w.part == kWhole) return true;
  // From the bead next to the other chain outwards, each bead one step from one found inside.
  const bool heads = first == 0;
  for (const std::int32_t c : {chain, other}) {
    for (std::int32_t b = heads ? last : first; heads ? b >= first : b <= last;
         b += heads ? -1 : 1) {
      if (!inside(w, siteOf(c, b))) return false;
    }
  }
  return true;
}

void Melt::swapTails(std::int32_t chain, std::int32_t other, std::int32_t first,
                     std::int32_t last) {
  for (std::int32_t b = first; b <= last; ++b) {
    const std::uint32_t mine = slotOf(chain, b), theirs = slotOf(other, b);
    std::swap(m_site[mine], m_site[theirs]);
    m_cell[cellOf(m_site[mine])] = mine;
    m_cell[cellOf(m_site[theirs])] = theirs;
  }
}

void Melt::chainSites(std::int32_t chain, std::vector<Point>& out) const {
  out.resize(m_ring);
  const Point first = unpack(siteOf(chain, 0));
  std::size_t b = 0;
  forEachSite(chain, [&](std::int32_t x, std::int32_t y, std::int32_t z) {
    out[b++] = Point{first.x + x, first.y + y, first.z + z};
  });
}

void Melt::wrappedSites(std::vector<Point>& sites, std::vector<Point>& images) const {
  sites.resize(m_site.size());
  images.resize(m_site.size());
  std::vector<Point> unwrapped;
  std::size_t k = 0;
  for (std::int32_t c = 0; c < m_chains; ++c) {
    chainSites(c, unwrapped);
    for (std::int32_t b = 0; b <= m_steps; ++b, ++k) {
      const Point w = unpack(siteOf(c, b));
      const Point u = unwrapped[static_cast<std::size_t>(b)];
      sites[k] = w;
      images[k] = Point{(u.x - w.x) / m_side, (u.y - w.y) / m_side, (u.z - w.z) / m_side};
    }
  }
}

MeltChainShape Melt::shape(std::int32_t chain) const {
  // Sites relative to bead 0: integer sums exact (|coordinate| <= N < 2^30).
  std::int64_t sum[3] = {0, 0, 0};
  Point last;
  forEachSite(chain, [&](std::int32_t x, std::int32_t y, std::int32_t z) {
    sum[0] += x;
    sum[1] += y;
    sum[2] += z;
    last = Point{x, y, z};
  });
  MeltChainShape shape;
  shape.endToEnd = last;
  shape.squaredEndToEnd =
      static_cast<double>(std::int64_t{last.x} * last.x + std::int64_t{last.y} * last.y +
                          std::int64_t{last.z} * last.z);
  // A second pass about the centre of mass, in bead order.
  const double n = static_cast<double>(m_ring);
  const double cx = static_cast<double>(sum[0]) / n, cy = static_cast<double>(sum[1]) / n,
               cz = static_cast<double>(sum[2]) / n;
  double spread = 0.0;
  forEachSite(chain, [&](std::int32_t x, std::int32_t y, std::int32_t z) {
    const double dx = x - cx, dy = y - cy, dz = z - cz;
    spread += dx * dx + dy * dy + dz * dz;
  });
  shape.squaredGyrationRadius = spread / n;
  return shape;
}

std::string Melt::fault() const {
  const std::size_t beads = static_cast<std::size_t>(m_chains) * m_ring;
  if (m_site.size() != beads || m_head.size() != static_cast<std::size_t>(m_chains) ||
      m_cell.size() != static_cast<std::size_t>(m_side) * m_usArea) {
    return "the arrays do not have the melt's dimensions";
  }
  for (std::int32_t c = 0; c < m_chains; ++c) {
    if (m_head[static_cast<std::size_t>(c)] >= m_ring) {
      return "chain " + std::to_string(c) + " has its ring offset out of range";
    }
  }
  std::size_t held = 0;
  for (std::size_t cell = 0; cell < m_cell.size(); ++cell) {
    const std::uint32_t slot = m_cell[cell];
    if (slot == kEmpty) continue;
    ++held;
    if (slot >= beads || cellOf(m_site[slot]) != cell) {
      return "cell " + std::to_string(cell) + " names a bead that is not on it";
    }
  }
  if (held != beads) return "the cells hold " + std::to_string(held) + " beads, not all";
  for (std::int32_t c = 0; c < m_chains; ++c) {
    for (std::int32_t b = 0; b <= m_steps; ++b) {
      const std::string where = "chain " + std::to_string(c) + " bead " + std::to_string(b);
      const std::uint32_t site = siteOf(c, b);
      if (site >> (3 * kFieldBits) != 0 || field(site, 0) >= m_usSide ||
          field(site, 1) >= m_usSide || field(site, 2) >= m_usSide) {
        return where + " is outside the box";
      }
      if (m_cell[cellOf(site)] != slotOf(c, b)) return where + " is not in its cell";
      if (b == 0) continue;
      const std::uint32_t previous = siteOf(c, b - 1);
      bool bonded = false;
      for (int d = 0; d < 6 && !bonded; ++d) bonded = stepFrom(previous, d) == site;
      if (!bonded) return where + " is not one step from the bead before it";
    }
  }
  return {};
}

MeltInternalDistances::MeltInternalDistances(std::int32_t steps)
    : m_steps(steps), m_at(steps >= 1 ? spacedSteps(steps) : std::vector<std::int32_t>{}) {
  if (steps < 1) throw std::invalid_argument("MeltInternalDistances: at least one step");
  m_sums.assign(m_at.size(), 0.0);
}

std::vector<std::int32_t> MeltInternalDistances::spacedSteps(std::int32_t steps) {
  std::vector<std::int32_t> at;
  for (std::int32_t n = 1; n < steps; n = n < kAllUpTo ? n + 1 : n + n / 8) at.push_back(n);
  at.push_back(steps);
  return at;
}

bool MeltInternalDistances::add(const Melt& melt, const std::function<bool()>& stopRequested) {
  // Pairs between two looks at the stop flag: a few milliseconds.
  constexpr std::size_t kPollPairs = std::size_t{1} << 22;
  std::size_t sincePoll = 0;
  if (melt.steps() != m_steps) {
    throw std::invalid_argument("MeltInternalDistances: a melt of another length");
  }
  const auto ring = static_cast<std::size_t>(m_steps) + 1;
  m_x.resize(ring);
  m_y.resize(ring);
  m_z.resize(ring);
  std::ranges::fill(m_sums, 0.0);
  for (std::int32_t c = 0; c < melt.chains(); ++c) {
    std::size_t b = 0;
    melt.forEachSite(c, [&](std::int32_t x, std::int32_t y, std::int32_t z) {
      m_x[b] = x;
      m_y[b] = y;
      m_z[b] = z;
      ++b;
    });
    // Four running sums in a fixed order let the loop go wide; they are whole numbers, exact
    // while C N^3 stays below 2^51.
    const double* x = m_x.data();
    const double* y = m_y.data();
    const double* z = m_z.data();
    for (std::size_t k = 0; k < m_at.size(); ++k) {
      const auto n = static_cast<std::size_t>(m_at[k]);
      const std::size_t pairs = ring - n;
      if ((sincePoll += pairs) >= kPollPairs) {
        sincePoll = 0;
        if (stopRequested && stopRequested()) return false;
      }
      double s[4] = {0, 0, 0, 0};
      std::size_t i = 0;
      for (; i + 4 <= pairs; i += 4) {
        for (std::size_t j = 0; j < 4; ++j) {
          const double dx = x[i + j + n] - x[i + j], dy = y[i + j + n] - y[i + j],
                       dz = z[i + j + n] - z[i + j];
          s[j] += dx * dx + dy * dy + dz * dz;
        }
      }
      for (; i < pairs; ++i) {
        const double dx = x[i + n] - x[i], dy = y[i + n] - y[i], dz = z[i + n] - z[i];
        s[0] += dx * dx + dy * dy + dz * dz;
      }
      m_sums[k] += (s[0] + s[1]) + (s[2] + s[3]);
    }
  }
  m_last.resize(m_at.size());
  for (std::size_t k = 0; k < m_at.size(); ++k) {
    const double pairs =
        static_cast<double>(melt.chains()) * static_cast<double>(m_steps + 1 - m_at[k]);
    m_last[k] = m_sums[k] / pairs;
  }
  ++m_configurations;
  m_chains += melt.chains();
  return true;
}

}  // namespace polychain
