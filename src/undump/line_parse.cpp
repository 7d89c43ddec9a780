#include "undump/line_parse.h"

#include "layouts/line_reading.h"
#include "undump/line_parse_plan.h"

#include <bit>
#include <cstring>

namespace quarnel {
namespace {

// The value of each hex digit, either case; 0xFF for anything else.
constexpr const auto& hex_values = digit_values;

std::uint8_t hex_value(char c) { return hex_values[static_cast<unsigned char>(c)]; }

// The byte that two hex digits stand for, indexed by the two characters as
// they lie in memory (the first in the low byte); 0x100 when either is not a
// hex digit. One look-up a byte keeps full lines fast. Filled on first use,
// so that its 128 KiB take no room in a program that links the reader.
const std::array<std::uint16_t, 65536>& hex_pair_table() {
  static std::array<std::uint16_t, 65536> table;
  static const bool filled = [] {
    for (std::size_t i = 0; i < table.size(); ++i) {
      const std::uint8_t first = hex_values[i & 0xFF];
      const std::uint8_t second = hex_values[i >> 8];
      table[i] =
          static_cast<std::uint16_t>(first > 15 || second > 15 ? 0x100 : first << 4 | second);
    }
    return true;
  }();
  static_cast<void>(filled);
  return table;
}

std::uint16_t hex_pair(const std::array<std::uint16_t, 65536>& pairs, const char* text) {
  return pairs[static_cast<unsigned char>(text[0]) |
               static_cast<unsigned>(static_cast<unsigned char>(text[1])) << 8];
}

using line_geometry::bytes_per_line;
using line_geometry::hex_place;

// Characters 8 to 63 of a full line, eight at a time: the mask picks the
// blanks and separators, which must equal the expected characters.
struct WordCheck {
  std::array<std::uint64_t, 7> mask;
  std::array<std::uint64_t, 7> expected;
};

static_assert(address_digits == 8 && char_column <= 64);

constexpr WordCheck separator_check = [] {
  using line_geometry::hex_column;
  constexpr std::size_t groups_end = hex_column + line_geometry::hex_width;
  WordCheck check{};
  for (std::size_t i = address_digits; i < 64; ++i) {
    const std::size_t word = (i - address_digits) / 8;
    const std::size_t place = (i - address_digits) % 8;
    const std::size_t shift = 8 * (std::endian::native == std::endian::little ? place : 7 - place);
    const bool group_separator =
        i >= hex_column && i < groups_end && (i - hex_column) % line_geometry::byte_stride >= 2;
    if (i < hex_column || (i >= groups_end && i < char_column) || group_separator) {
      check.mask[word] |= std::uint64_t{0xFF} << shift;
      check.expected[word] |= std::uint64_t{i == line_geometry::dash_place ? 0x2DU : 0x20U}
                              << shift;
    }
  }
  return check;
}();

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

ReadError parse_line(std::string_view text, DumpLine& line, std::size_t& column) {
  // Where a run of characters that must all be blanks first is not.
  const auto not_blank = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && i < text.size(); ++i) {
      if (text[i] != ' ') {
        return i;
      }
    }
    return std::string_view::npos;
  };
  const auto fail = [&](ReadError error, std::size_t at) {
    column = at + 1;
    return error;
  };
  if (text.size() > line_text) {
    return fail(ReadError::too_long, line_text);
  }
  std::uint8_t invalid = 0;
  line.address = text.size() < address_digits ? 0 : read_address(text.data(), invalid);
  if (text.size() < address_digits || invalid > 15) {
    std::size_t at = 0;
    while (at < text.size() && at < address_digits && hex_value(text[at]) <= 15) {
      ++at;
    }
    return fail(ReadError::bad_address, at);
  }
  if (const std::size_t at = not_blank(address_digits, line_geometry::hex_column);
      at != std::string_view::npos) {
    return fail(ReadError::missing_blanks, at);
  }
  line.count = 0;
  for (; line.count < bytes_per_line; ++line.count) {
    const std::size_t at = hex_place(line.count);
    if (at >= text.size() || text[at] == ' ') {
      // The bytes end: only blanks up to the character column.
      const std::size_t stray = not_blank(at, char_column);
      return stray == std::string_view::npos ? ReadError::none
                                             : fail(ReadError::stray_character, stray);
    }
    if (at + 1 >= text.size() || (hex_value(text[at]) | hex_value(text[at + 1])) > 15) {
      return fail(ReadError::bad_hex_digit, hex_value(text[at]) > 15 ? at : at + 1);
    }
    line.bytes[line.count] =
        static_cast<std::uint8_t>(hex_value(text[at]) << 4 | hex_value(text[at + 1]));
    if (at + 2 < text.size() && text[at + 2] != line_geometry::separator(line.count)) {
      return fail(ReadError::bad_separator, at + 2);
    }
  }
  if (hex_place(bytes_per_line) < text.size() && hex_value(text[hex_place(bytes_per_line)]) <= 15) {
    return fail(ReadError::too_many_bytes, hex_place(bytes_per_line));
  }
  const std::size_t stray = not_blank(hex_place(bytes_per_line), char_column);
  return stray == std::string_view::npos ? ReadError::none
                                         : fail(ReadError::stray_character, stray);
}

bool parse_full_line(const char* text, DumpLine& line) {
  std::uint64_t misplaced = 0;
  for (std::size_t word = 0; word < 7; ++word) {
    std::uint64_t chars = 0;
    std::memcpy(&chars, text + 8 + 8 * word, 8);
    misplaced |= (chars & separator_check.mask[word]) ^ separator_check.expected[word];
  }
  const std::array<std::uint16_t, 65536>& pairs = hex_pair_table();
  unsigned invalid = 0;
  std::uint32_t address = 0;
  for (std::size_t i = 0; i < address_digits / 2; ++i) {
    const std::uint16_t value = hex_pair(pairs, text + 2 * i);
    invalid |= value;
    address = address << 8 | (value & 0xFFU);
  }
  for (std::size_t i = 0; i < bytes_per_line; ++i) {
    const std::uint16_t value = hex_pair(pairs, text + hex_place(i));
    invalid |= value;
    line.bytes[i] = static_cast<std::uint8_t>(value);
  }
  // A line end in the character column would end the line early.
  bool ends_early = false;
  for (std::size_t i = char_column; i < line_text; ++i) {
    ends_early = ends_early || text[i] == '\n';
  }
  line.address = address;
  line.count = bytes_per_line;
  return invalid < 0x100 && misplaced == 0 && !ends_early;
}

namespace {

// A full line read by its plan, a character at a time.
bool parse_by_plan(const LinePlan& plan, const char* text, DumpLine& line) {
  bool bad = plan.last != 0 && text[plan.length - 1] != plan.last;
  std::array<std::uint8_t, 64> values{};
  for (std::size_t position = 0; position < 64; ++position) {
    values[position] = hex_value(text[position]);
    bad = bad || (plan.digits[position] != 0 && values[position] > 15) ||
          (plan.fixed[position] != 0 && text[position] != plan.expected[position]);
  }
  for (std::size_t chunk = 0; chunk < 64; chunk += 16) {
    for (std::size_t k = 0; k < 16; ++k) {
      if (plan.high[chunk + k] != 0x80) {
        line.bytes[k] = static_cast<std::uint8_t>(values[chunk + plan.high[chunk + k]] << 4U);
      }
    }
  }
  for (std::size_t chunk = 0; chunk < 64; chunk += 16) {
    for (std::size_t k = 0; k < 16; ++k) {
      if (plan.low[chunk + k] != 0x80) {
        line.bytes[k] =
            static_cast<std::uint8_t>(line.bytes[k] | values[chunk + plan.low[chunk + k]]);
      }
    }
  }
  line.address = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    line.address = line.address << 4U | (values[i] & 0x0FU);
  }
  // A line end in the character column would end the line early.
  for (std::size_t i = plan.chars; plan.chars != 0 && i < plan.chars + 16; ++i) {
    bad = bad || text[i] == '\n';
  }
  line.count = 16;
  return !bad;
}

}  // namespace

template <std::size_t layout>
bool parse_portable(const char* text, DumpLine& line) {
  return parse_by_plan(plans[layout], text, line);
}

FullLineParser portable_parser(FullLayout layout) {
  static constexpr std::array<FullLineParser, full_layouts> parsers{
      parse_full_line,   parse_portable<1>, parse_portable<2>, parse_portable<3>,
      parse_portable<4>, parse_portable<5>, parse_portable<6>};
  return parsers[static_cast<std::size_t>(layout)];
}

std::size_t full_line_size(FullLayout layout) {
  return plans[static_cast<std::size_t>(layout)].length;
}

FullLineParser full_line_parser(CpuPath path, FullLayout layout) {
  const FullLineReaders readers = on_this_cpu(full_line_readers, path);
  return readers != nullptr ? readers(layout) : nullptr;
}

FullLineParser fastest_full_line_parser(FullLayout layout) {
  return full_line_parser(
      fastest_path([&](CpuPath path) { return full_line_parser(path, layout) != nullptr; }),
      layout);
}

}  // namespace quarnel
