// The shape of a dump line, in one place: the writers, the readers, their
// vector plans and the diff's hunks all derive their positions from here.
//
//   00000000  48 65 6C 6C 6F 2C 20 77-6F 72 6C 64 21 20 30 31  Hello, world! 01
//   ^address  ^hex column, three characters a byte, a dash after the eighth
//                                                               ^character column
#pragma once

#include <cstddef>
#include <string_view>

namespace quarnel {
inline namespace v1 {

enum class LineEnd { lf, crlf };

namespace line_geometry {

inline constexpr std::size_t address_digits = 8;
inline constexpr std::size_t bytes_per_line = 16;
// Two blanks part the address from the first byte.
inline constexpr std::size_t hex_column = address_digits + 2;
// Two hex digits and the separator after them.
inline constexpr std::size_t byte_stride = 3;
// The separator after this many bytes is the dash; every other is a blank.
inline constexpr std::size_t dash_after = bytes_per_line / 2;
inline constexpr std::size_t dash_place = hex_column + byte_stride * dash_after - 1;
// The hex groups end in a blank, and two more blanks open the characters.
inline constexpr std::size_t hex_width = byte_stride * bytes_per_line;
inline constexpr std::size_t char_column = hex_column + hex_width + 2;
// A full line without its line end; a last line of n bytes is
// char_column + n long, and the end line (the address alone) is char_column.
inline constexpr std::size_t line_text = char_column + bytes_per_line;

// Where byte k's two hex digits start, and where its character stands.
[[nodiscard]] constexpr std::size_t hex_place(std::size_t k) noexcept {
  return hex_column + byte_stride * k;
}
[[nodiscard]] constexpr std::size_t char_place(std::size_t k) noexcept { return char_column + k; }
// The separator that follows byte k.
[[nodiscard]] constexpr char separator(std::size_t k) noexcept {
  return k + 1 == dash_after ? '-' : ' ';
}

[[nodiscard]] constexpr std::string_view line_end_text(LineEnd end) noexcept {
  return end == LineEnd::lf ? std::string_view("\n") : std::string_view("\r\n");
}
// A full line with its line end.
[[nodiscard]] constexpr std::size_t line_size(LineEnd end) noexcept {
  return line_text + line_end_text(end).size();
}
// The longest line there is, whatever its end.
inline constexpr std::size_t longest_line_size = line_size(LineEnd::crlf);

}  // namespace line_geometry
}  // namespace v1
}  // namespace quarnel
