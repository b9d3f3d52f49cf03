#include "app/export.h"

#include "app/atomicfile.h"

namespace polychain {

namespace {

struct ExportItem {
  bool ticked;
  const std::string& text;
  const char* extension;
  const char* whyEmpty;  // said when the buffer still holds its starting text
};

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

ExportReport exportFiles(const Form2& buffers, const ExportChoice& choice,
                         const std::string& chosenName, const FileWriter& write) {
  const ExportItem items[] = {
      {choice.ChainData, buffers.ChainBox, ".cdat",
       "there is no chain data yet: run a simulation first"},
      {choice.gofr, buffers.gofrBox, ".gor",
       "g(r) was not calculated in any run: tick \"Calculate Pairwise Correlation Factor\" "
       "and run a simulation first"},
      {choice.gofq, buffers.gofqBox, ".goq",
       "g(q) was not calculated in any run: tick \"Calculate Pairwise Correlation Factor\" "
       "and run a simulation first"},
  };
  ExportReport report;
  for (const ExportItem& item : items) {
    if (!item.ticked) continue;
    const std::string path = chosenName + item.extension;
    if (item.text == kBufferStartText) {
      report.notes.push_back(quoted(path) + " was not written: " + item.whyEmpty + ".");
      continue;
    }
    if (const auto reason = write(path, item.text)) {
      report.writeFailed = true;
      report.notes.push_back("Could not write " + quoted(path) + ": " + *reason + ".");
      continue;
    }
    report.written.push_back(path);
  }
  return report;
}

ExportReport exportFiles(const Form2& buffers, const ExportChoice& choice,
                         const std::string& chosenName) {
  return exportFiles(buffers, choice, chosenName,
                     [](const std::string& path, std::string_view text) {
                       return writeFileAtomically(path, text);
                     });
}

}  // namespace polychain
