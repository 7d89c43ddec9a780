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

// Reads whatever is available, up to into.size() bytes, waiting for at least
// one. Interrupted reads are retried, and a descriptor in non-blocking mode is
// waited on rather than taken for failed.
[[nodiscard]] ReadResult read_block(int fd, std::span<std::uint8_t> into);

}  // namespace quarnel
