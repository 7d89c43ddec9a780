#include "dump/line_format.h"

#include <cassert>
#include <cstring>

namespace quarnel {
namespace {

// Writes the hex groups of bytes, each two digits and a separator, the
// eighth separator being the dash.
void put_groups(char* out, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::memcpy(out + 3 * i, hex_pairs[bytes[i]].data(), 2);
    out[3 * i + 2] = (i == 7) ? '-' : ' ';
  }
}

void put_chars(char* out, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[i] = shown_chars[bytes[i]];
  }
}

}  // namespace

template <LineEnd end>
char* format_lines_portable(char* out, std::uint32_t& address, std::span<const std::uint8_t> data) {
  for (; data.size() >= bytes_per_line; data = data.subspan(bytes_per_line)) {
    const auto line = data.first<bytes_per_line>();
    char* groups = put_address(out, address);
    put_groups(groups, line);
    groups[48] = ' ';
    groups[49] = ' ';
    put_chars(out + char_column, line);
    put_line_end<end>(out + full_line_text);
    out += line_length(end);
    address += bytes_per_line;
  }
  return out;
}

template char* format_lines_portable<LineEnd::lf>(char*, std::uint32_t&,
                                                  std::span<const std::uint8_t>);
template char* format_lines_portable<LineEnd::crlf>(char*, std::uint32_t&,
                                                    std::span<const std::uint8_t>);

char* format_last_line(char* out, std::uint32_t address, std::span<const std::uint8_t> rest,
                       LineEnd end) {
  assert(rest.size() < bytes_per_line);
  char* groups = put_address(out, address);
  put_groups(groups, rest);
  // The missing groups stay blank so the character column keeps its place.
  std::memset(groups + 3 * rest.size(), ' ', 50 - 3 * rest.size());
  put_chars(out + char_column, rest);
  out += char_column + rest.size();
  return end == LineEnd::lf ? put_line_end<LineEnd::lf>(out) : put_line_end<LineEnd::crlf>(out);
}

}  // namespace quarnel
