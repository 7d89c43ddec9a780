// Files that unquarnel writes into on POSIX systems: the patched file and a
// spool for standard input.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {

int open_patch_file(const char* name) {
  return ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
}

bool write_at(int handle, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(handle, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

int create_spool_file() {
  const char* folder = std::getenv("TMPDIR");
  std::array<char, 4096> path{};
  const std::string_view base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  constexpr std::string_view pattern = "/unquarnel-XXXXXX";
  if (base.size() + pattern.size() >= path.size()) {
    return -1;
  }
  base.copy(path.data(), base.size());
  pattern.copy(path.data() + base.size(), pattern.size());
  const int fd = ::mkstemp(path.data());
  if (fd >= 0) {
    // Unnamed at once: the spool goes with the process, however it ends.
    ::unlink(path.data());
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  return fd;
}

bool rewind_file(int handle) { return ::lseek(handle, 0, SEEK_SET) == 0; }

}  // namespace quarnel
