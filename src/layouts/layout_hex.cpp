// Hex as people type it or copy it from code: bytes of two hex digits
// parted by blanks ("de ad be ef"), or runs of \xHH escapes
// ("\x7f\x45\x4c\x46"), as many a line as the writer liked; no address.
#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

ReadError read_hex_line(std::string_view text, Shape& shape, OtherLine& line,
                        std::span<unsigned char> bytes, std::size_t& column) {
  static_cast<void>(shape);
  line.kind = LineKind::bytes;
  const bool escapes = text.starts_with("\\x");
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    if (escapes && (text.substr(at, 2) != "\\x")) {
      return failed_at(column, ReadError::bad_shape, at);
    }
    const std::size_t digits = at + (escapes ? 2 : 0);
    unsigned char byte = 0;
    if (const std::size_t bad = read_hex_pair(text, digits, byte); bad != std::string_view::npos) {
      return failed_at(column, ReadError::bad_hex_digit, bad);
    }
    at = digits + 2;
    if (!escapes && at < text.size() && text[at] != ' ') {
      return failed_at(column, ReadError::bad_separator, at);
    }
    if (line.count == bytes.size()) {
      return failed_at(column, ReadError::wrong_width, at);
    }
    bytes[line.count++] = byte;
  }
  return line.count == 0 ? failed_at(column, ReadError::bad_shape, 0) : ReadError::none;
}

void write_hex_line(TextOut& out, const LayoutSettings& settings,
                    std::span<const unsigned char> bytes, bool /*last*/) {
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    out.hex(bytes[k], settings.upper);
    out.put(k + 1 < bytes.size() ? ' ' : '\n');
  }
}

}  // namespace quarnel
