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

std::string exportedStatus(const std::vector<std::string>& written) {
  std::string names;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (i > 0) names += i + 1 == written.size() ? " and " : ", ";
    names += std::filesystem::path(written[i]).filename().string();
  }
  const std::filesystem::path folder = std::filesystem::path(written.front()).parent_path();
  return "Exported " + names + (folder.empty() ? std::string() : " to " + folder.string()) + ".";
}

}  // namespace polychain
