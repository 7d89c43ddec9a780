// Reading dumps in memory back into bytes, for the library's users.
#include "quarnel/undump.h"

#include "layouts/line_reading.h"
#include "undump/line_parse.h"

namespace quarnel {
inline namespace v1 {

ReadBack read_dump(std::string_view text, WritableBytes out) noexcept {
  DumpReader reader;
  ReadBack back;
  for (;;) {
    const ReadStep step =
        reader.read(text, WritableBytes(out.data() + back.size, out.size() - back.size), true);
    back.size += step.size;
    text.remove_prefix(step.taken);
    if (step.stop == ReadStop::text) {
      break;
    }
    if (step.stop != ReadStop::jump) {
      back.error = step.stop == ReadStop::room ? ReadError::no_room : step.error;
      back.readings = step.readings;
      back.line = step.line;
      back.column = step.column;
      back.address = reader.first_address();
      return back;
    }
  }
  const ReadStep end = reader.finish();
  back.error = end.error;
  back.line = end.line;
  back.address = reader.first_address();
  return back;
}

ReadError read_dump_line(std::string_view text, DumpLine& line, std::size_t& column) noexcept {
  return parse_line(text, line, column);
}

DumpLayout line_layout(std::string_view line) noexcept {
  DumpLine read;
  std::size_t column = 0;
  if (parse_line(line, read, column) == ReadError::none) {
    // hexdump -C's short lines read as quarnel's, but for their bars.
    const bool bars = line.size() == line_geometry::char_column + read.count + 2 &&
                      line[line_geometry::char_column] == '|' && line.back() == '|';
    return read.count == 0 ? DumpLayout::any : bars ? DumpLayout::hexdump : DumpLayout::quarnel;
  }
  ReadError refused = ReadError::none;
  const bool address_alone = line.size() >= 6 && line.find_first_not_of("0123456789abcdefABCDEF") ==
                                                     std::string_view::npos;
  return line == "*" || address_alone ? DumpLayout::any : detect_layout(line, refused);
}

}  // namespace v1
}  // namespace quarnel
