// The table of what polychain writes to files: each format's name, its extension, the result it
// needs and how its text is written. The window's export dialog, the export plan, the command
// and the Python module all read this one table. A format of chains for simulation engines and
// viewers writes an ensemble of placed chains (polychain sample), or the last chain of a run
// as an ensemble of one.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "polychain/placement.h"
#include "polychain/run.h"

namespace polychain {

// What the export can draw on: the last finished run (its parameters, results and last
// chain), and g(r) and g(q) of the last run that computed them.
struct ExportData {
  RunParams params;
  std::shared_ptr<const RunResult> run;
  std::shared_ptr<const Correlation> correlation;
};

// The part of a run a format is written from.
enum class FormatSource { Chain, Correlation };

struct FormatInfo {
  std::string_view key;        // the command's name for it, such as "cdat"
  std::string_view name;       // the export dialog's caption, such as "Chain Data"
  std::string_view extension;  // appended to the whole file name, such as ".cdat"
  FormatSource source = FormatSource::Chain;
  std::string_view whyMissing;  // why it cannot be written when no run has produced its source
  // The file's whole text; `keepGoing` is asked now and then on long texts, and an answer of
  // false leaves the text empty. Needs the source present in `data`.
  std::string (*write)(const ExportData& data, int threads,
                       const std::function<bool()>& keepGoing) = nullptr;
  // For a format of placed chains: its text of `ensemble` (throws InputError when the
  // ensemble does not fit it), the most sites it holds and the bytes a site takes in it, on
  // the high side. Null for a format of a run's own results.
  std::string (*writeEnsemble)(const Ensemble& ensemble) = nullptr;
  std::int64_t maxSites = std::numeric_limits<std::int64_t>::max();
  std::uint64_t bytesPerSite = 0;

  bool available(const ExportData& data) const {
    return source == FormatSource::Chain ? data.run != nullptr : data.correlation != nullptr;
  }
};

// Every format, in the order an export writes them.
std::span<const FormatInfo> formatTable();

// The format with this key; none when no format has it.
const FormatInfo* findFormat(std::string_view key);

// The keys of the formats of placed chains, such as "gsd, lammps, pdb, xyz".
std::string ensembleFormatKeys();

// Throws InputError when `format` cannot hold `sites` sites, naming the formats that can.
void checkFits(const FormatInfo& format, std::int64_t sites);

}  // namespace polychain
