#include "chain/pivot.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <tuple>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace polychain {

namespace {

// The change in bends where a fixed step `step` meets a neighbouring step that turns from
// `before` to `after`: +1 when it comes to bend there, -1 when it comes to run straight.
std::int32_t bendChange(const Point& step, const Point& after, const Point& before) {
  return static_cast<std::int32_t>(!(step == after)) - static_cast<std::int32_t>(!(step == before));
}

constexpr int kPermutations[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                     {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};

struct SymmetryTables {
  int axis[kLatticeSymmetries][3];           // the image's axis k comes from axis[k]
  std::int32_t sign[kLatticeSymmetries][3];  // times +1 or -1
  std::int32_t flip[kLatticeSymmetries][3];  // -1 where sign is -1, else 0
  // The image of a box's six lower bounds (lo, -hi) takes its bound i from bound lane[i].
  std::uint8_t lane[kLatticeSymmetries][6];
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
      t.flip[s][k] = ((s >> k) & 1) != 0 ? -1 : 0;
      const int negated = ((s >> k) & 1) != 0 ? 3 : 0;
      t.lane[s][k] = static_cast<std::uint8_t>(kPermutations[s / 8][k] + negated);
      t.lane[s][k + 3] = static_cast<std::uint8_t>(kPermutations[s / 8][k] + 3 - negated);
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

// The bound lanes agree with the action: the box of the single point (1, 2, 3) goes to the box
// of its image under every symmetry.
constexpr bool lanesAgree() {
  for (int s = 0; s < kLatticeSymmetries; ++s) {
    const std::int32_t box[6] = {1, 2, 3, -1, -2, -3};
    const std::array<int, 3> p = rawApply(s, {1, 2, 3});
    for (int k = 0; k < 3; ++k) {
      if (box[kTables.lane[s][k]] != p[static_cast<std::size_t>(k)] ||
          box[kTables.lane[s][k + 3]] != -p[static_cast<std::size_t>(k)]) {
        return false;
      }
    }
  }
  return true;
}
static_assert(lanesAgree());

inline int compose(int outer, int inner) { return kTables.compose[outer][inner]; }
inline int inverse(int s) { return kTables.inverse[s]; }

inline std::int32_t image(int s, const std::int32_t* p, int k) {
  const std::int32_t flip = kTables.flip[s][k];
  return (p[kTables.axis[s][k]] ^ flip) - flip;
}

// The high word of the 128-bit product a * b; the low word goes to `low`.
inline std::uint64_t wideProduct(std::uint64_t a, std::uint64_t b, std::uint64_t& low) {
#if defined(__SIZEOF_INT128__)
  __extension__ using Wide = unsigned __int128;
  const Wide product = static_cast<Wide>(a) * b;
  low = static_cast<std::uint64_t>(product);
  return static_cast<std::uint64_t>(product >> 64);
#else
  const std::uint64_t a0 = a & 0xffffffffU, a1 = a >> 32, b0 = b & 0xffffffffU, b1 = b >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & 0xffffffffU) + (p10 & 0xffffffffU);
  low = (middle << 32) | (p00 & 0xffffffffU);
  return p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
#endif
}

// The index of the unit move from `a` to `b`, or -1 when they are not neighbours.
int stepDirection(const Point& a, const Point& b) {
  const Point d{b.x - a.x, b.y - a.y, b.z - a.z};
  for (int k = 0; k < 6; ++k) {
    if (d == kUnitMove[k]) return k;
  }
  return -1;
}

inline void prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Metropolis: a move that does not raise the energy is taken without a draw, one that does
// with probability exp(-rise), a uniform double in [0, 1) from the top 53 bits of one draw.
bool metropolis(const PivotEnergy& energy, const PivotChange& change, RandomSource& random) {
  const double rise = energy.of(change);
  if (rise <= 0.0) return true;
  const double draw = static_cast<double>(random.next() >> 11) * 0x1.0p-53;
  return draw < std::exp(-rise);
}

constexpr std::int32_t kPieceSites = 33;  // pieces of up to 32 steps by simple sampling
constexpr std::int32_t kPollEvery = 64;   // piece draws or join tries between polls
constexpr int kReshapes = 4;              // pivot attempts on each half between joins
constexpr std::size_t kScratch = 64;      // nodes past the tree for a pivot's gathered sides

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
  std::uint64_t low = 0;
  std::uint64_t high = wideProduct(random.next(), bound, low);
  if (low < bound) {
    const std::uint64_t threshold = (0 - bound) % bound;
    while (low < threshold) high = wideProduct(random.next(), bound, low);
  }
  return high;
}

PivotWalk::PivotWalk(std::int32_t steps) : m_steps(steps), m_root(refOf(0, steps + 1)) {
  if (steps < 1 || steps > kMaxSteps) throw std::invalid_argument("PivotWalk: steps out of range");
  allocate();
  buildRod();
}

PivotWalk::PivotWalk(std::int32_t steps, Unbuilt) : m_steps(steps), m_root(refOf(0, steps + 1)) {
  if (steps < 1 || steps > kMaxSteps) throw std::invalid_argument("PivotWalk: steps out of range");
}

std::optional<PivotWalk> PivotWalk::initialised(std::int32_t steps, RandomSource& random,
                                                const std::function<bool()>& keepGoing) {
  // Every site, block and node the rod would set is set again by the draws before it is
  // read, so the walk does not depend on what the arrays held.
  PivotWalk walk(steps, Unbuilt{});
  if (!walk.allocate(keepGoing)) return std::nullopt;
  walk.m_pollCountdown = kPollEvery;
  if (!walk.generate(0, steps + 1, random, keepGoing)) return std::nullopt;
  return walk;
}

PivotWalk::PivotWalk(const std::vector<Point>& sites)
    : m_steps(static_cast<std::int32_t>(std::min<std::size_t>(sites.size(), kMaxSteps + 2)) - 1),
      m_root(refOf(0, m_steps + 1)) {
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

std::int32_t PivotWalk::boxOf(std::int32_t ref, std::int32_t* box) const {
  if (ref > 0) {
    const Node& n = at(ref);
    for (int k = 0; k < 6; ++k) box[k] = n.box[k];
    return countOf(n);
  }
  if (isPart(ref)) {
    const Part& c = part(ref);
    for (int k = 0; k < 6; ++k) box[k] = c.box[k];
    return c.run.count;
  }
  const BlockBox& b = blockBox(ref);
  for (int k = 0; k < 6; ++k) box[k] = b.box[k];
  return b.sites;
}

void PivotWalk::lastOf(std::int32_t ref, std::int32_t* last) const {
  if (ref > 0) {
    std::copy(at(ref).last, at(ref).last + 3, last);
  } else if (isPart(ref)) {
    std::copy(part(ref).last, part(ref).last + 3, last);
  } else {
    for (int k = 0; k < 3; ++k) last[k] = blockBox(ref).last[k];
  }
}

void PivotWalk::prefetchRef(std::int32_t ref) const {
  if (ref > 0) {
    prefetch(&at(ref));
  } else if (!isPart(ref)) {
    prefetch(&blockBox(ref));
    prefetch(blockSites(ref));
    prefetch(blockSites(ref) + 16);
  }
}

std::int32_t PivotWalk::boxAndLastOf(std::int32_t ref, std::int32_t* box,
                                     std::int32_t* last) const {
  if (ref > 0) {
    const Node& n = at(ref);
    for (int k = 0; k < 6; ++k) box[k] = n.box[k];
    for (int k = 0; k < 3; ++k) last[k] = n.last[k];
    return countOf(n);
  }
  if (isPart(ref)) {
    const Part& c = part(ref);
    for (int k = 0; k < 6; ++k) box[k] = c.box[k];
    for (int k = 0; k < 3; ++k) last[k] = c.last[k];
    return c.run.count;
  }
  const BlockBox& b = blockBox(ref);
  for (int k = 0; k < 6; ++k) box[k] = b.box[k];
  for (int k = 0; k < 3; ++k) last[k] = b.last[k];
  return b.sites;
}

void PivotWalk::refresh(std::int32_t slot) {
  Node& n = at(slot);
  std::int32_t leftBox[6], rightBox[6], leftLast[3], rightLast[3];
  const std::int32_t sites =
      boxAndLastOf(n.left, leftBox, leftLast) + boxAndLastOf(n.right, rightBox, rightLast);
  const int s = symmetryOf(n);
  const std::uint8_t* lane = kTables.lane[s];
  for (int k = 0; k < 3; ++k) {
    n.leftLast[k] = leftLast[k];
    n.last[k] = leftLast[k] + image(s, rightLast, k);
    n.box[k] = std::min(leftBox[k], leftLast[k] + rightBox[lane[k]]);
    n.box[k + 3] = std::min(leftBox[k + 3], rightBox[lane[k + 3]] - leftLast[k]);
  }
  n.sitesAndSymmetry = static_cast<std::uint32_t>(sites) << 6 | static_cast<std::uint32_t>(s);
}

void PivotWalk::refreshMoments(std::int32_t slot) {
  const Node& n = at(slot);
  const Moments left = momentsOf(n.left);
  const Moments right = momentsOf(n.right);
  const std::int64_t rightCount =
      n.right > 0 ? countOf(at(n.right)) : std::int64_t{blockBox(n.right).sites};
  const int s = symmetryOf(n);
  // The right child's sites are leftLast + s(p): their sum is rightCount leftLast + s(sum), and
  // |leftLast + s(p)|^2 = |leftLast|^2 + 2 leftLast . s(p) + |p|^2.
  Moments& m = m_moments[static_cast<std::size_t>(slot)];
  double cross = 0.0;
  double shift = 0.0;
  for (int k = 0; k < 3; ++k) {
    const std::int64_t from = right.sum[kTables.axis[s][k]];
    const std::int64_t turned = kTables.sign[s][k] < 0 ? -from : from;
    const std::int64_t l = n.leftLast[k];
    m.sum[k] = left.sum[k] + rightCount * l + turned;
    cross += static_cast<double>(l) * static_cast<double>(turned);
    shift += static_cast<double>(l * l);
  }
  m.squares = left.squares + right.squares + 2.0 * cross + static_cast<double>(rightCount) * shift;
}

namespace {

inline std::uint32_t pack(const std::int32_t* p) {
  return static_cast<std::uint32_t>(p[0] & 255) | static_cast<std::uint32_t>(p[1] & 255) << 8 |
         static_cast<std::uint32_t>(p[2] & 255) << 16;
}
inline void unpack(std::uint32_t v, std::int32_t* p) {
  p[0] = static_cast<std::int8_t>(v & 255U);
  p[1] = static_cast<std::int8_t>((v >> 8) & 255U);
  p[2] = static_cast<std::int8_t>((v >> 16) & 255U);
}
// The box of `count` packed sites as six lower bounds, and the last of them.
void boxOfSites(const std::uint32_t* sites, std::int32_t count, std::int32_t* box,
                std::int32_t* last) {
  unpack(sites[0], last);
  for (int k = 0; k < 3; ++k) {
    box[k] = last[k];
    box[k + 3] = -last[k];
  }
  std::int32_t j = 1;
#if defined(__SSE2__)
  // Four sites at a time, their bytes offset by 128 so that unsigned order is the signed one.
  if (count >= 5) {
    const __m128i bias = _mm_set1_epi32(static_cast<int>(0x80808080U));
    __m128i least = _mm_xor_si128(_mm_set1_epi32(static_cast<int>(sites[0])), bias);
    __m128i most = least;
    for (; j + 4 <= count; j += 4) {
      const __m128i v =
          _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sites + j)), bias);
      least = _mm_min_epu8(least, v);
      most = _mm_max_epu8(most, v);
    }
    if (j < count) {
      // The last four sites, some of them seen already, which leaves the bounds as they are.
      const __m128i v =
          _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sites + count - 4)), bias);
      least = _mm_min_epu8(least, v);
      most = _mm_max_epu8(most, v);
      j = count;
    }
    least = _mm_min_epu8(least, _mm_shuffle_epi32(least, 0x4E));
    least = _mm_min_epu8(least, _mm_shuffle_epi32(least, 0xB1));
    most = _mm_max_epu8(most, _mm_shuffle_epi32(most, 0x4E));
    most = _mm_max_epu8(most, _mm_shuffle_epi32(most, 0xB1));
    const auto low = static_cast<std::uint32_t>(_mm_cvtsi128_si32(least)) ^ 0x80808080U;
    const auto high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(most)) ^ 0x80808080U;
    std::int32_t lowest[3], highest[3];
    unpack(low, lowest);
    unpack(high, highest);
    for (int k = 0; k < 3; ++k) {
      box[k] = lowest[k];
      box[k + 3] = -highest[k];
    }
  }
#endif
  for (; j < count; ++j) {
    std::int32_t p[3];
    unpack(sites[j], p);
    for (int k = 0; k < 3; ++k) {
      box[k] = std::min(box[k], p[k]);
      box[k + 3] = std::min(box[k + 3], -p[k]);
    }
  }
  unpack(sites[count - 1], last);
}

}  // namespace

PivotWalk::Moments PivotWalk::momentsOf(std::int32_t ref) const {
  if (ref > 0) return m_moments[static_cast<std::size_t>(ref)];
  const BlockMoments& b = m_blockMoments[static_cast<std::size_t>(-ref >> 4)];
  return Moments{{b.sum[0], b.sum[1], b.sum[2]}, static_cast<double>(b.squares)};
}

// The box and last site of the block of `count` sites from site lo, after its sites changed.
void PivotWalk::refreshBlock(std::int32_t lo, std::int32_t count) {
  BlockBox& b = m_blockBoxes[static_cast<std::size_t>(lo >> 4)];
  BlockMoments& m = m_blockMoments[static_cast<std::size_t>(lo >> 4)];
  const std::uint32_t* sites = &m_sites[static_cast<std::size_t>(lo)];
  std::int32_t box[6], last[3];
  boxOfSites(sites, count, box, last);
  std::int32_t sum[3] = {0, 0, 0};
  std::int32_t squares = 0;
  std::int32_t j = 0;
#if defined(__SSE2__)
  // Four sites at a time: each coordinate sign-extended in its own lane and summed; the squares
  // by multiply-add of x and y as 16-bit halves of one lane, then of z alone.
  {
    __m128i sx = _mm_setzero_si128(), sy = sx, sz = sx, sq = sx;
    const __m128i low = _mm_set1_epi32(0xFFFF);
    for (; j + 4 <= count; j += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sites + j));
      const __m128i x = _mm_srai_epi32(_mm_slli_epi32(v, 24), 24);
      const __m128i y = _mm_srai_epi32(_mm_slli_epi32(v, 16), 24);
      const __m128i z = _mm_srai_epi32(_mm_slli_epi32(v, 8), 24);
      sx = _mm_add_epi32(sx, x);
      sy = _mm_add_epi32(sy, y);
      sz = _mm_add_epi32(sz, z);
      const __m128i xy = _mm_or_si128(_mm_and_si128(x, low), _mm_slli_epi32(y, 16));
      const __m128i z16 = _mm_and_si128(z, low);
      sq = _mm_add_epi32(sq, _mm_add_epi32(_mm_madd_epi16(xy, xy), _mm_madd_epi16(z16, z16)));
    }
    const auto total = [](__m128i v) {
      v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
      v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
      return static_cast<std::int32_t>(_mm_cvtsi128_si32(v));
    };
    sum[0] = total(sx);
    sum[1] = total(sy);
    sum[2] = total(sz);
    squares = total(sq);
  }
#endif
  for (; j < count; ++j) {
    std::int32_t p[3];
    unpack(sites[j], p);
    for (int k = 0; k < 3; ++k) {
      sum[k] += p[k];
      squares += p[k] * p[k];
    }
  }
  for (int k = 0; k < 6; ++k) b.box[k] = static_cast<std::int8_t>(box[k]);
  for (int k = 0; k < 3; ++k) {
    b.last[k] = static_cast<std::int8_t>(last[k]);
    m.sum[k] = sum[k];
  }
  m.squares = squares;
  b.sites = static_cast<std::uint8_t>(count);
}

// Cuts the block of sites [lo, hi) after `site` into its two parts, each in its own frame: the
// left part keeps the block's frame, the right part lies at pivot + rightSymmetry(.) in it,
// pivot being the site cut after.
void PivotWalk::cut(std::int32_t lo, std::int32_t hi, std::int32_t site, std::int32_t* pivot,
                    int* rightSymmetry) {
  const std::uint32_t* sites = &m_sites[static_cast<std::size_t>(lo)];
  const std::int32_t at = site - lo;
  Part& left = part(-m_steps - 1);
  Part& right = part(-m_steps - 2);
  left.run = Run{sites, at + 1, 0, {0, 0, 0}};
  boxOfSites(sites, at + 1, left.box, left.last);
  std::int32_t box[6], last[3], next[3];
  boxOfSites(sites + at + 1, hi - site - 1, box, last);
  unpack(sites[at], pivot);
  unpack(sites[at + 1], next);
  const Point step{next[0] - pivot[0], next[1] - pivot[1], next[2] - pivot[2]};
  const int turn = kTables.towards[stepDirection(Point{}, step)];
  const int undo = inverse(turn);
  // The right part's frame: undo(p - pivot) for p in the block's.
  const std::int32_t shift[3] = {-pivot[0], -pivot[1], -pivot[2]};
  right.run = Run{sites + at + 1,
                  hi - site - 1,
                  undo,
                  {image(undo, shift, 0), image(undo, shift, 1), image(undo, shift, 2)}};
  const std::int32_t shifted[6] = {box[0] - pivot[0], box[1] - pivot[1], box[2] - pivot[2],
                                   box[3] + pivot[0], box[4] + pivot[1], box[5] + pivot[2]};
  const std::uint8_t* lane = kTables.lane[undo];
  for (int k = 0; k < 6; ++k) right.box[k] = shifted[lane[k]];
  const std::int32_t d[3] = {last[0] - pivot[0], last[1] - pivot[1], last[2] - pivot[2]};
  for (int k = 0; k < 3; ++k) right.last[k] = image(undo, d, k);
  *rightSymmetry = turn;
}

namespace {

// Which of `count` (at most 32) packed sites lie inside the box of lower corner lo and spans
// span: bit j for site j. Branch-free: which sites are inside is not predictable.
std::uint32_t sitesInside(const std::uint32_t* sites, std::int32_t count, const std::int32_t* lo,
                          const std::uint32_t* span) {
  std::uint32_t inside = 0;
  std::int32_t j = 0;
#if defined(__SSE2__)
  // Four sites at a time, a byte a coordinate: (p - lo) mod 256 <= span is the test below, since
  // sites and box lie within a block's reach of its origin. The fourth byte always passes.
  const __m128i corner = _mm_set1_epi32(static_cast<int>(pack(lo)));
  const __m128i spans =
      _mm_set1_epi32(static_cast<int>(span[0] | span[1] << 8 | span[2] << 16 | 0xFF000000U));
  const __m128i ones = _mm_set1_epi32(-1);
  for (; j + 4 <= count; j += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sites + j));
    const __m128i d = _mm_sub_epi8(v, corner);
    const __m128i all = _mm_cmpeq_epi32(_mm_cmpeq_epi8(_mm_min_epu8(d, spans), d), ones);
    inside |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(all))) << j;
  }
  if (j < count && count >= 4) {
    // The last four sites, some of them seen already: their bits are set again.
    j = count - 4;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sites + j));
    const __m128i d = _mm_sub_epi8(v, corner);
    const __m128i all = _mm_cmpeq_epi32(_mm_cmpeq_epi8(_mm_min_epu8(d, spans), d), ones);
    inside |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(all))) << j;
    j = count;
  }
#endif
  for (; j < count; ++j) {
    std::int32_t p[3];
    unpack(sites[j], p);
    const std::uint32_t in = (static_cast<std::uint32_t>(p[0] - lo[0]) <= span[0]) &
                             (static_cast<std::uint32_t>(p[1] - lo[1]) <= span[1]) &
                             (static_cast<std::uint32_t>(p[2] - lo[2]) <= span[2]);
    inside |= in << j;
  }
  return inside;
}

// Eight bits of a packed site, spread over all three coordinates.
inline std::uint32_t siteHash(std::uint32_t site) { return (site * 0x9E3779B1U) >> 24; }

// The box of six lower bounds `box`, less `shift`, seen through `symmetry`, as its lower corner
// and spans (the box is not empty).
void cornerAndSpans(const std::int32_t* box, const std::int32_t* shift, int symmetry,
                    std::int32_t* lo, std::uint32_t* span) {
  const std::int32_t shifted[6] = {box[0] - shift[0], box[1] - shift[1], box[2] - shift[2],
                                   box[3] + shift[0], box[4] + shift[1], box[5] + shift[2]};
  const std::uint8_t* lane = kTables.lane[symmetry];
  for (int k = 0; k < 3; ++k) {
    lo[k] = shifted[lane[k]];
    span[k] = static_cast<std::uint32_t>(-shifted[lane[k + 3]] - lo[k]);
  }
}

}  // namespace

// Whether two runs of sites meet, b's at offset + symmetry(.) in a's frame, their boxes there
// given: kClash when they do, else, when kContacts, the pairs of their sites one unit apart, and
// 0 when not. Only the sites of each inside both boxes (grown by one site for the pairs one unit
// apart) can meet or touch, which are few unless the runs lie over each other: each run picks
// its own in its block's frame, then b's few are turned into a's block's frame and compared
// there as stored.
template <bool kContacts>
std::int32_t PivotWalk::runsMeet(std::int32_t a, std::int32_t b, const std::int32_t* offset,
                                 int symmetry, const std::int32_t* boxA,
                                 const std::int32_t* boxB) const {
  const Run ra = runOf(a);
  const Run rb = runOf(b);
  // Both boxes, in a's frame.
  constexpr std::int32_t kGap = kContacts ? 1 : 0;
  const std::uint8_t* lane = kTables.lane[symmetry];
  std::int32_t both[6];
  for (int k = 0; k < 3; ++k) {
    both[k] = std::max(boxA[k], offset[k] + boxB[lane[k]]) - kGap;
    both[k + 3] = std::min(boxA[k + 3], boxB[lane[k + 3]] - offset[k]) - kGap;
  }
  // A site p stored for a is at undoA^-1(p) + ra.offset in a's frame; one stored for b at
  // turnB(p) + start, turnB = symmetry after rb.symmetry.
  const int undoA = inverse(ra.symmetry);
  std::int32_t lo[3];
  std::uint32_t span[3];
  cornerAndSpans(both, ra.offset, undoA, lo, span);
  const std::uint32_t nearA = sitesInside(ra.sites, ra.count, lo, span);
  if (nearA == 0) return 0;
  const int turnB = compose(symmetry, rb.symmetry);
  const std::int32_t start[3] = {offset[0] + image(symmetry, rb.offset, 0),
                                 offset[1] + image(symmetry, rb.offset, 1),
                                 offset[2] + image(symmetry, rb.offset, 2)};
  cornerAndSpans(both, start, inverse(turnB), lo, span);
  const std::uint32_t nearB = sitesInside(rb.sites, rb.count, lo, span);
  // b's sites into a's block's frame: undoA(turnB(p) + start - ra.offset) = turn(p) + shift.
  const int turn = compose(undoA, turnB);
  const std::int32_t moved[3] = {start[0] - ra.offset[0], start[1] - ra.offset[1],
                                 start[2] - ra.offset[2]};
  const std::int32_t shift[3] = {image(undoA, moved, 0), image(undoA, moved, 1),
                                 image(undoA, moved, 2)};
  const auto placed = [&](std::uint32_t n, std::int32_t* q) {
    std::int32_t p[3];
    unpack(rb.sites[std::countr_zero(n)], p);
    for (int k = 0; k < 3; ++k) q[k] = shift[k] + image(turn, p, k);
  };
  if constexpr (kContacts) {
    // The sites compared pair by pair.
    std::int32_t touching = 0;
    for (std::uint32_t n = nearB; n != 0; n &= n - 1) {
      std::int32_t q[3];
      placed(n, q);
      for (std::uint32_t m = nearA; m != 0; m &= m - 1) {
        std::int32_t r[3];
        unpack(ra.sites[std::countr_zero(m)], r);
        const std::int32_t apart =
            std::abs(q[0] - r[0]) + std::abs(q[1] - r[1]) + std::abs(q[2] - r[2]);
        if (apart == 0) return kClash;
        touching += apart == 1 ? 1 : 0;
      }
    }
    return touching;
  } else {
    // a's few sites marked in 256 bits by a hash of their record, so that most of b's are ruled
    // out without a search.
    std::uint64_t marked[4] = {0, 0, 0, 0};
    for (std::uint32_t m = nearA; m != 0; m &= m - 1) {
      const std::uint32_t h = siteHash(ra.sites[std::countr_zero(m)]);
      marked[h >> 6] |= std::uint64_t{1} << (h & 63U);
    }
    for (std::uint32_t n = nearB; n != 0; n &= n - 1) {
      std::int32_t q[3];
      placed(n, q);
      const std::uint32_t key = pack(q);
      const std::uint32_t h = siteHash(key);
      if (((marked[h >> 6] >> (h & 63U)) & 1U) == 0) continue;
      for (std::uint32_t m = nearA; m != 0; m &= m - 1) {
        if (ra.sites[std::countr_zero(m)] == key) return kClash;
      }
    }
    return 0;
  }
}

// The levels of the tree over `sites` sites: runs halve until they fit a block. The fixed
// stacks below hold a level each (a pair of levels for the pair stack), with one level more
// for the gathered sides, so the longest walk must fit them.
constexpr int treeLevels(std::int64_t sites) {
  constexpr std::int64_t kBlock = 32;  // PivotWalk::kBlockMost
  int levels = 1;
  for (; sites > kBlock; sites = (sites + 1) / 2) ++levels;
  return levels;
}
constexpr int kStackLevels = 64;
constexpr int kPairStack = 130;
static_assert(treeLevels(std::int64_t{PivotWalk::kMaxSteps} + 1) + 1 <= kStackLevels);
static_assert(2 * (treeLevels(std::int64_t{PivotWalk::kMaxSteps} + 1) + 1) <= kPairStack);

// Whether the sites of `a` meet those of `b` placed at offset + symmetry(b's sites), in a's
// frame, and when kContacts how many pairs of them lie one unit apart, the boxes grown by one
// site so that such pairs are not dropped. Pairs of runs are taken from a stack: a pair whose boxes
// miss is dropped, one whose boxes meet is split, the node with more sites in two, and the half
// nearest the join (a's end, b's start), where clashes are likeliest, is taken first; two blocks
// whose boxes meet are compared site by site. Each pair taken pushes at most two and one of them is
// taken next, so the stack never holds more than the two trees' depths together (each under 64
// levels with the gathered sides).
template <bool kContacts>
std::int32_t PivotWalk::meet(std::int32_t a, std::int32_t b, const Vec& offset,
                             int symmetry) const {
  struct Pair {
    std::int32_t a;
    std::int32_t b;
    std::int32_t offset[3];
    int symmetry;
  };
  Pair pending[kPairStack];
  int top = 0;
  std::int32_t contacts = 0;
  Pair p{a, b, {offset[0], offset[1], offset[2]}, symmetry};
  const auto load = [this](std::int32_t ref, std::int32_t* box) {
    if (ref > 0) {
      const Node& n = at(ref);
      for (int k = 0; k < 6; ++k) box[k] = n.box[k];
      return countOf(n);
    }
    return boxOf(ref, box);
  };
  for (;;) {
    std::int32_t boxA[6], boxB[6];
    const std::int32_t countA = load(p.a, boxA);
    const std::int32_t countB = load(p.b, boxB);
    // One branch on all three axes: whether boxes meet is hard to predict, so it costs one
    // misprediction at most rather than one per axis.
    const std::uint8_t* lane = kTables.lane[p.symmetry];
    constexpr std::int32_t kGap = kContacts ? 1 : 0;
    int apart = 0;
    for (int k = 0; k < 3; ++k) {
      apart |= static_cast<int>(p.offset[k] + boxB[lane[k]] + boxA[k + 3] > kGap) |
               static_cast<int>(boxA[k] + boxB[lane[k + 3]] - p.offset[k] > kGap);
    }
    if (apart == 0) {
      if (p.a <= 0 && p.b <= 0) {
        const std::int32_t touching =
            runsMeet<kContacts>(p.a, p.b, p.offset, p.symmetry, boxA, boxB);
        if (touching == kClash) return kClash;
        contacts += touching;
      } else if (p.b <= 0 || (p.a > 0 && countA >= countB)) {
        // The left half keeps the frame; b seen from the right half, which follows a.leftLast by
        // a's symmetry, is at undo(offset - a.leftLast) + (undo after symmetry)(.).
        const Node& na = at(p.a);
        prefetchRef(na.left);
        prefetchRef(na.right);
        pending[top++] = Pair{na.left, p.b, {p.offset[0], p.offset[1], p.offset[2]}, p.symmetry};
        const int undo = inverse(symmetryOf(na));
        const std::int32_t shifted[3] = {p.offset[0] - na.leftLast[0], p.offset[1] - na.leftLast[1],
                                         p.offset[2] - na.leftLast[2]};
        p = Pair{na.right,
                 p.b,
                 {image(undo, shifted, 0), image(undo, shifted, 1), image(undo, shifted, 2)},
                 compose(undo, p.symmetry)};
        continue;
      } else {
        const Node& nb = at(p.b);
        prefetchRef(nb.left);
        prefetchRef(nb.right);
        pending[top++] = Pair{p.a,
                              nb.right,
                              {p.offset[0] + image(p.symmetry, nb.leftLast, 0),
                               p.offset[1] + image(p.symmetry, nb.leftLast, 1),
                               p.offset[2] + image(p.symmetry, nb.leftLast, 2)},
                              compose(p.symmetry, symmetryOf(nb))};
        p.b = nb.left;
        continue;
      }
    }
    if (top == 0) return contacts;
    p = pending[--top];
  }
}

// Pivot inside the balanced subtree of sites [lo, hi) about site split - 1, in the subtree's
// frame. The pivot site's node, or its block cut in two after it, joins the two sides;
// climbing from there to the subtree's root, each node on the way adds one sibling subtree to
// one side, and that sibling is tested against all of the other side gathered so far. The
// gathered sides are nodes past the tree, so the tree is written only when the pivot is
// accepted. Clashes lie mostly near the pivot site, so most rejections end low in the tree
// after a few tests. The same tests, with kContacts, count the pairs one unit apart across the
// pivot site, which `judge` is told before anything is written.
template <bool kContacts>
bool PivotWalk::pivotSubtree(std::int32_t lo, std::int32_t hi, std::int32_t split, int symmetry,
                             const std::function<bool(std::int32_t)>* judge) {
  std::int32_t path[kStackLevels];
  bool leftward[kStackLevels];
  std::uint8_t
      frame[kStackLevels];  // the symmetry taking each path node's frame into the subtree's
  int depth = 0;
  // The one shape gives the path and the siblings without reading a node: all their cache
  // lines are requested at once instead of one after another.
  bool inBlock = false;
  for (;;) {
    if (hi - lo <= kBlockMost) {
      inBlock = true;
      break;
    }
    const std::int32_t node = lo + (hi - lo) / 2;
    if (node == split) break;
    path[depth] = node >> 4;
    leftward[depth] = split < node;
    prefetch(&at(path[depth]));
    if (split < node) {
      prefetchRef(refOf(node, hi));
      hi = node;
    } else {
      prefetchRef(refOf(lo, node));
      lo = node;
    }
    ++depth;
  }
  if (inBlock) {
    prefetchRef(-lo);
  } else {
    prefetch(&at(refOf(lo, hi)));
  }
  int toRoot = 0;
  for (int j = 0; j < depth; ++j) {
    frame[j] = static_cast<std::uint8_t>(toRoot);
    if (!leftward[j]) toRoot = compose(toRoot, symmetryOf(at(path[j])));
  }
  // The pivot seen in a node's frame is symmetry conjugated by the frame's symmetry.
  const auto local = [symmetry](int toRootHere) {
    return compose(inverse(toRootHere), compose(symmetry, toRootHere));
  };
  const auto moved = [](const Vec& pivot, int g, const std::int32_t* start) {
    const std::int32_t d[3] = {start[0] - pivot[0], start[1] - pivot[1], start[2] - pivot[2]};
    return Vec{pivot[0] + image(g, d, 0), pivot[1] + image(g, d, 1), pivot[2] + image(g, d, 2)};
  };
  // In the frame of the node being climbed through: the pivot site, the left side (whose frame
  // is this one) and the right side (at rightStart + rightSymmetry(.), before the pivot).
  const int splitPivot = local(toRoot);
  Vec pivot{};
  std::int32_t leftSide = 0;
  std::int32_t rightSide = 0;
  int rightSymmetry = 0;
  if (inBlock) {
    cut(lo, hi, split - 1, pivot.data(), &rightSymmetry);
    leftSide = -m_steps - 1;
    rightSide = -m_steps - 2;
  } else {
    const Node& s = at(refOf(lo, hi));
    pivot = {s.leftLast[0], s.leftLast[1], s.leftLast[2]};
    leftSide = s.left;
    rightSide = s.right;
    rightSymmetry = symmetryOf(s);
  }
  Vec rightStart = pivot;
  std::int32_t contacts = 0;
  // False when the sides meet; adds up the pairs one unit apart when kContacts.
  const auto clear = [this, &contacts](std::int32_t a, std::int32_t b, const Vec& offset,
                                       int turn) {
    const std::int32_t found = meet<kContacts>(a, b, offset, turn);
    contacts += found;
    return found != kClash;
  };
  if (!clear(leftSide, rightSide, pivot, compose(splitPivot, rightSymmetry))) return false;
  std::int32_t scratch = m_firstGathered;
  for (int j = depth - 1; j >= 0; --j) {
    const Node& n = at(path[j]);
    const int g = local(frame[j]);
    const int q = symmetryOf(n);
    Node& gathered = at(scratch);
    if (leftward[j]) {
      // The right sibling joins the far end of the right side.
      if (!clear(leftSide, n.right, moved(pivot, g, n.leftLast), compose(g, q))) return false;
      gathered.left = rightSide;
      gathered.right = n.right;
      gathered.sitesAndSymmetry = static_cast<std::uint32_t>(compose(inverse(rightSymmetry), q));
      rightSide = scratch;
    } else {
      // The child climbed from hangs off n.leftLast by q: see everything in n's frame.
      const std::int32_t p[3] = {pivot[0], pivot[1], pivot[2]};
      const std::int32_t r[3] = {rightStart[0], rightStart[1], rightStart[2]};
      for (int k = 0; k < 3; ++k) {
        pivot[static_cast<std::size_t>(k)] = n.leftLast[k] + image(q, p, k);
        rightStart[static_cast<std::size_t>(k)] = n.leftLast[k] + image(q, r, k);
      }
      rightSymmetry = compose(q, rightSymmetry);
      // The left sibling joins the far end of the left side.
      if (!clear(n.left, rightSide, moved(pivot, g, rightStart.data()),
                 compose(g, rightSymmetry))) {
        return false;
      }
      gathered.left = n.left;
      gathered.right = leftSide;
      gathered.sitesAndSymmetry = static_cast<std::uint32_t>(q);
      leftSide = scratch;
    }
    refresh(scratch++);
  }
  if (judge != nullptr && !(*judge)(contacts)) return false;
  // Accepted: the siblings' sums are asked for at once, since the refresh below reads them one
  // after another.
  for (int j = 0; j < depth; ++j) {
    const Node& n = at(path[j]);
    const std::int32_t sibling = leftward[j] ? n.right : n.left;
    prefetch(sibling > 0 ? static_cast<const void*>(&m_moments[static_cast<std::size_t>(sibling)])
                         : &m_blockMoments[static_cast<std::size_t>(-sibling >> 4)]);
  }
  // The sites of the cut block past the pivot site, or the split node's right child,
  // and every node whose right child lies wholly past the pivot site turn by the pivot; then
  // the path is refreshed bottom up.
  if (inBlock) {
    std::uint32_t* sites = &m_sites[static_cast<std::size_t>(lo)];
    std::int32_t centre[3];
    unpack(sites[split - 1 - lo], centre);
    for (std::int32_t j = split - lo; j < hi - lo; ++j) {
      std::int32_t p[3];
      unpack(sites[j], p);
      const std::int32_t d[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
      const std::int32_t t[3] = {centre[0] + image(splitPivot, d, 0),
                                 centre[1] + image(splitPivot, d, 1),
                                 centre[2] + image(splitPivot, d, 2)};
      sites[j] = pack(t);
    }
    refreshBlock(lo, hi - lo);
  } else {
    Node& s = at(refOf(lo, hi));
    setSymmetry(s, compose(splitPivot, symmetryOf(s)));
    refresh(refOf(lo, hi));
    refreshMoments(refOf(lo, hi));
  }
  for (int j = depth - 1; j >= 0; --j) {
    Node& n = at(path[j]);
    if (leftward[j]) setSymmetry(n, compose(local(frame[j]), symmetryOf(n)));
    refresh(path[j]);
    refreshMoments(path[j]);
  }
  return true;
}

// Builds the balanced subtree of sites [lo, hi) whose first site is entered along `firstStep`
// and site k along stepInto(k); when `selfAvoiding` is given, clears it if two sites meet.
template <class StepInto>
std::int32_t PivotWalk::build(std::int32_t lo, std::int32_t hi, int firstStep,
                              const StepInto& stepInto, bool* selfAvoiding) {
  if (hi - lo <= kBlockMost) {
    // The block's frame is the walk's turned so that the step into its first site is +x.
    const int undo = inverse(kTables.towards[firstStep]);
    std::uint32_t* sites = &m_sites[static_cast<std::size_t>(lo)];
    std::int32_t p[3] = {1, 0, 0};
    sites[0] = pack(p);
    for (std::int32_t k = lo + 1; k < hi; ++k) {
      const Point& m = kUnitMove[stepInto(k)];
      const std::int32_t v[3] = {m.x, m.y, m.z};
      for (int i = 0; i < 3; ++i) p[i] += image(undo, v, i);
      sites[k - lo] = pack(p);
    }
    if (selfAvoiding != nullptr) {
      for (std::int32_t j = 1; j < hi - lo; ++j) {
        for (std::int32_t i = 0; i < j; ++i) {
          if (sites[i] == sites[j]) *selfAvoiding = false;
        }
      }
    }
    refreshBlock(lo, hi - lo);
    return -lo;
  }
  const std::int32_t mid = lo + (hi - lo) / 2;
  const std::int32_t left = build(lo, mid, firstStep, stepInto, selfAvoiding);
  const int midStep = stepInto(mid);
  const std::int32_t right = build(mid, hi, midStep, stepInto, selfAvoiding);
  const std::int32_t slot = mid >> 4;
  Node& n = at(slot);
  n.left = left;
  n.right = right;
  const int s = compose(inverse(kTables.towards[firstStep]), kTables.towards[midStep]);
  n.sitesAndSymmetry = static_cast<std::uint32_t>(s);
  if (selfAvoiding != nullptr && *selfAvoiding) {
    Vec last{};
    lastOf(left, last.data());
    if (intersects(left, right, last, s)) *selfAvoiding = false;
  }
  refresh(slot);
  refreshMoments(slot);
  return slot;
}

void PivotWalk::FreeMemory::operator()(void* memory) const { std::free(memory); }

namespace {

// `bytes` aligned for `alignment`, on 2 MiB pages where the system allows once it spans two,
// which spares most of the address translation misses of a walk through the tree; the size
// taken is added to `total`.
void* allocateAligned(std::size_t bytes, std::size_t alignment, std::size_t& total) {
  constexpr std::size_t kHugePage = std::size_t{1} << 21;
  if (bytes >= 2 * kHugePage) alignment = kHugePage;
  const std::size_t size = (bytes + alignment - 1) / alignment * alignment;
  void* memory = std::aligned_alloc(alignment, size);
  if (memory == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (alignment == kHugePage) madvise(memory, size, MADV_HUGEPAGE);
#endif
  total += size;
  return memory;
}

}  // namespace

// Coordinates stay within 3N in every frame, far inside int32 for N <= kMaxSteps, and a block's
// within its count of its own origin, inside a byte.
bool PivotWalk::allocate(const std::function<bool()>& keepGoing) {
  const auto sites = static_cast<std::size_t>(m_steps) + 1;
  const std::size_t slots = (sites >> 4) + 1;
  m_firstGathered = static_cast<std::int32_t>(slots);
  const std::size_t nodes = slots + kScratch;
  m_bytes = 0;
  m_sites.reset(static_cast<std::uint32_t*>(
      allocateAligned(sites * sizeof(std::uint32_t), alignof(std::uint32_t), m_bytes)));
  m_blockBoxes.reset(static_cast<BlockBox*>(
      allocateAligned(slots * sizeof(BlockBox), alignof(BlockBox), m_bytes)));
  m_nodes.reset(static_cast<Node*>(allocateAligned(nodes * sizeof(Node), alignof(Node), m_bytes)));
  m_moments.reset(
      static_cast<Moments*>(allocateAligned(slots * sizeof(Moments), alignof(Moments), m_bytes)));
  m_blockMoments.reset(static_cast<BlockMoments*>(
      allocateAligned(slots * sizeof(BlockMoments), alignof(BlockMoments), m_bytes)));
  // In slices of one 2 MiB page, since clearing is also where the fresh pages are first
  // touched, and a page can take milliseconds to come where the memory is fragmented.
  constexpr std::size_t kSliceBytes = std::size_t{1} << 21;
  const auto clear = [&keepGoing](auto* data, std::size_t count, const auto& value) {
    const std::size_t slice = std::max<std::size_t>(kSliceBytes / sizeof(value), 1);
    for (std::size_t at = 0; at < count; at += slice) {
      if (keepGoing && !keepGoing()) return false;
      std::fill(data + at, data + std::min(count, at + slice), value);
    }
    return true;
  };
  if (!clear(m_sites.get(), sites, 0U) || !clear(m_blockBoxes.get(), slots, BlockBox{}) ||
      !clear(m_nodes.get(), nodes, Node{}) || !clear(m_moments.get(), slots, Moments{}) ||
      !clear(m_blockMoments.get(), slots, BlockMoments{})) {
    return false;
  }
  m_parts = std::make_unique<Part[]>(2);
  m_bytes += 2 * sizeof(Part);
  return true;
}

void PivotWalk::buildRod() {
  build(
      0, m_steps + 1, 0, [](std::int32_t) { return 0; }, nullptr);
}

// Simple sampling of sites [lo, hi) in their own frame: a non-reversing walk (the first step
// any of six, then any of the five that do not turn back), redrawn until self-avoiding, so
// every self-avoiding piece is equally likely.
bool PivotWalk::samplePiece(std::int32_t lo, std::int32_t hi, RandomSource& random,
                            const std::function<bool()>& keepGoing) {
  const std::int32_t count = hi - lo;
  std::uint8_t steps[kPieceSites];
  std::int32_t place[kPieceSites][3];
  steps[0] = 0;
  for (bool selfAvoiding = false; !selfAvoiding;) {
    if (!poll(keepGoing)) return false;
    selfAvoiding = true;
    place[0][0] = place[0][1] = place[0][2] = 0;
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
      const std::int32_t x = place[k - 1][0] + m.x, y = place[k - 1][1] + m.y,
                         z = place[k - 1][2] + m.z;
      // Sites an odd number of steps apart differ in parity, and k - 2 is ruled out.
      for (std::int32_t j = k - 4; j >= 0; j -= 2) {
        if (place[j][0] == x && place[j][1] == y && place[j][2] == z) selfAvoiding = false;
      }
      place[k][0] = x;
      place[k][1] = y;
      place[k][2] = z;
      steps[k] = static_cast<std::uint8_t>(d);
      previous = d;
    }
  }
  build(
      lo, hi, 0, [&steps, lo](std::int32_t k) { return int{steps[k - lo]}; }, nullptr);
  return true;
}

bool PivotWalk::poll(const std::function<bool()>& keepGoing) {
  if (--m_pollCountdown > 0) return true;
  m_pollCountdown = kPollEvery;
  return keepGoing();
}

// Pseudo-dimerization of sites [lo, hi): both halves generated, then joined with a uniform
// symmetry; while the join intersects, the halves are reshaped (or, as pieces, drawn afresh)
// and a fresh symmetry drawn.
bool PivotWalk::generate(std::int32_t lo, std::int32_t hi, RandomSource& random,
                         const std::function<bool()>& keepGoing) {
  if (hi - lo <= kPieceSites) return samplePiece(lo, hi, random, keepGoing);
  const std::int32_t mid = lo + (hi - lo) / 2;
  if (!generate(lo, mid, random, keepGoing) || !generate(mid, hi, random, keepGoing)) {
    return false;
  }
  const std::int32_t left = refOf(lo, mid);
  const std::int32_t right = refOf(mid, hi);
  Node& n = at(refOf(lo, hi));
  n.left = left;
  n.right = right;
  const auto draw = [&random](std::int32_t below) {
    return static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(below)));
  };
  const auto turn = [&random] {
    return 1 + static_cast<int>(uniformBelow(random, kLatticeSymmetries - 1));
  };
  for (;;) {
    const int s = static_cast<int>(uniformBelow(random, kLatticeSymmetries));
    Vec leftLast{};
    lastOf(left, leftLast.data());
    if (!intersects(left, right, leftLast, s)) {
      n.sitesAndSymmetry = static_cast<std::uint32_t>(s);
      refresh(refOf(lo, hi));
      refreshMoments(refOf(lo, hi));
      return true;
    }
    if (!poll(keepGoing)) return false;
    if (hi - lo <= 2 * kPieceSites) {
      // Two pieces: draw both afresh, which makes this join exact.
      if (!samplePiece(lo, mid, random, keepGoing) || !samplePiece(mid, hi, random, keepGoing)) {
        return false;
      }
      continue;
    }
    // Pivot attempts on each half reshape them; the right half is also turned about its first
    // site, so the site the left half ends on becomes another neighbour of it: no join symmetry
    // helps a right half that runs through the one neighbour taken now. Halves reshaped too
    // little between tries keep the hard-to-join shapes that failed, and the walk comes out
    // compact: the mean squared radius of gyration was a fifth below equilibrium with one
    // attempt per half, 7 % below with four (N = 10^4 and 10^5).
    for (int t = 0; t < kReshapes; ++t) {
      pivotSubtree(lo, mid, lo + 1 + draw(mid - lo - 1), turn());
      pivotSubtree(mid, hi, mid + 1 + draw(hi - mid - 1), turn());
    }
    pivotSubtree(mid, hi, mid + 1, turn());
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
  return pivotSubtree(0, m_steps + 1, site + 1, symmetry);
}

bool PivotWalk::attempt(RandomSource& random) {
  const auto site =
      static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(m_steps)));
  const int symmetry = 1 + static_cast<int>(uniformBelow(random, kLatticeSymmetries - 1));
  return pivotSubtree(0, m_steps + 1, site + 1, symmetry);
}

std::int32_t PivotWalk::pairsAcross(std::int32_t site) {
  // The identity pivot's tests count them and its judge refuses it, so nothing is written.
  std::int32_t pairs = 0;
  const std::function<bool(std::int32_t)> keep = [&pairs](std::int32_t found) {
    pairs = found;
    return false;
  };
  pivotSubtree<true>(0, m_steps + 1, site + 1, 0, &keep);
  return pairs;
}

std::int32_t PivotWalk::bendAt(std::int32_t pivotSite, int symmetry) const {
  if (pivotSite == 0) return 0;
  const Point before = site(pivotSite - 1);
  const Point here = site(pivotSite);
  const Point after = site(pivotSite + 1);
  const Point in{here.x - before.x, here.y - before.y, here.z - before.z};
  const Point out{after.x - here.x, after.y - here.y, after.z - here.z};
  const bool bent = !(in == out);
  const bool bentAfter = !(in == applySymmetry(symmetry, out));
  return static_cast<std::int32_t>(bentAfter) - static_cast<std::int32_t>(bent);
}

bool PivotWalk::pivot(std::int32_t site, int symmetry, bool countContacts,
                      const std::function<bool(const PivotChange&)>& accept, PivotChange& change) {
  if (site < 0 || site >= m_steps || symmetry < 1 || symmetry >= kLatticeSymmetries) {
    throw std::out_of_range("PivotWalk::pivot: site or symmetry out of range");
  }
  // The pair joined by the step at the pivot site is one unit apart before and after, so the
  // difference counts contacts alone.
  const std::function<bool(std::int32_t)> judge = [&](std::int32_t pairs) {
    change.contacts = countContacts ? pairs - pairsAcross(site) : 0;
    change.bends = bendAt(site, symmetry);
    return accept(change);
  };
  change = PivotChange{};
  return countContacts ? pivotSubtree<true>(0, m_steps + 1, site + 1, symmetry, &judge)
                       : pivotSubtree<false>(0, m_steps + 1, site + 1, symmetry, &judge);
}

bool PivotWalk::attempt(RandomSource& random, const PivotEnergy& energy, PivotChange& change) {
  change = PivotChange{};
  if (energy.zero()) return attempt(random);
  const auto site =
      static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(m_steps)));
  const int symmetry = 1 + static_cast<int>(uniformBelow(random, kLatticeSymmetries - 1));
  PivotChange made;
  // Contacts are counted under a bend energy alone too, which a run reports.
  if (!pivot(
          site, symmetry, true,
          [&](const PivotChange& proposed) { return metropolis(energy, proposed, random); },
          made)) {
    return false;
  }
  change = made;
  return true;
}

bool PivotWalk::occupied(const Point& p) const {
  // Down from the root into every child whose box holds the point, seen in each child's frame;
  // the root's frame is the walk's moved by (1, 0, 0).
  struct Look {
    std::int32_t ref;
    std::int32_t at[3];
  };
  Look stack[kStackLevels];
  int top = 0;
  stack[top++] = Look{m_root, {p.x + 1, p.y, p.z}};
  while (top > 0) {
    const Look look = stack[--top];
    std::int32_t box[6];
    boxOf(look.ref, box);
    bool inside = true;
    for (int k = 0; k < 3; ++k) {
      inside = inside && box[k] <= look.at[k] && box[k + 3] <= -look.at[k];
    }
    if (!inside) continue;
    if (look.ref <= 0) {
      const std::uint32_t key = pack(look.at);
      const std::uint32_t* sites = blockSites(look.ref);
      for (std::int32_t j = 0; j < blockBox(look.ref).sites; ++j) {
        if (sites[j] == key) return true;
      }
      continue;
    }
    const Node& n = at(look.ref);
    const int undo = inverse(symmetryOf(n));
    const std::int32_t d[3] = {look.at[0] - n.leftLast[0], look.at[1] - n.leftLast[1],
                               look.at[2] - n.leftLast[2]};
    stack[top++] = Look{n.right, {image(undo, d, 0), image(undo, d, 1), image(undo, d, 2)}};
    stack[top++] = Look{n.left, {look.at[0], look.at[1], look.at[2]}};
  }
  return false;
}

PivotWalk::BlockPlace PivotWalk::placeOf(std::int32_t site) const {
  static_assert(std::size(BlockPlace{}.path) >= kStackLevels);
  BlockPlace place{};
  std::int32_t ref = m_root;
  place.lo = 0;
  place.hi = m_steps + 1;
  place.offset[0] = -1;
  while (ref > 0) {
    place.path[place.depth++] = ref;
    const Node& n = at(ref);
    const std::int32_t mid = place.lo + (place.hi - place.lo) / 2;
    if (site < mid) {
      ref = n.left;
      place.hi = mid;
      continue;
    }
    for (int k = 0; k < 3; ++k) place.offset[k] += image(place.symmetry, n.leftLast, k);
    place.symmetry = compose(place.symmetry, symmetryOf(n));
    ref = n.right;
    place.lo = mid;
  }
  return place;
}

void PivotWalk::moveSite(const BlockPlace& place, std::int32_t site, const Point& to) {
  const std::int32_t d[3] = {to.x - place.offset[0], to.y - place.offset[1],
                             to.z - place.offset[2]};
  const int undo = inverse(place.symmetry);
  const std::int32_t p[3] = {image(undo, d, 0), image(undo, d, 1), image(undo, d, 2)};
  m_sites[static_cast<std::size_t>(site)] = pack(p);
}

void PivotWalk::refreshAbove(const BlockPlace& place) {
  refreshBlock(place.lo, place.hi - place.lo);
  for (int j = place.depth - 1; j >= 0; --j) {
    refresh(place.path[j]);
    refreshMoments(place.path[j]);
  }
}

std::int32_t PivotWalk::touching(const Point& p) const {
  std::int32_t count = 0;
  for (const Point& m : kUnitMove) count += occupied(Point{p.x + m.x, p.y + m.y, p.z + m.z});
  return count;
}

bool PivotWalk::kink(std::int32_t site, const std::function<bool(const PivotChange&)>& accept,
                     PivotChange& change) {
  if (site < 1 || site >= m_steps) throw std::out_of_range("PivotWalk::kink: no such site");
  change = PivotChange{};
  const BlockPlace place = placeOf(site);
  if (site == place.lo || site == place.hi - 1) return false;
  const Point a = this->site(site - 1);
  const Point b = this->site(site);
  const Point c = this->site(site + 1);
  const Point in{b.x - a.x, b.y - a.y, b.z - a.z};
  const Point out{c.x - b.x, c.y - b.y, c.z - b.z};
  if (in == out) return false;
  const Point q{a.x + out.x, a.y + out.y, a.z + out.z};
  if (occupied(q)) return false;
  // Both places touch the site's two neighbours, and not each other; the bends at the
  // neighbours change as the steps into and out of the site swap.
  change.contacts = touching(q) - touching(b);
  if (site >= 2) {
    const Point before = this->site(site - 2);
    const Point step{a.x - before.x, a.y - before.y, a.z - before.z};
    change.bends += bendChange(step, out, in);
  }
  if (site + 2 <= m_steps) {
    const Point after = this->site(site + 2);
    const Point step{after.x - c.x, after.y - c.y, after.z - c.z};
    change.bends += bendChange(step, in, out);
  }
  if (!accept(change)) {
    change = PivotChange{};
    return false;
  }
  moveSite(place, site, q);
  refreshAbove(place);
  return true;
}

bool PivotWalk::crankshaft(std::int32_t site, int turn,
                           const std::function<bool(const PivotChange&)>& accept,
                           PivotChange& change) {
  if (site < 1 || site + 1 >= m_steps || turn < 0 || turn > 2) {
    throw std::out_of_range("PivotWalk::crankshaft: no such site or turn");
  }
  change = PivotChange{};
  const BlockPlace place = placeOf(site);
  if (site == place.lo || site + 1 >= place.hi - 1) return false;
  const Point a = this->site(site - 1);
  const Point b = this->site(site);
  const Point c = this->site(site + 1);
  const Point d = this->site(site + 2);
  const Point axis{d.x - a.x, d.y - a.y, d.z - a.z};
  if (std::abs(axis.x) + std::abs(axis.y) + std::abs(axis.z) != 1) return false;
  // Three steps from a to its neighbour d go out along v, along the axis and back along -v;
  // v turns to -v or to either direction of axis x v.
  const Point v{b.x - a.x, b.y - a.y, b.z - a.z};
  const Point cross{axis.y * v.z - axis.z * v.y, axis.z * v.x - axis.x * v.z,
                    axis.x * v.y - axis.y * v.x};
  const Point turns[3] = {{-v.x, -v.y, -v.z}, cross, {-cross.x, -cross.y, -cross.z}};
  const Point& w = turns[turn];
  const Point nb{a.x + w.x, a.y + w.y, a.z + w.z};
  const Point nc{d.x + w.x, d.y + w.y, d.z + w.z};
  if (occupied(nb) || occupied(nc)) return false;
  // The old sites touch each other and a or d; the new ones only a or d, as they are not yet
  // there. No old site touches a new one.
  change.contacts = (touching(nb) + touching(nc) - 2) - (touching(b) + touching(c) - 4);
  if (site >= 2) {
    const Point before = this->site(site - 2);
    const Point step{a.x - before.x, a.y - before.y, a.z - before.z};
    change.bends += bendChange(step, w, v);
  }
  if (site + 3 <= m_steps) {
    const Point after = this->site(site + 3);
    const Point step{after.x - d.x, after.y - d.y, after.z - d.z};
    const Point back{-v.x, -v.y, -v.z}, newBack{-w.x, -w.y, -w.z};
    change.bends += bendChange(step, newBack, back);
  }
  if (!accept(change)) {
    change = PivotChange{};
    return false;
  }
  moveSite(place, site, nb);
  moveSite(place, site + 1, nc);
  refreshAbove(place);
  return true;
}

bool PivotWalk::crankshaftAttempt(RandomSource& random, const PivotEnergy& energy,
                                  PivotChange& change) {
  change = PivotChange{};
  if (m_steps < 3) return false;
  const auto site =
      1 + static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(m_steps - 2)));
  const int turn = static_cast<int>(uniformBelow(random, 3));
  return crankshaft(
      site, turn, [&](const PivotChange& proposed) { return metropolis(energy, proposed, random); },
      change);
}

bool PivotWalk::kinkAttempt(RandomSource& random, const PivotEnergy& energy, PivotChange& change) {
  change = PivotChange{};
  if (m_steps < 2) return false;
  const auto site =
      1 + static_cast<std::int32_t>(uniformBelow(random, static_cast<std::uint64_t>(m_steps - 1)));
  return kink(
      site, [&](const PivotChange& made) { return metropolis(energy, made, random); }, change);
}

Point PivotWalk::end() const {
  std::int32_t last[3];
  lastOf(m_root, last);
  return Point{last[0] - 1, last[1], last[2]};
}

Point PivotWalk::site(std::int32_t i) const {
  if (i < 0 || i > m_steps) throw std::out_of_range("PivotWalk::site: no such site");
  // Down from the root as sites() goes, into the one child that holds the site.
  std::int32_t ref = m_root, lo = 0, hi = m_steps + 1;
  int symmetry = 0;
  Vec offset{-1, 0, 0};
  while (ref > 0) {
    const Node& n = at(ref);
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (i < mid) {
      ref = n.left;
      hi = mid;
      continue;
    }
    for (int k = 0; k < 3; ++k)
      offset[static_cast<std::size_t>(k)] += image(symmetry, n.leftLast, k);
    symmetry = compose(symmetry, symmetryOf(n));
    ref = n.right;
    lo = mid;
  }
  std::int32_t p[3];
  unpack(blockSites(ref)[i - lo], p);
  return Point{offset[0] + image(symmetry, p, 0), offset[1] + image(symmetry, p, 1),
               offset[2] + image(symmetry, p, 2)};
}

double PivotWalk::squaredGyrationRadius() const {
  // In the root's frame, where the walk starts at (1, 0, 0): the spread is the same.
  const Moments m = momentsOf(m_root);
  const double n = static_cast<double>(m_steps) + 1.0;
  double centre = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double c = static_cast<double>(m.sum[k]) / n;
    centre += c * c;
  }
  return m.squares / n - centre;
}

void PivotWalk::sites(std::vector<Point>& out) const {
  out.resize(static_cast<std::size_t>(m_steps) + 1);
  struct Frame {
    std::int32_t ref;
    int symmetry;
    Vec offset;
  };
  // Depth first, left before right; a site is the frame's image of its place in its block,
  // less the origin's own (1, 0, 0). The stack holds at most one frame per level of the tree.
  Frame stack[kStackLevels];
  int top = 0;
  stack[top++] = Frame{m_root, 0, Vec{-1, 0, 0}};
  std::size_t next = 0;
  while (top > 0) {
    const Frame f = stack[--top];
    if (f.ref <= 0) {
      const std::uint32_t* sites = blockSites(f.ref);
      for (std::int32_t j = 0; j < blockBox(f.ref).sites; ++j) {
        std::int32_t p[3];
        unpack(sites[j], p);
        out[next++] =
            Point{f.offset[0] + image(f.symmetry, p, 0), f.offset[1] + image(f.symmetry, p, 1),
                  f.offset[2] + image(f.symmetry, p, 2)};
      }
      continue;
    }
    const Node& n = at(f.ref);
    stack[top++] = Frame{n.right, compose(f.symmetry, symmetryOf(n)),
                         Vec{f.offset[0] + image(f.symmetry, n.leftLast, 0),
                             f.offset[1] + image(f.symmetry, n.leftLast, 1),
                             f.offset[2] + image(f.symmetry, n.leftLast, 2)}};
    stack[top++] = Frame{n.left, f.symmetry, f.offset};
  }
}

std::size_t PivotWalk::bytes() const { return sizeof(*this) + m_bytes; }

PivotChange contactsAndBends(std::vector<Point> sites) {
  PivotChange counts;
  for (std::size_t i = 1; i + 1 < sites.size(); ++i) {
    const Point& a = sites[i - 1];
    const Point& b = sites[i];
    const Point& c = sites[i + 1];
    if (!(Point{b.x - a.x, b.y - a.y, b.z - a.z} == Point{c.x - b.x, c.y - b.y, c.z - b.z})) {
      ++counts.bends;
    }
  }
  // Every pair of neighbouring sites, found towards +x, +y and +z among the sites sorted in
  // place, is a contact or one of the N steps.
  const auto before = [](const Point& p, const Point& q) {
    return std::tie(p.x, p.y, p.z) < std::tie(q.x, q.y, q.z);
  };
  std::sort(sites.begin(), sites.end(), before);
  std::int64_t neighbours = 0;
  for (const Point& p : sites) {
    for (const int d : {0, 2, 4}) {
      const Point n{p.x + kUnitMove[d].x, p.y + kUnitMove[d].y, p.z + kUnitMove[d].z};
      neighbours += std::binary_search(sites.begin(), sites.end(), n, before) ? 1 : 0;
    }
  }
  counts.contacts =
      static_cast<std::int32_t>(neighbours - static_cast<std::int64_t>(sites.size()) + 1);
  return counts;
}

}  // namespace polychain
