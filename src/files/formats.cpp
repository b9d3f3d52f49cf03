#include "polychain/formats.h"

#include <vector>

#include "chain/numbertext.h"
#include "files/ensemblecoords.h"
#include "polychain/ensemble.h"

namespace polychain {

namespace {

class ChainDataWriter final : public FormatWriter {
 public:
  bool write(ByteSink& sink, const ExportData& data, int threads) const override {
    return writeChainData(sink, data.params, *data.run, threads);
  }
};

class GofrWriter final : public FormatWriter {
 public:
  bool write(ByteSink& sink, const ExportData& data, int) const override {
    return writeGofr(sink, *data.correlation);
  }
};

class GofqWriter final : public FormatWriter {
 public:
  bool write(ByteSink& sink, const ExportData& data, int) const override {
    return writeGofq(sink, *data.correlation);
  }
};

// The last chain of a run as an ensemble of one, laid in a box that holds it whole.
class LastChainWriter final : public FormatWriter {
 public:
  explicit constexpr LastChainWriter(const EnsembleWriter& ensemble) : m_ensemble(ensemble) {}

  bool write(ByteSink& sink, const ExportData& data, int) const override {
    const std::vector<Point>& sites = data.run->lastSites;
    ChainSample one;
    one.seed = data.run->seed;
    one.chains = 1;
    one.sites = sites;
    one.starts = {0, std::ssize(sites)};
    PlacementParams placement;
    placement.seed = data.run->seed;
    placement.selfAvoiding = modelOf(data.params.model).selfAvoiding;
    const Ensemble ensemble = *placeChains(one, placement);
    m_ensemble.check(ensemble, *measureExtent(ensemble));
    return m_ensemble.write(sink, ensemble);
  }

 private:
  const EnsembleWriter& m_ensemble;
};

constinit const ChainDataWriter kChainData;
constinit const GofrWriter kGofr;
constinit const GofqWriter kGofq;
constinit const LastChainWriter kGsdLastChain(kGsdWriter);
constinit const LastChainWriter kLammpsLastChain(kLammpsWriter);
constinit const LastChainWriter kPdbLastChain(kPdbWriter);
constinit const LastChainWriter kXyzLastChain(kXyzWriter);

constinit const FormatInfo kFormats[] = {
    {
        .key = "cdat",
        .name = "Chain Data",
        .extension = ".cdat",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .writer = &kChainData,
    },
    {
        .key = "gor",
        .name = "Pairwise correlation factor g(r)",
        .extension = ".gor",
        .source = FormatSource::Correlation,
        .whyMissing = "g(r) was not calculated in any run: tick \"Calculate Pairwise Correlation "
                      "Factor\" and run a simulation first",
        .writer = &kGofr,
    },
    {
        .key = "goq",
        .name = "Fourier Transform of g(r); g(q)",
        .extension = ".goq",
        .source = FormatSource::Correlation,
        .whyMissing = "g(q) was not calculated in any run: tick \"Calculate Pairwise Correlation "
                      "Factor\" and run a simulation first",
        .writer = &kGofq,
    },
    {
        .key = "gsd",
        .name = "GSD (HOOMD-blue)",
        .extension = ".gsd",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .writer = &kGsdLastChain,
        .writeEnsemble = &kGsdWriter,
        .maxSites = std::numeric_limits<std::uint32_t>::max(),
    },
    {
        .key = "lammps",
        .name = "LAMMPS data",
        .extension = ".data",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .writer = &kLammpsLastChain,
        .writeEnsemble = &kLammpsWriter,
    },
    {
        .key = "pdb",
        .name = "PDB",
        .extension = ".pdb",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .writer = &kPdbLastChain,
        .writeEnsemble = &kPdbWriter,
        .maxSites = 99'999,
    },
    {
        .key = "xyz",
        .name = "Extended XYZ",
        .extension = ".xyz",
        .source = FormatSource::Chain,
        .whyMissing = "there is no chain data yet: run a simulation first",
        .writer = &kXyzLastChain,
        .writeEnsemble = &kXyzWriter,
    },
};

}  // namespace

std::string FormatWriter::writeString(const ExportData& data, int threads,
                                      const std::function<bool()>& keepGoing) const {
  StringSink sink(keepGoing);
  if (!write(sink, data, threads)) return {};
  return std::move(sink.text());
}

std::string EnsembleWriter::writeString(const Ensemble& ensemble) const {
  check(ensemble, *measureExtent(ensemble));
  StringSink sink;
  write(sink, ensemble);
  return std::move(sink.text());
}

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
