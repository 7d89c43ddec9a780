// quarnel's hex dump as a library: the lines the quarnel program writes, for
// bytes in memory. Each line is an 8-digit address, the 16 bytes in hex with
// a dash between the eighth and ninth, and the same bytes as characters,
// with a dot for each byte outside printable ASCII. A last line holds the
// bytes left over; when there are none, it holds the address alone.
// Nothing here throws or allocates, but dump_string.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quarnel {

enum class LineEnd { lf, crlf };

// What the platform's own text files end lines with: CR LF on Windows, LF
// elsewhere. The quarnel program ends its lines so.
[[nodiscard]] LineEnd platform_line_end() noexcept;

// The number of characters in the dump of size bytes.
[[nodiscard]] std::size_t dump_size(std::size_t size,
                                    LineEnd ending = platform_line_end()) noexcept;

// Writes the dump of data, its first line at address (addresses wrap past
// FFFFFFFF), into out, each line ending as ending says: the same characters, byte for byte, as the
// quarnel program writes for the same bytes at that offset, made by the same vector code on CPUs
// that have it. Returns the number written, dump_size of data.size(); or 0, writing nothing, when
// out is shorter than that.
[[nodiscard]] std::size_t format_dump(std::span<const std::uint8_t> data, std::uint32_t address,
                                      std::span<char> out,
                                      LineEnd ending = platform_line_end()) noexcept;

// The dump of data as a string, for a log statement.
[[nodiscard]] std::string dump_string(std::span<const std::uint8_t> data, std::uint32_t address = 0,
                                      LineEnd ending = platform_line_end());

// A dump of data that arrives in pieces. It keeps the address and the bytes
// of the unfinished line between pieces; however the data is cut, the lines
// it gives are those format_dump gives for the whole at once.
struct StreamDump {
  std::uint32_t address = 0;  // of the unfinished line
  LineEnd line_end = LineEnd::lf;
  std::size_t held = 0;  // bytes of the unfinished line
  std::array<std::uint8_t, 16> line{};
};

// A stream dump whose first line is at address.
[[nodiscard]] StreamDump start_stream_dump(std::uint32_t address = 0,
                                           LineEnd ending = platform_line_end()) noexcept;

// The most characters that dump_more writes for size more bytes.
[[nodiscard]] std::size_t dump_more_size(const StreamDump& stream, std::size_t size) noexcept;

// Writes into out the lines that data completes, and keeps the rest for the
// next piece. Returns the number of characters written (0 when no line was
// completed); nothing, with data not taken, when out is shorter than
// dump_more_size.
[[nodiscard]] std::optional<std::size_t> dump_more(StreamDump& stream,
                                                   std::span<const std::uint8_t> data,
                                                   std::span<char> out) noexcept;

// The most characters that finish_dump writes: one full line.
[[nodiscard]] std::size_t finish_dump_size(const StreamDump& stream) noexcept;

// Writes the last line (the address alone when no byte is held) and starts
// the stream over after it. Returns the number of characters written; 0,
// writing nothing, when out is shorter than finish_dump_size.
[[nodiscard]] std::size_t finish_dump(StreamDump& stream, std::span<char> out) noexcept;

}  // namespace quarnel
