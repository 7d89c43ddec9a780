#include "dump/line_format.h"

#include <cassert>
#include <cstring>

namespace quarnel {
namespace {

// Writes the hex groups of bytes into a line, each two digits and a
// separator, the eighth separator being the dash.
void put_groups(char* line, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::memcpy(line + line_geometry::hex_place(i), hex_pairs[bytes[i]].data(), 2);
    line[line_geometry::hex_place(i) + 2] = line_geometry::separator(i);
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
    put_address(out, address);
    put_groups(out, line);
    std::memset(out + line_geometry::hex_column + line_geometry::hex_width, ' ',
                char_column - line_geometry::hex_column - line_geometry::hex_width);
    put_chars(out + char_column, line);
    put_line_end<end>(out + line_text);
    out += line_size(end);
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
  put_address(out, address);
  put_groups(out, rest);
  // The missing groups stay blank so the character column keeps its place.
  const std::size_t groups_end = line_geometry::hex_place(rest.size());
  std::memset(out + groups_end, ' ', char_column - groups_end);
  put_chars(out + char_column, rest);
  out += char_column + rest.size();
  return end == LineEnd::lf ? put_line_end<LineEnd::lf>(out) : put_line_end<LineEnd::crlf>(out);
}

LineFormatter line_formatter(CpuPath path, LineEnd end) {
  return on_this_cpu(end == LineEnd::lf ? formatters_lf : formatters_crlf, path);
}

CpuPath fastest_format_path() {
  return fastest_path([](CpuPath path) { return line_formatter(path) != nullptr; });
}

}  // namespace quarnel
