// hexdump -C's lines: an address of 8 hex digits or more, two blanks, 16
// bytes of two hex digits each followed by a blank, one more blank after
// the eighth, then the characters between bars; a short line is padded to
// the bars. "*" stands for repeated lines, and the last line holds the
// address just past the data alone.
#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

ReadError read_hexdump_line(std::string_view text, Shape& shape, OtherLine& line,
                            std::span<unsigned char> bytes, std::size_t& column) {
  std::size_t at = leading_hex_digits(text, 17);
  if (at > 16) {
    return failed_at(column, ReadError::bad_shape, 16);
  }
  line.has_address = true;
  line.address = text.substr(0, at);
  if (at < 8) {
    return failed_at(column, ReadError::bad_shape, at);
  }
  if (at == text.size()) {
    line.kind = LineKind::closing;
    return ReadError::none;
  }
  line.kind = LineKind::bytes;
  shape.columns = 16;
  // Byte k stands at first + 3k, one further from the ninth on; the bars
  // come after the sixteenth's place. Everything else before them is blank.
  const std::size_t first = at + 2;
  const std::size_t bar = first + 50;
  const auto place = [&](std::size_t k) { return first + 3 * k + (k >= 8 ? 1 : 0); };
  // A full line, the most common one.
  if (text.size() == bar + 18 && text[bar] == '|' && text.back() == '|') {
    unsigned invalid = 0;
    bool blanks =
        text[at] == ' ' && text[at + 1] == ' ' && text[first + 24] == ' ' && text[bar - 1] == ' ';
    for (std::size_t k = 0; k < 16; ++k) {
      const std::size_t digits = place(k);
      const std::uint8_t high = digit_values[static_cast<unsigned char>(text[digits])];
      const std::uint8_t low = digit_values[static_cast<unsigned char>(text[digits + 1])];
      invalid |= high | low;
      blanks = blanks && text[digits + 2] == ' ';
      bytes[k] = static_cast<unsigned char>(high << 4 | low);
    }
    if (invalid <= 15 && blanks) {
      line.count = 16;
      line.chars = text.substr(bar + 1, 16);
      return ReadError::none;
    }
  }
  while (line.count < 16 && place(line.count) + 1 < text.size() && text[place(line.count)] != ' ') {
    if (const std::size_t bad = read_hex_pair(text, place(line.count), bytes[line.count]);
        bad != std::string_view::npos) {
      return failed_at(column, ReadError::bad_hex_digit, bad);
    }
    ++line.count;
  }
  for (std::size_t i = at, k = 0; i < bar; ++i) {
    if (k < line.count && i == place(k)) {
      ++i;
      ++k;
    } else if (i >= text.size() || text[i] != ' ') {
      return failed_at(column, ReadError::bad_shape, i);
    }
  }
  line.chars = text.substr(std::min(bar + 1, text.size()), line.count);
  if (text.size() != bar + line.count + 2 || text[bar] != '|' || text.back() != '|') {
    return failed_at(column, ReadError::bad_shape,
                     text.size() > bar && text[bar] == '|' ? text.size() - 1 : bar);
  }
  return ReadError::none;
}

void write_hexdump_line(TextOut& out, const LayoutSettings& /*settings*/,
                        std::span<const unsigned char> bytes, bool /*last*/) {
  out.put("  ");
  for (std::size_t k = 0; k < 16; ++k) {
    if (k < bytes.size()) {
      out.hex(bytes[k], false);
      out.put(' ');
    } else {
      out.blanks(3);
    }
    if (k == 7) {
      out.put(' ');
    }
  }
  out.put(" |");
  for (const unsigned char byte : bytes) {
    out.character(byte);
  }
  out.put("|\n");
}

}  // namespace quarnel
