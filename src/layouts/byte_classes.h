// The classes of bytes that coloured output tells apart, and their
// colours: zero, printable ASCII, ASCII whitespace, other ASCII, non-ASCII.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quarnel {

inline constexpr std::array<std::string_view, 5> byte_colors{"\x1b[90m", "\x1b[36m", "\x1b[32m",
                                                             "\x1b[35m", "\x1b[33m"};
inline constexpr std::string_view plain_color = "\x1b[0m";

enum ByteClass : std::uint8_t {
  zero_byte,
  printable_byte,
  space_byte,
  other_ascii_byte,
  high_byte
};

[[nodiscard]] constexpr ByteClass byte_class(unsigned char byte) {
  const bool whitespace =
      byte == ' ' || byte == '\t' || byte == '\n' || byte == '\f' || byte == '\r';
  return byte == 0                    ? zero_byte
         : byte > 0x20 && byte < 0x7F ? printable_byte
         : whitespace                 ? space_byte
         : byte < 0x80                ? other_ascii_byte
                                      : high_byte;
}

}  // namespace quarnel
