#include "window/exportplan.h"

#include <filesystem>

namespace polychain {

std::vector<std::string> exportTargets(const ExportData& data, const ExportChoice& choice,
                                       const std::string& chosenName) {
  std::vector<std::string> paths;
  for (const FormatInfo* format : choice) {
    if (format->available(data)) paths.push_back(chosenName + std::string(format->extension));
  }
  return paths;
}

std::string replaceQuestion(const std::vector<std::string>& existing) {
  std::string text =
      existing.size() == 1 ? "This file exists already:\n" : "These files exist already:\n";
  for (const std::string& path : existing) text += "    " + path + "\n";
  return text + (existing.size() == 1 ? "\nReplace it?" : "\nReplace them?");
}

namespace {

// "run.cdat and run.gor to /data": the files by name, and the folder of the first.
std::string filesAndFolder(const std::vector<std::string>& paths) {
  std::string names;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) names += i + 1 == paths.size() ? " and " : ", ";
    names += std::filesystem::path(paths[i]).filename().string();
  }
  const std::filesystem::path folder = std::filesystem::path(paths.front()).parent_path();
  return names + (folder.empty() ? std::string() : " to " + folder.string());
}

}  // namespace

std::string exportedStatus(const std::vector<std::string>& written) {
  return "Exported " + filesAndFolder(written) + ".";
}

std::string exportingStatus(const std::vector<std::string>& targets) {
  return "Exporting " + filesAndFolder(targets) + "…";
}

}  // namespace polychain
