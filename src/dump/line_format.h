// Formats dump lines: an 8-digit address, 16 bytes in hex with a dash after
// the eighth, and the same bytes as characters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "cpu/cpu.h"
#include "quarnel/dump.h"

namespace quarnel {

using line_geometry::bytes_per_line;
using line_geometry::char_column;
using line_geometry::line_end_text;
using line_geometry::line_size;
using line_geometry::line_text;

// The programs end their lines as the platform does: the build says which
// (QUARNEL_CRLF, set for Windows).
inline constexpr LineEnd native_line_end = QUARNEL_CRLF != 0 ? LineEnd::crlf : LineEnd::lf;
inline constexpr std::size_t full_line_length = line_size(native_line_end);

inline constexpr std::array<char, 16> hex_digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                    '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

// The two uppercase hex digits of every byte value.
inline constexpr auto hex_pairs = [] {
  std::array<std::array<char, 2>, 256> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    table[b] = {hex_digits[b >> 4], hex_digits[b & 15]};
  }
  return table;
}();

// Printable ASCII shows as itself, everything else as a dot; no locale.
inline constexpr auto shown_chars = [] {
  std::array<char, 256> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    table[b] = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
  }
  return table;
}();

// Formats data.size() / 16 full lines into out, which must have room for
// that many full lines. The address goes up by 16 per line, wrapping at 2^32.
// Returns the end of what was written. Each formatter is a template on the
// line end, instantiated for both.
using LineFormatter = char* (*)(char* out, std::uint32_t& address,
                                std::span<const std::uint8_t> data);

// The formatter for a path and line end, or null when this build or this
// CPU has not the path; all give the same bytes.
[[nodiscard]] LineFormatter line_formatter(CpuPath path, LineEnd end = native_line_end);

// The formatters this build has for each path, for each line end, as the
// CPU family's file lists them.
extern const PathTable<LineFormatter> formatters_lf;
extern const PathTable<LineFormatter> formatters_crlf;

// The fastest path this CPU can run.
[[nodiscard]] CpuPath fastest_format_path();

// Writes the line end at out; returns the end.
template <LineEnd end>
char* put_line_end(char* out) {
  constexpr std::string_view text = line_end_text(end);
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// Writes the address as 8 hex digits and two spaces; returns the end. Inline:
// every formatter calls it once a line.
inline char* put_address(char* out, std::uint32_t address) {
  static_assert(line_geometry::address_digits == 8 && line_geometry::hex_column == 10);
  for (int shift = 24; shift >= 0; shift -= 8) {
    std::memcpy(out, hex_pairs[(address >> shift) & 0xFF].data(), 2);
    out += 2;
  }
  out[0] = ' ';
  out[1] = ' ';
  return out + 2;
}

// Table-driven formatting that runs anywhere.
template <LineEnd end>
char* format_lines_portable(char* out, std::uint32_t& address, std::span<const std::uint8_t> data);

// Formats the last line of a dump, holding the 0 to 15 bytes of rest; with no
// bytes it is the end line, the address alone. Returns the end of it.
char* format_last_line(char* out, std::uint32_t address, std::span<const std::uint8_t> rest,
                       LineEnd end = native_line_end);

}  // namespace quarnel
