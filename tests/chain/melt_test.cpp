// The melt against exact enumeration of tiny boxes: every move kind is reversible with the same
// number of proposals each way and weighs the change of energy its result has (so the
// Boltzmann distribution is kept exactly), and the sampler's averages and R^2 histograms
// agree with the exact ones, athermal and under energies. Then validity after long runs of every
// move at low and high density with every kind of walls, and the same bytes from the same seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "chain/melt.h"

namespace polychain {
namespace {

constexpr std::array<MeltWalls, 4> kAllWalls = {MeltWalls::None, MeltWalls::Z, MeltWalls::YZ,
                                                MeltWalls::XYZ};

std::string nameOf(MeltWalls walls) {
  switch (walls) {
    case MeltWalls::None:
      return "periodic";
    case MeltWalls::Z:
      return "slit";
    case MeltWalls::YZ:
      return "channel";
    case MeltWalls::XYZ:
      return "closed box";
  }
  return "?";
}

bool walled(MeltWalls walls, int axis) {
  return walls == MeltWalls::XYZ || (walls == MeltWalls::YZ && axis >= 1) ||
         (walls == MeltWalls::Z && axis == 2);
}

// ---- Exact enumeration, written apart from the melt's own geometry.

struct System {
  std::int32_t chains;
  std::int32_t steps;
  std::int32_t side;
  MeltWalls walls;
  MeltEnergy energy{};
};

// Two wrapped sites one step apart, across a periodic face too (sides of 3 and more).
bool adjacent(const std::array<int, 3>& p, const std::array<int, 3>& q, int side, MeltWalls walls) {
  int apart = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const int d = std::abs(p[k] - q[k]);
    if (d == 0) continue;
    if (d == 1 || (d == side - 1 && !walled(walls, static_cast<int>(k)))) {
      ++apart;
    } else {
      return false;
    }
  }
  return apart == 1;
}

bool nextToWall(const std::array<int, 3>& p, int side, MeltWalls walls) {
  for (std::size_t k = 0; k < 3; ++k) {
    if (walled(walls, static_cast<int>(k)) && (p[k] == 0 || p[k] == side - 1)) return true;
  }
  return false;
}

// Contacts, bends and wall sites of chains given by their unwrapped sites.
MeltEnergyTerms termsOf(const std::vector<std::vector<std::array<int, 3>>>& chains, int side,
                        MeltWalls walls) {
  MeltEnergyTerms terms;
  std::vector<std::array<int, 3>> wrapped;
  std::vector<std::pair<std::size_t, std::size_t>> bead;  // chain, index
  for (std::size_t c = 0; c < chains.size(); ++c) {
    const auto& path = chains[c];
    for (std::size_t i = 0; i < path.size(); ++i) {
      std::array<int, 3> w{};
      for (std::size_t k = 0; k < 3; ++k) w[k] = ((path[i][k] % side) + side) % side;
      wrapped.push_back(w);
      bead.emplace_back(c, i);
      terms.wallSites += nextToWall(w, side, walls);
      if (i == 0 || i + 1 == path.size()) continue;
      for (std::size_t k = 0; k < 3; ++k) {
        if (path[i][k] - path[i - 1][k] != path[i + 1][k] - path[i][k]) {
          ++terms.bends;
          break;
        }
      }
    }
  }
  for (std::size_t a = 0; a < wrapped.size(); ++a) {
    for (std::size_t b = a + 1; b < wrapped.size(); ++b) {
      const bool bonded = bead[a].first == bead[b].first && bead[b].second == bead[a].second + 1;
      terms.contacts += !bonded && adjacent(wrapped[a], wrapped[b], side, walls);
    }
  }
  return terms;
}

MeltEnergyTerms termsOf(const Melt& melt) {
  std::vector<std::vector<std::array<int, 3>>> chains;
  std::vector<Point> sites;
  for (std::int32_t c = 0; c < melt.chains(); ++c) {
    melt.chainSites(c, sites);
    chains.emplace_back();
    for (const Point& p : sites) chains.back().push_back({p.x, p.y, p.z});
  }
  return termsOf(chains, melt.side(), melt.walls());
}

double energyOf(const MeltEnergy& e, const MeltEnergyTerms& t) {
  return e.contact * static_cast<double>(t.contacts) + e.bend * static_cast<double>(t.bends) +
         e.wall * static_cast<double>(t.wallSites);
}

std::string nameOf(const System& s) {
  return std::to_string(s.chains) + " x " + std::to_string(s.steps) + " steps, " + nameOf(s.walls) +
         " of side " + std::to_string(s.side);
}

// One chain's configuration: the cells it takes (at most 64 cells), its shape, its sites
// wrapped and its own energy's terms.
struct Walk {
  std::uint64_t cells;
  int r2;
  double rg2;
  std::vector<int> sites;
  MeltEnergyTerms terms;
};

std::vector<Walk> allWalks(const System& s) {
  std::vector<Walk> walks;
  const int l = s.side;
  std::vector<std::array<int, 3>> path;  // unwrapped
  const auto cellOf = [l](const std::array<int, 3>& p) {
    const auto wrap = [l](int v) { return ((v % l) + l) % l; };
    return wrap(p[0]) + l * (wrap(p[1]) + l * wrap(p[2]));
  };
  const auto extend = [&](auto&& self, std::uint64_t cells) -> void {
    if (static_cast<std::int32_t>(path.size()) == s.steps + 1) {
      const auto& a = path.front();
      const auto& b = path.back();
      int r2 = 0;
      double centre[3] = {0, 0, 0};
      for (const auto& p : path) {
        for (int k = 0; k < 3; ++k) centre[k] += p[static_cast<std::size_t>(k)];
      }
      for (int k = 0; k < 3; ++k) {
        const auto d = b[static_cast<std::size_t>(k)] - a[static_cast<std::size_t>(k)];
        r2 += d * d;
        centre[k] /= static_cast<double>(path.size());
      }
      double rg2 = 0.0;
      for (const auto& p : path) {
        for (int k = 0; k < 3; ++k) {
          const double d = p[static_cast<std::size_t>(k)] - centre[k];
          rg2 += d * d;
        }
      }
      std::vector<int> sites;
      for (const auto& p : path) sites.push_back(cellOf(p));
      walks.push_back({cells, r2, rg2 / static_cast<double>(path.size()), std::move(sites),
                       termsOf({path}, l, s.walls)});
      return;
    }
    for (int axis = 0; axis < 3; ++axis) {
      for (const int sign : {1, -1}) {
        std::array<int, 3> next = path.back();
        next[static_cast<std::size_t>(axis)] += sign;
        const int v = next[static_cast<std::size_t>(axis)];
        if (walled(s.walls, axis) && (v < 0 || v >= l)) continue;
        const std::uint64_t bit = std::uint64_t{1} << cellOf(next);
        if ((cells & bit) != 0) continue;
        path.push_back(next);
        self(self, cells | bit);
        path.pop_back();
      }
    }
  };
  for (int z = 0; z < l; ++z) {
    for (int y = 0; y < l; ++y) {
      for (int x = 0; x < l; ++x) {
        path = {{x, y, z}};
        extend(extend, std::uint64_t{1} << cellOf(path[0]));
      }
    }
  }
  return walks;
}

// The key of a configuration's R^2 values, chain after chain: distinct for the tiny systems
// whose histograms are compared; for larger ones (whose histograms are not) it wraps around.
int keyOf(const std::vector<int>& r2) {
  std::uint32_t key = 0;
  for (const int v : r2) key = key * 64U + static_cast<std::uint32_t>(v);
  return static_cast<int>(key);
}

struct Exact {
  double r2 = 0.0;   // <R^2>, the mean over chains and configurations
  double rg2 = 0.0;  // <Rg^2>
  double contacts = 0.0, bends = 0.0, wallSites = 0.0;  // per chain
  std::map<int, double> histogram;                      // the weight of each R^2 key
};

// Every configuration of one or two labelled chains, each weighing exp(-energy).
Exact enumerate(const System& s) {
  const std::vector<Walk> walks = allWalks(s);
  // The cells next to each cell, as a mask, for the contacts between two chains.
  const int l = s.side;
  std::vector<std::uint64_t> near(static_cast<std::size_t>(l * l * l), 0);
  for (int a = 0; a < l * l * l; ++a) {
    for (int b = 0; b < l * l * l; ++b) {
      const std::array<int, 3> p = {a % l, a / l % l, a / (l * l)};
      const std::array<int, 3> q = {b % l, b / l % l, b / (l * l)};
      if (adjacent(p, q, l, s.walls)) near[static_cast<std::size_t>(a)] |= std::uint64_t{1} << b;
    }
  }
  std::vector<double> weights(64 * 64, 0.0);
  double configurations = 0.0;
  Exact exact;
  const auto add = [&](double r2, double rg2, const MeltEnergyTerms& t, int key) {
    const double w = std::exp(-energyOf(s.energy, t));
    exact.r2 += w * r2;
    exact.rg2 += w * rg2;
    exact.contacts += w * static_cast<double>(t.contacts);
    exact.bends += w * static_cast<double>(t.bends);
    exact.wallSites += w * static_cast<double>(t.wallSites);
    weights[static_cast<std::size_t>(key)] += w;
    configurations += w;
  };
  for (const Walk& a : walks) {
    if (s.chains == 1) {
      add(a.r2, a.rg2, a.terms, a.r2);
      continue;
    }
    for (const Walk& b : walks) {
      if ((a.cells & b.cells) != 0) continue;
      MeltEnergyTerms t{a.terms.contacts + b.terms.contacts, a.terms.bends + b.terms.bends,
                        a.terms.wallSites + b.terms.wallSites};
      for (const int cell : a.sites) {
        t.contacts += std::popcount(near[static_cast<std::size_t>(cell)] & b.cells);
      }
      add(a.r2 + b.r2, a.rg2 + b.rg2, t, keyOf({a.r2, b.r2}));
    }
  }
  for (double* v : {&exact.r2, &exact.rg2, &exact.contacts, &exact.bends, &exact.wallSites}) {
    *v /= configurations * s.chains;
  }
  for (std::size_t key = 0; key < weights.size(); ++key) {
    if (weights[key] > 0.0) exact.histogram[static_cast<int>(key)] = weights[key] / configurations;
  }
  return exact;
}

// ---- Every proposal of one kind, with the ranges attempt() draws from.

template <class Visit>
void forEachProposal(MeltMove kind, const Melt& melt, const Visit& visit) {
  const std::int32_t n = melt.steps();
  for (std::int32_t c = 0; c < melt.chains(); ++c) {
    switch (kind) {
      case MeltMove::End:
      case MeltMove::Reptation:
        for (int end = 0; end < 2; ++end) {
          for (int d = 0; d < 6; ++d) {
            visit([=](Melt& m) {
              return kind == MeltMove::End ? m.endMove(c, end, d) : m.reptation(c, end, d);
            });
          }
        }
        break;
      case MeltMove::Kink:
        for (std::int32_t b = 1; b < n; ++b) visit([=](Melt& m) { return m.kinkJump(c, b); });
        break;
      case MeltMove::Crankshaft:
        for (std::int32_t b = 1; b + 1 < n; ++b) {
          for (int t = 1; t <= 3; ++t) visit([=](Melt& m) { return m.crankshaft(c, b, t); });
        }
        break;
      case MeltMove::Pivot:
        for (std::int32_t side = 0; side < 2 * n; ++side) {
          for (int g = 1; g < 48; ++g) visit([=](Melt& m) { return m.pivot(c, side, g); });
        }
        break;
      case MeltMove::TailSwap:
        for (std::int32_t b = 0; b < n; ++b) {
          for (int d = 0; d < 6; ++d) visit([=](Melt& m) { return m.tailSwap(c, b, d); });
        }
        break;
    }
  }
}

using State = std::vector<std::int32_t>;

State stateOf(const Melt& melt) {
  std::vector<Point> sites, images;
  melt.wrappedSites(sites, images);
  State state;
  for (const Point& p : sites) state.insert(state.end(), {p.x, p.y, p.z});
  return state;
}

// How many of the proposals of `kind` take `melt` to each other configuration, and that
// configuration.
struct Reached {
  int proposals = 0;
  Melt melt;
};
// Under an energy, each result must say the change of energy that its terms, counted afresh,
// have: then the Metropolis test weighs a -> b and b -> a as detailed balance asks.
std::map<State, Reached> movesFrom(MeltMove kind, const Melt& melt) {
  std::map<State, Reached> to;
  const double energy = energyOf(melt.energy(), termsOf(melt));
  forEachProposal(kind, melt, [&](const auto& move) {
    Melt trial = melt;
    if (!move(trial)) return;
    EXPECT_TRUE(trial.valid()) << trial.fault();
    EXPECT_NEAR(trial.lastChange(), energyOf(melt.energy(), termsOf(trial)) - energy, 1e-12);
    const auto [at, added] = to.try_emplace(stateOf(trial), Reached{0, trial});
    ++at->second.proposals;
  });
  return to;
}

constexpr std::array<MeltMove, kMeltMoves> kAllMoves = {MeltMove::End,        MeltMove::Kink,
                                                        MeltMove::Crankshaft, MeltMove::Reptation,
                                                        MeltMove::Pivot,      MeltMove::TailSwap};

const char* nameOf(MeltMove kind) {
  static const char* const names[] = {"end",       "kink",  "crankshaft",
                                      "reptation", "pivot", "tail swap"};
  return names[static_cast<int>(kind)];
}

// Detailed balance, exactly: from configurations met along a run under an energy, every
// proposal of each kind is made, each configuration b reached from a by k proposals must reach
// a back by k, and each weighs the true change of energy. Each kind is checked from the first
// 8 configurations where it can change something.
TEST(MeltMoves, EveryKindIsReversedByAsManyProposalsAndWeighsItsChange) {
  for (const MeltWalls walls : kAllWalls) {
    const System s{3, 3, 3, walls};
    SCOPED_TRACE(nameOf(s));
    Melt melt(s.chains, s.steps, s.side, s.walls);
    melt.setEnergy({-0.7, 0.45, walls == MeltWalls::None ? 0.0 : -1.3});
    RandomSource random(11);
    std::array<int, kMeltMoves> checked{};
    for (int start = 0; start < 1000; ++start) {
      melt.attempt(random, 37);
      ASSERT_TRUE(melt.valid()) << melt.fault();
      const MeltEnergyTerms terms = melt.energyTerms(), counted = termsOf(melt);
      ASSERT_TRUE(terms.contacts == counted.contacts && terms.bends == counted.bends &&
                  terms.wallSites == counted.wallSites);
      const State here = stateOf(melt);
      for (const MeltMove kind : kAllMoves) {
        SCOPED_TRACE(nameOf(kind));
        if (checked[static_cast<std::size_t>(kind)] == 8) continue;
        bool changed = false;
        for (const auto& [there, reached] : movesFrom(kind, melt)) {
          if (there == here) continue;
          changed = true;
          const std::map<State, Reached> back = movesFrom(kind, reached.melt);
          const auto found = back.find(here);
          ASSERT_TRUE(found != back.end()) << "no way back";
          EXPECT_EQ(found->second.proposals, reached.proposals);
        }
        checked[static_cast<std::size_t>(kind)] += changed;
      }
      if (*std::min_element(checked.begin(), checked.end()) == 8) break;
    }
    for (const MeltMove kind : kAllMoves) {
      EXPECT_EQ(checked[static_cast<std::size_t>(kind)], 8) << nameOf(kind);
    }
  }
}

// ---- The sampler against the exact distribution.

struct Sampled {
  double r2 = 0.0, r2Error = 0.0, rg2 = 0.0, rg2Error = 0.0;
  // The energy's terms per chain and their errors.
  std::array<double, 3> terms{}, termsError{};
  std::map<int, double> histogram;  // counts
  double samples = 0.0;
  // The variance of the mean R^2 from the batch means over that of independent samples: the
  // samples count as samples / inefficiency independent ones.
  double inefficiency = 1.0;
};

// `batches` batches of `perBatch` samples, one every `spacing` sweeps after a burn-in; the
// errors are those of the batch means. With `parts` the sweeps after the burn-in are decomposed
// into that many, so that they start from the equilibrium they must keep.
Sampled sample(const System& s, const MeltMoveMix& mix, std::uint64_t seed, int spacing,
               int batches, int perBatch, std::int32_t parts = 0) {
  Melt melt(s.chains, s.steps, s.side, s.walls, mix);
  melt.setEnergy(s.energy);
  if (parts > 0) melt.setDecomposition({parts});
  RandomSource random(seed);
  const auto sweeps = [&](int n) {
    if (parts == 0) {
      melt.attempt(random, n * melt.sweepAttempts());
      return;
    }
    for (int k = 0; k < n; ++k) melt.decomposedSweep(random);
  };
  melt.attempt(random, 1000 * melt.sweepAttempts());
  std::vector<double> r2Means, rg2Means;
  std::array<std::vector<double>, 3> termMeans;
  double r2Squares = 0.0;
  Sampled out;
  for (int batch = 0; batch < batches; ++batch) {
    double r2 = 0.0, rg2 = 0.0;
    std::array<double, 3> terms{};
    for (int k = 0; k < perBatch; ++k) {
      sweeps(spacing);
      const MeltEnergyTerms t = termsOf(melt);
      terms[0] += static_cast<double>(t.contacts);
      terms[1] += static_cast<double>(t.bends);
      terms[2] += static_cast<double>(t.wallSites);
      std::vector<int> key;
      double chainsR2 = 0.0;
      for (std::int32_t c = 0; c < s.chains; ++c) {
        const MeltChainShape shape = melt.shape(c);
        chainsR2 += shape.squaredEndToEnd / s.chains;
        rg2 += shape.squaredGyrationRadius;
        key.push_back(static_cast<int>(shape.squaredEndToEnd));
      }
      r2 += chainsR2;
      r2Squares += chainsR2 * chainsR2;
      out.histogram[keyOf(key)] += 1.0;
    }
    r2Means.push_back(r2 / perBatch);
    rg2Means.push_back(rg2 / (perBatch * s.chains));
    for (std::size_t k = 0; k < 3; ++k) termMeans[k].push_back(terms[k] / (perBatch * s.chains));
  }
  const auto meanAndError = [](const std::vector<double>& v, double& mean, double& error) {
    mean = 0.0;
    for (const double x : v) mean += x;
    mean /= static_cast<double>(v.size());
    double squares = 0.0;
    for (const double x : v) squares += (x - mean) * (x - mean);
    error = std::sqrt(squares / static_cast<double>(v.size() - 1) / static_cast<double>(v.size()));
  };
  meanAndError(r2Means, out.r2, out.r2Error);
  meanAndError(rg2Means, out.rg2, out.rg2Error);
  for (std::size_t k = 0; k < 3; ++k) meanAndError(termMeans[k], out.terms[k], out.termsError[k]);
  out.samples = static_cast<double>(batches) * perBatch;
  const double spread = r2Squares / out.samples - out.r2 * out.r2;
  out.inefficiency = std::max(1.0, out.r2Error * out.r2Error * out.samples / spread);
  EXPECT_TRUE(melt.valid()) << melt.fault();
  return out;
}

// Pearson's chi-square of the sampled histogram against the exact weights, keys of expected
// count below 5 pooled, divided by the samples' inefficiency (so that correlated samples count
// as the independent ones they are worth); its degrees of freedom to `dof`.
double chiSquare(const Sampled& sampled, const Exact& exact, int& dof) {
  double chi2 = 0.0, pooledExpected = 0.0, pooledSeen = 0.0;
  dof = -1;
  for (const auto& [key, weight] : exact.histogram) {
    const double expected = weight * sampled.samples;
    const auto found = sampled.histogram.find(key);
    const double seen = found == sampled.histogram.end() ? 0.0 : found->second;
    if (expected < 5.0) {
      pooledExpected += expected;
      pooledSeen += seen;
      continue;
    }
    chi2 += (seen - expected) * (seen - expected) / expected;
    ++dof;
  }
  if (pooledExpected > 0.0) {
    chi2 += (pooledSeen - pooledExpected) * (pooledSeen - pooledExpected) / pooledExpected;
    ++dof;
  }
  for (const auto& [key, count] : sampled.histogram) {
    EXPECT_TRUE(exact.histogram.count(key) == 1) << "an R^2 no configuration has: key " << key;
  }
  return chi2 / sampled.inefficiency;
}

// The chi-square exceeded with probability 1e-5 (Wilson and Hilferty's cube-root normal).
double chiSquareBound(int dof) {
  const double k = dof, z = 4.265;
  const double root = 1.0 - 2.0 / (9.0 * k) + z * std::sqrt(2.0 / (9.0 * k));
  return k * root * root * root;
}

MeltMoveMix mixOf(std::initializer_list<std::pair<MeltMove, double>> weights) {
  MeltMoveMix mix;
  for (const auto& [kind, weight] : weights) mix.weights[static_cast<std::size_t>(kind)] = weight;
  return mix;
}

// Each system with standard mixes and with the kinds that reach every configuration on their
// own there. The bounds are four and a half standard deviations, and the chi-square exceeded
// with probability 1e-5.
TEST(MeltSampler, MatchesExactEnumeration) {
  struct Case {
    System system;
    const char* what;
    MeltMoveMix mix;
    int spacing;  // sweeps between samples
  };
  const MeltMoveMix local =
      mixOf({{MeltMove::End, 1}, {MeltMove::Kink, 1}, {MeltMove::Crankshaft, 1}});
  // The standard mixes: of short chains, reptation with a few local moves; of long chains,
  // tail swaps, reptation and local moves; in dilute melts with pivots.
  const MeltMoveMix shortDense = MeltMoveMix::standard(3, 0.5);
  const MeltMoveMix shortDilute = MeltMoveMix::standard(3, 0.1);
  const MeltMoveMix longDense = MeltMoveMix::standard(1000, 0.5);
  const MeltMoveMix longDilute = MeltMoveMix::standard(1000, 0.1);
  const std::vector<Case> cases = {
      {{2, 3, 3, MeltWalls::None}, "short chains' mix, dilute", shortDilute, 6},
      {{2, 3, 3, MeltWalls::None}, "long chains' mix", longDense, 6},
      {{2, 3, 3, MeltWalls::None}, "reptation", MeltMoveMix::only(MeltMove::Reptation), 6},
      {{2, 3, 3, MeltWalls::None}, "local", local, 10},
      {{2, 3, 3, MeltWalls::None},
       "tail swaps and reptation",
       mixOf({{MeltMove::TailSwap, 4}, {MeltMove::Reptation, 1}}),
       10},
      {{2, 3, 3, MeltWalls::None}, "pivot", MeltMoveMix::only(MeltMove::Pivot), 6},
      {{1, 5, 3, MeltWalls::XYZ}, "short chains' mix", shortDense, 6},
      {{1, 5, 3, MeltWalls::XYZ}, "local", local, 10},
      {{1, 4, 3, MeltWalls::Z}, "short chains' mix, dilute", shortDilute, 6},
      {{1, 4, 3, MeltWalls::Z}, "pivot", MeltMoveMix::only(MeltMove::Pivot), 6},
      {{2, 3, 3, MeltWalls::YZ}, "long chains' mix, dilute", longDilute, 6},
      // Under energies, attractive and repulsive, every kind of move.
      {{2, 3, 3, MeltWalls::None, {-1.0, 0.5, 0.0}}, "long chains' mix", longDense, 6},
      {{2, 3, 3, MeltWalls::None, {0.8, -0.4, 0.0}}, "short chains' mix, dilute", shortDilute, 6},
      {{2, 3, 3, MeltWalls::None, {-0.7, 1.0, 0.0}},
       "tail swaps and reptation",
       mixOf({{MeltMove::TailSwap, 4}, {MeltMove::Reptation, 1}}),
       10},
      {{1, 5, 3, MeltWalls::XYZ, {-0.6, 0.7, -0.9}}, "local", local, 10},
      {{1, 4, 3, MeltWalls::Z, {0.5, -0.5, 1.0}}, "pivot", MeltMoveMix::only(MeltMove::Pivot), 6},
      {{2, 3, 3, MeltWalls::YZ, {-0.5, 0.3, -0.7}}, "long chains' mix, dilute", longDilute, 6},
  };
  std::uint64_t seed = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(nameOf(c.system) + ", " + c.what);
    const Exact exact = enumerate(c.system);
    const Sampled sampled = sample(c.system, c.mix, ++seed, c.spacing, 32, 500);
    EXPECT_NEAR(sampled.r2, exact.r2, 4.5 * sampled.r2Error);
    EXPECT_NEAR(sampled.rg2, exact.rg2, 4.5 * sampled.rg2Error);
    const std::array<double, 3> exactTerms = {exact.contacts, exact.bends, exact.wallSites};
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_NEAR(sampled.terms[k], exactTerms[k], 4.5 * sampled.termsError[k] + 1e-12) << k;
    }
    int dof = 0;
    const double chi2 = chiSquare(sampled, exact, dof);
    EXPECT_LT(chi2, chiSquareBound(dof)) << dof << " degrees of freedom";
  }
}

// Sweeps split into slabs of a box they split (a part's interior two sites narrower each side)
// against the undecomposed sampler, itself matched with exact enumeration above: one chain in
// a closed box under every energy, short chains' reptation in a dense periodic box, long
// chains' tail swaps. Four and a half standard deviations of the difference.
TEST(MeltSampler, DecomposedSweepsKeepTheEquilibrium) {
  struct Case {
    System system;
    const char* what;
    MeltMoveMix mix;
    std::int32_t parts;
  };
  MeltMoveMix every;
  every.weights.fill(1.0);
  const std::vector<Case> cases = {
      {{1, 6, 12, MeltWalls::XYZ, {-0.6, 0.4, -0.5}}, "every kind", every, 2},
      {{60, 13, 12, MeltWalls::None, {-0.3, 0.2, 0.0}},
       "short chains' mix",
       MeltMoveMix::standard(13, 0.5),
       2},
      {{24, 40, 14, MeltWalls::Z}, "long chains' mix", MeltMoveMix::standard(1000, 0.1), 2},
  };
  std::uint64_t seed = 300;
  for (const Case& c : cases) {
    SCOPED_TRACE(nameOf(c.system) + ", " + c.what);
    const Sampled whole = sample(c.system, c.mix, ++seed, 4, 32, 30);
    const Sampled parts = sample(c.system, c.mix, ++seed, 4, 32, 30, c.parts);
    const auto agree = [](double a, double ae, double b, double be) {
      EXPECT_NEAR(a, b, 4.5 * std::hypot(ae, be) + 1e-12);
    };
    agree(parts.r2, parts.r2Error, whole.r2, whole.r2Error);
    agree(parts.rg2, parts.rg2Error, whole.rg2, whole.rg2Error);
    for (std::size_t k = 0; k < 3; ++k) {
      agree(parts.terms[k], parts.termsError[k], whole.terms[k], whole.termsError[k]);
    }
  }
}

// ---- Validity and reproducibility.

// The melt's own sites, checked apart from its own geometry: bead 0 inside the box, unit steps,
// no site twice, nothing beyond a wall, wrapped sites and images agreeing with the unwrapped.
::testing::AssertionResult isValidMelt(const Melt& melt) {
  if (!melt.valid()) return ::testing::AssertionFailure() << melt.fault();
  std::vector<Point> sites, images, chain;
  melt.wrappedSites(sites, images);
  const std::int32_t l = melt.side();
  const auto ring = static_cast<std::size_t>(melt.steps()) + 1;
  if (sites.size() != static_cast<std::size_t>(melt.chains()) * ring) {
    return ::testing::AssertionFailure() << sites.size() << " beads";
  }
  std::set<std::tuple<int, int, int>> taken;
  for (std::int32_t c = 0; c < melt.chains(); ++c) {
    melt.chainSites(c, chain);
    for (std::size_t b = 0; b < ring; ++b) {
      const Point w = sites[static_cast<std::size_t>(c) * ring + b];
      const Point i = images[static_cast<std::size_t>(c) * ring + b];
      const Point u = chain[b];
      const std::array<int, 3> wk = {w.x, w.y, w.z}, ik = {i.x, i.y, i.z}, uk = {u.x, u.y, u.z};
      for (std::size_t k = 0; k < 3; ++k) {
        if (wk[k] < 0 || wk[k] >= l || uk[k] != wk[k] + l * ik[k] ||
            (walled(melt.walls(), static_cast<int>(k)) && ik[k] != 0) || (b == 0 && ik[k] != 0)) {
          return ::testing::AssertionFailure()
                 << "chain " << c << " bead " << b << ": site, image or unwrapped site wrong";
        }
      }
      if (!taken.insert({w.x, w.y, w.z}).second) {
        return ::testing::AssertionFailure()
               << "chain " << c << " bead " << b << " on a taken site";
      }
      if (b > 0) {
        const Point p = chain[b - 1];
        if (std::abs(u.x - p.x) + std::abs(u.y - p.y) + std::abs(u.z - p.z) != 1) {
          return ::testing::AssertionFailure() << "chain " << c << " bead " << b << " not bonded";
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Every kind alone and all together, from the laid-out start, with every kind of walls, at
// volume fractions 0.1, 0.8 and 1, with chains longer than the box is wide, and at the
// shortest lengths.
TEST(MeltMoves, KeepEveryConfigurationValid) {
  struct Case {
    std::int32_t chains, steps, side;
  };
  std::array<std::int64_t, kMeltMoves> everyAccepted{};
  for (const Case& c : {Case{5, 19, 10}, Case{40, 19, 10}, Case{16, 3, 4}, Case{2, 20, 4},
                        Case{60, 1, 5}, Case{30, 2, 5}}) {
    for (const MeltWalls walls : kAllWalls) {
      MeltMoveMix every;
      every.weights.fill(1.0);
      std::vector<MeltMoveMix> mixes = {every};
      for (const MeltMove kind : kAllMoves) mixes.push_back(MeltMoveMix::only(kind));
      std::int64_t accepted = 0;
      for (const MeltMoveMix& mix : mixes) {
        Melt melt(c.chains, c.steps, c.side, walls, mix);
        SCOPED_TRACE(std::to_string(c.chains) + " x " + std::to_string(c.steps) + ", " +
                     nameOf(walls) + ", phi " + std::to_string(melt.volumeFraction()));
        ASSERT_TRUE(isValidMelt(melt));
        RandomSource random(static_cast<std::uint64_t>(c.chains * 7 + c.steps));
        for (int round = 0; round < 4; ++round) {
          for (int sweep = 0; sweep < 25; ++sweep) melt.sweep(random);
          ASSERT_TRUE(isValidMelt(melt)) << "after " << (round + 1) * 25 << " sweeps";
        }
        std::int64_t attempted = 0;
        for (std::size_t k = 0; k < kMeltMoves; ++k) {
          attempted += melt.counts().attempted[k];
          accepted += melt.counts().accepted[k];
          if (&mix == &mixes[0]) everyAccepted[k] += melt.counts().accepted[k];
        }
        EXPECT_EQ(attempted, 100 * melt.sweepAttempts());
      }
      EXPECT_GT(accepted, 0);
    }
  }
  // Every kind got moves through somewhere in the mix of all.
  for (const MeltMove kind : kAllMoves) {
    EXPECT_GT(everyAccepted[static_cast<std::size_t>(kind)], 0) << nameOf(kind);
  }
}

// Shapes and internal distances (each configuration's, on the spaced n: every n to 16, then
// an eighth more each, and N) against their definitions on the unwrapped sites, for chains
// that wrap around a periodic box several times.
TEST(MeltMeasures, MatchTheirDefinitionsOnTheSites) {
  Melt melt(6, 40, 7, MeltWalls::None);
  RandomSource random(9);
  MeltInternalDistances distances(40);
  const std::vector<std::int32_t> spaced = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                            14, 15, 16, 18, 20, 22, 24, 27, 30, 33, 37, 40};
  EXPECT_EQ(distances.at(), spaced);
  std::vector<Point> sites;
  for (int round = 0; round < 3; ++round) {
    for (int sweep = 0; sweep < 200; ++sweep) melt.sweep(random);
    distances.add(melt);
    std::vector<double> sums(41, 0.0);
    for (std::int32_t c = 0; c < melt.chains(); ++c) {
      melt.chainSites(c, sites);
      const auto squared = [](const Point& a, const Point& b) {
        return static_cast<double>((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                                   (a.z - b.z) * (a.z - b.z));
      };
      for (std::size_t i = 0; i < sites.size(); ++i) {
        for (std::size_t j = i + 1; j < sites.size(); ++j)
          sums[j - i] += squared(sites[i], sites[j]);
      }
      double cx = 0, cy = 0, cz = 0;
      for (const Point& p : sites) {
        cx += p.x;
        cy += p.y;
        cz += p.z;
      }
      const double n = static_cast<double>(sites.size());
      cx /= n;
      cy /= n;
      cz /= n;
      double rg2 = 0.0;
      for (const Point& p : sites) {
        rg2 += (p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy) + (p.z - cz) * (p.z - cz);
      }
      const MeltChainShape shape = melt.shape(c);
      EXPECT_EQ(shape.squaredEndToEnd, squared(sites.front(), sites.back()));
      EXPECT_EQ(shape.endToEnd,
                (Point{sites.back().x - sites.front().x, sites.back().y - sites.front().y,
                       sites.back().z - sites.front().z}));
      EXPECT_NEAR(shape.squaredGyrationRadius, rg2 / n, 1e-12 * rg2);
    }
    ASSERT_EQ(distances.last().size(), spaced.size());
    for (std::size_t k = 0; k < spaced.size(); ++k) {
      const std::int32_t n = spaced[k];
      EXPECT_EQ(distances.last()[k], sums[static_cast<std::size_t>(n)] / (6.0 * (41 - n)))
          << "n = " << n;
    }
    EXPECT_EQ(distances.last().front(), 1.0);
  }
  EXPECT_EQ(distances.configurations(), 3);
  EXPECT_EQ(distances.chains(), 18);
}

// The same seed gives the same bytes, whether the attempts come as sweeps or in pieces.
TEST(MeltMoves, SameSeedSameConfiguration) {
  Melt whole(12, 30, 9, MeltWalls::Z), pieces(12, 30, 9, MeltWalls::Z);
  Melt other = whole;
  RandomSource a(5), b(5), c(6);
  for (int sweep = 0; sweep < 40; ++sweep) whole.sweep(a);
  // Pieces of 0 to 996 attempts.
  for (std::int64_t left = 40 * pieces.sweepAttempts(), piece = 1; left > 0;
       piece = (piece * 3 + 1) % 997) {
    const std::int64_t now = std::min(left, piece);
    pieces.attempt(b, now);
    left -= now;
  }
  for (int sweep = 0; sweep < 40; ++sweep) other.sweep(c);
  std::vector<Point> sitesA, imagesA, sitesB, imagesB, sitesC, imagesC;
  whole.wrappedSites(sitesA, imagesA);
  pieces.wrappedSites(sitesB, imagesB);
  other.wrappedSites(sitesC, imagesC);
  EXPECT_TRUE(sitesA == sitesB && imagesA == imagesB);
  EXPECT_TRUE(whole.counts().accepted == pieces.counts().accepted);
  EXPECT_FALSE(sitesA == sitesC);
  EXPECT_EQ(a.state(), b.state());
}

// Decomposed sweeps give the same bytes whatever order their parts are planned and swept in
// (no part touches what another reads), and when two copies each sweep some of the parts and
// take the others' records (as processes do), keep every configuration valid with every kind
// of move and walls, and count each part's attempts (its beads, margins included).
TEST(MeltMoves, DecomposedSweepsDoNotDependOnTheOrderOfTheParts) {
  std::array<std::int64_t, kMeltMoves> accepted{};
  for (const MeltWalls walls : kAllWalls) {
    SCOPED_TRACE(nameOf(walls));
    MeltMoveMix every;
    every.weights.fill(1.0);
    every.weights[static_cast<std::size_t>(MeltMove::TailSwap)] = 3.0;
    Melt forward(400, 9, 20, walls, every);
    forward.setEnergy({-0.2, 0.1, walls == MeltWalls::None ? 0.0 : -0.3});
    forward.setDecomposition({3});
    Melt backward = forward, even = forward, odd = forward;
    RandomSource a(21), b(21), c(21), d(21);
    for (int sweep = 0; sweep < 60; ++sweep) {
      forward.decomposedSweep(a);
      backward.beginSweep(b);
      for (std::int32_t p = 2; p >= 0; --p) backward.planPart(p);
      for (const std::int32_t p : {1, 2, 0})
        EXPECT_TRUE(backward.sweepPart(p, [] { return false; }));
      backward.endSweep();
      even.beginSweep(c);
      odd.beginSweep(d);
      for (const std::int32_t p : {0, 2}) even.planPart(p), even.sweepPart(p);
      odd.planPart(1), odd.sweepPart(1);
      for (const std::int32_t p : {0, 2}) odd.loadPart(p, even.savePart(p));
      even.loadPart(1, odd.savePart(1));
      even.endSweep();
      odd.endSweep();
    }
    ASSERT_TRUE(isValidMelt(forward));
    std::vector<Point> sitesA, imagesA;
    forward.wrappedSites(sitesA, imagesA);
    for (const Melt* other : {&backward, &even, &odd}) {
      ASSERT_TRUE(isValidMelt(*other));
      std::vector<Point> sitesB, imagesB;
      other->wrappedSites(sitesB, imagesB);
      EXPECT_TRUE(sitesA == sitesB && imagesA == imagesB);
      EXPECT_EQ(forward.counts().accepted, other->counts().accepted);
      EXPECT_EQ(forward.counts().attempted, other->counts().attempted);
    }
    EXPECT_THROW(even.loadPart(0, std::vector<std::byte>(8)), std::invalid_argument);
    std::int64_t attempted = 0;
    for (std::size_t k = 0; k < kMeltMoves; ++k) {
      attempted += forward.counts().attempted[k];
      accepted[k] += forward.counts().accepted[k];
    }
    EXPECT_EQ(attempted, 60 * forward.sweepAttempts());
  }
  for (const MeltMove kind : kAllMoves) {
    EXPECT_GT(accepted[static_cast<std::size_t>(kind)], 0) << nameOf(kind);
  }
  // A box too narrow for the parts asked: an interior of one layer would never move a bead
  // along z.
  Melt narrow(2, 3, 11, MeltWalls::None);
  EXPECT_THROW(narrow.setDecomposition({2}), std::invalid_argument);
  EXPECT_EQ(MeltDecomposition::standard(47, 32).parts, 1);
  EXPECT_EQ(MeltDecomposition::standard(59, 100).parts, 2);
  EXPECT_EQ(MeltDecomposition::standard(216, 32).parts, 8);
  EXPECT_EQ(MeltDecomposition::standard(59, 1000).parts, 1);
  EXPECT_EQ(MeltDecomposition::standard(1024, 1000).parts, 8);
}

// Laying out a large box and adding a long chain's internal distances look at the stop flag
// as they go (slices of a few milliseconds), and stop at its word with nothing half made.
TEST(MeltStops, WhileLayingOutAndAddingInternalDistances) {
  int asked = 0;
  const auto never = [&asked] { return ++asked < 0; };
  // 200^3 cells in slices of 2^22: two looks at the least, one more at the end.
  const std::optional<Melt> laid = Melt::laidOut(4, 99, 200, MeltWalls::None, never);
  ASSERT_TRUE(laid);
  EXPECT_GE(asked, 3);
  EXPECT_TRUE(laid->valid());
  std::vector<Point> sites, made;
  laid->chainSites(3, sites);
  Melt(4, 99, 200, MeltWalls::None).chainSites(3, made);
  EXPECT_EQ(sites, made);
  asked = 0;
  const auto second = [&asked] { return ++asked >= 2; };
  EXPECT_FALSE(Melt::laidOut(4, 99, 200, MeltWalls::None, second));
  EXPECT_EQ(asked, 2);

  // 40 chains of 4000 steps: some 220,000 pairs a chain on the spaced n, 8.8 million in all,
  // so at least two looks within them.
  const Melt lines(40, 4000, 200, MeltWalls::None);
  MeltInternalDistances distances(4000);
  asked = 0;
  EXPECT_TRUE(distances.add(lines, never));
  EXPECT_GE(asked, 2);
  EXPECT_EQ(distances.configurations(), 1);
  const std::vector<double> once = distances.last();
  asked = 0;
  const auto first = [&asked] { return ++asked >= 1; };
  EXPECT_FALSE(distances.add(lines, first));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(distances.configurations(), 1);
  EXPECT_EQ(distances.last(), once);
}

}  // namespace
}  // namespace polychain
