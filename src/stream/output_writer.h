// Buffered output to a file descriptor, with every write checked.
#pragma once

#include <array>
#include <cstddef>

#include "dump/line_format.h"

namespace quarnel {

// Room for the formatted lines of one whole input block and a last line.
inline constexpr std::size_t input_block_size = std::size_t{1} << 16;
inline constexpr std::size_t output_capacity =
    input_block_size / bytes_per_line * full_line_length + full_line_length;

struct OutputWriter {
  int fd;
  std::size_t used = 0;
  std::array<char, output_capacity> buffer{};
};

// Writes out and empties the buffer. False when the output failed; what was
// buffered is dropped either way.
[[nodiscard]] bool flush_output(OutputWriter& out);

// Makes room for at least `size` more bytes, flushing if need be. False when
// that flush failed.
[[nodiscard]] bool reserve_output(OutputWriter& out, std::size_t size);

}  // namespace quarnel
