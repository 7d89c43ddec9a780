#include "undump/line_parse.h"

#include <bit>
#include <cstring>

namespace quarnel {
namespace {

// The value of each hex digit, either case; 0xFF for anything else.
constexpr auto hex_values = [] {
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

std::uint8_t hex_value(char c) { return hex_values[static_cast<unsigned char>(c)]; }

// The byte that two hex digits stand for, indexed by the two characters as
// they lie in memory (the first in the low byte); 0x100 when either is not a
// hex digit. One look-up a byte keeps full lines fast. Built at start-up:
// too big for some compilers to build while compiling.
const auto hex_pairs = [] {
  std::array<std::uint16_t, 65536> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::uint8_t first = hex_values[i & 0xFF];
    const std::uint8_t second = hex_values[i >> 8];
    table[i] = static_cast<std::uint16_t>(first > 15 || second > 15 ? 0x100 : first << 4 | second);
  }
  return table;
}();

std::uint16_t hex_pair(const char* text) {
  return hex_pairs[static_cast<unsigned char>(text[0]) |
                   static_cast<unsigned>(static_cast<unsigned char>(text[1])) << 8];
}

// Bytes 8 to 63 of a full line, eight at a time: the mask picks the blanks
// and separators, which must equal the expected characters.
struct WordCheck {
  std::array<std::uint64_t, 7> mask;
  std::array<std::uint64_t, 7> expected;
};

constexpr WordCheck separator_check = [] {
  WordCheck check{};
  for (std::size_t i = 8; i < 64; ++i) {
    const std::size_t word = (i - 8) / 8;
    const std::size_t place = (i - 8) % 8;
    const std::size_t shift = 8 * (std::endian::native == std::endian::little ? place : 7 - place);
    const bool group_separator = i >= 10 && i < 58 && (i - 10) % 3 == 2;
    if (i == 8 || i == 9 || i == 58 || i == 59 || group_separator) {
      check.mask[word] |= std::uint64_t{0xFF} << shift;
      check.expected[word] |= std::uint64_t{i == 33 ? 0x2DU : 0x20U} << shift;
    }
  }
  return check;
}();

constexpr std::size_t first_group = 10;

constexpr std::size_t group_at(std::size_t index) { return first_group + 3 * index; }
constexpr char separator(std::size_t index) { return index == 7 ? '-' : ' '; }

// Whether text[from, to) holds blanks only, as far as text goes.
bool blank(std::string_view text, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to && i < text.size(); ++i) {
    if (text[i] != ' ') {
      return false;
    }
  }
  return true;
}

std::uint32_t read_address(const char* text, std::uint8_t& invalid) {
  std::uint32_t address = 0;
  for (std::size_t i = 0; i < address_digits; ++i) {
    const std::uint8_t value = hex_value(text[i]);
    invalid |= value;
    address = address << 4 | (value & 15U);
  }
  return address;
}

}  // namespace

std::string_view line_error_text(LineError error) {
  switch (error) {
    case LineError::none:
      break;
    case LineError::bad_address:
      return "the address is not 8 hex digits";
    case LineError::missing_blanks:
      return "two blanks must follow the address";
    case LineError::bad_hex_digit:
      return "a byte is not two hex digits";
    case LineError::bad_separator:
      return "a byte is not followed by its separator (a blank; a dash after the eighth)";
    case LineError::stray_character:
      return "a stray character stands in the hex columns";
    case LineError::too_many_bytes:
      return "more than 16 bytes on a line";
    case LineError::too_long:
      return "the line is longer than a dump line";
    case LineError::unmarked_utf16:
      return "the text looks like UTF-16 without a byte order mark: save it as UTF-8, or as "
             "UTF-16 with one";
    case LineError::stray_mark:
      return "a byte order mark inside the text: only the start of a text may hold one";
    case LineError::cut_short:
      return "the dump ends inside a line";
    case LineError::lone_return:
      return "a carriage return without a line feed: lines must end in LF or CR LF";
    case LineError::out_of_sequence:
      return "the address is not 16 past the line before: a line is lost or doubled";
    case LineError::after_short:
      return "the line before is short: a byte is lost, or a line was cut";
    case LineError::wraps:
      return "the addresses wrap past FFFFFFFF: the bytes have no place in a file";
    case LineError::unfinished:
      return "the dump ends after a full line: its last line is missing";
    case LineError::no_room:
      return "the bytes do not fit in the space given for them";
  }
  return "";
}

LineError parse_line(std::string_view text, DumpLine& line) {
  if (text.size() > longest_line) {
    return LineError::too_long;
  }
  if (text.size() < address_digits) {
    return LineError::bad_address;
  }
  std::uint8_t invalid = 0;
  line.address = read_address(text.data(), invalid);
  if (invalid > 15) {
    return LineError::bad_address;
  }
  if (!blank(text, address_digits, first_group)) {
    return LineError::missing_blanks;
  }
  line.count = 0;
  for (; line.count < 16; ++line.count) {
    const std::size_t at = group_at(line.count);
    if (at >= text.size() || text[at] == ' ') {
      // The bytes end: only blanks up to the character column.
      return blank(text, at, character_column) ? LineError::none : LineError::stray_character;
    }
    if (at + 1 >= text.size() || (hex_value(text[at]) | hex_value(text[at + 1])) > 15) {
      return LineError::bad_hex_digit;
    }
    line.bytes[line.count] =
        static_cast<std::uint8_t>(hex_value(text[at]) << 4 | hex_value(text[at + 1]));
    if (at + 2 < text.size() && text[at + 2] != separator(line.count)) {
      return LineError::bad_separator;
    }
  }
  if (group_at(16) < text.size() && hex_value(text[group_at(16)]) <= 15) {
    return LineError::too_many_bytes;
  }
  return blank(text, group_at(16), character_column) ? LineError::none : LineError::stray_character;
}

bool parse_full_line(const char* text, DumpLine& line) {
  std::uint64_t misplaced = 0;
  for (std::size_t word = 0; word < 7; ++word) {
    std::uint64_t chars = 0;
    std::memcpy(&chars, text + 8 + 8 * word, 8);
    misplaced |= (chars & separator_check.mask[word]) ^ separator_check.expected[word];
  }
  unsigned invalid = 0;
  std::uint32_t address = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint16_t value = hex_pair(text + 2 * i);
    invalid |= value;
    address = address << 8 | (value & 0xFFU);
  }
  for (std::size_t i = 0; i < 16; ++i) {
    const std::uint16_t value = hex_pair(text + group_at(i));
    invalid |= value;
    line.bytes[i] = static_cast<std::uint8_t>(value);
  }
  // A line end in the character column would end the line early.
  bool ends_early = false;
  for (std::size_t i = character_column; i < longest_line; ++i) {
    ends_early = ends_early || text[i] == '\n';
  }
  line.address = address;
  line.count = 16;
  return invalid < 0x100 && misplaced == 0 && !ends_early;
}

}  // namespace quarnel
