// The table of what polychain writes to files: each format's name, its extension, the result it
// needs and its writer. The window's export dialog, the export plan and the command read this
// one table; writeEnsembleFiles (ensemble.h) writes placed chains in any list of its formats,
// for the command's sample and for any other front end, such as the Python module. A format of
// chains for simulation engines and viewers writes an ensemble of placed chains (polychain
// sample), or the last chain of a run as an ensemble of one.
//
// Every writer hands its file to a ByteSink in pieces and asks it between pieces whether to go
// on: written to a PendingFile, a file never has a second copy of itself in memory, and a
// cancel stops it within a piece. The same data give the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "polychain/bytesink.h"
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

// Writes one format from what the export draws on.
class FormatWriter {
 public:
  virtual ~FormatWriter() = default;
  // Writes the file of `data` (its source present) to `sink`; `threads` may encode parts of it
  // at once (0: as many as OpenMP offers), the bytes the same whatever their number. False
  // when the sink stopped the writing. Throws InputError when the data do not fit the format.
  virtual bool write(ByteSink& sink, const ExportData& data, int threads) const = 0;
  // The whole file as one string; empty when `keepGoing` answered false.
  std::string writeString(const ExportData& data, int threads = 0,
                          const std::function<bool()>& keepGoing = {}) const;
};

struct EnsembleExtent;  // ensemble.h

// Writes one format of placed chains.
class EnsembleWriter {
 public:
  virtual ~EnsembleWriter() = default;
  // Throws InputError when `ensemble`, whose sites reach `extent`, does not fit the format:
  // more sites than it holds, a bond length outside bondLengths(), a coordinate beyond its
  // fields.
  virtual void check(const Ensemble& ensemble, const EnsembleExtent& extent) const = 0;
  // Writes the file of an ensemble that check() accepted to `sink`; false when the sink
  // stopped the writing. Linear in the sites.
  virtual bool write(ByteSink& sink, const Ensemble& ensemble) const = 0;
  // The bond lengths b for which every number the format writes of a box of side `box` and
  // of sites at most `widest` lattice units from the origin on any axis (unwrapped, as the
  // file places them) is a finite number of the format's number type, and sites one lattice
  // unit apart are written apart.
  virtual std::pair<double, double> bondLengths(std::int64_t box, double widest) const = 0;
  // check() and write() into one string.
  std::string writeString(const Ensemble& ensemble) const;
};

struct FormatInfo {
  std::string_view key;        // the command's name for it, such as "cdat"
  std::string_view name;       // the export dialog's caption, such as "Chain Data"
  std::string_view extension;  // appended to the whole file name, such as ".cdat"
  FormatSource source = FormatSource::Chain;
  std::string_view whyMissing;  // why it cannot be written when no run has produced its source
  const FormatWriter* writer = nullptr;
  // For a format of placed chains: its writer of an ensemble and the most sites it holds.
  // Null for a format of a run's own results.
  const EnsembleWriter* writeEnsemble = nullptr;
  std::int64_t maxSites = std::numeric_limits<std::int64_t>::max();

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

// The .cdat file of a finished run: seven header lines (the model's title, then
// "Iterations:,I,...,R:,<R>" and the other results), the line "x,y,z", then one line "x,y,z"
// per site of the last chain, handed to `sink` in pieces. Long chains are encoded in blocks by
// `threads` threads at once (0: as many as OpenMP offers), the bytes the same whatever their
// number; the sink is asked between blocks. False when the sink stopped the writing.
bool writeChainData(ByteSink& sink, const RunParams& params, const RunResult& result,
                    int threads = 0);
// The same as one string; empty when `keepGoing` answered false.
std::string chainExportText(const RunParams& params, const RunResult& result, int threads = 0,
                            const std::function<bool()>& keepGoing = {});

// The .gor file (lines "b,g(b)") and the .goq file (lines "k,P(k)"), to a sink or as a string.
bool writeGofr(ByteSink& sink, const Correlation& correlation);
bool writeGofq(ByteSink& sink, const Correlation& correlation);
std::string gofrText(const Correlation& correlation);
std::string gofqText(const Correlation& correlation);

}  // namespace polychain
