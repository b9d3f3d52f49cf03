// Several files written as one: each written whole to a temporary file beside it (a
// PendingFile) before any goes in place, then all put in place one rename after another under
// a lock on their folders (FolderLock), which takes microseconds. Until the first rename
// anything can stop the set and no file is replaced; nothing temporary is ever left behind.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "polychain/bytesink.h"

namespace polychain {

// One file of a set: where it goes and what writes it.
struct FileJob {
  std::string path;
  // Writes the whole file to the sink; false when the sink stopped it. May throw InputError
  // when the data does not fit the file's format, which fails the file with that message.
  std::function<bool(ByteSink& sink)> write;
  // Its share of the set's progress, against the other files' (such as its sites).
  double weight = 1.0;
};

// What the caller is asked while a set is written.
struct FileSetSteps {
  // Asked between the pieces of every file and between the steps of putting them in place,
  // with the share of the set written so far (0 to 1): false cancels it, and no file is
  // replaced.
  std::function<bool(double done)> keepGoing;
  // Once every file is whole under its temporary name, before the first goes in place (the
  // command prints its results here): false, and no file is replaced.
  std::function<bool()> beforeCommit;
  // True just before the first rename, false after the last: in between nothing stops the
  // set.
  std::function<void(bool)> committing;
};

// When one file of a set cannot be written: none goes in place, or the others still do.
enum class FileSetPolicy { AllOrNone, EachOnItsOwn };

struct FileSetResult {
  bool cancelled = false;            // keepGoing answered false: no file was replaced
  bool held = false;                 // beforeCommit answered false: no file was replaced
  bool refused = false;              // a file's data did not fit its format (InputError)
  std::vector<std::string> written;  // in place, in the set's order
  std::vector<std::pair<std::string, std::string>> failed;  // a path and why, in order
  std::vector<std::string> ownerChanged;  // in place, but now this user's (see PendingFile)
};

// Writes `files` as one set. A file that fails before the renames fails the whole set under
// AllOrNone (nothing is written after it, and none goes in place); under EachOnItsOwn the
// others go on. A rename that fails (a target replaced by a folder meanwhile) fails that file
// alone, as the renames before it cannot be undone.
FileSetResult writeFileSet(std::span<const FileJob> files, const FileSetSteps& steps = {},
                           FileSetPolicy policy = FileSetPolicy::AllOrNone);

// Whether a file could be written at `path` as a set writes it: the reason it could not (a
// name too long for the file system, a FIFO, device, socket or folder in its place, a folder
// that does not exist or may not be written), found as writing would find it, with nothing
// left behind.
std::optional<std::string> checkTarget(const std::string& path);

// Removes every temporary file of a set this process is still writing. Only calls that are
// safe in a signal handler; for the handler of a signal that ends the process at once.
void removeTemporaryFilesNow();

}  // namespace polychain
