// A deliberately plain dumper: one byte at a time, with the printf formats
// that define the line layout. The fast engine must match it byte for byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "platform/platform.h"

namespace quarnel::testing {

inline std::string simple_dump(std::span<const std::uint8_t> data, std::uint32_t address) {
  std::string text;
  char piece[16];
  std::size_t next = 0;
  for (;;) {
    std::snprintf(piece, sizeof piece, "%8.8X  ", address);
    text += piece;
    std::size_t shown = 0;
    for (; shown < 16 && next + shown < data.size(); ++shown) {
      std::snprintf(piece, sizeof piece, "%2.2X", data[next + shown]);
      text += piece;
      text += shown == 7 ? "-" : " ";
    }
    if (shown < 16) {
      text += " ";
      text.append(3 * (16 - shown), ' ');
      text += " ";
    } else {
      text += "  ";
      address += 16;
    }
    for (std::size_t i = 0; i < shown; ++i) {
      const std::uint8_t byte = data[next + i];
      text += (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : '.';
    }
    text += line_end;
    next += shown;
    if (shown < 16) {
      return text;
    }
  }
}

}  // namespace quarnel::testing
