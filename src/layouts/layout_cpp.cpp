// quarnel-as's C++ array, a header a C++17 program includes as it is:
//   #pragma once
//   #include <array>
//   #include <cstdint>
//
//   inline constexpr std::array<std::uint8_t, N> NAME{
//     0xHH, 0xHH, ...,
//   };
// The N of its type must count the bytes.
#include <array>

#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

constexpr ArrayLines cpp_array_lines{"  ", "};"};

namespace {

constexpr std::array<std::string_view, 3> header{"#pragma once", "#include <array>",
                                                 "#include <cstdint>"};
constexpr std::string_view opening = "inline constexpr std::array<std::uint8_t, ";

}  // namespace

ReadError read_cpp_line(std::string_view text, Shape& shape, OtherLine& line,
                        std::span<unsigned char> bytes, std::size_t& column) {
  if (shape.c_part == array_before || shape.c_part == array_header) {
    if (std::find(header.begin(), header.end(), text) != header.end()) {
      shape.c_part = array_header;
      shape.opened = true;
      return ReadError::none;
    }
    // NAME{ after the count.
    const std::size_t count_end = text.find("> ");
    return open_typed_array(
        shape,
        text.starts_with(opening) && count_end != std::string_view::npos &&
            address_value(text.substr(opening.size(), count_end - opening.size()), 10,
                          shape.array_length) &&
            count_end != opening.size() && text.ends_with('{') &&
            is_name(text.substr(count_end + 2, text.size() - count_end - 3)),
        column);
  }
  return read_typed_array_body(text, cpp_array_lines.closing, cpp_array_lines.indent, shape, line,
                               bytes, column);
}

void write_cpp_opening(TextOut& out, const LayoutSettings& settings) {
  for (const std::string_view line : header) {
    out.put(line);
    out.put('\n');
  }
  out.put('\n');
  out.put(opening);
  out.number(settings.length, 10, 1);
  out.put("> ");
  put_array_name(out, settings);
  out.put("{\n");
}

}  // namespace quarnel
