#include "polychain/formats.h"

#include "polychain/texts.h"

namespace polychain {

namespace {

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
};

}  // namespace

std::span<const FormatInfo> formatTable() { return kFormats; }

const FormatInfo* findFormat(std::string_view key) {
  for (const FormatInfo& format : kFormats) {
    if (format.key == key) return &format;
  }
  return nullptr;
}

}  // namespace polychain
