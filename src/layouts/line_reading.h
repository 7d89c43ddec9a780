// What each layout is, one file a layout with its reader and its writer
// side by side. This header holds the readers' side: the lines of the dump
// layouts other than quarnel's, xxd's (and its plain hex, C arrays and
// bits), hexdump -C's, od -t x1's and the arrays. Each layout's reader
// recognises a first line, reads a line into its address and bytes, and
// says what is wrong with it; the shape of a dump's first line (address
// width, grouping, bytes a line) binds the lines after it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "quarnel/undump.h"
#include "quarnel/write_layout.h"

namespace quarnel {

enum class LineKind {
  bytes,    // an address (where the layout writes one) and bytes
  squeeze,  // "*": the line before, again, up to the next line's address
  closing,  // an address alone: where the data ended
  skip,     // a line that holds no byte (a C array's first or last lines)
};

// Where a line's last group stands when it holds fewer bytes than the
// others: at the left of its place (as xxd writes it), or at the right (xxd
// -e).
enum class Alignment : std::uint8_t { none, left, right };

struct OtherLine {
  LineKind kind = LineKind::skip;
  bool has_address = false;
  std::string_view address;  // its digits, read in the radices the dump leaves open
  std::size_t count = 0;     // bytes, written to the span the reader was given
  std::uint64_t length = 0;  // a C array's NAME_len, with has_length
  bool has_length = false;
  Alignment last_group = Alignment::none;
  bool ends = false;       // a short line, padded: the dump ends with it
  std::string_view chars;  // the character column, where the layout has one
  // With column_read, what the column shows of the bytes (ColumnReading
  // bits), found by the reader where the column may stand in more places
  // than one.
  bool column_read = false;
  std::uint8_t fits = 0;
};

using Shape = detail::LayoutShape;
using detail::Variant;

inline constexpr std::uint8_t orders = Variant::big_endian | Variant::little_endian;
inline constexpr std::uint8_t radices =
    Variant::hex_addresses | Variant::decimal_addresses | Variant::octal_addresses;
inline constexpr std::array<unsigned, 3> radix_values{16, 10, 8};
inline constexpr std::array<std::uint8_t, 3> radix_variants{
    Variant::hex_addresses, Variant::decimal_addresses, Variant::octal_addresses};

// Each reads one line without its line end into line and bytes (room for
// max_line_bytes), checking it against shape, which the first line of a
// dump (shape.lines == 0) sets. With an error, column is where, from 1.
using LineReader = ReadError(std::string_view text, Shape& shape, OtherLine& line,
                             std::span<unsigned char> bytes, std::size_t& column);
LineReader read_xxd_line, read_plain_line, read_c_line, read_hexdump_line, read_od_line,
    read_hex_line, read_cpp_line, read_rust_line;

// Where a dump of one of the arrays stands (Shape::c_part).
enum ArrayPart : std::uint8_t {
  array_before,      // its first line is to come
  array_inside,      // its items
  array_last_items,  // xxd -i: the item without a comma came
  array_closed,      // xxd -i: its _len line is to come
  array_header,      // C++: the include lines
};

// Whether name is a C identifier (ASCII letters, digits and _).
[[nodiscard]] bool is_name(std::string_view name);
// Checks the items of a line against the array's first line: none holds
// more, and none follows a shorter one.
ReadError check_items_width(Shape& shape, const OtherLine& line, std::size_t& column);
// A line of a C++ or Rust array after its opening line: its closing line,
// which ends the dump with the count its type named, or a line of items,
// "0xHH," each, parted by blanks.
ReadError read_typed_array_body(std::string_view text, std::string_view closing,
                                std::string_view indent, Shape& shape, OtherLine& line,
                                std::span<unsigned char> bytes, std::size_t& column);
// The opening line of a C++ or Rust array, which its reader found proper
// or not: the items come next.
ReadError open_typed_array(Shape& shape, bool proper, std::size_t& column);

// The layout a dump's first line is written in, besides quarnel's; any when
// it is none of them. word_layout when it is one whose byte order cannot be
// known (hexdump without -C, od's default words).
[[nodiscard]] DumpLayout detect_layout(std::string_view line, ReadError& refused);

// The shape of a new dump in layout whose first line is line, with the
// variants of those allowed that the line leaves open; an error when none is.
[[nodiscard]] ReadError first_shape(DumpLayout layout, std::string_view line, std::uint8_t allowed,
                                    Shape& shape);

// Whether an xxd line shows bits (-b) rather than hex digits: its groups
// are binary digits, a byte to eight of them, and its character column has
// a character for each eight; either when no character column tells.
enum class XxdDigits { hex, bits, either };
[[nodiscard]] XxdDigits xxd_digits(std::string_view line);

// Reads a line of the dump's layout into a fresh line: "*" in the layouts
// that squeeze, or what the layout's reader makes of it.
ReadError read_other_line(std::string_view text, Shape& shape, OtherLine& line,
                          std::span<unsigned char> bytes, std::size_t& column);

// What a character column may show: each byte order of the groups in each
// character set (ASCII, Latin-1 and EBCDIC, as xxd, xxd -E and quarnel-as
// --charset write them), a bit each.
enum ColumnReading : std::uint8_t {
  big_ascii = 1,
  big_latin1 = 2,
  big_ebcdic = 4,
  little_ascii = 8,
  little_latin1 = 16,
  little_ebcdic = 32,
};
inline constexpr std::uint8_t big_column_readings = big_ascii | big_latin1 | big_ebcdic;
inline constexpr std::uint8_t little_column_readings = little_ascii | little_latin1 | little_ebcdic;
inline constexpr std::uint8_t every_column_reading = big_column_readings | little_column_readings;

// The readings of a line's bytes, as written, that its character column
// shows without a contradiction; the groups' bytes reversed for the
// little-endian ones. Characters an editor took off the end of the column
// were blanks; a line with no column at all tells nothing (every reading).
[[nodiscard]] std::uint8_t column_fits(std::span<const unsigned char> bytes, std::size_t group,
                                       std::string_view chars);

// The value of digits in radix, if each is a digit of it and the value fits.
[[nodiscard]] bool address_value(std::string_view digits, unsigned radix, std::uint64_t& value);

// The value of each hex digit, either case; 0xFF for anything else.
inline constexpr auto digit_values = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(0xFF);
  for (unsigned digit = 0; digit < 10; ++digit) {
    table['0' + digit] = static_cast<std::uint8_t>(digit);
  }
  for (unsigned digit = 0; digit < 6; ++digit) {
    table['a' + digit] = static_cast<std::uint8_t>(10 + digit);
    table['A' + digit] = static_cast<std::uint8_t>(10 + digit);
  }
  return table;
}();

// The value of a digit in base 2, 8, 10 or 16 (either case), or 0xFF.
[[nodiscard]] inline std::uint8_t digit_value(char c, unsigned base) {
  const std::uint8_t value = digit_values[static_cast<unsigned char>(c)];
  return value < base ? value : 0xFF;
}

// A reader's failure at place at of its line: column is where, from 1.
[[nodiscard]] inline ReadError failed_at(std::size_t& column, ReadError error, std::size_t at) {
  column = at + 1;
  return error;
}

// How many hex digits text starts with, counting no further than most.
[[nodiscard]] inline std::size_t leading_hex_digits(std::string_view text, std::size_t most) {
  std::size_t count = 0;
  while (count < text.size() && count < most && digit_value(text[count], 16) != 0xFF) {
    ++count;
  }
  return count;
}

// Reads the two hex digits at text[at] into byte. Returns npos, or the
// place of the first that is not a hex digit (or is past the text).
[[nodiscard]] inline std::size_t read_hex_pair(std::string_view text, std::size_t at,
                                               unsigned char& byte) {
  const std::uint8_t high = at < text.size() ? digit_value(text[at], 16) : 0xFF;
  const std::uint8_t low = at + 1 < text.size() ? digit_value(text[at + 1], 16) : 0xFF;
  if (high > 15 || low > 15) {
    return high > 15 ? at : at + 1;
  }
  byte = static_cast<unsigned char>(high << 4 | low);
  return std::string_view::npos;
}

// Reads the two hex digits at text[digits] as the line's next byte; a line
// with no room left for it is refused at item, where the byte's item
// starts.
[[nodiscard]] inline ReadError add_hex_byte(std::string_view text, std::size_t digits,
                                            std::size_t item, OtherLine& line,
                                            std::span<unsigned char> bytes, std::size_t& column) {
  unsigned char byte = 0;
  if (const std::size_t bad = read_hex_pair(text, digits, byte); bad != std::string_view::npos) {
    return failed_at(column, ReadError::bad_hex_digit, bad);
  }
  if (line.count == bytes.size()) {
    return failed_at(column, ReadError::wrong_width, item);
  }
  bytes[line.count++] = byte;
  return ReadError::none;
}

}  // namespace quarnel
