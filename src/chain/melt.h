// A lattice melt: C chains of N steps (N + 1 beads each) on the simple cubic lattice in a cubic
// box of side L, no site holding two beads, sampled by Monte Carlo moves. Every move proposes a
// change with the same probability as its reverse and keeps a valid result with the Metropolis
// probability min(1, exp(-change of energy)), so each valid configuration (chains labelled,
// each with its direction from bead 0 to bead N) weighs exp(-energy) in equilibrium: all
// equally likely at zero energy. The same seed and the same moves give the same configuration
// bit for bit. A sweep may also be split among threads by parts of the box (MeltDecomposition):
// each part moves only what lies inside it, so the parts run at once with the same result in
// any order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chain/largepages.h"
#include "chain/random.h"
#include "polychain/point.h"

namespace polychain {

// The hard walls of the box: a site beyond a wall does not exist; an axis without walls is
// periodic (a bond may cross it, and a chain may be longer than the box is wide).
enum class MeltWalls {
  None,  // periodic in x, y and z
  Z,     // a slit: walls normal to z
  YZ,    // a square channel along x: walls normal to y and to z
  XYZ,   // a closed box
};

// The kinds of move. What each one proposes, and from which equally likely choices, is said at
// its function in Melt below.
enum class MeltMove { End, Kink, Crankshaft, Reptation, Pivot, TailSwap };
inline constexpr int kMeltMoves = 6;

// Where the standard mix turns from reptation to tail swaps (N from kMeltLongChains), and
// takes pivots (volume fractions below kMeltDilute).
inline constexpr std::int32_t kMeltLongChains = 250;
inline constexpr double kMeltDilute = 0.2;

// The share of attempts of each kind (weights, any scale; zero leaves a kind out).
struct MeltMoveMix {
  std::array<double, kMeltMoves> weights{};
  // The mix for chains of `steps` steps at volume fraction `volumeFraction`, chosen by
  // measurement (bench_meltrelax; the figures are at its definition): short chains mostly
  // reptation, long chains mostly tail swaps and local moves, pivots only in dilute melts.
  static MeltMoveMix standard(std::int32_t steps, double volumeFraction);
  // A mix of one kind alone.
  static MeltMoveMix only(MeltMove kind);
};

struct MeltMoveCounts {
  std::array<std::int64_t, kMeltMoves> attempted{};
  std::array<std::int64_t, kMeltMoves> accepted{};
};

// How a decomposed sweep splits the box: `parts` slabs across z, taken from z less a random
// offset drawn each sweep (across z, as the chains are laid out plane by plane). A part moves
// only beads that stay, with every site its move reads, inside it (kMargin sites from its
// faces), and reptates only chains with both ends there, so parts never touch what another
// part reads. Fixed by the system, never by the threads.
struct MeltDecomposition {
  static constexpr std::int32_t kMargin = 2;  // a move reads up to 2 steps from a bead
  static constexpr std::int32_t kLeastWidth = 24;
  static constexpr double kWidthPerRootN = 2.5;
  static constexpr std::int32_t kMostParts = 64;
  std::int32_t parts = 1;
  // The largest power of two of slabs (at most kMostParts) at least kLeastWidth and
  // kWidthPerRootN sqrt(N) wide, else one. Chains wider than a slab reptate and swap tails
  // only where they fit inside one, so slabs narrower than the chains cost more sweeps than
  // the threads win: measured at phi 0.5, 1000 chains of N = 100 in two slabs of 29.5 need
  // 1.5 times the sweeps of one part (tau(R) 142 against 95), and 100 chains of N = 1000 in
  // two slabs over 4 times the processor time of one part.
  static MeltDecomposition standard(std::int32_t side, std::int32_t steps);
};

// The energy of a configuration in kT: `contact` for each pair of beads on neighbouring sites
// that no bond joins (of one chain or of two), `bend` for each bead whose two bonds are not
// parallel, `wall` for each bead on a layer next to a wall (one a bead, even in a corner).
struct MeltEnergy {
  double contact = 0.0;
  double bend = 0.0;
  double wall = 0.0;
  bool zero() const { return contact == 0.0 && bend == 0.0 && wall == 0.0; }
};

// A configuration's counts of the energy's terms (or, inside a move, their changes).
struct MeltEnergyTerms {
  std::int64_t contacts = 0;
  std::int64_t bends = 0;
  std::int64_t wallSites = 0;
};

// The shape of one chain: its end-to-end vector and squared radius of gyration.
struct MeltChainShape {
  Point endToEnd;
  double squaredEndToEnd = 0.0;
  double squaredGyrationRadius = 0.0;  // about the chain's centre of mass
};

// Memory: 4 bytes a bead (its site) and 4 bytes a cell of the box (which bead holds it), plus
// 4 bytes a chain and a scratch of 4 bytes a bead of one chain, and once sweeps are decomposed
// 4 more a bead (the parts' lists): at volume fraction phi about 8 + 4 / phi bytes a bead. Beads
// are kept in one ring buffer a chain, so a reptation move is O(1). Copyable (the tests copy melts
// to try moves on them).
class Melt {
 public:
  static constexpr std::int32_t kMostSide = 1024;

  // C chains of N steps laid one after another along a serpentine through the box (rows along
  // x, turning at the box's faces, never across a periodic boundary), chain c starting at the
  // serpentine's site floor(c L^3 / C): a valid configuration for any walls and any volume
  // fraction C (N + 1) / L^3 up to 1, drawn from nothing. Throws std::invalid_argument unless
  // C >= 1, N >= 1, 2 <= L <= kMostSide, L >= 3 when an axis is periodic (so that a bond's
  // direction follows from its two sites) and C (N + 1) <= L^3. The mix is the standard one
  // for N and the volume fraction unless given.
  Melt(std::int32_t chains, std::int32_t steps, std::int32_t side, MeltWalls walls);
  Melt(std::int32_t chains, std::int32_t steps, std::int32_t side, MeltWalls walls,
       const MeltMoveMix& mix);

  // The same melt (the standard mix) laid out in slices of a few milliseconds, calling
  // stopRequested() between them: nullopt as soon as it returns true. Checks as the
  // constructor.
  static std::optional<Melt> laidOut(std::int32_t chains, std::int32_t steps, std::int32_t side,
                                     MeltWalls walls, const std::function<bool()>& stopRequested);

  // The bytes a melt of these dimensions holds (what bytes() will say), for a check before one
  // is made; also defined for dimensions the constructor refuses.
  static std::uint64_t bytesNeeded(std::int64_t chains, std::int64_t steps, std::int64_t side);
  std::size_t bytes() const;

  std::int32_t chains() const { return m_chains; }
  std::int32_t steps() const { return m_steps; }
  std::int32_t side() const { return m_side; }
  MeltWalls walls() const { return m_walls; }
  double volumeFraction() const;

  // Random moves, the kind drawn by the mix, then the choices of that kind drawn uniformly with
  // uniformBelow. The state is all in the melt and the source, so attempts may be made in any
  // pieces (a runner polls its stop flag between them) with the same result.
  void setMix(const MeltMoveMix& mix);
  const MeltMoveMix& mix() const { return m_mix; }
  void attempt(RandomSource& random, std::int64_t attempts);
  // The energy the moves' Metropolis test weighs (zero when made). Throws std::invalid_argument
  // for a wall energy in a box without walls, or an energy that is not finite.
  void setEnergy(const MeltEnergy& energy);
  const MeltEnergy& energy() const { return m_energy; }
  // The configuration's terms, counted afresh: O(C N).
  MeltEnergyTerms energyTerms() const;
  double energyOf(const MeltEnergyTerms& terms) const {
    return m_energy.contact * static_cast<double>(terms.contacts) +
           m_energy.bend * static_cast<double>(terms.bends) +
           m_energy.wall * static_cast<double>(terms.wallSites);
  }
  // One Monte Carlo sweep: C (N + 1) attempts.
  void sweep(RandomSource& random) { attempt(random, sweepAttempts()); }
  std::int64_t sweepAttempts() const {
    return std::int64_t{m_chains} * (std::int64_t{m_steps} + 1);
  }

  // A sweep decomposed into parts, in three stages: beginSweep draws the offset and the key of
  // the parts' streams from `random` and fixes the parts' interiors and the chains each owns;
  // planPart(p) lists part p's beads and ends; once every part is planned, sweepPart(p) makes
  // part p's attempts (as many as its beads, the margins' included, on beads and ends chosen
  // uniformly in its interior), calling stopRequested() every few thousand (false when it said
  // stop); endSweep adds the parts' counts. Different parts' planPart, or sweepPart, may run at
  // the same time on different threads; the result does not depend on their order. Refused
  // when the box is narrower than the parts need (2 kMargin + 2 sites a slab, so that a bead
  // can step along z inside a part).
  void setDecomposition(const MeltDecomposition& decomposition);
  const MeltDecomposition& decomposition() const { return m_decomposition; }
  void beginSweep(RandomSource& random);
  void planPart(std::int32_t part);
  bool sweepPart(std::int32_t part, const std::function<bool()>& stopRequested = {});
  void endSweep();
  // The three stages on this thread, parts in order.
  void decomposedSweep(RandomSource& random);
  // What part p changed in its sweep (the sites of the beads in its interior, the ring offsets
  // of the chains it owns, its counts), after planPart(p) and sweepPart(p) and before endSweep
  // on this melt; loadPart gives it to a copy of
  // the melt that began the same sweep and did not sweep p, so that processes may each sweep
  // some of the parts and end with the same melt. loadPart throws std::invalid_argument for a
  // record that does not fit the sweep.
  void savePart(std::int32_t part, std::vector<std::byte>& out) const;  // appended to out
  std::vector<std::byte> savePart(std::int32_t part) const {
    std::vector<std::byte> out;
    savePart(part, out);
    return out;
  }
  void loadPart(std::int32_t part, std::span<const std::byte> record);

  // The moves with their choices given: each is one attempt, true and applied when accepted.
  // Directions are numbered as kUnitMove (+x, -x, +y, -y, +z, -z); `end` 0 is bead 0, 1 bead
  // N. attempt() draws the choices uniformly from the ranges given, so that each move's
  // proposal of a -> b is as likely as that of b -> a. The ranges are not checked.
  //
  // End bead `end` moved to the site one step along `direction` from its bonded neighbour.
  // Choices: chain, end 0..1, direction 0..5.
  bool endMove(std::int32_t chain, int end, int direction);
  // Bead `bead` (1..N-1), when at a right-angle corner, flipped to the opposite corner.
  bool kinkJump(std::int32_t chain, std::int32_t bead);
  // Beads `bead` and bead + 1 (bead 1..N-2), when the bond before them is antiparallel to the
  // bond after them (a U), turned by `turn` (1..3) quarter turns about the axis through beads
  // bead - 1 and bead + 2.
  bool crankshaft(std::int32_t chain, std::int32_t bead, int turn);
  // Slithering snake: a site one step along `direction` from end `end` becomes the new end
  // bead there and the other end's site is left; the new end may take the site just left.
  // Choices: chain, end 0..1, direction 0..5. O(1).
  bool reptation(std::int32_t chain, int end, int direction);
  // Pivot: one side of a bead turned about it by lattice symmetry `symmetry` (1..47, as
  // applySymmetry); `side` 0..N-1 turns beads side+1..N about bead `side`, N..2N-1 turns beads
  // 0..side-N about bead side-N+1. Either side, so that pivots alone reach every configuration
  // (turning only the shorter side never turns the middle bond). O(beads turned) when
  // accepted, usually far less when refused.
  bool pivot(std::int32_t chain, std::int32_t side, int symmetry);
  // A change of connectivity between two chains that keeps every chain N steps long: when the
  // site one step along `direction` from bead `bead` (0..N-1) holds bead + 1 of another chain
  // c', and bead + 1 of this chain is next to bead `bead` of c', the two chains swap their parts
  // past `bead` (the four beads close a cycle of four bonds: in a box wider than 4 a square,
  // the bonds bead -> bead + 1 antiparallel). The shorter parts are exchanged, beads 0..bead
  // when bead + 1 <= N - bead (which also swaps which chain is called c and which c'); in a
  // part of a decomposed sweep the longer ones when only they lie inside it.
  // Choices: chain, bead 0..N-1, direction 0..5. O(N) when accepted; in a monodisperse melt
  // bead + 1 of the neighbour is the right one about once in N, so it is rarely accepted.
  bool tailSwap(std::int32_t chain, std::int32_t bead, int direction);

  // The change of energy of the last valid result a move weighed (0 at zero energy).
  double lastChange() const { return m_whole.lastChange; }

  const MeltMoveCounts& counts() const { return m_whole.counts; }
  void resetCounts() { m_whole.counts = {}; }

  // Chain `chain`'s N + 1 sites unwrapped, bead 0 first: consecutive sites one unit apart, bead
  // 0 inside the box (coordinates 0..L-1). O(N).
  void chainSites(std::int32_t chain, std::vector<Point>& out) const;
  // Every bead, chain after chain, bead 0 first: its site inside the box and its image flags,
  // so that site + L * image is the unwrapped site of chainSites. O(C N).
  void wrappedSites(std::vector<Point>& sites, std::vector<Point>& images) const;
  // The chain's end-to-end vector, R^2 and Rg^2; integer sums, then double precision in bead
  // order. O(N).
  MeltChainShape shape(std::int32_t chain) const;
  // The chain's end-to-end vector alone: one pass. O(N).
  Point endToEnd(std::int32_t chain) const {
    Point last;
    forEachSite(chain, [&last](std::int32_t x, std::int32_t y, std::int32_t z) {
      last = Point{x, y, z};
    });
    return last;
  }

  // Calls visit(x, y, z) for each bead of the chain in order, bead 0 first, with its unwrapped
  // site less bead 0's (so 0, 0, 0 first); a few operations a bead.
  template <class Visit>
  void forEachSite(std::int32_t chain, const Visit& visit) const {
    const std::uint32_t* ring = &m_site[static_cast<std::size_t>(chain) * m_ring];
    const std::uint32_t head = m_head[static_cast<std::size_t>(chain)];
    const auto side = static_cast<std::int32_t>(m_usSide);
    std::int32_t p[3] = {0, 0, 0};
    std::uint32_t previous = ring[head];
    visit(0, 0, 0);
    const auto step = [&](std::uint32_t site) {
      for (int k = 0; k < 3; ++k) {
        // A coordinate changes by 1, or by L - 1 across a periodic face (L >= 3 there).
        std::int32_t d = static_cast<std::int32_t>(field(site, k)) -
                         static_cast<std::int32_t>(field(previous, k));
        d += side * ((d < -1) - (d > 1));
        p[k] += d;
      }
      previous = site;
      visit(p[0], p[1], p[2]);
    };
    for (std::uint32_t k = head + 1; k < m_ring; ++k) step(ring[k]);
    for (std::uint32_t k = 0; k < head; ++k) step(ring[k]);
  }

  // Empty when the melt is a valid configuration: every bead's site inside the box, every bond
  // a unit step (across a periodic face only), no site taken twice, the occupancy of every
  // cell naming exactly the bead on it, chains and lengths as made. Else what is wrong first.
  // O(C N + L^3).
  std::string fault() const;
  bool valid() const { return fault().empty(); }

 private:
  // A melt checked and with its tables, but no chain laid out yet (layOut does that, false
  // when stopRequested said so).
  struct Unplaced {};
  // What one thread's moves keep apart from another's: the stream of the Metropolis tests, the
  // counts, a pivot's scratch, and the part they keep to (kWhole: the whole box).
  static constexpr std::int32_t kWhole = -1;
  struct Mover {
    RandomSource* random = nullptr;
    MeltMoveCounts counts;
    std::vector<std::uint32_t> moved;  // a pivot's new sites
    double lastChange = 0.0;
    std::int32_t part = kWhole;
  };
  // A part of a decomposed sweep: its stream, the slots of the beads in its interior (the first
  // `count` of `beads`), its ends there (chain * 2 + end) and its attempts.
  struct Part {
    Mover mover;
    RandomSource random{0};
    std::vector<std::uint32_t> beads;
    std::size_t count = 0;
    std::vector<std::uint32_t> ends;
    std::int64_t attempts = 0;
  };
  Melt(std::int32_t chains, std::int32_t steps, std::int32_t side, MeltWalls walls,
       const MeltMoveMix& mix, Unplaced);
  bool layOut(const std::function<bool()>& stopRequested);

  // A site is kept packed, x | y << 10 | z << 20, each coordinate in 0..L-1.
  static constexpr int kFieldBits = 10;
  static constexpr std::uint32_t kFieldMask = (1U << kFieldBits) - 1;
  static constexpr std::uint32_t kNoSite = 0xffffffffU;  // a step beyond a wall
  static constexpr std::uint32_t kEmpty = 0xffffffffU;   // a cell without a bead

  static std::uint32_t field(std::uint32_t site, int axis) {
    return (site >> (kFieldBits * axis)) & kFieldMask;
  }
  std::uint32_t cellOf(std::uint32_t site) const {
    return (site & kFieldMask) + m_usSide * field(site, 1) + m_usArea * (site >> 20);
  }
  // The site one step along `direction`, or kNoSite beyond a wall.
  std::uint32_t stepFrom(std::uint32_t site, int direction) const {
    const auto d = static_cast<std::size_t>(direction);
    if (((site >> m_shift[d]) & kFieldMask) != m_edge[d]) return site + m_increment[d];
    return m_wrap[d] == kNoSite ? kNoSite : site + m_wrap[d];
  }
  // The direction from a site to a neighbouring one.
  int directionBetween(std::uint32_t from, std::uint32_t to) const;
  // Slot (index into m_site) of bead `bead` of chain `chain`: the chain's ring buffer starts
  // at chain (N + 1), its bead 0 at offset m_head[chain].
  std::uint32_t slotOf(std::int32_t chain, std::int32_t bead) const {
    std::uint32_t k = m_head[static_cast<std::size_t>(chain)] + static_cast<std::uint32_t>(bead);
    if (k >= m_ring) k -= m_ring;
    return static_cast<std::uint32_t>(chain) * m_ring + k;
  }
  std::uint32_t siteOf(std::int32_t chain, std::int32_t bead) const {
    return m_site[slotOf(chain, bead)];
  }
  // The chain whose ring holds `slot`: slot / (N + 1) by a multiplication, exact for every
  // 32-bit slot (the reciprocal, rounded up, errs by less than 2^-32 of a ring).
  std::int32_t chainOf(std::uint32_t slot) const {
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::int32_t>((static_cast<Wide>(slot) * m_ringReciprocal) >> 64);
  }
  // The bead number of the bead in `slot` of chain `chain`.
  std::int32_t beadOf(std::int32_t chain, std::uint32_t slot) const;
  Point unpack(std::uint32_t site) const;
  std::int32_t drawChain(RandomSource& random) const;
  bool accept(Mover& w, MeltMove kind) {
    ++w.counts.accepted[static_cast<std::size_t>(kind)];
    return true;
  }
  // Whether mover `w` may write a site: inside its part's interior.
  bool inside(const Mover& w, std::uint32_t site) const {
    return w.part == kWhole || m_interior[site >> (2 * kFieldBits)] == w.part;
  }
  // Whether mover `w` may move beads of a chain: one no other part owns (reptates).
  bool mayMove(const Mover& w, std::int32_t chain) const {
    if (w.part == kWhole) return true;
    const std::int32_t owner = m_owner[static_cast<std::size_t>(chain)];
    return owner == kWhole || owner == w.part;
  }
  bool endMove(Mover& w, std::int32_t chain, int end, int direction);
  bool kinkJump(Mover& w, std::int32_t chain, std::int32_t bead);
  bool crankshaft(Mover& w, std::int32_t chain, std::int32_t bead, int turn);
  bool reptation(Mover& w, std::int32_t chain, int end, int direction);
  bool pivot(Mover& w, std::int32_t chain, std::int32_t side, int symmetry);
  bool tailSwap(Mover& w, std::int32_t chain, std::int32_t bead, int direction);
  // Whether beads first..last of both chains lie inside w's part, walked outwards from the
  // bead next to the others.
  bool swapInside(const Mover& w, std::int32_t chain, std::int32_t other, std::int32_t first,
                  std::int32_t last) const;
  // The Metropolis test of every move under an energy: `before` and `after` are the terms of
  // what the move touched (contacts as the touched beads' occupied neighbours, whose change is
  // that of the contacts, since bonds are neighbours and their number stays). True (and
  // counted) when kept; false leaves the caller to undo the move.
  bool keep(Mover& w, MeltMove kind, const MeltEnergyTerms& before, const MeltEnergyTerms& after);
  // The occupied neighbours of a site, whether it is on a layer next to a wall, and the bends
  // at beads first..last of a chain (those of 1..N-1).
  std::int64_t neighbours(std::uint32_t site) const;
  std::int64_t onWall(std::uint32_t site) const;
  std::int64_t bendsAt(std::int32_t chain, std::int32_t first, std::int32_t last) const;
  // Inside a move, only the terms that weigh something are counted.
  MeltEnergyTerms beadTerms(std::uint32_t site) const {
    return {m_energy.contact != 0.0 ? neighbours(site) : 0, 0,
            m_energy.wall != 0.0 ? onWall(site) : 0};
  }
  std::int64_t movedBends(std::int32_t chain, std::int32_t first, std::int32_t last) const {
    return m_energy.bend != 0.0 ? bendsAt(chain, first, last) : 0;
  }
  // Bead in `slot` moved to `site`, its cells kept.
  void place(std::uint32_t slot, std::uint32_t site) {
    m_cell[cellOf(m_site[slot])] = kEmpty;
    m_cell[cellOf(site)] = slot;
    m_site[slot] = site;
  }
  void swapTails(std::int32_t chain, std::int32_t other, std::int32_t first, std::int32_t last);
  static void tally(Mover& w, MeltMove kind) {
    ++w.counts.attempted[static_cast<std::size_t>(kind)];
  }

  std::int32_t m_chains;
  std::int32_t m_steps;
  std::int32_t m_side;
  MeltWalls m_walls;
  std::uint32_t m_ring;            // N + 1
  std::uint64_t m_ringReciprocal;  // 2^64 / (N + 1), rounded up
  std::uint32_t m_usSide;
  std::uint32_t m_usArea;
  // Per direction: the bit shift of its axis, the coordinate at which a step leaves the box,
  // the packed increment of an ordinary step, of a step across the periodic face (or kNoSite).
  std::array<std::uint32_t, 6> m_shift{};
  std::array<std::uint32_t, 6> m_edge{};
  std::array<std::uint32_t, 6> m_increment{};
  std::array<std::uint32_t, 6> m_wrap{};

  MeltMoveMix m_mix;
  std::array<std::uint64_t, kMeltMoves> m_threshold{};  // cumulative, of a 53-bit draw

  using Table = std::vector<std::uint32_t, LargePageAllocator<std::uint32_t>>;
  Table m_site;                       // a packed site a slot
  std::vector<std::uint32_t> m_head;  // a ring offset a chain
  Table m_cell;                       // the slot on each cell, or kEmpty
  Mover m_whole;                      // of attempt() and the single moves
  MeltEnergy m_energy;
  bool m_thermal = false;          // m_energy not zero
  std::array<bool, 3> m_walled{};  // per axis
  // A decomposed sweep's: the parts, the interior each z lies in (or kWhole, in none), the part
  // that owns each chain (or kWhole), the offset and the key of the parts' streams.
  MeltDecomposition m_decomposition;
  std::vector<Part> m_parts;
  std::vector<std::int16_t> m_interior;
  std::vector<std::int32_t> m_owner;
  std::uint32_t m_offset = 0;
  std::uint64_t m_key = 0;
};

// The mean squared internal distances of melts of N steps on a logarithmic set of n: every n
// up to kAllUpTo, then each an eighth more than the one before, and N itself (some
// 16 + 8.5 ln(N / 16) of them). add() takes one configuration: for each n, the squared distance
// between beads i and i + n averaged over i and over the chains. It costs C N K pairs of beads
// for K values of n, about 0.5 ns a pair here: some 2 ms for 100 chains of N = 1000 (K = 53,
// an eleventh of all pairs).
class MeltInternalDistances {
 public:
  static constexpr std::int32_t kAllUpTo = 16;
  explicit MeltInternalDistances(std::int32_t steps);

  // The n measured for chains of `steps` steps, rising from 1 to `steps`.
  static std::vector<std::int32_t> spacedSteps(std::int32_t steps);

  // Adds a melt of `steps` steps, calling stopRequested() every few milliseconds of pairs;
  // false, and nothing added, as soon as it returns true.
  bool add(const Melt& melt, const std::function<bool()>& stopRequested = {});
  std::int64_t configurations() const { return m_configurations; }
  std::int64_t chains() const { return m_chains; }  // chains added, over all configurations
  const std::vector<std::int32_t>& at() const { return m_at; }
  // <R^2(n)> of the configuration added last, for each n of at().
  const std::vector<double>& last() const { return m_last; }

 private:
  std::int32_t m_steps;
  std::int64_t m_configurations = 0;
  std::int64_t m_chains = 0;
  std::vector<std::int32_t> m_at;
  std::vector<double> m_sums;  // of the configuration being added, for each n of m_at
  std::vector<double> m_last;
  std::vector<double> m_x, m_y, m_z;  // one chain unwrapped
};

}  // namespace polychain
