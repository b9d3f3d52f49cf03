#include "polychain/sample.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>
#include <new>
#include <string>

#include "polychain/inputerror.h"
#include "polychain/resources.h"
#include "run/control.h"
#include "run/runner.h"

namespace polychain {

namespace {

std::string gibibytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1024.0 * 1024 * 1024));
  return text;
}

// C (N + 1): at most 2^31 * 2^31, no overflow.
std::uint64_t siteRoom(const RunParams& params) {
  const auto chains = static_cast<std::uint64_t>(std::max<std::int64_t>(sampledChains(params), 0));
  const auto perChain = static_cast<std::uint64_t>(std::max(params.steps, 0)) + 1;
  return chains * perChain;
}

// Sites moved between two looks at the stop flag, and sites of the rooms made at once.
constexpr std::int64_t kPollSites = std::int64_t{1} << 22;
constexpr std::int64_t kSlice = (std::int64_t{32} << 20) / static_cast<std::int64_t>(sizeof(Point));

}  // namespace

void setSampleCount(RunParams& params, std::int64_t count) {
  const ModelInfo& model = modelOf(params.model);
  const SettingInfo* setting =
      model.sampleCount.empty() ? nullptr : model.findSetting(model.sampleCount);
  if (setting == nullptr) {
    params.iterations = static_cast<std::int32_t>(count);
    return;
  }
  setting->set(params.model, SettingValue(count));
  params.iterations = model.sampleIterations;
}

std::int64_t sampledChains(const RunParams& params) {
  return runnerOf(params).sampledChains(params);
}

std::uint64_t sampleMemoryNeeded(const RunParams& params, std::uint64_t extraBytesPerSite) {
  const std::uint64_t sites = siteRoom(params);
  const std::uint64_t perSite = sizeof(Point) + extraBytesPerSite;
  const std::uint64_t run = runMemoryNeeded(params);
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max() - run;
  return (sites > most / perSite ? most : sites * perSite) + run;
}

CheckedRun checkSample(const RunParams& params, std::uint64_t extraBytesPerSite) {
  validateParams(params);
  if (sampledChains(params) == 0) {
    const ModelInfo& model = modelOf(params.model);
    throw InputError("The model " + std::string(model.key) + " (" + std::string(model.title) +
                     ") gives no chains for a sample: its chains are weighted, not drawn from "
                     "the walks' distribution. Choose another model.");
  }
  const std::uint64_t needed = sampleMemoryNeeded(params, extraBytesPerSite);
  const std::uint64_t available = memoryAvailable();
  if (needed <= available) return CheckedRun(params);
  throw MemoryRefusal(std::to_string(sampledChains(params)) +
                      " chains of N = " + std::to_string(params.steps) + " need about " +
                      gibibytes(needed) + " of memory, but only " + gibibytes(available) +
                      " is available. " + sampleMemoryAdvice(params));
}

ChainSample sampleChains(const RunParams& params, RunObserver& observer) {
  return sampleChains(checkSample(params, 0), observer);
}

ChainSample sampleChains(const CheckedRun& run, RunObserver& observer) {
  const RunParams& params = run.params();
  ChainSample out;
  out.seed = params.seed.value_or(clockSeed());
  out.chains = sampledChains(params);
  const std::int64_t room = std::int64_t{params.steps} + 1;
  RunControl control(observer, params);
  const auto stopped = [&] {
    out = ChainSample{control.stopReason(), out.seed, out.chains, {}, {}};
    out.trialLimitChain = control.trialLimitChain();
    return std::move(out);
  };
  const auto total = static_cast<std::int64_t>(siteRoom(params));
  std::vector<std::int64_t> lengths;
  try {
    lengths.resize(static_cast<std::size_t>(out.chains));
    out.starts.resize(static_cast<std::size_t>(out.chains) + 1);
    out.sites.reserve(static_cast<std::size_t>(total));
  } catch (const std::bad_alloc&) {
    out = ChainSample{RunStatus::OutOfMemory, out.seed, out.chains, {}, {}};
    return out;
  }
  // Each chain lands in a room of its own, whichever thread grows it. The rooms are made (the
  // sites sized, and so filled, over them) in slices up to the farthest chain come so far, so
  // that the memory is touched as the chains come and a cancel finds little to give back;
  // `made` is the size the threads may write below without the lock.
  Point* const rooms = out.sites.data();
  std::mutex making;
  std::atomic<std::int64_t> made{0};
  const auto makeRooms = [&](std::int64_t end) {
    if (made.load(std::memory_order_acquire) >= end) return true;
    const std::lock_guard lock(making);
    const std::int64_t target = std::max(end, std::min(total, std::ssize(out.sites) + kSlice));
    while (std::ssize(out.sites) < target) {
      if (control.pollStop()) return false;
      out.sites.resize(static_cast<std::size_t>(std::min(target, std::ssize(out.sites) + kSlice)));
    }
    made.store(std::ssize(out.sites), std::memory_order_release);
    return true;
  };
  const ChainSitesSink keep = [&](std::int64_t chain, std::span<const Point> sites) {
    if (!makeRooms((chain + 1) * room)) return;  // the run stops
    std::copy(sites.begin(), sites.end(), rooms + chain * room);
    lengths[static_cast<std::size_t>(chain)] = std::ssize(sites);
  };
  const ModelRunner& runner = runnerOf(params);
  RunLeftovers left;
  const std::unique_ptr<UnitTally> tally = runner.tally(params);
  runner.runUnits(
      params, Block{0, runner.units(params), RandomSource(out.seed)}, control,
      [&tally](std::int64_t, std::span<const std::byte> result) { tally->add(result); }, left,
      keep);
  if (control.stopped()) return stopped();
  if (left.box) {
    out.box = std::move(left.box);
    out.box->sites.clear();
  }
  RunResult numbers;
  tally->finish(numbers);
  out.measures = std::move(numbers.measures);
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
