// Opening, reading and skipping inputs on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {

int open_input(const char* name) {
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  struct stat info {};
  if (fd >= 0 && (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

void close_handle(int handle) { ::close(handle); }

ReadResult read_block(int handle, std::span<std::uint8_t> into) {
  for (;;) {
    const ssize_t n = ::read(handle, into.data(), into.size());
    if (n > 0) {
      count_bytes_read(static_cast<std::size_t>(n));
      return {ReadStatus::data, static_cast<std::size_t>(n)};
    }
    if (n == 0) {
      return {ReadStatus::end, 0};
    }
    if (posix::call_again(handle, POLLIN)) {
      continue;
    }
    return {ReadStatus::error, 0};
  }
}

namespace {

bool can_seek(int handle) {
  struct stat info {};
  return ::fstat(handle, &info) == 0 && (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode));
}

}  // namespace

bool may_wait(int handle) { return !can_seek(handle); }

bool ready_to_read(int handle) {
  pollfd waiting{handle, POLLIN, 0};
  return ::poll(&waiting, 1, 0) > 0;
}

SkipResult skip_by_seeking(int handle, std::uint64_t count) {
  if (!can_seek(handle) || ::lseek(handle, static_cast<off_t>(count) - 1, SEEK_CUR) < 0) {
    return SkipResult::unsupported;
  }
  std::uint8_t last = 0;
  for (;;) {
    const ssize_t n = ::read(handle, &last, 1);
    if (n >= 0 || errno != EINTR) {
      return n == 1 ? SkipResult::done : n == 0 ? SkipResult::too_short : SkipResult::error;
    }
  }
}

bool rewind_file(int handle) { return ::lseek(handle, 0, SEEK_SET) == 0; }

bool is_own_output(int input, int output) {
  struct stat in {};
  struct stat out {};
  return ::fstat(input, &in) == 0 && ::fstat(output, &out) == 0 && S_ISREG(in.st_mode) &&
         in.st_dev == out.st_dev && in.st_ino == out.st_ino && in.st_size > 0;
}

}  // namespace quarnel
