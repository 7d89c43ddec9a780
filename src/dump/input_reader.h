// Reads raw input in large blocks straight from a file descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quarnel {

enum class ReadStatus { data, end, error };

struct ReadResult {
  ReadStatus status;
  std::size_t count;  // bytes read, when status is data
};

// Whether a read of fd may have to wait for data: true for pipes, terminals
// and sockets, false for regular files and block devices.
[[nodiscard]] bool may_wait(int fd);

// Whether fd has data (or its end, or an error) to read at once.
[[nodiscard]] bool ready_to_read(int fd);

// Reads whatever is available, up to into.size() bytes, waiting for at least
// one. Interrupted reads are retried, and a descriptor in non-blocking mode is
// waited on rather than taken for failed.
[[nodiscard]] ReadResult read_block(int fd, std::span<std::uint8_t> into);

}  // namespace quarnel
