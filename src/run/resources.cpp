#include "polychain/resources.h"

#include <omp.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "run/runner.h"

namespace polychain {

namespace {

constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

// The value in kB after `key` in a /proc file of "Key:   value kB" lines, in bytes.
std::uint64_t procValue(const char* file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    return std::strtoull(line.c_str() + key.size(), nullptr, 10) * 1024;
  }
  return kUnlimited;
}

// A control-group file holding one number (or "max").
std::uint64_t cgroupValue(const char* file) {
  std::ifstream in(file);
  std::string text;
  if (!(in >> text) || text == "max") return kUnlimited;
  return std::strtoull(text.c_str(), nullptr, 10);
}

std::uint64_t limitLeft(int resource, std::uint64_t used) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnlimited;
  const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
  return cap > used ? cap - used : 0;
}

// Decimal digits of a magnitude, with one for a sign.
std::uint64_t digits(std::uint64_t magnitude) {
  std::uint64_t count = 2;
  while (magnitude >= 10) magnitude /= 10, ++count;
  return count;
}

// Bytes in the largest binary unit that keeps a digit before the point: "8.0 GiB",
// "286.1 MiB", "12.5 KiB".
std::string memoryText(std::uint64_t bytes) {
  const auto value = static_cast<double>(bytes);
  char text[32];
  if (value >= 1024.0 * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f GiB", value / (1024.0 * 1024 * 1024));
  } else if (value >= 1024.0 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MiB", value / (1024.0 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.1f KiB", value / 1024.0);
  }
  return text;
}

// What a run holds, in the parts that its parameters scale.
struct MemoryParts {
  std::uint64_t stacks = 0;  // the worker threads' stacks
  RunnerMemory runner;       // what the model's runner holds beyond each worker's chain
  std::uint64_t chains = 0;  // everything that grows with N
  std::uint64_t kept = 0;    // each chain's values, when the run keeps them
};

MemoryParts memoryParts(const RunParams& params) {
  MemoryParts parts;
  const auto sites = static_cast<std::uint64_t>(std::max(params.steps, 0)) + 1;
  const auto threads = static_cast<std::uint64_t>(runThreads(params));
  // What each worker holds for a chain, as its model says.
  const ModelInfo& model = modelOf(params.model);
  const std::uint64_t perSite = model.bytesPerSite(params.model);
  parts.stacks = threads * (8U << 20);
  parts.chains = threads * perSite * sites;
  parts.runner = runnerOf(params).memory(params);
  if (params.perChain) {
    parts.kept = static_cast<std::uint64_t>(std::max(params.iterations, 0)) *
                 runnerOf(params).bytesPerKeptChain();
  }
  // The last chain's sites and its export text, held twice while it replaces the old one.
  const std::uint64_t reach = static_cast<std::uint64_t>(model.stepLength(params.model)) * sites;
  parts.chains += 12 * sites + 2 * (3 * digits(reach) + 3) * sites;
  if (params.calcParCF) {
    // The distances, their sorted copy and groups, and each thread's dense bins (the pair
    // count's half-unit cells, at most 2^21, take about as much).
    const std::uint64_t bins = std::min<std::uint64_t>(2 * reach + 2, std::uint64_t{1} << 22);
    parts.chains += 32 * sites + 8 * bins * (threads + 1);
  }
  return parts;
}

}  // namespace

int runThreads(const RunParams& params) {
  const int asked = params.threads > 0 ? params.threads : omp_get_max_threads();
  return static_cast<int>(std::min<std::int64_t>(asked, std::max(params.iterations, 1)));
}

std::uint64_t runMemoryNeeded(const RunParams& params) {
  const MemoryParts parts = memoryParts(params);
  return parts.stacks + parts.runner.bytes + parts.chains + parts.kept;
}

std::uint64_t memoryAvailable() {
  std::uint64_t available = procValue("/proc/meminfo", "MemAvailable:");
  available = std::min(available, limitLeft(RLIMIT_AS, procValue("/proc/self/status", "VmSize:")));
  available =
      std::min(available, limitLeft(RLIMIT_DATA, procValue("/proc/self/status", "VmData:")));
  const std::uint64_t cgroupMax = cgroupValue("/sys/fs/cgroup/memory.max");
  if (cgroupMax != kUnlimited) {
    const std::uint64_t used = cgroupValue("/sys/fs/cgroup/memory.current");
    available = std::min(available, cgroupMax > used ? cgroupMax - used : 0);
  }
  return available;
}

void checkMemory(const RunParams& params, int processesHere) {
  const std::uint64_t needed = runMemoryNeeded(params);
  const std::uint64_t available = memoryAvailable();
  const auto processes = static_cast<std::uint64_t>(std::max(processesHere, 1));
  if (needed <= available / processes) return;
  const std::string each =
      processes > 1 ? " for each of the " + std::to_string(processes) + " processes on this machine"
                    : "";
  const std::string but =
      " of memory" + each + ", but only " + memoryText(available) + " is available. ";
  // Name what takes most of it.
  const MemoryParts parts = memoryParts(params);
  if (parts.kept > parts.chains && parts.kept > parts.stacks && parts.kept > parts.runner.bytes) {
    throw MemoryRefusal("Iterations = " + std::to_string(params.iterations) +
                        " with the values of each chain kept need about " + memoryText(needed) +
                        but + "Choose fewer iterations, or do not keep each chain's values.");
  }
  if (parts.runner.bytes > parts.chains && parts.runner.bytes > parts.stacks) {
    throw MemoryRefusal(parts.runner.what + " need about " + memoryText(needed) + but +
                        parts.runner.advice);
  }
  if (parts.stacks > parts.chains && runThreads(params) > 1) {
    throw MemoryRefusal("Threads = " + std::to_string(runThreads(params)) + " need about " +
                        memoryText(needed) + but + "Choose fewer threads.");
  }
  throw MemoryRefusal("Steps (N) = " + std::to_string(params.steps) + " needs about " +
                      memoryText(needed) + but + "Choose a smaller N" +
                      (params.calcParCF ? ", or leave out g(r)." : "."));
}

std::string sampleMemoryAdvice(const RunParams& params) {
  const MemoryParts parts = memoryParts(params);
  if (parts.runner.bytes > parts.chains && parts.runner.bytes > parts.stacks) {
    return parts.runner.advice;
  }
  return "Choose fewer chains or a smaller N.";
}

}  // namespace polychain
