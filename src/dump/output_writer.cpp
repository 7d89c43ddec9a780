#include "dump/output_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarnel {

namespace {

// Writes a group of non-empty pieces with writev, resuming after partial writes.
bool write_group(int fd, std::span<iovec> pending) {
  while (!pending.empty()) {
    const ssize_t n = ::writev(fd, pending.data(), static_cast<int>(pending.size()));
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd waiting{fd, POLLOUT, 0};
        if (::poll(&waiting, 1, -1) >= 0 || errno == EINTR) {
          continue;
        }
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

void widen_pipe(int fd) {
  constexpr int wide = 1 << 20;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode) && ::fcntl(fd, F_GETPIPE_SZ) < wide) {
    // Refused above the system's limit; the pipe then keeps its size.
    static_cast<void>(::fcntl(fd, F_SETPIPE_SZ, wide));
  }
}

bool write_all(int fd, std::span<const std::string_view> pieces) {
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
    if (!write_group(fd, std::span(iov.data(), count))) {
      return false;
    }
  }
  return true;
}

bool flush_output(OutputWriter& out) {
  const std::string_view text(out.buffer.data(), out.used);
  out.used = 0;
  return write_all(out.fd, std::span(&text, 1));
}

bool reserve_output(OutputWriter& out, std::size_t size) {
  return out.buffer.size() - out.used >= size || flush_output(out);
}

bool append_output(OutputWriter& out, std::string_view text) {
  while (!text.empty()) {
    if (out.used == out.buffer.size() && !flush_output(out)) {
      return false;
    }
    const std::size_t part = std::min(text.size(), out.buffer.size() - out.used);
    std::memcpy(out.buffer.data() + out.used, text.data(), part);
    out.used += part;
    text.remove_prefix(part);
  }
  return true;
}

}  // namespace quarnel
