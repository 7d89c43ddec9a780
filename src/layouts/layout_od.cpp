// od -t x1's lines: an address in octal (od's own), decimal or hex, or none
// (-A n); each byte a blank and two hex digits; with z, the characters
// between > and < after the bytes' column. "*" stands for repeated lines,
// and the last line holds the address just past the data alone.
#include <algorithm>

#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

ReadError read_od_line(std::string_view text, Shape& shape, OtherLine& line,
                       std::span<unsigned char> bytes, std::size_t& column) {
  // The address's digits, in the radix the dump's readings settle.
  std::size_t at = 0;
  line.has_address = shape.addresses;
  if (line.has_address) {
    at = leading_hex_digits(text, 23);
    if (at < 6 || at > 22 || (at < text.size() && text[at] != ' ')) {
      return failed_at(column, ReadError::bad_shape, at);
    }
    line.address = text.substr(0, at);
  }
  // Past the address's digits the address widens, and the columns after it
  // move.
  const std::size_t address_end = at;
  if (at == text.size()) {
    if (!line.has_address) {
      return failed_at(column, ReadError::bad_shape, at);
    }
    line.kind = LineKind::closing;
    return ReadError::none;
  }
  line.kind = LineKind::bytes;
  while (at + 2 < text.size() && text[at] == ' ' && text[at + 1] != ' ') {
    if (const ReadError error = add_hex_byte(text, at + 1, at, line, bytes, column);
        error != ReadError::none) {
      return error;
    }
    at += 3;
    if (at < text.size() && text[at] != ' ') {
      return failed_at(column, ReadError::bad_shape, at);
    }
  }
  if (line.count == 0) {
    return failed_at(column, ReadError::bad_shape, at);
  }
  if (shape.lines == 0) {
    // The first line sets the bytes of a full line and, with z, where the
    // characters' column starts: a lone short line is padded to it too.
    shape.columns = static_cast<std::uint16_t>(line.count);
    shape.chars = at < text.size();
    shape.width =
        static_cast<std::uint16_t>(std::min(text.find('>', at), text.size()) + 1 - address_end);
  } else if (line.count > shape.columns) {
    return failed_at(column, ReadError::wrong_width, at);
  }
  if (!shape.chars) {
    return at == text.size() ? ReadError::none : failed_at(column, ReadError::bad_shape, at);
  }
  // The characters: blanks to the column, then >...<, one a byte.
  const std::size_t open = address_end + shape.width - 1U;
  for (std::size_t i = at; i < open; ++i) {
    if (i >= text.size() || text[i] != ' ') {
      return failed_at(column, ReadError::bad_shape, i);
    }
  }
  if (text.size() != open + line.count + 2 || text[open] != '>' || text.back() != '<') {
    return failed_at(column, ReadError::bad_shape, open);
  }
  line.chars = text.substr(open + 1, line.count);
  return ReadError::none;
}

bool write_od_address(TextOut& out, const LayoutSettings& settings, std::uint64_t address) {
  switch (settings.radix) {
    case AddressRadix::hex:
      out.number(address, 16, 6);
      return true;
    case AddressRadix::decimal:
      out.number(address, 10, 7);
      return true;
    case AddressRadix::octal:
      out.number(address, 8, 7);
      return true;
    case AddressRadix::none:
      break;
  }
  return false;
}

void write_od_line(TextOut& out, const LayoutSettings& settings,
                   std::span<const unsigned char> bytes, bool /*last*/) {
  for (const unsigned char byte : bytes) {
    out.put(' ');
    out.hex(byte, false);
  }
  out.blanks(3 * (settings.columns - bytes.size()) + 2);
  out.put('>');
  for (const unsigned char byte : bytes) {
    out.character(byte);
  }
  out.put("<\n");
}

}  // namespace quarnel
