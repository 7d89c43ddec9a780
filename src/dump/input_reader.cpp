#include "dump/input_reader.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quarnel {

bool may_wait(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode));
}

bool ready_to_read(int fd) {
  pollfd waiting{fd, POLLIN, 0};
  return ::poll(&waiting, 1, 0) > 0;
}

ReadResult read_block(int fd, std::span<std::uint8_t> into) {
  for (;;) {
    const ssize_t n = ::read(fd, into.data(), into.size());
    if (n > 0) {
      return {ReadStatus::data, static_cast<std::size_t>(n)};
    }
    if (n == 0) {
      return {ReadStatus::end, 0};
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd waiting{fd, POLLIN, 0};
      if (::poll(&waiting, 1, -1) >= 0 || errno == EINTR) {
        continue;
      }
    }
    return {ReadStatus::error, 0};
  }
}

}  // namespace quarnel
