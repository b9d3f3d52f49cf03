// Writing whole files so that readers see either the old file or the complete new one. The
// bytes go to an unnamed temporary file in the target's folder, which is linked under a
// short temporary name and renamed over the target only when it is complete; the target
// keeps its permission bits (never the setuid, setgid or sticky bit) and, where this process
// may give it away, its owner and group; only a regular file (or no file) is ever replaced.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "polychain/bytesink.h"

namespace polychain {

// One file on its way to disk, written through its ByteSink in pieces. Discarded (nothing
// left behind) unless committed.
class PendingFile final : public ByteSink {
 public:
  // Opens the temporary for `path`; the reason on failure (a target that is a FIFO, a device,
  // a socket or a folder is refused).
  static std::optional<std::string> open(const std::string& path, PendingFile& file);
  // Whether `path` could be written as open() would write it: the reason it could not, found
  // the way open() would find it, with nothing left behind.
  static std::optional<std::string> check(const std::string& path);

  PendingFile() = default;
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() override;

  // What keepGoing() answers from now on (always yes when none is given).
  void setKeepGoing(std::function<bool(double done)> keepGoing) {
    m_keepGoing = std::move(keepGoing);
  }
  // Appends `bytes` to the file; false on a failure, which error() then gives.
  bool put(std::string_view bytes) override;
  // Asks the function given to setKeepGoing; false (and error() "cancelled") when it said no.
  bool keepGoing(double done) override;
  // Why the file could not be written: a failed put(), or "cancelled".
  const std::optional<std::string>& error() const { return m_error; }

  // Appends all of `text`, asking `keepGoing` between blocks of a few megabytes; the reason
  // on failure, or "cancelled" when `keepGoing` answered false.
  std::optional<std::string> write(std::string_view text,
                                   const std::function<bool()>& keepGoing = {});
  // Sends the written file to the disk and gives it a temporary name beside the target, the
  // slow part of commit(); the reason on failure.
  std::optional<std::string> prepare();
  // Puts the written file in place of the target (preparing it first when prepare() was not
  // called): after prepare(), one rename. The reason on failure (the target is then as it
  // was).
  std::optional<std::string> commit();
  // False when the target belonged to another owner or group that this process may not give
  // the new file (it then belongs to this process's user).
  bool keptOwner() const { return m_keptOwner; }
  // Drops the temporary file.
  void discard();

 private:
  void syncBlock();

  std::string m_path;
  std::string m_folder;
  int m_fd = -1;
  // Bytes written, and where the block not yet sent on its way to the disk begins.
  std::uint64_t m_written = 0;
  std::uint64_t m_blockStart = 0;
  std::function<bool(double)> m_keepGoing;
  std::optional<std::string> m_error;
  bool m_named = false;  // the temporary has a name of its own (no unnamed files here)
  bool m_prepared = false;
  bool m_keptOwner = true;
  std::string m_tempName;
};

// Writes `text` as the whole file `path` through a PendingFile; the reason on failure.
std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view text,
                                               const std::function<bool()>& keepGoing = {});

// Holds an exclusive lock on the folders of some files while they are committed, so that
// two processes putting files in place under the same names do not interleave; waits for a
// holder, asking `keepGoing` every millisecond. Leaves nothing on disk.
class FolderLock {
 public:
  // False when `keepGoing` answered false before every lock was taken (none is then held).
  bool lock(const std::vector<std::string>& paths, const std::function<bool()>& keepGoing);
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

 private:
  void unlock();
  std::vector<int> m_fds;
};

}  // namespace polychain
