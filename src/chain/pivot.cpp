#include "chain/pivot.h"

#include <algorithm>
#include <stdexcept>

namespace polychain {

namespace {

constexpr int kPermutations[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                     {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};

struct SymmetryTables {
  int axis[kLatticeSymmetries][3];           // the image's axis k comes from axis[k]
  std::int32_t sign[kLatticeSymmetries][3];  // times +1 or -1
  std::uint8_t compose[kLatticeSymmetries][kLatticeSymmetries];  // [outer][inner]
  std::uint8_t inverse[kLatticeSymmetries];
  std::uint8_t towards[6];  // a symmetry taking (1, 0, 0) to unit move d
};

constexpr std::array<int, 3> rawApply(int s, const std::array<int, 3>& p) {
  std::array<int, 3> out{};
  for (int k = 0; k < 3; ++k) {
    const int v = p[static_cast<std::size_t>(kPermutations[s / 8][k])];
    out[static_cast<std::size_t>(k)] = ((s >> k) & 1) != 0 ? -v : v;
  }
  return out;
}

constexpr SymmetryTables makeTables() {
  SymmetryTables t{};
  for (int s = 0; s < kLatticeSymmetries; ++s) {
    for (int k = 0; k < 3; ++k) {
      t.axis[s][k] = kPermutations[s / 8][k];
      t.sign[s][k] = ((s >> k) & 1) != 0 ? -1 : 1;
    }
  }
  // (a after b) takes axis k from axis b.axis[a.axis[k]], with both signs on the way.
  for (int a = 0; a < kLatticeSymmetries; ++a) {
    for (int b = 0; b < kLatticeSymmetries; ++b) {
      int axis[3] = {};
      int signs = 0;
      for (int k = 0; k < 3; ++k) {
        const int via = t.axis[a][k];
        axis[k] = t.axis[b][via];
        if (t.sign[a][k] * t.sign[b][via] < 0) signs |= 1 << k;
      }
      int permutation = 0;
      while (kPermutations[permutation][0] != axis[0] || kPermutations[permutation][1] != axis[1]) {
        ++permutation;
      }
      t.compose[a][b] = static_cast<std::uint8_t>(8 * permutation + signs);
    }
  }
  for (int a = 0; a < kLatticeSymmetries; ++a) {
    for (int c = 0; c < kLatticeSymmetries; ++c) {
      if (t.compose[a][c] == 0) t.inverse[a] = static_cast<std::uint8_t>(c);
    }
  }
  for (int d = 0; d < 6; ++d) {
    const Point& m = kUnitMove[d];
    int s = 0;
    while (rawApply(s, {1, 0, 0}) != std::array<int, 3>{m.x, m.y, m.z}) ++s;
    t.towards[d] = static_cast<std::uint8_t>(s);
  }
  return t;
}

constexpr SymmetryTables kTables = makeTables();
static_assert(kTables.towards[0] == 0 && kTables.inverse[0] == 0);
// Spot checks of the composition against the action: (1, 2, 3) has distinct magnitudes, so its
// image names a symmetry.
static_assert(rawApply(kTables.compose[13][42], {1, 2, 3}) ==
              rawApply(13, rawApply(42, {1, 2, 3})));
static_assert(rawApply(kTables.compose[47][29], {1, 2, 3}) ==
              rawApply(47, rawApply(29, {1, 2, 3})));

inline int compose(int outer, int inner) { return kTables.compose[outer][inner]; }
inline int inverse(int s) { return kTables.inverse[s]; }

inline std::int32_t image(int s, const std::int32_t* p, int k) {
  return kTables.sign[s][k] * p[kTables.axis[s][k]];
}

// The index of the unit move from `a` to `b`, or -1 when they are not neighbours.
int stepDirection(const Point& a, const Point& b) {
  const Point d{b.x - a.x, b.y - a.y, b.z - a.z};
  for (int k = 0; k < 6; ++k) {
    if (d == kUnitMove[k]) return k;
  }
  return -1;
}

constexpr std::int32_t kPieceSites = 33;  // pieces of up to 32 steps by simple sampling
constexpr std::int32_t kPollEvery = 64;   // pieces or join retries between polls
constexpr int kReshapes = 1;              // pivot attempts on each half between joins

}  // namespace

Point applySymmetry(int symmetry, const Point& p) {
  const std::int32_t v[3] = {p.x, p.y, p.z};
  return Point{image(symmetry, v, 0), image(symmetry, v, 1), image(symmetry, v, 2)};
}

int composeSymmetries(int outer, int inner) { return compose(outer, inner); }
int inverseSymmetry(int symmetry) { return inverse(symmetry); }

std::uint64_t uniformBelow(RandomSource& random, std::uint64_t bound) {
  // The high word of draw * bound is uniform once the draws whose low word falls below
  // 2^64 mod bound are redrawn.
  __extension__ using Wide = unsigned __int128;
  Wide product = static_cast<Wide>(random.next()) * bound;
  auto low = static_cast<std::uint64_t>(product);
  if (low < bound) {
    const std::uint64_t threshold = (0 - bound) % bound;
    while (low < threshold) {
      product = static_cast<Wide>(random.next()) * bound;
      low = static_cast<std::uint64_t>(product);
    }
  }
  return static_cast<std::uint64_t>(product >> 64);
}

PivotWalk::PivotWalk(std::int32_t steps) : m_steps(steps), m_root(rootOf(0, steps + 1)) {
  if (steps < 1 || steps > kMaxSteps) throw std::invalid_argument("PivotWalk: steps out of range");
  allocate();
  buildRod();
}

PivotWalk::PivotWalk(const std::vector<Point>& sites)
    : m_steps(static_cast<std::int32_t>(std::min<std::size_t>(sites.size(), kMaxSteps + 2)) - 1),
      m_root(rootOf(0, m_steps + 1)) {
  if (m_steps < 1 || m_steps > kMaxSteps || !(sites[0] == Point{})) {
    throw std::invalid_argument("PivotWalk: a walk needs 1 to kMaxSteps steps from the origin");
  }
  for (std::size_t k = 1; k < sites.size(); ++k) {
    if (stepDirection(sites[k - 1], sites[k]) < 0) {
      throw std::invalid_argument("PivotWalk: sites are not joined by unit steps");
    }
  }
  allocate();
  bool selfAvoiding = true;
  build(
      0, m_steps + 1, 0,
      [&sites](std::int32_t k) {
        const auto i = static_cast<std::size_t>(k);
        return stepDirection(sites[i - 1], sites[i]);
      },
      &selfAvoiding);
  if (!selfAvoiding) throw std::invalid_argument("PivotWalk: sites are not self-avoiding");
}

void PivotWalk::refresh(std::int32_t index) {
  Node& n = m_nodes[static_cast<std::size_t>(index)];
  const Node& l = m_nodes[static_cast<std::size_t>(n.left)];
  const Node& r = m_nodes[static_cast<std::size_t>(n.right)];
  const int s = symmetryOf(n);
  for (int k = 0; k < 3; ++k) {
    const std::int32_t a = l.last[k] + image(s, r.lo, k);
    const std::int32_t b = l.last[k] + image(s, r.hi, k);
    n.last[k] = l.last[k] + image(s, r.last, k);
    n.lo[k] = std::min(l.lo[k], std::min(a, b));
    n.hi[k] = std::max(l.hi[k], std::max(a, b));
  }
  n.sitesAndSymmetry =
      static_cast<std::uint32_t>(countOf(l) + countOf(r)) << 6 | static_cast<std::uint32_t>(s);
}

// The node's left child becomes the node (kept at the same index, so its parent needs no
// change) and the node moves down to the right; the walk the index stands for is unchanged.
void PivotWalk::rotateRight(std::int32_t index) {
  Node& a = m_nodes[static_cast<std::size_t>(index)];
  const std::int32_t down = a.left;
  Node& b = m_nodes[static_cast<std::size_t>(down)];
  const int qa = symmetryOf(a);
  const int qb = symmetryOf(b);
  a.left = b.left;
  b.left = b.right;
  b.right = a.right;
  a.right = down;
  setSymmetry(b, compose(inverse(qb), qa));
  setSymmetry(a, qb);
  refresh(down);
}

// The mirror image of rotateRight, and its inverse.
void PivotWalk::rotateLeft(std::int32_t index) {
  Node& a = m_nodes[static_cast<std::size_t>(index)];
  const std::int32_t down = a.right;
  Node& b = m_nodes[static_cast<std::size_t>(down)];
  const int qa = symmetryOf(a);
  const int qb = symmetryOf(b);
  a.right = b.right;
  b.right = b.left;
  b.left = a.left;
  a.left = down;
  setSymmetry(b, qa);
  setSymmetry(a, compose(qa, qb));
  refresh(down);
}

// Whether the sites of `a` meet those of `b` placed at offset + symmetry(b's sites), in a's
// frame. Descends only where the bounding boxes overlap, splitting the larger sub-walk and
// trying first the halves nearest the join (a's end, b's start), where clashes are likeliest.
bool PivotWalk::intersects(std::int32_t a, std::int32_t b, const Vec& offset, int symmetry) const {
  const Node& na = m_nodes[static_cast<std::size_t>(a)];
  const Node& nb = m_nodes[static_cast<std::size_t>(b)];
  // One branch on all three axes: whether boxes meet is hard to predict, so it costs one
  // misprediction at most rather than one per axis.
  int apart = 0;
  for (int k = 0; k < 3; ++k) {
    const std::int32_t p = offset[static_cast<std::size_t>(k)] + image(symmetry, nb.lo, k);
    const std::int32_t q = offset[static_cast<std::size_t>(k)] + image(symmetry, nb.hi, k);
    apart |=
        static_cast<int>(std::max(p, q) < na.lo[k]) | static_cast<int>(std::min(p, q) > na.hi[k]);
  }
  if (apart != 0) return false;
  if (a == 0 && b == 0) return true;  // two single sites whose boxes meet
  if (countOf(na) >= countOf(nb)) {
    // a's right child sits at l.last + qa(.), so b seen from it is qa^-1(offset - l.last + ...).
    const Node& l = m_nodes[static_cast<std::size_t>(na.left)];
    const int undo = inverse(symmetryOf(na));
    const std::int32_t shifted[3] = {offset[0] - l.last[0], offset[1] - l.last[1],
                                     offset[2] - l.last[2]};
    const Vec inRight = {image(undo, shifted, 0), image(undo, shifted, 1), image(undo, shifted, 2)};
    if (intersects(na.right, b, inRight, compose(undo, symmetry))) return true;
    return intersects(na.left, b, offset, symmetry);
  }
  const Node& l = m_nodes[static_cast<std::size_t>(nb.left)];
  if (intersects(a, nb.left, offset, symmetry)) return true;
  const Vec toRight = {offset[0] + image(symmetry, l.last, 0),
                       offset[1] + image(symmetry, l.last, 1),
                       offset[2] + image(symmetry, l.last, 2)};
  return intersects(a, nb.right, toRight, compose(symmetry, symmetryOf(nb)));
}

// Pivot inside the balanced subtree at `root` about the last site before site `split`.
// Node `split` joins the two sides; the nodes above it are rotated one by one, bottom up, so
// that each in turn joins the two sides, and each rotation brings one new pair of pieces to
// test: the sibling subtree it takes in against all of the other side gathered so far. Clashes
// lie mostly near the pivot site, so most rejections end after a few cheap rotations low in the
// tree. Rotations are undone in reverse order, which restores the balanced shape exactly.
bool PivotWalk::pivotSubtree(std::int32_t root, std::int32_t split, int symmetry) {
  std::int32_t path[64];
  bool leftward[64];
  std::uint8_t frame[64];  // the symmetry taking each path node's frame into the root's
  int depth = 0;
  int toRoot = 0;
  std::int32_t node = root;
  for (; node != split; ++depth) {
    const Node& n = m_nodes[static_cast<std::size_t>(node)];
    path[depth] = node;
    leftward[depth] = split < node;
    frame[depth] = static_cast<std::uint8_t>(toRoot);
    if (split < node) {
      node = n.left;
    } else {
      toRoot = compose(toRoot, symmetryOf(n));
      node = n.right;
    }
  }
  // The pivot seen in a node's frame is symmetry conjugated by the frame's symmetry.
  const auto local = [symmetry](int toRootHere) {
    return compose(inverse(toRootHere), compose(symmetry, toRootHere));
  };
  const auto undo = [this, &path, &leftward, depth](int from) {
    for (int j = from; j < depth; ++j) {
      if (leftward[j]) {
        rotateLeft(path[j]);
      } else {
        rotateRight(path[j]);
      }
    }
  };
  {
    const Node& n = m_nodes[static_cast<std::size_t>(split)];
    const Node& l = m_nodes[static_cast<std::size_t>(n.left)];
    if (intersects(n.left, n.right, {l.last[0], l.last[1], l.last[2]},
                   compose(local(toRoot), symmetryOf(n)))) {
      return false;
    }
  }
  for (int j = depth - 1; j >= 0; --j) {
    const std::int32_t at = path[j];
    const int g = local(frame[j]);
    bool clash;
    if (leftward[j]) {
      // The old right child joins the right side, behind everything gathered there.
      rotateRight(at);
      const Node& n = m_nodes[static_cast<std::size_t>(at)];
      const Node& gathered = m_nodes[static_cast<std::size_t>(n.right)];
      const Node& l = m_nodes[static_cast<std::size_t>(n.left)];
      const Node& nearer = m_nodes[static_cast<std::size_t>(gathered.left)];
      const int moved = compose(g, symmetryOf(n));
      const Vec offset = {l.last[0] + image(moved, nearer.last, 0),
                          l.last[1] + image(moved, nearer.last, 1),
                          l.last[2] + image(moved, nearer.last, 2)};
      clash = intersects(n.left, gathered.right, offset, compose(moved, symmetryOf(gathered)));
    } else {
      // The old left child joins the left side, before everything gathered there.
      rotateLeft(at);
      const Node& n = m_nodes[static_cast<std::size_t>(at)];
      const Node& gathered = m_nodes[static_cast<std::size_t>(n.left)];
      clash =
          intersects(gathered.left, n.right, {gathered.last[0], gathered.last[1], gathered.last[2]},
                     compose(g, symmetryOf(n)));
    }
    if (clash) {
      undo(j);
      return false;
    }
  }
  Node& r = m_nodes[static_cast<std::size_t>(root)];
  setSymmetry(r, compose(symmetry, symmetryOf(r)));
  refresh(root);
  undo(0);
  return true;
}

// Builds the balanced subtree of sites [lo, hi) whose first site is entered along `firstStep`
// and site k along stepInto(k); when `selfAvoiding` is given, clears it if two sites meet.
template <class StepInto>
std::int32_t PivotWalk::build(std::int32_t lo, std::int32_t hi, int firstStep,
                              const StepInto& stepInto, bool* selfAvoiding) {
  if (hi - lo == 1) return 0;
  const std::int32_t mid = lo + (hi - lo) / 2;
  const std::int32_t left = build(lo, mid, firstStep, stepInto, selfAvoiding);
  const int midStep = stepInto(mid);
  const std::int32_t right = build(mid, hi, midStep, stepInto, selfAvoiding);
  Node& n = m_nodes[static_cast<std::size_t>(mid)];
  n.left = left;
  n.right = right;
  const int s = compose(inverse(kTables.towards[firstStep]), kTables.towards[midStep]);
  n.sitesAndSymmetry = static_cast<std::uint32_t>(s);
  if (selfAvoiding != nullptr && *selfAvoiding) {
    const Node& l = m_nodes[static_cast<std::size_t>(left)];
    if (intersects(left, right, {l.last[0], l.last[1], l.last[2]}, s)) *selfAvoiding = false;
  }
  refresh(mid);
  return mid;
}

// Coordinates stay within 3N in every frame, far inside int32 for N <= kMaxSteps.
void PivotWalk::allocate() {
  m_nodes.assign(static_cast<std::size_t>(m_steps) + 1, Node{});
  Node& leaf = m_nodes[0];
  leaf.lo[0] = leaf.hi[0] = leaf.last[0] = 1;
  leaf.sitesAndSymmetry = 1U << 6;
}

void PivotWalk::buildRod() {
  build(
      0, m_steps + 1, 0, [](std::int32_t) { return 0; }, nullptr);
}

// Simple sampling of sites [lo, hi) in their own frame: a non-reversing walk (the first step
// any of six, then any of the five that do not turn back), redrawn until self-avoiding, so
// every self-avoiding piece is equally likely.
void PivotWalk::samplePiece(std::int32_t lo, std::int32_t hi, RandomSource& random) {
  const std::int32_t count = hi - lo;
  std::uint8_t steps[kPieceSites];
  std::int32_t at[kPieceSites][3];
  steps[0] = 0;
  for (bool selfAvoiding = false; !selfAvoiding;) {
    selfAvoiding = true;
    at[0][0] = at[0][1] = at[0][2] = 0;
    int previous = -1;
    for (std::int32_t k = 1; k < count && selfAvoiding; ++k) {
      int d;
      if (previous < 0) {
        d = static_cast<int>(uniformBelow(random, 6));
      } else {
        d = static_cast<int>(uniformBelow(random, 5));
        if (d >= (previous ^ 1)) ++d;
      }
      const Point& m = kUnitMove[d];
      const std::int32_t x = at[k - 1][0] + m.x, y = at[k - 1][1] + m.y, z = at[k - 1][2] + m.z;
      // Sites an odd number of steps apart differ in parity, and k - 2 is ruled out.
      for (std::int32_t j = k - 4; j >= 0; j -= 2) {
        if (at[j][0] == x && at[j][1] == y && at[j][2] == z) selfAvoiding = false;
      }
      at[k][0] = x;
      at[k][1] = y;
      at[k][2] = z;
      steps[k] = static_cast<std::uint8_t>(d);
      previous = d;
    }
  }
  build(
      lo, hi, 0, [&steps, lo](std::int32_t k) { return int{steps[k - lo]}; }, nullptr);
}

bool PivotWalk::poll(const std::function<bool()>& keepGoing) {
  if (--m_pollCountdown > 0) return true;
  m_pollCountdown = kPollEvery;
  return keepGoing();
}

// Pseudo-dimerization of sites [lo, hi): both halves generated, then joined with a uniform
// symmetry; while the join intersects, the halves are reshaped and a fresh symmetry drawn.
bool PivotWalk::generate(std::int32_t lo, std::int32_t hi, RandomSource& random,
                         const std::function<bool()>& keepGoing) {
  if (hi - lo <= kPieceSites) {
    samplePiece(lo, hi, random);
    return poll(keepGoing);
  }
  const std::int32_t mid = lo + (hi - lo) / 2;
  if (!generate(lo, mid, random, keepGoing) || !generate(mid, hi, random, keepGoing)) {
    return false;
  }
  const std::int32_t left = rootOf(lo, mid);
  const std::int32_t right = rootOf(mid, hi);
  Node& n = m_nodes[static_cast<std::size_t>(mid)];
  n.left = left;
  n.right = right;
  const Node& l = m_nodes[static_cast<std::size_t>(left)];
  const auto draw = [&random](std::int32_t below) {
    return static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(below)));
  };
  const auto turn = [&random] {
    return 1 + static_cast<int>(uniformBelow(random, kLatticeSymmetries - 1));
  };
  for (;;) {
    const int s = static_cast<int>(uniformBelow(random, kLatticeSymmetries));
    if (!intersects(left, right, {l.last[0], l.last[1], l.last[2]}, s)) {
      n.sitesAndSymmetry = static_cast<std::uint32_t>(s);
      refresh(mid);
      return true;
    }
    if (!poll(keepGoing)) return false;
    // Both halves hold at least 16 sites here. Pivot attempts on each reshape them; the right
    // half is also turned about its first site, so the site the left half ends on becomes
    // another neighbour of it: no join symmetry helps a right half that runs through the one
    // neighbour taken now.
    for (int t = 0; t < kReshapes; ++t) {
      pivotSubtree(left, lo + 1 + draw(mid - lo - 1), turn());
      pivotSubtree(right, mid + 1 + draw(hi - mid - 1), turn());
    }
    pivotSubtree(right, mid + 1, turn());
  }
}

bool PivotWalk::initialise(RandomSource& random, const std::function<bool()>& keepGoing) {
  m_pollCountdown = kPollEvery;
  if (!generate(0, m_steps + 1, random, keepGoing)) {
    buildRod();
    return false;
  }
  return true;
}

bool PivotWalk::pivot(std::int32_t site, int symmetry) {
  if (site < 0 || site >= m_steps || symmetry < 1 || symmetry >= kLatticeSymmetries) {
    throw std::out_of_range("PivotWalk::pivot: site or symmetry out of range");
  }
  return pivotSubtree(m_root, site + 1, symmetry);
}

bool PivotWalk::attempt(RandomSource& random) {
  const auto site =
      static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(m_steps)));
  const int symmetry = 1 + static_cast<int>(uniformBelow(random, kLatticeSymmetries - 1));
  return pivotSubtree(m_root, site + 1, symmetry);
}

Point PivotWalk::end() const {
  const Node& r = m_nodes[static_cast<std::size_t>(m_root)];
  return Point{r.last[0] - 1, r.last[1], r.last[2]};
}

void PivotWalk::sites(std::vector<Point>& out) const {
  out.resize(static_cast<std::size_t>(m_steps) + 1);
  struct Frame {
    std::int32_t node;
    int symmetry;
    Vec offset;
  };
  // Depth first, left before right; a site is the frame's image of (1, 0, 0), less the
  // origin's own (1, 0, 0). The stack holds at most one frame per level of the tree.
  Frame stack[64];
  int top = 0;
  stack[top++] = Frame{m_root, 0, Vec{-1, 0, 0}};
  std::size_t next = 0;
  const std::int32_t e[3] = {1, 0, 0};
  while (top > 0) {
    const Frame f = stack[--top];
    if (f.node == 0) {
      out[next++] =
          Point{f.offset[0] + image(f.symmetry, e, 0), f.offset[1] + image(f.symmetry, e, 1),
                f.offset[2] + image(f.symmetry, e, 2)};
      continue;
    }
    const Node& n = m_nodes[static_cast<std::size_t>(f.node)];
    const Node& l = m_nodes[static_cast<std::size_t>(n.left)];
    stack[top++] = Frame{
        n.right, compose(f.symmetry, symmetryOf(n)),
        Vec{f.offset[0] + image(f.symmetry, l.last, 0), f.offset[1] + image(f.symmetry, l.last, 1),
            f.offset[2] + image(f.symmetry, l.last, 2)}};
    stack[top++] = Frame{n.left, f.symmetry, f.offset};
  }
}

std::size_t PivotWalk::bytes() const { return sizeof(*this) + m_nodes.capacity() * sizeof(Node); }

}  // namespace polychain
