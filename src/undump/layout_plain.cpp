// xxd -p's plain hex: lines of hex digits, two a byte, each as long as the
// first but the last, which may be shorter; no address.
#include "undump/layouts.h"

namespace quarnel {

ReadError read_plain_line(std::string_view text, Shape& shape, OtherLine& line,
                          std::span<unsigned char> bytes, std::size_t& column) {
  const auto fail = [&](ReadError error, std::size_t at) {
    column = at + 1;
    return error;
  };
  line.kind = LineKind::bytes;
  line.has_address = false;
  line.count = 0;
  if (text.size() % 2 != 0 || text.size() / 2 > bytes.size()) {
    return fail(text.size() / 2 > bytes.size() ? ReadError::wrong_width : ReadError::bad_hex_digit,
                text.size() - 1);
  }
  for (std::size_t at = 0; at < text.size(); at += 2) {
    const std::uint8_t high = digit_value(text[at], 16);
    const std::uint8_t low = digit_value(text[at + 1], 16);
    if ((high | low) == 0xFF || high > 15 || low > 15) {
      return fail(ReadError::bad_hex_digit, high > 15 ? at : at + 1);
    }
    bytes[line.count++] = static_cast<unsigned char>(high << 4 | low);
  }
  if (shape.lines == 0) {
    shape.width = static_cast<std::uint16_t>(text.size());
    shape.columns = static_cast<std::uint16_t>(line.count);
  } else if (text.size() > shape.width) {
    return fail(ReadError::wrong_width, shape.width);
  }
  return ReadError::none;
}

}  // namespace quarnel
