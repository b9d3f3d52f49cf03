#include "polychain/export.h"

#include "polychain/fileset.h"

namespace polychain {

namespace {

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// A reason as the end of a sentence: without its own full stop.
std::string clause(std::string reason) {
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  return reason;
}

}  // namespace

std::string ExportReport::message() const {
  if (notes.empty()) return {};
  std::string text;
  for (const std::string& note : notes) text += note + "\n";
  text += "\n";
  if (written.empty()) {
    text += "No file was written.";
  } else {
    text += written.size() == 1 ? "Written: " : "Written, in this order: ";
    for (std::size_t i = 0; i < written.size(); ++i) {
      if (i > 0) text += ", ";
      text += quoted(written[i]);
    }
    text += ".";
  }
  return text;
}

ExportReport exportFiles(const ExportData& data, const ExportChoice& choice,
                         const std::string& chosenName, int threads,
                         const std::function<bool(double)>& keepGoing) {
  ExportReport report;
  std::vector<FileJob> jobs;
  std::vector<std::string> notes(choice.size());
  for (std::size_t i = 0; i < choice.size(); ++i) {
    const FormatInfo* format = choice[i];
    const std::string path = chosenName + std::string(format->extension);
    if (!format->available(data)) {
      notes[i] = quoted(path) + " was not written: " + std::string(format->whyMissing) + ".";
      continue;
    }
    const double weight = format->source == FormatSource::Chain
                              ? static_cast<double>(data.run->lastSites.size()) + 1
                              : static_cast<double>(data.correlation->gofr.size()) + 1;
    jobs.push_back({path,
                    [format, &data, threads](ByteSink& sink) {
                      return format->writer->write(sink, data, threads);
                    },
                    weight});
  }
  const FileSetResult result =
      writeFileSet(jobs, {.keepGoing = keepGoing}, FileSetPolicy::EachOnItsOwn);
  report.cancelled = result.cancelled;
  report.written = result.written;
  if (report.cancelled) return report;
  // The notes in the order of the ticks.
  for (std::size_t i = 0; i < choice.size(); ++i) {
    const std::string path = chosenName + std::string(choice[i]->extension);
    for (const auto& [failed, reason] : result.failed) {
      if (failed != path) continue;
      notes[i] = "Could not write " + quoted(path) + ": " + clause(reason) + ".";
      report.writeFailed = true;
    }
    if (!notes[i].empty()) report.notes.push_back(notes[i]);
  }
  return report;
}

}  // namespace polychain
