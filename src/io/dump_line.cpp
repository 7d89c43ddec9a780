// io/: the programs' output: the one buffered writer, and a dump line at a
// 64-bit address.
#include "io/dump_line.h"

#include <algorithm>
#include <charconv>

#include "quarnel/dump.h"

namespace quarnel {

std::size_t address_text(std::uint64_t address, std::span<char, 16> out) {
  std::array<char, 16> digits{};
  const auto width = static_cast<std::size_t>(
      std::to_chars(digits.data(), digits.data() + digits.size(), address, 16).ptr - digits.data());
  std::size_t size = 0;
  for (; size + width < line_geometry::address_digits; ++size) {
    out[size] = '0';
  }
  for (std::size_t i = 0; i < width; ++i) {
    const char c = digits[i];
    out[size++] = c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return size;
}

void make_dump_line(std::uint64_t address, std::span<const std::uint8_t> bytes,
                    FormattedLine& line) {
  constexpr std::size_t front = 16 - line_geometry::address_digits;
  constexpr std::uint64_t widest = 0xFFFFFFFF;
  const std::span<char> text = std::span(line.room).subspan(front);
  StreamDump dump(static_cast<std::uint32_t>(std::min(address, widest)), platform_line_end());
  std::size_t size = dump_more(dump, bytes, text).value_or(0);
  if (bytes.size() < line_geometry::bytes_per_line) {
    size = finish_dump(dump, text);
  }
  std::size_t width = line_geometry::address_digits;
  if (address > widest) {
    std::array<char, 16> digits{};
    width = address_text(address, digits);
    std::copy(digits.begin(), digits.begin() + width,
              line.room.begin() + front + line_geometry::address_digits - width);
  }
  line.shift = width - line_geometry::address_digits;
  line.text = std::string_view(line.room.data() + front - line.shift, size + line.shift);
}

}  // namespace quarnel
