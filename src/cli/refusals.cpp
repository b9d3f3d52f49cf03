#include "cli/refusals.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "polychain/fileset.h"
#include "polychain/inputerror.h"

namespace polychain::cli {

namespace {

// What identifies the file a path names: its device and inode when it exists, and its
// absolute path without "." , ".." and links.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string path;
};

FileIdentity identify(const std::string& path) {
  FileIdentity id;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
  const std::filesystem::path full = std::filesystem::weakly_canonical(absolute, error);
  id.path = error ? absolute.string() : full.string();
  return id;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a.path == b.path;
}

}  // namespace

void checkOutputs(const std::vector<std::pair<std::string, std::string>>& outputs) {
  std::vector<FileIdentity> ids;
  for (const auto& output : outputs) ids.push_back(identify(output.second));
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (!sameFile(ids[i], ids[j])) continue;
      throw InputError(outputs[j].first + " and " + outputs[i].first + " would both write \"" +
                       outputs[i].second + "\": give each output a file of its own.");
    }
  }
  struct stat out {};
  const bool toFile = ::fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (toFile && ids[i].exists && ids[i].device == out.st_dev && ids[i].inode == out.st_ino) {
      throw InputError(outputs[i].first + " would write \"" + outputs[i].second +
                       "\", where standard output goes: give the output another file.");
    }
  }
  for (const auto& [option, path] : outputs) {
    if (const auto reason = checkTarget(path)) {
      throw InputError(option + " cannot write \"" + path + "\": " + *reason +
                       ". Nothing was run or written.");
    }
  }
}

}  // namespace polychain::cli
