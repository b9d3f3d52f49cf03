#include "polychain/fileset.h"

#include <unistd.h>

#include <climits>
#include <string_view>

#include "files/atomicfile.h"
#include "polychain/inputerror.h"

namespace polychain {

FileSetResult writeFileSet(std::span<const FileJob> files, const FileSetSteps& steps,
                           FileSetPolicy policy) {
  FileSetResult result;
  const auto goOn = [&steps](double done) { return !steps.keepGoing || steps.keepGoing(done); };
  double total = 0;
  for (const FileJob& file : files) total += file.weight;
  std::vector<PendingFile> staged(files.size());
  std::vector<bool> ready(files.size(), false);
  double before = 0;  // the weight of the files written before this one
  for (std::size_t i = 0; i < files.size(); ++i) {
    const FileJob& file = files[i];
    const double share = total > 0 ? file.weight / total : 0.0;
    const double start = total > 0 ? before / total : 0.0;
    before += file.weight;
    PendingFile& pending = staged[i];
    std::optional<std::string> error = PendingFile::open(file.path, pending);
    if (!error) {
      pending.setKeepGoing(
          [&goOn, start, share](double done) { return goOn(start + share * done); });
      try {
        if (!file.write(pending)) error = pending.error().value_or("cancelled");
      } catch (const InputError& e) {
        error = e.what();
        result.refused = true;
      }
    }
    if (error && *error == "cancelled") {
      result.cancelled = true;
      return result;  // the staged files go with their destructors
    }
    if (error) {
      result.failed.emplace_back(file.path, *error);
      if (policy == FileSetPolicy::AllOrNone) return result;
      pending.discard();
      continue;
    }
    ready[i] = true;
  }
  if (steps.beforeCommit && !steps.beforeCommit()) {
    result.held = true;
    return result;
  }
  // The slow part of putting the files in place, still cancellable.
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!ready[i]) continue;
    if (!goOn(1.0)) {
      result.cancelled = true;
      return result;
    }
    if (auto error = staged[i].prepare()) {
      result.failed.emplace_back(files[i].path, *error);
      if (policy == FileSetPolicy::AllOrNone) return result;
      ready[i] = false;
      continue;
    }
    paths.push_back(files[i].path);
  }
  FolderLock lock;
  if (!lock.lock(paths, [&goOn] { return goOn(1.0); }) || !goOn(1.0)) {
    result.cancelled = true;
    return result;
  }
  // The point of no return: the renames, one after another.
  if (steps.committing) steps.committing(true);
  std::vector<std::optional<std::string>> errors(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (ready[i]) errors[i] = staged[i].commit();
  }
  if (steps.committing) steps.committing(false);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!ready[i]) continue;
    if (errors[i]) {
      result.failed.emplace_back(files[i].path, *errors[i]);
      continue;
    }
    result.written.push_back(files[i].path);
    if (!staged[i].keptOwner()) result.ownerChanged.push_back(files[i].path);
  }
  return result;
}

namespace {

// Why the file system cannot take `path` as a name: the whole longer than a path may be, or
// its file's own name longer than its folder takes (the folder's own names the probe of the
// folder meets).
std::optional<std::string> nameTooLong(const std::string& path) {
  if (path.size() >= PATH_MAX) {
    return "the name is " + std::to_string(path.size()) + " bytes long, more than the " +
           std::to_string(PATH_MAX - 1) + " a path may have";
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string_view name = slash == std::string::npos
                                    ? std::string_view(path)
                                    : std::string_view(path).substr(slash + 1);
  long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (most <= 0) most = NAME_MAX;
  if (std::ssize(name) > most) {
    return "its file name is " + std::to_string(name.size()) + " bytes long, more than the " +
           std::to_string(most) + " the folder takes";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> checkTarget(const std::string& path) {
  if (auto tooLong = nameTooLong(path)) return tooLong;
  return PendingFile::check(path);
}

}  // namespace polychain
