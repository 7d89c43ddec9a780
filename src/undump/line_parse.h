// Reads one line of a dump back into its address and bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cpu/cpu.h"
#include "quarnel/line_geometry.h"
#include "quarnel/undump.h"

namespace quarnel {

using line_geometry::address_digits;
using line_geometry::char_column;
using line_geometry::line_text;

// Reads a line without its line end. Trailing blanks may be missing; the
// character column is not read. With an error, column is where it is, from 1.
[[nodiscard]] ReadError parse_line(std::string_view text, DumpLine& line, std::size_t& column);

// Reads a full line of exactly line_text characters quickly; false when
// it is not a well-formed full line (parse_line then says why) or a line
// feed in its character column ends it early.
[[nodiscard]] bool parse_full_line(const char* text, DumpLine& line);

using FullLineParser = bool (*)(const char* text, DumpLine& line);

// The ways of reading full lines; all accept the same lines alike.

// The layouts whose full lines of 16 bytes have their own readers:
// quarnel's, xxd's default (groups of two) and hexdump -C's, with 8 address
// digits, which they read; od -t x1's with 6 or 7 address digits, with and
// without its characters (z), whose address is the caller's to read, in its
// radix. The readers of the others than quarnel's check the line up to its
// character column, its length and the character that closes it; the line
// end after it is the caller's. Each reads the first 64 characters of text,
// wherever the line ends.
enum class FullLayout { quarnel, xxd, hexdump, od6, od6z, od7, od7z };
inline constexpr std::size_t full_layouts = 7;

// The reader for a path, or null when this build or this CPU has not the
// path.
[[nodiscard]] FullLineParser full_line_parser(CpuPath path,
                                              FullLayout layout = FullLayout::quarnel);

// The fastest reader of full lines that this CPU can run.
[[nodiscard]] FullLineParser fastest_full_line_parser(FullLayout layout = FullLayout::quarnel);

// The portable reader of a layout's full lines.
[[nodiscard]] FullLineParser portable_parser(FullLayout layout);

// The readers this build has for each path, as the CPU family's file lists
// them: each gives the reader of a layout's full lines.
using FullLineReaders = FullLineParser (*)(FullLayout layout);
extern const PathTable<FullLineReaders> full_line_readers;

// The length of a full line of the layout, without its line end.
[[nodiscard]] std::size_t full_line_size(FullLayout layout);

}  // namespace quarnel
