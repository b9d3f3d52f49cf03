// The formats of a run's own results: the .cdat file of its last chain, and g(r) and g(q).
#include "polychain/formats.h"

#include <omp.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "chain/numbertext.h"
#include "files/piecewriter.h"
#include "polychain/texts.h"

namespace polychain {

namespace {

std::string exportHeader(const RunParams& params, const ResultTexts& r) {
  const ModelInfo& model = modelOf(params.model);
  std::string h =
      std::string(model.exportHeading) + "\nIterations:," + formatInteger(params.iterations) + ",";
  if (const SettingInfo* setting = model.headlineSetting()) {
    h += std::string(model.exportLabel) + "," +
         settingText(*setting, setting->get(params.model).value()) + ",";
  }
  h += "R:," + r.eR + "\n";
  h += "R Theoretical:," + r.TR + "\n";
  h += "<R^2>^(1/2):," + r.Rsqred + "\n";
  h += "<R^2>^(1/2) Theoretical:," + r.TRsqred + "\n";
  h += "Radius of gyration:," + r.Rgtxt + "\n";
  h += "Persistence Length:," + r.pers + "\n";
  return h;
}

// The longest line of one site, "x,y,z\n" with three 32-bit coordinates.
constexpr std::size_t kMostSiteBytes = 3 * 11 + 3;
// The most text of sites encoded before it goes to the sink.
constexpr std::size_t kMostBatchBytes = std::size_t{16} << 20;

// Writes "x,y,z" into `out` (room for 3 * 11 + 2 characters) and returns its end.
char* writeCoordinates(char* out, const Point& p) {
  out = std::to_chars(out, out + 11, p.x).ptr;
  *out++ = ',';
  out = std::to_chars(out, out + 11, p.y).ptr;
  *out++ = ',';
  return std::to_chars(out, out + 11, p.z).ptr;
}

// Lines "index,value" for every value.
bool writeIndexedLines(ByteSink& sink, const std::vector<double>& values) {
  PieceWriter out(sink);
  const auto total = static_cast<std::int64_t>(values.size());
  for (std::int64_t i = 0; i < total; ++i) {
    out.append(formatInteger(i) + "," + formatNumber(values[static_cast<std::size_t>(i)]) + "\n");
    if (!out.flushIfFull(i + 1, total)) return false;
  }
  return out.finish();
}

}  // namespace

bool writeChainData(ByteSink& sink, const RunParams& params, const RunResult& result, int threads) {
  PieceWriter header(sink);
  header.append(exportHeader(params, resultTexts(result.values)));
  header.append("x,y,z\n");
  if (!header.flush(0, 1)) return false;
  // The sites in blocks, a batch of blocks encoded at once, one block a thread at a time,
  // then handed over in order: the batch (some 16 MiB of text at most) is all the file ever
  // holds in memory.
  const std::span<const Point> sites(result.lastSites);
  const int team = std::max(threads > 0 ? threads : omp_get_max_threads(), 1);
  const std::size_t batchBlocks = 2 * static_cast<std::size_t>(team);
  const std::size_t blockSites =
      std::clamp<std::size_t>((kMostBatchBytes / kMostSiteBytes) / batchBlocks, 2048, 32768);
  const std::size_t blocks = (sites.size() + blockSites - 1) / blockSites;
  std::vector<std::string> texts(std::min(batchBlocks, blocks));
  for (std::size_t first = 0; first < blocks; first += batchBlocks) {
    const std::size_t count = std::min(batchBlocks, blocks - first);
#pragma omp parallel for num_threads(team) if (count > 1) schedule(dynamic, 1)
    for (std::size_t b = 0; b < count; ++b) {
      const std::size_t from = (first + b) * blockSites;
      const std::span<const Point> block =
          sites.subspan(from, std::min(blockSites, sites.size() - from));
      std::string& text = texts[b];
      text.resize(block.size() * kMostSiteBytes);
      char* out = text.data();
      for (const Point& p : block) {
        out = writeCoordinates(out, p);
        *out++ = '\n';
      }
      text.resize(static_cast<std::size_t>(out - text.data()));
    }
    for (std::size_t b = 0; b < count; ++b) {
      if (!sink.put(texts[b])) return false;
      const double done = static_cast<double>(first + b + 1) / static_cast<double>(blocks);
      if (!sink.keepGoing(done)) return false;
    }
  }
  return true;
}

std::string chainExportText(const RunParams& params, const RunResult& result, int threads,
                            const std::function<bool()>& keepGoing) {
  StringSink sink(keepGoing);
  if (!writeChainData(sink, params, result, threads)) return {};
  return std::move(sink.text());
}

bool writeGofr(ByteSink& sink, const Correlation& correlation) {
  return writeIndexedLines(sink, correlation.gofr);
}
bool writeGofq(ByteSink& sink, const Correlation& correlation) {
  return writeIndexedLines(sink, correlation.gofq);
}

std::string gofrText(const Correlation& correlation) {
  StringSink sink;
  writeGofr(sink, correlation);
  return std::move(sink.text());
}
std::string gofqText(const Correlation& correlation) {
  StringSink sink;
  writeGofq(sink, correlation);
  return std::move(sink.text());
}

}  // namespace polychain
