#include "files/atomicfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "polychain/fileset.h"

namespace polychain {

namespace {

std::string reason(int error) { return std::strerror(error); }

// The blocks in which a file is sent on its way to the disk while it is written.
constexpr std::uint64_t kSyncBlock = std::uint64_t{4} << 20;

// The named temporaries of this process, for a signal handler to remove: fixed slots of
// fixed-size names, so that the handler needs no allocation and no lock.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kNameRoom = 4096;
std::array<std::array<char, kNameRoom>, kSlots> g_names{};
std::array<std::atomic<bool>, kSlots> g_used{};
std::mutex g_slotMutex;

int remember(const std::string& name) {
  if (name.size() >= kNameRoom) return -1;
  const std::lock_guard lock(g_slotMutex);
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) continue;
    std::memcpy(g_names[i].data(), name.c_str(), name.size() + 1);
    g_used[i].store(true);
    return static_cast<int>(i);
  }
  return -1;
}

void forget(const std::string& name) {
  const std::lock_guard lock(g_slotMutex);
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (g_used[i].load() && name == g_names[i].data()) g_used[i].store(false);
  }
}

// A short name for the temporary, beside the target: ".pc" and eight letters.
std::string temporaryName(const std::string& folder) {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t v =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<std::uint64_t>(::getpid()) << 32) ^ (counter++ * 0x9e3779b97f4a7c15ULL);
  std::string name = folder + ".pc";
  for (int i = 0; i < 8; ++i, v /= 26) name += static_cast<char>('a' + v % 26);
  return name;
}

}  // namespace

std::optional<std::string> PendingFile::open(const std::string& path, PendingFile& file) {
  file.discard();
  if (path.empty()) return std::string("the name is empty");
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    return std::string(S_ISDIR(target.st_mode) ? "it is a folder"
                                               : "it is not a regular file (a FIFO, device or "
                                                 "socket), so it is left alone");
  }
  const std::size_t slash = path.rfind('/');
  file.m_path = path;
  file.m_folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string folder = file.m_folder.empty() ? std::string(".") : file.m_folder;
  // Unnamed while it is written, so that nothing is left behind whatever happens meanwhile;
  // the mode 0666 is reduced by the umask as for any new file.
  file.m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (file.m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without unnamed files: a short named temporary, removed on failure.
    for (int attempt = 0; attempt < 100 && file.m_fd < 0; ++attempt) {
      file.m_tempName = temporaryName(file.m_folder);
      file.m_fd = ::open(file.m_tempName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      if (file.m_fd < 0 && errno != EEXIST) break;
    }
    if (file.m_fd >= 0) {
      file.m_named = true;
      remember(file.m_tempName);
    }
  }
  if (file.m_fd < 0) return reason(errno);
  if (S_ISREG(target.st_mode)) {
    // The owner first: a change of owner may clear mode bits. The setuid, setgid and sticky
    // bits never pass to the new file's contents.
    struct stat made {};
    if (::fchown(file.m_fd, target.st_uid, target.st_gid) != 0 && ::fstat(file.m_fd, &made) == 0) {
      file.m_keptOwner = made.st_uid == target.st_uid && made.st_gid == target.st_gid;
    }
    if (::fchmod(file.m_fd, target.st_mode & 0777) != 0) {
      const int error = errno;
      file.discard();
      return reason(error);
    }
  }
  return std::nullopt;
}

std::optional<std::string> PendingFile::check(const std::string& path) {
  PendingFile probe;
  return open(path, probe);  // an unnamed file (or a named one, removed) and nothing else
}

PendingFile::PendingFile(PendingFile&& other) noexcept { *this = std::move(other); }

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    discard();
    m_path = std::move(other.m_path);
    m_folder = std::move(other.m_folder);
    m_fd = std::exchange(other.m_fd, -1);
    m_written = std::exchange(other.m_written, 0);
    m_blockStart = std::exchange(other.m_blockStart, 0);
    m_keepGoing = std::move(other.m_keepGoing);
    m_error = std::exchange(other.m_error, std::nullopt);
    m_named = std::exchange(other.m_named, false);
    m_prepared = std::exchange(other.m_prepared, false);
    m_keptOwner = std::exchange(other.m_keptOwner, true);
    m_tempName = std::move(other.m_tempName);
  }
  return *this;
}

PendingFile::~PendingFile() { discard(); }

void PendingFile::discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_written = 0;
  m_blockStart = 0;
  m_error.reset();
  m_prepared = false;
  m_keptOwner = true;
  if (m_named) {
    ::unlink(m_tempName.c_str());
    forget(m_tempName);
    m_named = false;
  }
}

bool PendingFile::put(std::string_view bytes) {
  if (m_error) return false;
  if (m_fd < 0) {
    m_error = "nothing was opened";
    return false;
  }
  // Block by block, each sent to the disk while the next is written and waited for before
  // the one after: the final sync has little left to do, and the page cache never fills with
  // dirty pages (whose throttling could hold one write for seconds).
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t room = static_cast<std::size_t>(m_blockStart + kSyncBlock - m_written);
    const ::ssize_t n = ::write(m_fd, bytes.data() + done, std::min(room, bytes.size() - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      m_error = reason(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
    m_written += static_cast<std::uint64_t>(n);
    if (m_written - m_blockStart >= kSyncBlock) syncBlock();
  }
  return true;
}

void PendingFile::syncBlock() {
  const auto start = static_cast<off_t>(m_blockStart);
  const auto length = static_cast<off_t>(m_written - m_blockStart);
  if (length == 0) return;
  ::sync_file_range(m_fd, start, length, SYNC_FILE_RANGE_WRITE);
  if (m_blockStart >= kSyncBlock) {
    const off_t previous = start - static_cast<off_t>(kSyncBlock);
    ::sync_file_range(
        m_fd, previous, static_cast<off_t>(kSyncBlock),
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    // On disk now: its pages leave the cache as the file goes, so that a file of gigabytes
    // neither crowds out the cache nor leaves them all to free when it is discarded.
    ::posix_fadvise(m_fd, previous, static_cast<off_t>(kSyncBlock), POSIX_FADV_DONTNEED);
  }
  m_blockStart = m_written;
}

bool PendingFile::keepGoing(double done) {
  if (m_error) return false;
  if (m_keepGoing && !m_keepGoing(done)) {
    m_error = "cancelled";
    return false;
  }
  return true;
}

std::optional<std::string> PendingFile::write(std::string_view text,
                                              const std::function<bool()>& keepGoing) {
  for (std::size_t at = 0; at < text.size(); at += kSyncBlock) {
    if (keepGoing && !keepGoing()) return std::string("cancelled");
    if (!put(text.substr(at, kSyncBlock))) return m_error;
  }
  return std::nullopt;
}

std::optional<std::string> PendingFile::prepare() {
  if (m_prepared) return std::nullopt;
  if (m_error) return m_error;
  if (m_fd < 0) return std::string("nothing was written");
  syncBlock();
  if (::fsync(m_fd) != 0) return reason(errno);
  if (!m_named) {
    // Give the unnamed file a short temporary name, then rename it over the target.
    const std::string fdPath = "/proc/self/fd/" + std::to_string(m_fd);
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      m_tempName = temporaryName(m_folder);
      remember(m_tempName);
      error =
          ::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, m_tempName.c_str(), AT_SYMLINK_FOLLOW) == 0
              ? 0
              : errno;
      if (error == 0) {
        m_named = true;
      } else {
        forget(m_tempName);
      }
    }
    if (error != 0) return reason(error);
  }
  const int closeError = ::close(m_fd) == 0 ? 0 : errno;
  m_fd = -1;
  if (closeError != 0) return reason(closeError);
  m_prepared = true;
  return std::nullopt;
}

std::optional<std::string> PendingFile::commit() {
  if (auto error = prepare()) return error;
  if (::rename(m_tempName.c_str(), m_path.c_str()) != 0) return reason(errno);
  forget(m_tempName);
  m_named = false;
  m_prepared = false;
  return std::nullopt;
}

bool FolderLock::lock(const std::vector<std::string>& paths,
                      const std::function<bool()>& keepGoing) {
  unlock();
  // Each folder once, in the order of its device and inode, so that two processes locking
  // overlapping folders cannot wait for each other.
  std::vector<std::pair<std::pair<dev_t, ino_t>, int>> folders;
  for (const std::string& path : paths) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) continue;  // its commit will say why
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      continue;
    }
    bool seen = false;
    for (const auto& f : folders) seen = seen || f.first == std::pair(st.st_dev, st.st_ino);
    if (seen) {
      ::close(fd);
    } else {
      folders.push_back({{st.st_dev, st.st_ino}, fd});
    }
  }
  std::sort(folders.begin(), folders.end());
  for (const auto& f : folders) m_fds.push_back(f.second);
  for (const int fd : m_fds) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) break;  // a file system without locks
      if (keepGoing && !keepGoing()) {
        unlock();
        return false;
      }
      ::usleep(1000);
    }
  }
  return true;
}

void FolderLock::unlock() {
  for (const int fd : m_fds) ::close(fd);  // which drops its lock
  m_fds.clear();
}

FolderLock::~FolderLock() { unlock(); }

std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view text,
                                               const std::function<bool()>& keepGoing) {
  PendingFile file;
  if (auto error = PendingFile::open(path, file)) return error;
  if (auto error = file.write(text, keepGoing)) return error;
  return file.commit();
}

void removeTemporaryFilesNow() {
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) ::unlink(g_names[i].data());
  }
}

}  // namespace polychain
