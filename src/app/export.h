// The export's decisions without any toolkit: which buffers go to which files, in which
// order, and what the user is told. Files are replaced whole or not at all.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1logic.h"

namespace polychain {

// The save dialog as the export shows it.
inline constexpr std::string_view kSaveDialogTitle = "Save";
inline constexpr std::string_view kSaveDialogFilter = "All Files (*.*)";
// The title of the box that reports an export that did not write every ticked file.
inline constexpr std::string_view kExportMessageTitle = "Export";

// The export dialog's three check boxes.
struct ExportChoice {
  bool ChainData = false;
  bool gofr = false;
  bool gofq = false;
};

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

// Writes the ticked buffers to `chosenName` followed by ".cdat", ".gor" and ".goq", in that
// order, each file holding its buffer's text byte for byte. A buffer no run has filled is
// not written and a failed file does not stop the others. The extension is appended to the
// whole name, never put in place of one.
ExportReport exportFiles(const Form2& buffers, const ExportChoice& choice,
                         const std::string& chosenName, const FileWriter& write);

// The same, through writeFileAtomically.
ExportReport exportFiles(const Form2& buffers, const ExportChoice& choice,
                         const std::string& chosenName);

}  // namespace polychain
