#include "polychain/export.h"

#include "polychain/atomicfile.h"

namespace polychain {

namespace {

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

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
                         const std::string& chosenName, const FileWriter& write) {
  ExportReport report;
  for (const FormatInfo* format : choice) {
    const std::string path = chosenName + std::string(format->extension);
    if (!format->available(data)) {
      report.notes.push_back(quoted(path) + " was not written: " + std::string(format->whyMissing) +
                             ".");
      continue;
    }
    if (const auto reason = write(path, format->write(data, 0, {}))) {
      report.writeFailed = true;
      report.notes.push_back("Could not write " + quoted(path) + ": " + *reason + ".");
      continue;
    }
    report.written.push_back(path);
  }
  return report;
}

ExportReport exportFiles(const ExportData& data, const ExportChoice& choice,
                         const std::string& chosenName) {
  return exportFiles(data, choice, chosenName, [](const std::string& path, std::string_view text) {
    return writeFileAtomically(path, text);
  });
}

}  // namespace polychain
