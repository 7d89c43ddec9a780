#include "dump/line_format.h"

#include "dump/line_format_x86.h"

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

char* format_lines_portable(char* out, std::uint32_t& address, std::span<const std::uint8_t> data) {
  for (; data.size() >= bytes_per_line; data = data.subspan(bytes_per_line)) {
    const auto line = data.first<bytes_per_line>();
    char* groups = put_address(out, address);
    put_groups(groups, line);
    groups[48] = ' ';
    groups[49] = ' ';
    put_chars(out + char_column, line);
    out[full_line_length - 1] = '\n';
    out += full_line_length;
    address += bytes_per_line;
  }
  return out;
}

LineFormatter line_formatter(FormatPath path) {
#if defined(__x86_64__)
  __builtin_cpu_init();  // safe to ask even before static constructors have run
#endif
  switch (path) {
    case FormatPath::portable:
      return format_lines_portable;
#if defined(__x86_64__)
    case FormatPath::ssse3:
      return __builtin_cpu_supports("ssse3") ? format_lines_ssse3 : nullptr;
    case FormatPath::avx2:
      return __builtin_cpu_supports("avx2") ? format_lines_avx2 : nullptr;
#else
    case FormatPath::ssse3:
    case FormatPath::avx2:
      return nullptr;
#endif
  }
  return nullptr;
}

FormatPath fastest_format_path() {
  for (const FormatPath path : {FormatPath::avx2, FormatPath::ssse3}) {
    if (line_formatter(path) != nullptr) {
      return path;
    }
  }
  return FormatPath::portable;
}

char* format_last_line(char* out, std::uint32_t address, std::span<const std::uint8_t> rest) {
  assert(rest.size() < bytes_per_line);
  char* groups = put_address(out, address);
  put_groups(groups, rest);
  // The missing groups stay blank so the character column keeps its place.
  std::memset(groups + 3 * rest.size(), ' ', 50 - 3 * rest.size());
  put_chars(out + char_column, rest);
  out[char_column + rest.size()] = '\n';
  return out + char_column + rest.size() + 1;
}

}  // namespace quarnel
