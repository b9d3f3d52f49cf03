// The export's decisions without any toolkit: which formats go to which files, in which
// order, and what the user is told. Files are replaced whole or not at all.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "polychain/formats.h"

namespace polychain {

// The save dialog as the export shows it.
inline constexpr std::string_view kSaveDialogTitle = "Save";
inline constexpr std::string_view kSaveDialogFilter = "All Files (*.*)";
// The title of the box that reports an export that did not write every ticked file.
inline constexpr std::string_view kExportMessageTitle = "Export";

// The formats ticked in the export dialog, in the format table's order.
using ExportChoice = std::vector<const FormatInfo*>;

struct ExportReport {
  std::vector<std::string> written;  // paths, in the order they were written
  std::vector<std::string> notes;    // one line per ticked file not written, naming it and why
  bool writeFailed = false;          // a file could not be written (not just: had no data)
  bool cancelled = false;            // the export was cancelled: no file was replaced

  // Empty when every ticked file was written; otherwise the notes and the list of files
  // that were written.
  std::string message() const;
};

// Writes each ticked format to `chosenName` followed by its extension, in the table's order:
// every file whole under a temporary name, then each put in place (writeFileSet, each file on
// its own). A format whose source no run has produced is not written, and a file that cannot
// be written does not stop the others. `keepGoing` is asked between pieces with the share of
// the export written (0 to 1); when it answers false, no file is replaced. `threads` encode the
// chain's text (0: as many as OpenMP offers). The extension is appended to the whole name,
// never put in place of one.
ExportReport exportFiles(const ExportData& data, const ExportChoice& choice,
                         const std::string& chosenName, int threads = 0,
                         const std::function<bool(double done)>& keepGoing = {});

}  // namespace polychain
