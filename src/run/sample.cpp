#include "polychain/sample.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>
#include <string>

#include "polychain/resources.h"
#include "run/control.h"
#include "run/runner.h"
#include "run/slices.h"

namespace polychain {

namespace {

std::string gibibytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1024.0 * 1024 * 1024));
  return text;
}

// C (N + 1): at most 2^31 * 2^31, no overflow.
std::uint64_t siteRoom(const RunParams& params) {
  const auto chains = static_cast<std::uint64_t>(std::max(params.iterations, 0));
  const auto perChain = static_cast<std::uint64_t>(std::max(params.steps, 0)) + 1;
  return chains * perChain;
}

// Sites moved between two looks at the stop flag.
constexpr std::int64_t kPollSites = std::int64_t{1} << 22;

}  // namespace

std::uint64_t sampleMemoryNeeded(const RunParams& params, std::uint64_t extraBytesPerSite) {
  const std::uint64_t sites = siteRoom(params);
  const std::uint64_t perSite = sizeof(Point) + extraBytesPerSite;
  const std::uint64_t run = runMemoryNeeded(params);
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max() - run;
  return (sites > most / perSite ? most : sites * perSite) + run;
}

CheckedRun checkSample(const RunParams& params, std::uint64_t extraBytesPerSite) {
  validateParams(params);
  const std::uint64_t needed = sampleMemoryNeeded(params, extraBytesPerSite);
  const std::uint64_t available = memoryAvailable();
  if (needed <= available) return CheckedRun(params);
  throw MemoryRefusal(std::to_string(params.iterations) +
                      " chains of N = " + std::to_string(params.steps) + " need about " +
                      gibibytes(needed) + " of memory, but only " + gibibytes(available) +
                      " is available. Choose fewer chains or a smaller N.");
}

ChainSample sampleChains(const RunParams& params, RunObserver& observer) {
  return sampleChains(checkSample(params, 0), observer);
}

ChainSample sampleChains(const CheckedRun& run, RunObserver& observer) {
  const RunParams& params = run.params();
  ChainSample out;
  out.seed = params.seed.value_or(clockSeed());
  out.chains = params.iterations;
  const std::int64_t room = std::int64_t{params.steps} + 1;
  RunControl control(observer, params);
  const auto keepGoing = [&control] { return !control.pollStop(); };
  const auto stopped = [&] {
    out = ChainSample{control.stopReason(), out.seed, out.chains, {}, {}};
    out.trialLimitChain = control.trialLimitChain();
    return std::move(out);
  };
  std::vector<std::int64_t> lengths;
  try {
    lengths.resize(static_cast<std::size_t>(out.chains));
    out.starts.resize(static_cast<std::size_t>(out.chains) + 1);
    if (!fillInSlices(out.sites, siteRoom(params), Point{}, keepGoing)) return stopped();
  } catch (const std::bad_alloc&) {
    out = ChainSample{RunStatus::OutOfMemory, out.seed, out.chains, {}, {}};
    return out;
  }
  // Each chain lands in a room of its own, whichever thread grows it.
  const ChainSitesSink keep = [&](std::int64_t chain, std::span<const Point> sites) {
    std::copy(sites.begin(), sites.end(),
              out.sites.begin() + static_cast<std::ptrdiff_t>(chain * room));
    lengths[static_cast<std::size_t>(chain)] = std::ssize(sites);
  };
  const ModelRunner& runner = runnerOf(params);
  std::vector<Point> last;
  runner.runUnits(
      params, Block{0, runner.units(params), RandomSource(out.seed)}, control,
      [](std::int64_t, std::span<const std::byte>) {}, last, keep);
  if (control.stopped()) return stopped();
  // Close the gaps left by chains shorter than their room.
  std::int64_t end = 0;
  std::int64_t moved = 0;
  for (std::int64_t c = 0; c < out.chains; ++c) {
    const auto from = out.sites.begin() + static_cast<std::ptrdiff_t>(c * room);
    const std::int64_t length = lengths[static_cast<std::size_t>(c)];
    out.starts[static_cast<std::size_t>(c)] = end;
    if (end != c * room) {
      std::copy(from, from + length, out.sites.begin() + end);
      moved += length;
      if (moved >= kPollSites) {
        moved = 0;
        if (control.pollStop()) return stopped();
      }
    }
    end += length;
  }
  out.starts.back() = end;
  out.sites.resize(static_cast<std::size_t>(end));
  return out;
}

}  // namespace polychain
