// quarnel-as's Rust array, a file a Rust program include!s as it is:
//   pub static NAME: [u8; N] = [
//       0xHH, 0xHH, ...,
//   ];
// The N of its type must count the bytes.
#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

constexpr ArrayLines rust_array_lines{"    ", "];"};

namespace {

constexpr std::string_view opening = "pub static ";
constexpr std::string_view type = ": [u8; ";
constexpr std::string_view type_end = "] = [";

}  // namespace

ReadError read_rust_line(std::string_view text, Shape& shape, OtherLine& line,
                         std::span<unsigned char> bytes, std::size_t& column) {
  if (shape.c_part == array_before) {
    const std::size_t name_end = text.find(type);
    const std::size_t count = name_end + type.size();
    return open_typed_array(
        shape,
        text.starts_with(opening) && name_end != std::string_view::npos &&
            is_name(text.substr(opening.size(), name_end - opening.size())) &&
            text.ends_with(type_end) && text.size() != count + type_end.size() &&
            address_value(text.substr(count, text.size() - count - type_end.size()), 10,
                          shape.array_length),
        column);
  }
  return read_typed_array_body(text, rust_array_lines.closing, rust_array_lines.indent, shape, line,
                               bytes, column);
}

void write_rust_opening(TextOut& out, const LayoutSettings& settings) {
  out.put(opening);
  put_array_name(out, settings);
  out.put(type);
  out.number(settings.length, 10, 1);
  out.put(type_end);
  out.put('\n');
}

}  // namespace quarnel
