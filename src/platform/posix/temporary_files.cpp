// The unnamed temporary files that hold what the dumps say, on POSIX
// systems.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {

std::string_view spool_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

int create_spool_file() {
  std::array<char, 4096> path{};
  const std::string_view base = spool_folder();
  constexpr std::string_view pattern = "/unquarnel-XXXXXX";
  if (base.size() + pattern.size() >= path.size()) {
    errno = ENAMETOOLONG;
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

}  // namespace quarnel
