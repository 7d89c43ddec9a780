// xxd's lines: "ADDRESS: " (8 hex digits or more), the bytes in groups of
// two hex digits a byte (eight binary digits with -b) separated by single
// blanks, two blanks, and the character column where the first line puts
// it; a short last line is padded to it. "*" stands for repeated lines.
#include "undump/layouts.h"

namespace quarnel {
namespace {

std::size_t skip_blanks(std::string_view text, std::size_t at) {
  while (at < text.size() && text[at] == ' ') {
    ++at;
  }
  return at;
}

}  // namespace

ReadError read_xxd_line(std::string_view text, Shape& shape, OtherLine& line,
                        std::span<unsigned char> bytes, std::size_t& column) {
  const auto fail = [&](ReadError error, std::size_t at) {
    column = at + 1;
    return error;
  };
  if (text == "*") {
    line.kind = LineKind::squeeze;
    return ReadError::none;
  }
  std::size_t at = 0;
  line.address = 0;
  for (; at < text.size() && digit_value(text[at], 16) != 0xFF; ++at) {
    if (at == 16) {
      return fail(ReadError::bad_shape, at);
    }
    line.address = line.address << 4 | digit_value(text[at], 16);
  }
  if (at < 8 || at + 1 >= text.size() || text[at] != ':' || text[at + 1] != ' ') {
    return fail(ReadError::bad_shape, at);
  }
  line.kind = LineKind::bytes;
  line.has_address = true;
  line.count = 0;
  at += 2;
  // Past FFFFFFFF the address widens, and the columns after it move.
  const std::size_t hex_start = at;
  // A full line of hex digits in the dump's groups, the most common line,
  // at the places the first line set.
  if (!shape.bits && shape.lines > 0 && shape.group > 0 && text.size() >= hex_start + shape.width &&
      text.size() <= hex_start + shape.width + shape.columns) {
    unsigned invalid = 0;
    bool blanks =
        text[hex_start + shape.width - 1] == ' ' && text[hex_start + shape.width - 2] == ' ';
    std::size_t place = hex_start;
    for (std::size_t k = 0, in_group = 0; k < shape.columns; ++k) {
      const std::uint8_t high = digit_values[static_cast<unsigned char>(text[place])];
      const std::uint8_t low = digit_values[static_cast<unsigned char>(text[place + 1])];
      invalid |= high | low;
      bytes[k] = static_cast<unsigned char>(high << 4 | low);
      place += 2;
      if (++in_group == shape.group && k + 1 < shape.columns) {
        blanks = blanks && text[place] == ' ';
        ++place;
        in_group = 0;
      }
    }
    if (invalid <= 15 && blanks) {
      line.count = shape.columns;
      return ReadError::none;
    }
  }
  const unsigned digits = shape.bits ? 8 : 2;
  const unsigned base = shape.bits ? 2 : 16;
  std::size_t groups = 0;
  std::size_t last_group = 0;  // bytes
  while (at < text.size() && text[at] != ' ') {
    std::size_t in_group = 0;
    for (; at < text.size() && text[at] != ' '; ++in_group) {
      unsigned value = 0;
      for (unsigned i = 0; i < digits; ++i, ++at) {
        const std::uint8_t digit = at < text.size() ? digit_value(text[at], base) : 0xFF;
        if (digit == 0xFF) {
          return fail(shape.bits ? ReadError::bad_bits : ReadError::bad_hex_digit, at);
        }
        value = value * base + digit;
      }
      if (line.count == bytes.size()) {
        return fail(ReadError::wrong_width, at);
      }
      bytes[line.count++] = static_cast<unsigned char>(value);
    }
    // Every group but a line's last holds the first line's group of bytes.
    if (groups > 0 && last_group != shape.group) {
      return fail(ReadError::bad_shape, at);
    }
    if (shape.lines == 0 && groups == 0) {
      shape.group = static_cast<std::uint16_t>(in_group);
    }
    if (in_group > shape.group) {
      return fail(ReadError::bad_shape, at);
    }
    last_group = in_group;
    ++groups;
    if (at + 1 < text.size() && text[at] == ' ' && text[at + 1] != ' ') {
      ++at;  // the blank between two groups
    }
  }
  const std::size_t hex_end = at;
  if (shape.lines == 0) {
    // The first line sets the width of a full line and where the character
    // column starts, if it is full; a lone short line stands alone.
    shape.columns = static_cast<std::uint16_t>(line.count);
    shape.width = static_cast<std::uint16_t>(hex_end + 2 - hex_start);
    const std::size_t chars = skip_blanks(text, hex_end);
    return text.size() - chars <= line.count ? ReadError::none : fail(ReadError::bad_shape, chars);
  }
  if (line.count > shape.columns) {
    return fail(ReadError::wrong_width, hex_end);
  }
  // Blanks up to the character column, which holds no more characters than
  // the line has bytes (an editor may have taken trailing blanks away).
  const std::size_t chars = hex_start + shape.width;
  const std::size_t blanks = skip_blanks(text, hex_end);
  if ((blanks < text.size() && blanks < chars) || text.size() > chars + line.count ||
      (line.count == shape.columns && hex_end + 2 != chars)) {
    return fail(ReadError::bad_shape, blanks);
  }
  return ReadError::none;
}

}  // namespace quarnel
