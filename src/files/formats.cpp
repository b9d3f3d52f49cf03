#include "polychain/formats.h"

#include <vector>

#include "polychain/ensemble.h"
#include "polychain/numbertext.h"
#include "polychain/texts.h"

namespace polychain {

namespace {

// The last chain of a run as an ensemble of one, laid in a box that holds it whole.
std::string lastChainAs(std::string (*write)(const Ensemble&), const ExportData& data) {
  const std::vector<Point>& sites = data.run->lastSites;
  ChainSample one;
  one.seed = data.run->seed;
  one.chains = 1;
  one.sites = sites;
  one.starts = {0, std::ssize(sites)};
  PlacementParams placement;
  placement.seed = data.run->seed;
  placement.selfAvoiding = modelOf(data.params.model).selfAvoiding;
  return write(*placeChains(one, placement));
}

template <std::string (*Writer)(const Ensemble&)>
std::string lastChainText(const ExportData& data, int, const std::function<bool()>&) {
  return lastChainAs(Writer, data);
}

const FormatInfo kFormats[] = {
    {
        .key = "cdat",
        .name = "Chain Data",
        .extension = ".cdat",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .write =
            [](const ExportData& data, int threads, const std::function<bool()>& keepGoing) {
              return chainExportText(data.params, *data.run, threads, keepGoing);
            },
    },
    {
        .key = "gor",
        .name = "Pairwise correlation factor g(r)",
        .extension = ".gor",
        .source = FormatSource::Correlation,
        .whyMissing = "g(r) was not calculated in any run: tick \"Calculate Pairwise Correlation "
                      "Factor\" and run a simulation first",
        .write = [](const ExportData& data, int,
                    const std::function<bool()>&) { return gofrText(*data.correlation); },
    },
    {
        .key = "goq",
        .name = "Fourier Transform of g(r); g(q)",
        .extension = ".goq",
        .source = FormatSource::Correlation,
        .whyMissing = "g(q) was not calculated in any run: tick \"Calculate Pairwise Correlation "
                      "Factor\" and run a simulation first",
        .write = [](const ExportData& data, int,
                    const std::function<bool()>&) { return gofqText(*data.correlation); },
    },
    {
        .key = "gsd",
        .name = "GSD (HOOMD-blue)",
        .extension = ".gsd",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .write = lastChainText<writeGsd>,
        .writeEnsemble = writeGsd,
        .maxSites = std::numeric_limits<std::uint32_t>::max(),
        .bytesPerSite = 40,
    },
    {
        .key = "lammps",
        .name = "LAMMPS data",
        .extension = ".data",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .write = lastChainText<writeLammpsData>,
        .writeEnsemble = writeLammpsData,
        .bytesPerSite = 200,
    },
    {
        .key = "pdb",
        .name = "PDB",
        .extension = ".pdb",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .write = lastChainText<writePdb>,
        .writeEnsemble = writePdb,
        .maxSites = 99'999,
        .bytesPerSite = 100,
    },
    {
        .key = "xyz",
        .name = "Extended XYZ",
        .extension = ".xyz",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .write = lastChainText<writeExtendedXyz>,
        .writeEnsemble = writeExtendedXyz,
        .bytesPerSite = 100,
    },
};

}  // namespace

std::span<const FormatInfo> formatTable() { return kFormats; }

const FormatInfo* findFormat(std::string_view key) {
  for (const FormatInfo& format : kFormats) {
    if (format.key == key) return &format;
  }
  return nullptr;
}

std::string ensembleFormatKeys() {
  std::string keys;
  for (const FormatInfo& format : kFormats) {
    if (format.writeEnsemble == nullptr) continue;
    keys += (keys.empty() ? "" : ", ") + std::string(format.key);
  }
  return keys;
}

void checkFits(const FormatInfo& format, std::int64_t sites) {
  if (sites <= format.maxSites) return;
  std::vector<std::string_view> takers;
  for (const FormatInfo& other : kFormats) {
    if (other.writeEnsemble != nullptr && other.maxSites >= sites) takers.push_back(other.name);
  }
  std::string others;
  for (std::size_t i = 0; i < takers.size(); ++i) {
    others += (i == 0 ? "" : i + 1 == takers.size() ? " or " : ", ") + std::string(takers[i]);
  }
  throw InputError(std::string(format.name) + " holds at most " + formatInteger(format.maxSites) +
                   " atoms, and these chains have " + formatInteger(sites) +
                   " sites. Write them as " + others +
                   " instead, or grow fewer or shorter chains.");
}

}  // namespace polychain
