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

// Writes `text` as the whole file `path`; returns the reason on failure, nothing on success.
using FileWriter =
    std::function<std::optional<std::string>(const std::string& path, std::string_view text)>;

struct ExportReport {
  std::vector<std::string> written;  // paths, in the order they were written
  std::vector<std::string> notes;    // one line per ticked file not written, naming it and why
  bool writeFailed = false;          // a file could not be written (not just: had no data)

  // Empty when every ticked file was written; otherwise the notes and the list of files
  // that were written.
  std::string message() const;
};

// Writes each ticked format to `chosenName` followed by its extension, in the table's order,
// its text built now. A format whose source no run has produced is not written and a failed
// file does not stop the others. The extension is appended to the whole name, never put in
// place of one.
ExportReport exportFiles(const ExportData& data, const ExportChoice& choice,
                         const std::string& chosenName, const FileWriter& write);

// The same, through writeFileAtomically.
ExportReport exportFiles(const ExportData& data, const ExportChoice& choice,
                         const std::string& chosenName);

}  // namespace polychain
