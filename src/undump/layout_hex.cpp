// Hex as people type it or copy it from code: bytes of two hex digits
// parted by blanks ("de ad be ef"), or runs of \xHH escapes
// ("\x7f\x45\x4c\x46"), as many a line as the writer liked; no address.
#include "undump/layouts.h"

namespace quarnel {

ReadError read_hex_line(std::string_view text, Shape& shape, OtherLine& line,
                        std::span<unsigned char> bytes, std::size_t& column) {
  const auto fail = [&](ReadError error, std::size_t at) {
    column = at + 1;
    return error;
  };
  static_cast<void>(shape);
  line.kind = LineKind::bytes;
  line.has_address = false;
  line.count = 0;
  const bool escapes = text.starts_with("\\x");
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    if (escapes && (text.substr(at, 2) != "\\x")) {
      return fail(ReadError::bad_shape, at);
    }
    const std::size_t digits = at + (escapes ? 2 : 0);
    const std::uint8_t high = digits < text.size() ? digit_value(text[digits], 16) : 0xFF;
    const std::uint8_t low = digits + 1 < text.size() ? digit_value(text[digits + 1], 16) : 0xFF;
    if (high > 15 || low > 15) {
      return fail(ReadError::bad_hex_digit, high > 15 ? digits : digits + 1);
    }
    at = digits + 2;
    if (!escapes && at < text.size() && text[at] != ' ') {
      return fail(ReadError::bad_separator, at);
    }
    if (line.count == bytes.size()) {
      return fail(ReadError::wrong_width, at);
    }
    bytes[line.count++] = static_cast<unsigned char>(high << 4U | low);
  }
  return line.count == 0 ? fail(ReadError::bad_shape, 0) : ReadError::none;
}

}  // namespace quarnel
