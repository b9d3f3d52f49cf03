// A console reporter that also keeps each benchmark's real time per iteration and its
// counters, so a benchmark program can print ratios against its baselines after the table.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "chain/growth.h"

// A watch that lets every chain grow to its end: growers timed on their own.
class LetGrow final : public polychain::ChainWatch {
 public:
  std::int64_t check(std::int64_t, std::int64_t trials, std::int64_t) override {
    return trials + (std::int64_t{1} << 40);
  }
  // A counter for one chain, checked after its first 2^40 trials and never regrown.
  polychain::TrialCounter counter() {
    return polychain::TrialCounter(*this, polychain::TrialCounter::kNever, std::int64_t{1} << 40);
  }
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.benchmark_name();
      m_time[name] = run.GetAdjustedRealTime();
      for (const auto& [key, counter] : run.counters) m_counters[key][name] = counter.value;
    }
  }

  // The real time per iteration (in the benchmark's unit) of the run called `name`, or
  // `name` followed by options ("/min_time:2"); null when it did not run.
  const double* time(const std::string& name) const { return lookup(m_time, name); }

  // The value of counter `key` of that run.
  const double* counter(const std::string& key, const std::string& name) const {
    const auto values = m_counters.find(key);
    return values == m_counters.end() ? nullptr : lookup(values->second, name);
  }

 private:
  static const double* lookup(const std::map<std::string, double>& values,
                              const std::string& name) {
    for (const auto& [run, value] : values) {
      if (run == name || run.rfind(name + "/", 0) == 0) return &value;
    }
    return nullptr;
  }

  std::map<std::string, double> m_time;
  std::map<std::string, std::map<std::string, double>> m_counters;
};

// The whole of main for a benchmark program that prints its ratios after the table.
inline int runBenchmarksWithRatios(int argc, char** argv,
                                   void (*printRatios)(const RatioReporter&)) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
