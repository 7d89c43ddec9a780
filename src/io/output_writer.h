// The programs' buffered output to a file descriptor, with every write
// checked.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "quarnel/line_geometry.h"

namespace quarnel {

// Room for the dump lines of one whole input block and a last line,
// whichever line end the platform writes.
inline constexpr std::size_t input_block_size = std::size_t{1} << 16;
inline constexpr std::size_t output_capacity =
    (input_block_size / line_geometry::bytes_per_line + 1) * line_geometry::longest_line_size;

struct OutputWriter;

// Writers that threads fill at the same time, whose text goes out one
// writer's turn after another, in the order of their turns. A writer that
// has its turn may add its text to the gathering writer instead, which
// turns write to alone: small texts go out together.
struct OutputTurns {
  std::mutex mutex;
  // A writer waits on its turn's place: the end of a turn wakes the next
  // one's writer alone. Fewer turns than places wait at once.
  std::array<std::condition_variable, 128> changed;
  std::uint64_t current = 0;  // the turn whose text goes out now
  OutputWriter* gathered = nullptr;
};

struct OutputWriter {
  int fd;
  std::size_t used = 0;
  std::array<char, output_capacity> buffer{};
  bool failed = false;  // a write has failed: what was buffered then was lost
  int error = 0;        // the system's reason for the last failed write
  // With turns: the writer's turn, before which nothing of it is written.
  OutputTurns* turns = nullptr;
  std::uint64_t turn = 0;
  bool has_turn = false;
};

// The place of a turn among places that turns take in a ring.
[[nodiscard]] constexpr std::size_t turn_place(std::uint64_t turn, std::size_t places) {
  return static_cast<std::size_t>(turn % places);
}

// Waits for the writer's turn, if it takes turns and does not have it.
void wait_for_turn(OutputWriter& out);

// Ends the writer's turn, which it has, its text added to the gathering
// writer: the next one's begins. False when the output failed.
[[nodiscard]] bool end_turn(OutputWriter& out);

// Writes out and empties the buffer. False when the output failed; what was
// buffered is dropped either way.
[[nodiscard]] bool flush_output(OutputWriter& out);

// Makes room for at least `size` more bytes, flushing if need be. False when
// that flush failed.
[[nodiscard]] bool reserve_output(OutputWriter& out, std::size_t size);

// Adds text to the buffer, flushing as it fills. A failed write is kept in
// out.failed, and later text is dropped, so a caller may check once at the
// end.
void put_output(OutputWriter& out, std::string_view text);

}  // namespace quarnel
