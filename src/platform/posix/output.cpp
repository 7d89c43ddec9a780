// Writing to standard output and standard error on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {
namespace {

// Writes a group of non-empty pieces with writev, resuming after partial
// writes and waiting on a non-blocking descriptor.
bool write_group(int fd, std::span<iovec> pending) {
  while (!pending.empty()) {
    const ssize_t n = ::writev(fd, pending.data(), static_cast<int>(pending.size()));
    if (n < 0) {
      if (posix::call_again(fd, POLLOUT)) {
        continue;
      }
      return false;
    }
    if (n == 0) {
      return false;  // no progress on a non-empty write: give up, don't spin
    }
    auto written = static_cast<std::size_t>(n);
    while (!pending.empty() && written >= pending.front().iov_len) {
      written -= pending.front().iov_len;
      pending = pending.subspan(1);
    }
    if (!pending.empty()) {
      pending.front().iov_base = static_cast<char*>(pending.front().iov_base) + written;
      pending.front().iov_len -= written;
    }
  }
  return true;
}

}  // namespace

void prepare_standard_streams() {
  for (const int fd : {standard_input, standard_output, standard_error}) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      // Reading a write-only descriptor fails, and so does the other way
      // round: the stream still fails as a closed one would.
      const int opened = ::open("/dev/null", fd == standard_input ? O_WRONLY : O_RDONLY);
      if (opened >= 0 && opened != fd) {
        ::dup2(opened, fd);
        ::close(opened);
      }
    }
  }
  ::signal(SIGXFSZ, SIG_IGN);
#if defined(F_SETPIPE_SZ)
  // A wide pipe on standard output lets the writer and the reader of a fast
  // dump block each other less often. Refused above the system's limit; the
  // pipe then keeps its size.
  constexpr int wide = 1 << 20;
  struct stat info {};
  if (::fstat(standard_output, &info) == 0 && S_ISFIFO(info.st_mode) &&
      ::fcntl(standard_output, F_GETPIPE_SZ) < wide) {
    static_cast<void>(::fcntl(standard_output, F_SETPIPE_SZ, wide));
  }
#endif
}

bool write_all(int handle, std::span<const std::string_view> pieces) {
  constexpr std::size_t group_size = 8;
  while (!pieces.empty()) {
    std::array<iovec, group_size> iov{};
    std::size_t count = 0;
    for (; count < group_size && !pieces.empty(); pieces = pieces.subspan(1)) {
      if (!pieces.front().empty()) {
        // writev takes non-const pointers but only reads through them.
        iov[count++] = {const_cast<char*>(pieces.front().data()), pieces.front().size()};
      }
    }
    if (!write_group(handle, std::span(iov.data(), count))) {
      return false;
    }
  }
  return true;
}

bool is_terminal(int handle) { return ::isatty(handle) != 0; }

std::string_view modification_time(int handle) {
  static std::array<char, 64> text{};
  struct stat info {};
  timespec when{};
  if (::fstat(handle, &info) == 0 && S_ISREG(info.st_mode)) {
    when = info.st_mtim;
  } else {
    ::clock_gettime(CLOCK_REALTIME, &when);
  }
  struct tm local {};
  ::localtime_r(&when.tv_sec, &local);
  std::size_t size = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &local);
  size += static_cast<std::size_t>(
      std::snprintf(text.data() + size, text.size() - size, ".%09ld", when.tv_nsec));
  size += std::strftime(text.data() + size, text.size() - size, " %z", &local);
  return {text.data(), size};
}

}  // namespace quarnel
