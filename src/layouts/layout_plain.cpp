// xxd -p's plain hex: lines of hex digits, two a byte, each as long as the
// first but the last, which may be shorter; no address.
#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

ReadError read_plain_line(std::string_view text, Shape& shape, OtherLine& line,
                          std::span<unsigned char> bytes, std::size_t& column) {
  line.kind = LineKind::bytes;
  if (text.size() % 2 != 0 || text.size() / 2 > bytes.size()) {
    return failed_at(
        column, text.size() / 2 > bytes.size() ? ReadError::wrong_width : ReadError::bad_hex_digit,
        text.size() - 1);
  }
  for (std::size_t at = 0; at < text.size(); at += 2) {
    if (const std::size_t bad = read_hex_pair(text, at, bytes[line.count]);
        bad != std::string_view::npos) {
      return failed_at(column, ReadError::bad_hex_digit, bad);
    }
    ++line.count;
  }
  if (shape.lines == 0) {
    shape.width = static_cast<std::uint16_t>(text.size());
    shape.columns = static_cast<std::uint16_t>(line.count);
  } else if (text.size() > shape.width) {
    return failed_at(column, ReadError::wrong_width, shape.width);
  }
  return ReadError::none;
}

void write_plain_piece(TextOut& out, std::span<const unsigned char> bytes, bool ends) {
  for (const unsigned char byte : bytes) {
    out.hex(byte, false);
  }
  if (ends) {
    out.put('\n');
  }
}

void write_plain_line(TextOut& out, const LayoutSettings& /*settings*/,
                      std::span<const unsigned char> bytes, bool /*last*/) {
  write_plain_piece(out, bytes, true);
}

}  // namespace quarnel
