// Reads one line of a dump back into its address and bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "quarnel/undump.h"

namespace quarnel {

struct DumpLine {
  std::uint32_t address = 0;
  std::size_t count = 0;  // bytes on the line, 0 to 16; fewer than 16 ends a dump
  std::array<std::uint8_t, 16> bytes{};
};

// The longest line a dump holds, without its line end: address, blanks, 16
// groups, blanks and 16 characters.
inline constexpr std::size_t longest_line = 76;
// Where the character column starts, and the length of a line that holds an
// address alone.
inline constexpr std::size_t character_column = 60;
inline constexpr std::size_t address_digits = 8;

// Reads a line without its line end. Trailing blanks may be missing; the
// character column is not read. With an error, column is where it is, from 1.
[[nodiscard]] ReadError parse_line(std::string_view text, DumpLine& line, std::size_t& column);

// Reads a full line of exactly longest_line characters quickly; false when
// it is not a well-formed full line (parse_line then says why) or a line
// feed in its character column ends it early.
[[nodiscard]] bool parse_full_line(const char* text, DumpLine& line);

using FullLineParser = bool (*)(const char* text, DumpLine& line);

// The ways of reading full lines; all accept the same lines alike.
enum class ParsePath { portable, ssse3, avx2, neon };

// The reader for a path, or null when this CPU cannot run it.
[[nodiscard]] FullLineParser full_line_parser(ParsePath path);

// The fastest reader of full lines that this CPU can run.
[[nodiscard]] FullLineParser fastest_full_line_parser();

}  // namespace quarnel
