#include "polychain/ensemble.h"

#include <array>
#include <limits>
#include <vector>

#include "polychain/numbertext.h"
#include "polychain/params.h"

namespace polychain {

namespace {

constexpr std::array<EnsembleFormatInfo, 4> kFormats = {{
    {EnsembleFormat::Gsd, "gsd", "GSD (HOOMD-blue)", ".gsd",
     std::numeric_limits<std::uint32_t>::max(), 40},
    {EnsembleFormat::LammpsData, "lammps", "LAMMPS data", ".data",
     std::numeric_limits<std::int64_t>::max(), 200},
    {EnsembleFormat::Pdb, "pdb", "PDB", ".pdb", 99'999, 100},
    {EnsembleFormat::ExtendedXyz, "xyz", "Extended XYZ", ".xyz",
     std::numeric_limits<std::int64_t>::max(), 100},
}};

}  // namespace

std::span<const EnsembleFormatInfo> ensembleFormats() { return kFormats; }

const EnsembleFormatInfo& ensembleFormatInfo(EnsembleFormat format) {
  return kFormats[static_cast<std::size_t>(format)];
}

std::optional<EnsembleFormat> ensembleFormatByKey(std::string_view key) {
  for (const EnsembleFormatInfo& info : kFormats) {
    if (info.key == key) return info.format;
  }
  return std::nullopt;
}

void checkEnsembleFits(EnsembleFormat format, std::int64_t sites) {
  const EnsembleFormatInfo& info = ensembleFormatInfo(format);
  if (sites <= info.maxSites) return;
  std::vector<std::string_view> takers;
  for (const EnsembleFormatInfo& other : kFormats) {
    if (other.maxSites >= sites) takers.push_back(other.name);
  }
  std::string others;
  for (std::size_t i = 0; i < takers.size(); ++i) {
    others += (i == 0 ? "" : i + 1 == takers.size() ? " or " : ", ") + std::string(takers[i]);
  }
  throw InputError(std::string(info.name) + " holds at most " + formatInteger(info.maxSites) +
                   " atoms, and these chains have " + formatInteger(sites) +
                   " sites. Write them as " + others +
                   " instead, or grow fewer or shorter chains.");
}

std::string writeEnsemble(EnsembleFormat format, const Ensemble& ensemble) {
  switch (format) {
    case EnsembleFormat::Gsd:
      return writeGsd(ensemble);
    case EnsembleFormat::LammpsData:
      return writeLammpsData(ensemble);
    case EnsembleFormat::Pdb:
      return writePdb(ensemble);
    case EnsembleFormat::ExtendedXyz:
      break;
  }
  return writeExtendedXyz(ensemble);
}

}  // namespace polychain
