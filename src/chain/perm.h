// The pruned-enriched Rosenbluth method (Grassberger 1997) for self-avoiding walks with contact
// and bend energies: tours of chains grown site by site from the origin, depth first with an
// explicit stack of N frames, so that a tour holds O(N) memory however many chains it grows.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "chain/lattice.h"
#include "chain/random.h"
#include "polychain/model.h"

namespace polychain {

// A chain a tour reached: `steps` steps (its sites, origin first, in `sites`) and its weight.
struct PermNode {
  std::int32_t steps = 0;
  double weight = 0.0;
  double squaredEnd = 0.0;       // R^2
  double squaredGyration = 0.0;  // Rg^2 about the centre of mass of its steps + 1 sites
  // Its contacts (non-bonded pairs one unit apart) and bends, counted only when an energy is
  // set (0 otherwise).
  std::int32_t contacts = 0;
  std::int32_t bends = 0;
  std::span<const Point> sites;
};

// Above `enrich` a chain goes on as two copies of half its weight; below `prune` it is
// dropped with probability 1/2 and doubled otherwise.
struct PermBounds {
  double enrich = 0.0;
  double prune = 0.0;
};

// Grows the tours of chains of up to N steps. Each new site is chosen among the free
// neighbours of the end with probability proportional to its Boltzmann factor q, and the
// chain's weight is multiplied by the sum of the q (the atmosphere), so that the weights of
// the chains of n steps that a tour reaches add up, on average, to Z_n. Not thread-safe:
// one per thread.
class PermTree {
 public:
  PermTree(std::int32_t steps, const PermSettings& settings);

  // One tour from `random`. The guide says what the weights mean and when to prune:
  //   double weigh(std::int32_t n, double parent, double atmosphere): the weight of a new
  //     chain of n steps, `parent` times `atmosphere` (it may rescale);
  //   PermBounds bounds(std::int32_t n): the thresholds for chains of n steps;
  //   void visit(const PermNode&): every chain reached, from 1 step to N;
  //   bool goOn(): asked every few thousand chains; false stops the tour.
  // False when the guide stopped it.
  template <class Guide>
  bool tour(RandomSource& random, Guide& guide);

  std::int32_t steps() const { return m_steps; }

 private:
  struct Frame {
    double weight = 0.0;      // each copy's
    std::int32_t copies = 0;  // copies still to grow from this chain
  };
  static constexpr int kCellBits = 6;
  static constexpr std::int32_t kCellMask = (1 << kCellBits) - 1;

  static std::size_t cellOf(const Point& p) {
    return static_cast<std::size_t>(((p.x & kCellMask) << (2 * kCellBits)) |
                                    ((p.y & kCellMask) << kCellBits) | (p.z & kCellMask));
  }
  bool occupied(const Point& p) const {
    for (std::int32_t i = m_head[cellOf(p)]; i >= 0; i = m_next[static_cast<std::size_t>(i)]) {
      if (m_sites[static_cast<std::size_t>(i)] == p) return true;
    }
    return false;
  }
  // Site n joins (it is the newest), or leaves (it must be the newest).
  void place(std::int32_t n);
  void lift(std::int32_t n);
  // The Boltzmann factors of the six steps from the end of a chain of n steps (0 for a taken
  // site) into `q`; returns their sum.
  double atmosphere(std::int32_t n, std::array<double, 6>& q) const;
  PermNode node(std::int32_t n, double weight) const;

  std::int32_t m_steps;
  bool m_contacts;                     // the contact energy is not 0
  bool m_counting;                     // an energy is not 0: count each chain's terms
  std::array<double, 12> m_boltzmann;  // exp(-(E c + K b)), at 2 c + b
  std::vector<Point> m_sites;
  std::vector<int> m_dirs;  // the direction of step n at n
  std::vector<std::int32_t> m_head;
  std::vector<std::int32_t> m_next;
  std::vector<std::array<std::int64_t, 4>> m_sums;   // sum of x, y, z and x^2 + y^2 + z^2 to n
  std::vector<std::array<std::int32_t, 2>> m_terms;  // contacts and bends to n, when counting
  std::vector<Frame> m_stack;
};

// ln Z_n for n = 0 ... N as a short deterministic pilot of `steps` steps estimates it (Z_0 =
// 1): sequential tours from a fixed stream, each chain's thresholds from the running estimate
// of Z_n over the tours so far, until at least kPermPilotTours tours and kPermPilotChains
// chains a step were grown (or a cap of 50 times those chains); beyond the longest chain
// it reached, continued at its last growth rate. None when `goOn` stopped it. The same on every
// process and thread: it depends on N and the energies only.
inline constexpr std::int64_t kPermPilotTours = 64;
inline constexpr std::int64_t kPermPilotChains = 500;
template <class GoOn>
std::optional<std::vector<double>> permPilot(std::int32_t steps, const PermSettings& settings,
                                             GoOn&& goOn);

// A tour's thresholds in units of the estimate of Z_n: W+ = kPermEnrich Z_n, W- = kPermPrune
// Z_n.
inline constexpr double kPermEnrich = 2.0;
inline constexpr double kPermPrune = 0.2;

template <class Guide>
bool PermTree::tour(RandomSource& random, Guide& guide) {
  constexpr std::int64_t kPollEvery = 4096;
  std::int64_t chains = 0;
  std::int32_t n = 0;
  m_stack[0] = {1.0, 1};
  std::array<double, 6> q{};
  for (;;) {
    Frame& frame = m_stack[static_cast<std::size_t>(n)];
    if (frame.copies == 0) {
      if (n == 0) return true;
      lift(n);
      --n;
      continue;
    }
    --frame.copies;
    const double sum = atmosphere(n, q);
    if (!(sum > 0.0)) continue;  // trapped: this copy ends here
    // The step with probability q / sum: a 53-bit draw.
    double draw = static_cast<double>(random.next() >> 11) * 0x1.0p-53 * sum;
    int dir = 0;
    for (; dir < 5; ++dir) {
      if (draw < q[static_cast<std::size_t>(dir)]) break;
      draw -= q[static_cast<std::size_t>(dir)];
    }
    while (q[static_cast<std::size_t>(dir)] == 0.0) --dir;  // rounding past the last free step
    const double weight = guide.weigh(n + 1, frame.weight, sum);
    ++n;
    const auto at = static_cast<std::size_t>(n);
    m_sites[at] = m_sites[at - 1];
    moveAlong(m_sites[at], dir, 1);
    m_dirs[at] = dir;
    place(n);
    guide.visit(node(n, weight));
    Frame& next = m_stack[at];
    if (n == m_steps) {
      next = {weight, 0};
    } else {
      const PermBounds bounds = guide.bounds(n);
      if (weight > bounds.enrich) {
        next = {weight / 2.0, 2};
      } else if (weight < bounds.prune) {
        next = (random.next() >> 63) != 0 ? Frame{2.0 * weight, 1} : Frame{0.0, 0};
      } else {
        next = {weight, 1};
      }
    }
    if (++chains % kPollEvery == 0 && !guide.goOn()) {
      while (n > 0) lift(n--);
      return false;
    }
  }
}

template <class GoOn>
std::optional<std::vector<double>> permPilot(std::int32_t steps, const PermSettings& settings,
                                             GoOn&& goOn) {
  // Weights in units of exp(scale[n]), set when a chain first reaches n to exp(scale[n - 1])
  // times its atmosphere, so that it keeps its parent's weight; sums[n] adds up the weights
  // reached at n. (Units that gave it weight 1 would take in the halving of every copy of the
  // first tours, which enrich at each new n: the sums would then grow by about 2 a step.)
  struct Guide {
    std::vector<double> scale, sums;
    std::int64_t tours = 0, chains = 0;
    std::int32_t deepest = 0;
    std::remove_reference_t<GoOn>* poll = nullptr;
    double weigh(std::int32_t n, double parent, double atmosphere) {
      const auto at = static_cast<std::size_t>(n);
      if (n > deepest) {
        scale[at] = scale[at - 1] + std::log(atmosphere);
        deepest = n;
      }
      return parent * atmosphere * std::exp(scale[at - 1] - scale[at]);
    }
    PermBounds bounds(std::int32_t n) const {
      const double z = sums[static_cast<std::size_t>(n)] / static_cast<double>(tours);
      return {kPermEnrich * z, kPermPrune * z};
    }
    void visit(const PermNode& node) {
      sums[static_cast<std::size_t>(node.steps)] += node.weight;
      ++chains;
    }
    bool goOn() { return (*poll)(); }
  };
  const auto size = static_cast<std::size_t>(steps) + 1;
  Guide guide{std::vector<double>(size, 0.0), std::vector<double>(size, 0.0), 0, 0, 0, &goOn};
  guide.sums[0] = 0.0;
  PermTree tree(steps, settings);
  RandomSource random(0x5045524d50494c4fULL);  // a fixed stream: the pilot is the same everywhere
  const std::int64_t enough = kPermPilotChains * std::int64_t{steps};
  while (guide.tours < kPermPilotTours || guide.chains < enough || guide.deepest < steps) {
    if (guide.chains >= 50 * enough) break;
    ++guide.tours;
    guide.sums[0] += 1.0;
    if (!tree.tour(random, guide) || !goOn()) return std::nullopt;
    random.jump();
  }
  std::vector<double> logZ(size, 0.0);
  const double tours = static_cast<double>(guide.tours);
  for (std::int32_t n = 1; n <= guide.deepest; ++n) {
    const auto at = static_cast<std::size_t>(n);
    logZ[at] = guide.scale[at] + std::log(guide.sums[at] / tours);
  }
  const std::int32_t last = guide.deepest;
  const double rate =
      last >= 2 ? logZ[static_cast<std::size_t>(last)] - logZ[static_cast<std::size_t>(last - 1)]
                : std::log(6.0);
  for (std::int32_t n = last + 1; n <= steps; ++n) {
    logZ[static_cast<std::size_t>(n)] = logZ[static_cast<std::size_t>(n - 1)] + rate;
  }
  return logZ;
}

}  // namespace polychain
