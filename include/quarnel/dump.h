// quarnel's hex dump as a library: the lines the quarnel program writes, for
// bytes in memory. Each line is an 8-digit address, the 16 bytes in hex with
// a dash between the eighth and ninth, and the same bytes as characters,
// with a dot for each byte outside printable ASCII. A last line holds the
// bytes left over; when there are none, it holds the address alone.
//
// Lines end in LF unless a call asks for CR LF: the same code logs the same
// bytes on every system. (The quarnel program ends its lines as its system
// does; platform_line_end() tells which that is.) Nothing here throws or
// allocates, but dump_string and append_dump.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "quarnel/bytes.h"
#include "quarnel/export.h"
#include "quarnel/line_geometry.h"

namespace quarnel {
inline namespace v1 {

// CR LF on Windows, LF elsewhere: what the quarnel program writes there.
[[nodiscard]] QUARNEL_API LineEnd platform_line_end() noexcept;

inline constexpr std::size_t bytes_per_dump_line = line_geometry::bytes_per_line;

// The characters of a full line, its line end included.
[[nodiscard]] constexpr std::size_t dump_line_size(LineEnd ending = LineEnd::lf) noexcept {
  return line_geometry::line_size(ending);
}

// The number of characters in the dump of size bytes; SIZE_MAX when it
// would not fit in a size_t.
[[nodiscard]] constexpr std::size_t dump_size(std::size_t size,
                                              LineEnd ending = LineEnd::lf) noexcept {
  const std::size_t lines = size / bytes_per_dump_line;
  // The last line: its characters, then its line end.
  const std::size_t last = line_geometry::char_column + size % bytes_per_dump_line +
                           line_geometry::line_end_text(ending).size();
  if (lines > (SIZE_MAX - last) / dump_line_size(ending)) {
    return SIZE_MAX;
  }
  return lines * dump_line_size(ending) + last;
}

// Writes the dump of data, its first line at address (addresses wrap past
// FFFFFFFF), into out: the same characters, byte for byte, as the quarnel
// program writes for the same bytes at that offset, made by the same vector
// code on CPUs that have it. Returns the number written, dump_size of
// data.size(); or 0, writing nothing, when out is shorter than that.
[[nodiscard]] QUARNEL_API std::size_t format_dump(ByteView data, std::uint32_t address,
                                                  CharBuffer out,
                                                  LineEnd ending = LineEnd::lf) noexcept;

// Adds the dump of data to the end of text: one buffer reused for every
// message of a log.
QUARNEL_API void append_dump(std::string& text, ByteView data, std::uint32_t address = 0,
                             LineEnd ending = LineEnd::lf);

// The dump of data as a string, for a log statement.
[[nodiscard]] QUARNEL_API std::string dump_string(ByteView data, std::uint32_t address = 0,
                                                  LineEnd ending = LineEnd::lf);

// A dump of data that arrives in pieces. It keeps the address and the bytes
// of the unfinished line between pieces; however the data is cut, the lines
// it gives are those format_dump gives for the whole at once. Only the calls
// below change it.
class StreamDump;

// Writes into out the lines that data completes, and keeps the rest for the
// next piece. Returns the number of characters written (0 when no line was
// completed); nothing, with data not taken, when out is shorter than
// dump_more_size.
[[nodiscard]] QUARNEL_API std::optional<std::size_t> dump_more(StreamDump& stream, ByteView data,
                                                               CharBuffer out) noexcept;

// Writes the last line (the address alone when no byte is held) and starts
// the stream over after it. Returns the number of characters written; 0,
// writing nothing, when out is shorter than finish_dump_size.
[[nodiscard]] QUARNEL_API std::size_t finish_dump(StreamDump& stream, CharBuffer out) noexcept;

class StreamDump {
 public:
  // A stream whose first line is at address.
  constexpr explicit StreamDump(std::uint32_t address = 0, LineEnd ending = LineEnd::lf) noexcept
      : address_(address), line_end_(ending) {}

  // The address of the unfinished line.
  [[nodiscard]] constexpr std::uint32_t address() const noexcept { return address_; }
  // The bytes held for it: 0 to 15.
  [[nodiscard]] constexpr std::size_t held() const noexcept { return held_; }
  [[nodiscard]] constexpr LineEnd line_end() const noexcept { return line_end_; }

 private:
  friend std::optional<std::size_t> dump_more(StreamDump& stream, ByteView data,
                                              CharBuffer out) noexcept;
  friend std::size_t finish_dump(StreamDump& stream, CharBuffer out) noexcept;

  std::uint32_t address_;
  LineEnd line_end_;
  std::size_t held_ = 0;
  std::array<unsigned char, bytes_per_dump_line> line_{};
};

// The most characters that dump_more writes for size more bytes; SIZE_MAX
// when that would not fit in a size_t.
[[nodiscard]] constexpr std::size_t dump_more_size(const StreamDump& stream,
                                                   std::size_t size) noexcept {
  const std::size_t line = dump_line_size(stream.line_end());
  const std::size_t lines = size / bytes_per_dump_line +
                            (stream.held() + size % bytes_per_dump_line) / bytes_per_dump_line;
  return lines > SIZE_MAX / line ? SIZE_MAX : lines * line;
}

// The most characters that finish_dump writes: one full line.
[[nodiscard]] constexpr std::size_t finish_dump_size(const StreamDump& stream) noexcept {
  return dump_line_size(stream.line_end());
}

// Writes the dump of data through an output iterator (into a container
// through std::back_inserter, say), a block at a time, and returns the
// iterator after it.
template <class OutputIt>
OutputIt dump_to(OutputIt out, ByteView data, std::uint32_t address = 0,
                 LineEnd ending = LineEnd::lf) {
  constexpr std::size_t block = 64 * bytes_per_dump_line;
  std::array<char, block / bytes_per_dump_line * line_geometry::longest_line_size> text{};
  StreamDump stream(address, ending);
  for (std::size_t at = 0; at < data.size(); at += block) {
    const std::size_t size = data.size() - at < block ? data.size() - at : block;
    const std::optional<std::size_t> written =
        dump_more(stream, ByteView(data.data() + at, size), text);
    for (std::size_t i = 0; i < written.value_or(0); ++i) {
      *out++ = text[i];
    }
  }
  const std::size_t last = finish_dump(stream, text);
  for (std::size_t i = 0; i < last; ++i) {
    *out++ = text[i];
  }
  return out;
}

}  // namespace v1
}  // namespace quarnel
