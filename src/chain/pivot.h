// The pivot algorithm for the self-avoiding walk on the simple cubic lattice, with the walk held
// as Clisby's SAW-tree: an attempted pivot costs polylogarithmic time in N instead of the O(N)
// of a walk kept as a list of sites, and the walk takes about 12.6 bytes per site. Every random
// draw comes from the RandomSource passed in, so the same seed gives the same walk on every
// platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "chain/lattice.h"
#include "chain/random.h"

namespace polychain {

// The 48 symmetries of the cubic lattice fixing the origin (signed axis permutations); 0 is the
// identity. Symmetry s = 8 * permutation + signs takes axis k of its image from axis
// permutation[k] of the point, negated when bit k of the signs is set.
inline constexpr int kLatticeSymmetries = 48;
Point applySymmetry(int symmetry, const Point& p);
// The symmetry `outer` applied after `inner`, and the symmetry that undoes `symmetry`.
int composeSymmetries(int outer, int inner);
int inverseSymmetry(int symmetry);

// A uniform whole number in [0, bound) from `random`, the same on every platform (bound >= 1):
// Lemire's multiply-shift on next(), redrawing the rare draws that would bias it.
std::uint64_t uniformBelow(RandomSource& random, std::uint64_t bound);

// What a move changes of a walk's energy terms, new less old: its contacts (pairs of sites
// one lattice unit apart that are not joined by a step) and its bends (sites where two
// consecutive steps are not parallel).
struct PivotChange {
  std::int32_t contacts = 0;
  std::int32_t bends = 0;
};

// A walk's energy in units of kT, linear in its contacts and bends; the zero energy is the
// athermal walk.
struct PivotEnergy {
  double contact = 0.0;  // each contact adds this
  double bend = 0.0;     // each bend adds this
  bool zero() const { return contact == 0.0 && bend == 0.0; }
  double of(const PivotChange& change) const {
    return contact * change.contacts + bend * change.bends;
  }
};

// The contacts and bends of the walk through `sites` (unit steps, no site twice), in
// O(N log N) and no memory beyond the sites, which it sorts.
PivotChange contactsAndBends(std::vector<Point> sites);

// An N-step self-avoiding walk from the origin held as a SAW-tree over blocks of at most 32
// sites. A pivot climbs once from the pivot site to the root: O(log N) nodes, plus bounding-box
// tests that grow about as log^2 N and site comparisons within a few pairs of blocks, and
// O(log N) nodes and one block written when accepted. end() and squaredGyrationRadius() are
// O(1), sites() O(N). Movable, not
// copyable; objects share nothing, so one per walker and thread.
class PivotWalk {
 public:
  static constexpr std::int32_t kMaxSteps = (1 << 26) - 2;

  explicit PivotWalk(std::int32_t steps);  // a straight rod along +x; 1 <= steps <= kMaxSteps
  // The walk through `sites` (origin first, unit steps, no site twice), in O(N log N) at most;
  // throws std::invalid_argument when they are not such a walk of 1 to kMaxSteps steps.
  explicit PivotWalk(const std::vector<Point>& sites);

  std::int32_t steps() const { return m_steps; }

  // Replaces the walk by a nearly equilibrated one drawn from `random`, by pseudo-dimerization:
  // pieces of up to 32 steps by simple sampling (a non-reversing walk, redrawn until self-
  // avoiding), then neighbouring pieces and halves joined with a uniform symmetry; while a join
  // intersects, two pieces are drawn afresh, larger halves get four pivot attempts each and a
  // turn of the right half, and a new symmetry is drawn. O(N log N) time. The mean squared
  // radius of gyration comes out about 7 % below equilibrium (N = 10^4, 10^5), so a burn-in of
  // pivot attempts (about N of them) should follow. `keepGoing` is polled at least every few
  // milliseconds of work; when it answers false the call returns false after resetting the walk
  // to the rod (O(N)).
  bool initialise(RandomSource& random, const std::function<bool()>& keepGoing);
  // The walk that PivotWalk(steps) followed by initialise(random, keepGoing) gives, bit for
  // bit and with the same draws, but without building the rod first and with `keepGoing`
  // also polled while the memory is set up (a second or more at the largest N); none when it
  // answered false.
  static std::optional<PivotWalk> initialised(std::int32_t steps, RandomSource& random,
                                              const std::function<bool()>& keepGoing);

  // Pivot at `site` (0 <= site < steps) with `symmetry` (1..47): w_j for j > site becomes
  // w_site + g(w_j - w_site). Applied and true when the result is self-avoiding; otherwise the
  // walk is unchanged. Throws std::out_of_range for a site or symmetry out of range.
  bool pivot(std::int32_t site, int symmetry);
  // One attempted pivot, the site (uniform in 0..N-1) then the symmetry (uniform in 1..47) drawn
  // with uniformBelow.
  bool attempt(RandomSource& random);
  // Pivot at `site` with `symmetry` when the result is self-avoiding and `accept`, told what the
  // pivot changes, takes it; the change is left in `change` whenever the result is
  // self-avoiding. Contacts are counted only when `countContacts` (else 0): the contacts the
  // pivot makes and breaks are found as the overlaps are, with boxes grown by one site (an
  // attempt under an energy costs three to four athermal ones: bench_pivotenergy), and its
  // bend at the pivot site in O(log N).
  bool pivot(std::int32_t site, int symmetry, bool countContacts,
             const std::function<bool(const PivotChange&)>& accept, PivotChange& change);
  // One attempted pivot under `energy`, drawn as attempt(random) draws it and accepted by
  // Metropolis: always when the energy does not rise, else with probability exp(-rise), one
  // more draw deciding. Under the zero energy it is attempt(random), draw for draw. `change`
  // holds what an accepted pivot changed (zero when none was), contacts included whatever
  // the contact energy.
  bool attempt(RandomSource& random, const PivotEnergy& energy, PivotChange& change);
  // A kink jump at `site` (1 <= site < N), a local move for compact walks that pivots rarely
  // change: where the site's two neighbours are not in line, it moves to the opposite corner
  // of their square, when that is free and `accept`, told the change, takes it; `change` holds
  // what a taken jump changed (zero when none was). Only sites strictly inside a block of the
  // tree move (others answer false): a set fixed by N, so the move is its own inverse.
  // O(log N).
  bool kink(std::int32_t site, const std::function<bool(const PivotChange&)>& accept,
            PivotChange& change);
  // One kink jump at a site uniform in 1..N-1 (none for N = 1), accepted by Metropolis under
  // `energy` as attempt(random, energy, change) accepts a pivot.
  bool kinkAttempt(RandomSource& random, const PivotEnergy& energy, PivotChange& change);
  // A crankshaft at sites `site` and site + 1 (1 <= site < N - 1), a local move as the kink
  // jump: where sites site - 1 and site + 2 are neighbours, the two sites between turn about
  // the axis through them, to the opposite side (`turn` 0) or a side at right angles (1 or 2,
  // along +/- axis x the step into `site`), when both places are free and `accept` takes the
  // change; `change` as for kink(). Only pairs strictly inside a block move. O(log N).
  bool crankshaft(std::int32_t site, int turn,
                  const std::function<bool(const PivotChange&)>& accept, PivotChange& change);
  // One crankshaft at a site uniform in 1..N-2 (none for N < 3) with a turn uniform in 0..2,
  // accepted by Metropolis under `energy`.
  bool crankshaftAttempt(RandomSource& random, const PivotEnergy& energy, PivotChange& change);
  // Whether a site of the walk lies at `p`, O(log N) when the walk is not folded over itself.
  bool occupied(const Point& p) const;

  Point end() const;  // the last site, O(1)
  // Site `i` of the walk (0 is the origin, N the end), O(log N); throws std::out_of_range for
  // i outside 0..N.
  Point site(std::int32_t i) const;
  // The mean squared distance of the N + 1 sites from their centre of mass, O(1) from the
  // sums kept in the nodes (exact sums of the sites, squared norms summed in double).
  double squaredGyrationRadius() const;
  void sites(std::vector<Point>& out) const;  // the N + 1 sites, origin first, O(N)
  std::size_t bytes() const;                  // memory held

 private:
  // The tree keeps one shape: a run of at most kBlockMost sites is a block, whose sites are
  // kept in its own frame (its first site at (1, 0, 0), one step from the frame's origin along
  // +x), a byte a coordinate; a longer run [lo, hi) is the node joining site mid - 1 to site
  // mid, mid = lo + (hi - lo) / 2, whose children are the runs [lo, mid) and [mid, hi). A
  // reference r > 0 names node slot r (a node of the tree at slot mid / 16, which no other
  // shares, or a gathered side of a pivot under test past them); r <= 0 names the block
  // starting at site -r, or past the last site, a part of a block cut by a pivot.
  static constexpr std::int32_t kBlockMost = 32;
  // A node's right child follows its left child's last site, turned by the node's symmetry.
  // Boxes are held as six lower bounds, lo x, y, z, then -hi x, y, z: a symmetry only permutes
  // the six, and two boxes are apart when one sum of a bound of each is positive.
  struct alignas(64) Node {
    std::int32_t box[6];
    std::int32_t last[3];      // the last site
    std::int32_t leftLast[3];  // the left child's last site, which the right child follows
    std::int32_t left;
    std::int32_t right;
    std::uint32_t sitesAndSymmetry;  // sites << 6 | the symmetry applied to the right child
  };
  struct alignas(16) BlockBox {  // at slot first site / 16: blocks have more than 16 sites
    std::int8_t box[6];
    std::int8_t last[3];
    std::uint8_t sites;
  };
  // Sites of a block from `sites` on, `count` of them, seen in a frame of their own: the site
  // at p in the block's frame is at symmetry(p) + offset. A whole block's own frame is the
  // block's; a block cut by a pivot gives two parts.
  struct Run {
    const std::uint32_t* sites;
    std::int32_t count;
    int symmetry;
    std::int32_t offset[3];
  };
  struct Part {
    Run run;
    std::int32_t box[6];  // in the part's frame
    std::int32_t last[3];
  };
  // A tree node's sites summed in its own frame: their vectors, exact, and their squared norms,
  // exact while below 2^53. A node combines its children's in O(1) when it is refreshed, only
  // for nodes of the tree; a block's are summed when its sites change.
  struct Moments {
    std::int64_t sum[3];
    double squares;
  };
  struct BlockMoments {  // at slot first site / 16, in the block's frame
    std::int32_t sum[3];
    std::int32_t squares;
  };
  struct FreeMemory {
    void operator()(void* memory) const;
  };
  using Vec = std::array<std::int32_t, 3>;

  static std::int32_t countOf(const Node& n) {
    return static_cast<std::int32_t>(n.sitesAndSymmetry >> 6);
  }
  static int symmetryOf(const Node& n) { return static_cast<int>(n.sitesAndSymmetry & 63U); }
  static void setSymmetry(Node& n, int symmetry) {
    n.sitesAndSymmetry = (n.sitesAndSymmetry & ~63U) | static_cast<std::uint32_t>(symmetry);
  }
  static std::int32_t refOf(std::int32_t lo, std::int32_t hi) {
    return hi - lo <= kBlockMost ? -lo : (lo + (hi - lo) / 2) >> 4;
  }
  Node& at(std::int32_t slot) { return m_nodes[static_cast<std::size_t>(slot)]; }
  const Node& at(std::int32_t slot) const { return m_nodes[static_cast<std::size_t>(slot)]; }
  bool isPart(std::int32_t ref) const { return -ref > m_steps; }
  const Part& part(std::int32_t ref) const {
    return m_parts[static_cast<std::size_t>(-ref - m_steps - 1)];
  }
  Part& part(std::int32_t ref) { return m_parts[static_cast<std::size_t>(-ref - m_steps - 1)]; }
  const BlockBox& blockBox(std::int32_t ref) const {
    return m_blockBoxes[static_cast<std::size_t>(-ref >> 4)];
  }
  const std::uint32_t* blockSites(std::int32_t ref) const {
    return &m_sites[static_cast<std::size_t>(-ref)];
  }
  Run runOf(std::int32_t ref) const {
    return isPart(ref) ? part(ref).run : Run{blockSites(ref), blockBox(ref).sites, 0, {0, 0, 0}};
  }
  // The box (widened), last site and count of sites of any reference.
  std::int32_t boxOf(std::int32_t ref, std::int32_t* box) const;
  void lastOf(std::int32_t ref, std::int32_t* last) const;
  std::int32_t boxAndLastOf(std::int32_t ref, std::int32_t* box, std::int32_t* last) const;
  void prefetchRef(std::int32_t ref) const;

  void refresh(std::int32_t slot);
  void refreshMoments(std::int32_t slot);
  Moments momentsOf(std::int32_t ref) const;
  void refreshBlock(std::int32_t lo, std::int32_t count);
  void cut(std::int32_t lo, std::int32_t hi, std::int32_t site, std::int32_t* pivot,
           int* rightSymmetry);
  template <bool kContacts>
  std::int32_t runsMeet(std::int32_t a, std::int32_t b, const std::int32_t* offset, int symmetry,
                        const std::int32_t* boxA, const std::int32_t* boxB) const;
  // kClash when the two sides meet; else, when kContacts, the pairs of their sites one unit
  // apart, and 0 when not.
  static constexpr std::int32_t kClash = -1;
  template <bool kContacts>
  std::int32_t meet(std::int32_t a, std::int32_t b, const Vec& offset, int symmetry) const;
  bool intersects(std::int32_t a, std::int32_t b, const Vec& offset, int symmetry) const {
    return meet<false>(a, b, offset, symmetry) == kClash;
  }
  // `judge`, when given, is told the pairs one unit apart across the pivot site in the result
  // (counted only when kContacts) and decides whether the pivot is taken.
  template <bool kContacts = false>
  bool pivotSubtree(std::int32_t lo, std::int32_t hi, std::int32_t split, int symmetry,
                    const std::function<bool(std::int32_t)>* judge = nullptr);
  // The pairs of sites one unit apart with one site up to `site` and one past it.
  std::int32_t pairsAcross(std::int32_t site);
  // The bends the pivot at `pivotSite` with `symmetry` adds (-1, 0 or 1).
  std::int32_t bendAt(std::int32_t pivotSite, int symmetry) const;
  // The block holding a site, sites [lo, hi), with the nodes above it, root first, and the
  // frame that takes its sites to the walk's: offset + symmetry(.).
  struct BlockPlace {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
    int depth = 0;
    std::int32_t path[64];
    int symmetry = 0;
    std::int32_t offset[3] = {0, 0, 0};
  };
  BlockPlace placeOf(std::int32_t site) const;
  // Puts site `site`, strictly inside the block, at `to` in the walk's frame; refreshAbove then
  // refreshes the block and the nodes above it.
  void moveSite(const BlockPlace& place, std::int32_t site, const Point& to);
  void refreshAbove(const BlockPlace& place);
  std::int32_t touching(const Point& p) const;  // the sites one unit from p
  template <class StepInto>
  std::int32_t build(std::int32_t lo, std::int32_t hi, int firstStep, const StepInto& stepInto,
                     bool* selfAvoiding);
  struct Unbuilt {};
  PivotWalk(std::int32_t steps, Unbuilt);  // allocated, nothing built
  // Allocates and clears the arrays; false, with nothing cleared past that point, when
  // `keepGoing` (asked between slices of a few megabytes, when given) answered false.
  bool allocate(const std::function<bool()>& keepGoing = {});
  void buildRod();
  bool samplePiece(std::int32_t lo, std::int32_t hi, RandomSource& random,
                   const std::function<bool()>& keepGoing);
  bool generate(std::int32_t lo, std::int32_t hi, RandomSource& random,
                const std::function<bool()>& keepGoing);
  bool poll(const std::function<bool()>& keepGoing);

  std::int32_t m_steps;
  std::int32_t m_root;
  std::unique_ptr<std::uint32_t[], FreeMemory> m_sites;        // every site in its block's frame
  std::unique_ptr<BlockBox[], FreeMemory> m_blockBoxes;        // slot first site / 16
  std::unique_ptr<Node[], FreeMemory> m_nodes;                 // slot mid / 16, then gathered sides
  std::unique_ptr<Moments[], FreeMemory> m_moments;            // slot mid / 16, tree nodes only
  std::unique_ptr<BlockMoments[], FreeMemory> m_blockMoments;  // slot first site / 16
  std::unique_ptr<Part[]> m_parts;                             // the two parts of a cut block
  std::int32_t m_firstGathered = 0;
  std::size_t m_bytes = 0;
  std::int32_t m_pollCountdown = 0;
};

}  // namespace polychain
