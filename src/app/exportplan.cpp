#include "app/exportplan.h"

#include <filesystem>

namespace polychain {

std::vector<std::string> exportTargets(const Form2& buffers, const ExportChoice& choice,
                                       const std::string& chosenName) {
  const std::pair<bool, const std::string*> items[] = {{choice.ChainData, &buffers.ChainBox},
                                                       {choice.gofr, &buffers.gofrBox},
                                                       {choice.gofq, &buffers.gofqBox}};
  const char* extensions[] = {".cdat", ".gor", ".goq"};
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < 3; ++i) {
    if (items[i].first && *items[i].second != kBufferStartText) {
      paths.push_back(chosenName + extensions[i]);
    }
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
