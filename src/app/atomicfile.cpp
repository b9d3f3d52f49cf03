#include "app/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace polychain {

namespace {

std::string reason(int error) { return std::strerror(error); }

}  // namespace

std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view text) {
  std::vector<char> temp(path.begin(), path.end());
  static constexpr char kSuffix[] = ".tmp-XXXXXX";
  temp.insert(temp.end(), kSuffix, kSuffix + sizeof(kSuffix));  // includes the terminator
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return reason(errno);

  std::size_t written = 0;
  while (written < text.size()) {
    const ::ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      ::unlink(temp.data());
      return reason(error);
    }
    written += static_cast<std::size_t>(n);
  }
  // Readable like any file the user creates, not only by the owner as mkstemp leaves it.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  const int syncError = ::fsync(fd) == 0 ? 0 : errno;
  const int closeError = ::close(fd) == 0 ? 0 : errno;
  if (syncError != 0 || closeError != 0) {
    ::unlink(temp.data());
    return reason(syncError != 0 ? syncError : closeError);
  }
  if (::rename(temp.data(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.data());
    return reason(error);
  }
  return std::nullopt;
}

}  // namespace polychain
