// Around an export, without any toolkit: the files it is to write, the question asked when
// some of them exist already, and what the window says once it has written them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "polychain/export.h"

namespace polychain {

// The paths exportFiles writes for these ticks, in its order: each ticked format whose source
// a run has produced.
std::vector<std::string> exportTargets(const ExportData& data, const ExportChoice& choice,
                                       const std::string& chosenName);

// The question before replacing `existing` (not empty), one path a line.
std::string replaceQuestion(const std::vector<std::string>& existing);

// The status after an export that wrote `written` (not empty): the files by name, and their
// folder.
std::string exportedStatus(const std::vector<std::string>& written);

// The status while the export writes `targets` (not empty), and after it was cancelled.
std::string exportingStatus(const std::vector<std::string>& targets);
inline constexpr std::string_view kExportCancelledStatus =
    "The export was cancelled; no file was replaced.";

}  // namespace polychain
