// How fast a melt forgets: the autocorrelation of the chains' end-to-end vectors in sweeps, with
// the standard move mix or another, and the way <R^2> and <Rg^2> climb from the laid-out start.
// Not a Google Benchmark table: one run, printed. Without options (as `make bench` runs it) it
// measures 1000 chains of N = 100 at volume fraction 0.5 for a minute or two of processor time;
// the options choose another melt:
//
//   bench_meltrelax [--chains C] [--steps N] [--phi F] [--walls none|z|yz|xyz]
//                   [--mix end,kink,crankshaft,reptation,pivot,tailswap] [--burn-in B]
//                   [--sweeps S] [--every K] [--seed S] [--internal]
//
// It makes B sweeps from the start (printing <R^2>/N, <Rg^2>/N and the share of bonds along x
// after 1, 2, 4, ..., 1024 sweeps and every 1024 after, with the processor time those take),
// then S more, storing every chain's end-to-end vector R every K sweeps.
// From those: rho(t) = <R(s) . R(s + t)> / <R^2> over chains and s, its integrated time
// tau_int = 1/2 + sum rho(t) (Sokal's window: the first W with W >= 6 tau_int(W)) and the time
// of its exponential tail (a straight-line fit of log rho where 0.5 >= rho >= 0.05), and the same
// integrated time of R^2; all in sweeps. <R^2>/N comes with its error from tau_int of R^2.
// --internal also adds the internal distances every K sweeps and prints <R^2(n)>/n.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "chain/melt.h"

namespace {

using polychain::Melt;
using polychain::MeltMoveMix;
using polychain::MeltWalls;
using polychain::RandomSource;

struct Options {
  std::int32_t chains = 1000;
  std::int32_t steps = 100;
  double phi = 0.5;
  MeltWalls walls = MeltWalls::None;
  bool standardMix = true;
  MeltMoveMix mix;
  std::int64_t burnIn = 3000;
  std::int64_t sweeps = 20000;
  std::int64_t every = 10;
  std::uint64_t seed = 1;
  bool internal = false;
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr, "bench_meltrelax: %s\n", why);
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--benchmark", 0) == 0) continue;  // what `make bench` passes every program
    if (arg == "--internal") {
      o.internal = true;
      continue;
    }
    if (i + 1 >= argc) usage(("no value after " + arg).c_str());
    const char* value = argv[++i];
    if (arg == "--chains") {
      o.chains = static_cast<std::int32_t>(std::atol(value));
    } else if (arg == "--steps") {
      o.steps = static_cast<std::int32_t>(std::atol(value));
    } else if (arg == "--phi") {
      o.phi = std::atof(value);
    } else if (arg == "--burn-in") {
      o.burnIn = std::atoll(value);
    } else if (arg == "--sweeps") {
      o.sweeps = std::atoll(value);
    } else if (arg == "--every") {
      o.every = std::max<std::int64_t>(1, std::atoll(value));
    } else if (arg == "--seed") {
      o.seed = std::strtoull(value, nullptr, 10);
    } else if (arg == "--walls") {
      const std::string w = value;
      o.walls = w == "z"     ? MeltWalls::Z
                : w == "yz"  ? MeltWalls::YZ
                : w == "xyz" ? MeltWalls::XYZ
                             : MeltWalls::None;
    } else if (arg == "--mix") {
      o.standardMix = false;
      std::string list = value;
      for (std::size_t k = 0; k < polychain::kMeltMoves; ++k) {
        const std::size_t comma = list.find(',');
        o.mix.weights[k] = std::atof(list.substr(0, comma).c_str());
        list = comma == std::string::npos ? "" : list.substr(comma + 1);
      }
    } else {
      usage(("unknown option " + arg).c_str());
    }
  }
  return o;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The processor time of this process, which a machine shared with other work leaves steadier
// than the time on the clock.
double processorSeconds() {
  return static_cast<double>(std::clock()) / static_cast<double>(CLOCKS_PER_SEC);
}

// Sokal's automatic window on a normalised autocorrelation given lag by lag.
template <class Rho>
double integratedTime(const Rho& rho, std::int64_t most, std::int64_t* window) {
  double tau = 0.5;
  for (std::int64_t t = 1; t < most; ++t) {
    tau += rho(t);
    if (static_cast<double>(t) >= 6.0 * tau) {
      *window = t;
      return tau;
    }
  }
  *window = most;
  return tau;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  const double cells = static_cast<double>(o.chains) * (o.steps + 1) / o.phi;
  const auto side = static_cast<std::int32_t>(std::lround(std::cbrt(cells)));
  const MeltMoveMix mix =
      o.standardMix
          ? MeltMoveMix::standard(o.steps, static_cast<double>(o.chains) * (o.steps + 1.0) /
                                               (static_cast<double>(side) * side * side))
          : o.mix;
  Melt melt(o.chains, o.steps, side, o.walls, mix);
  RandomSource random(o.seed);
  std::printf("melt: %d chains of N = %d in a box of side %d, phi = %.4f; mix", o.chains, o.steps,
              side, melt.volumeFraction());
  for (const double w : mix.weights) std::printf(" %g", w);
  std::printf("\n");

  // The mean R^2 and Rg^2, and the share of bonds along x (1/3 when the bonds have no preferred
  // axis; the laid-out start has nearly all of them along x).
  const auto shapes = [&melt](double& r2, double& rg2, double& alongX) {
    r2 = rg2 = 0.0;
    std::int64_t xBonds = 0;
    for (std::int32_t c = 0; c < melt.chains(); ++c) {
      const polychain::MeltChainShape s = melt.shape(c);
      r2 += s.squaredEndToEnd;
      rg2 += s.squaredGyrationRadius;
      std::int32_t previous = 0;
      melt.forEachSite(c, [&](std::int32_t x, std::int32_t, std::int32_t) {
        xBonds += x != previous;
        previous = x;
      });
    }
    r2 /= melt.chains();
    rg2 /= melt.chains();
    alongX =
        static_cast<double>(xBonds) / static_cast<double>(melt.sweepAttempts() - melt.chains());
  };
  const auto start = std::chrono::steady_clock::now();
  const double startProcessor = processorSeconds();
  std::printf("\nfrom the start:   sweeps   <R^2>/N  <Rg^2>/N  x bonds  processor s\n");
  double r2 = 0.0, rg2 = 0.0, alongX = 0.0;
  shapes(r2, rg2, alongX);
  std::printf("          %15d %9.4f %9.4f %8.4f %9.1f\n", 0, r2 / o.steps, rg2 / o.steps, alongX,
              0.0);
  for (std::int64_t done = 0, next = 1; done < o.burnIn;) {
    next = std::min(next, o.burnIn);
    for (; done < next; ++done) melt.sweep(random);
    shapes(r2, rg2, alongX);
    std::printf("          %15lld %9.4f %9.4f %8.4f %9.1f\n", static_cast<long long>(done),
                r2 / o.steps, rg2 / o.steps, alongX, processorSeconds() - startProcessor);
    std::fflush(stdout);
    next = next < 1024 ? next * 2 : next + 1024;
  }
  const double burnSeconds = seconds(start);

  // Samples: every chain's R, every K sweeps.
  const std::int64_t samples = o.sweeps / o.every;
  const auto chains = static_cast<std::size_t>(o.chains);
  std::vector<std::int32_t> ends(static_cast<std::size_t>(samples) * chains * 3);
  polychain::MeltInternalDistances distances(o.steps);
  melt.resetCounts();
  const auto measuring = std::chrono::steady_clock::now();
  const double measuringProcessor = processorSeconds();
  double sumR2 = 0.0, sumRg2 = 0.0;
  for (std::int64_t s = 0; s < samples; ++s) {
    for (std::int64_t k = 0; k < o.every; ++k) melt.sweep(random);
    double r2Here = 0.0;
    for (std::size_t c = 0; c < chains; ++c) {
      const polychain::MeltChainShape shape = melt.shape(static_cast<std::int32_t>(c));
      std::int32_t* e = &ends[(static_cast<std::size_t>(s) * chains + c) * 3];
      e[0] = shape.endToEnd.x;
      e[1] = shape.endToEnd.y;
      e[2] = shape.endToEnd.z;
      r2Here += shape.squaredEndToEnd;
      sumRg2 += shape.squaredGyrationRadius;
    }
    sumR2 += r2Here;
    if (o.internal) distances.add(melt);
  }
  const double measureSeconds = seconds(measuring);
  const double measureProcessor = processorSeconds() - measuringProcessor;
  if (!melt.valid()) usage(("the melt is not valid: " + melt.fault()).c_str());
  const double r2Mean = sumR2 / (static_cast<double>(samples) * o.chains);

  // rho(t) of the vector; that of R^2 about its mean.
  std::vector<double> rho(static_cast<std::size_t>(samples), std::nan(""));
  const auto vectorRho = [&](std::int64_t t) {
    double sum = 0.0;
    const std::size_t n = static_cast<std::size_t>(samples - t) * chains * 3;
    const std::size_t shift = static_cast<std::size_t>(t) * chains * 3;
    for (std::size_t i = 0; i < n; ++i) {
      sum += static_cast<double>(ends[i]) * static_cast<double>(ends[i + shift]);
    }
    const double value = sum / (static_cast<double>(samples - t) * o.chains) / r2Mean;
    rho[static_cast<std::size_t>(t)] = value;
    return value;
  };
  double r2Variance = 0.0;
  for (std::size_t i = 0; i < ends.size(); i += 3) {
    const double v = static_cast<double>(ends[i]) * ends[i] +
                     static_cast<double>(ends[i + 1]) * ends[i + 1] +
                     static_cast<double>(ends[i + 2]) * ends[i + 2] - r2Mean;
    r2Variance += v * v;
  }
  r2Variance /= static_cast<double>(ends.size() / 3);
  const auto scalarRho = [&](std::int64_t t) {
    double sum = 0.0;
    const std::size_t n = static_cast<std::size_t>(samples - t) * chains;
    const std::size_t shift = static_cast<std::size_t>(t) * chains;
    const auto r2Of = [&ends](std::size_t j) {
      return static_cast<double>(ends[3 * j]) * ends[3 * j] +
             static_cast<double>(ends[3 * j + 1]) * ends[3 * j + 1] +
             static_cast<double>(ends[3 * j + 2]) * ends[3 * j + 2];
    };
    for (std::size_t j = 0; j < n; ++j) sum += (r2Of(j) - r2Mean) * (r2Of(j + shift) - r2Mean);
    return sum / static_cast<double>(n) / r2Variance;
  };
  const auto every = static_cast<double>(o.every);
  std::int64_t window = 0, windowR2 = 0;
  const double tauVector = integratedTime(vectorRho, samples / 4, &window) * every;
  const double tauR2 = integratedTime(scalarRho, samples / 4, &windowR2) * every;
  // The exponential tail: log rho against t where it lies between 0.5 and 0.05.
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  int fitted = 0;
  for (std::int64_t t = 1; t < samples / 2; ++t) {
    double value = rho[static_cast<std::size_t>(t)];
    if (std::isnan(value)) value = vectorRho(t);
    if (value < 0.05) break;
    if (value > 0.5) continue;
    const double x = static_cast<double>(t * o.every), y = std::log(value);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
    ++fitted;
  }
  const double slope = (fitted * sxy - sx * sy) / (fitted * sxx - sx * sx);
  const double tauExp = fitted >= 2 ? -1.0 / slope : std::nan("");

  const double perSweep = measureProcessor / static_cast<double>(samples * o.every);
  std::printf(
      "\nmeasured %lld sweeps (%lld samples, one every %lld sweeps) in %.1f s (%.1f s of "
      "processor): %.4g processor s a sweep, %.3g attempts/s\n",
      static_cast<long long>(samples * o.every), static_cast<long long>(samples),
      static_cast<long long>(o.every), measureSeconds, measureProcessor, perSweep,
      static_cast<double>(melt.sweepAttempts()) / perSweep);
  std::printf("acceptance:");
  static const char* const names[] = {"end",       "kink",  "crankshaft",
                                      "reptation", "pivot", "tailswap"};
  for (std::size_t k = 0; k < polychain::kMeltMoves; ++k) {
    const auto& n = melt.counts();
    if (n.attempted[k] > 0) {
      std::printf(" %s %.4f (%.3g a bead a sweep)", names[k],
                  static_cast<double>(n.accepted[k]) / static_cast<double>(n.attempted[k]),
                  static_cast<double>(n.accepted[k]) / (static_cast<double>(samples * o.every) *
                                                        static_cast<double>(melt.sweepAttempts())));
    }
  }
  std::printf("\n\nrho(t) of R:");
  for (std::int64_t t = 1; t < samples / 2 && t <= 4096; t *= 2) {
    double value = rho[static_cast<std::size_t>(t)];
    if (std::isnan(value)) value = vectorRho(t);
    std::printf("  %lld: %.3f", static_cast<long long>(t * o.every), value);
  }
  std::printf("\n\ntau_int(R)  = %.1f sweeps (window %lld sweeps)\n", tauVector,
              static_cast<long long>(window * o.every));
  std::printf("tau_exp(R)  = %.1f sweeps (from %d lags)\n", tauExp, fitted);
  std::printf("tau_int(R^2) = %.1f sweeps (window %lld sweeps)\n", tauR2,
              static_cast<long long>(windowR2 * o.every));
  const double slowest = std::max({tauVector, tauExp, tauR2});
  std::printf(
      "10 x the longest = %.0f sweeps = %.1f processor s (burn-in of %lld sweeps took %.1f "
      "s)\n",
      10 * slowest, 10 * slowest * perSweep, static_cast<long long>(o.burnIn), burnSeconds);
  // The error of the mean: chains independent, each series with tau_int(R^2).
  const double error =
      std::sqrt(r2Variance * 2.0 * tauR2 / (static_cast<double>(samples * o.every) * o.chains));
  std::printf("<R^2>/N = %.4f +- %.4f, <Rg^2>/N = %.4f\n", r2Mean / o.steps, error / o.steps,
              sumRg2 / (static_cast<double>(samples) * o.chains) / o.steps);
  if (o.internal) {
    std::printf("<R^2(n)>/n:");
    for (std::int32_t n = 1; n <= o.steps; n *= 2) {
      std::printf("  %d: %.4f", n, distances.mean(n) / n);
    }
    std::printf("  %d: %.4f\n", o.steps, distances.mean(o.steps) / o.steps);
  }
  return 0;
}
