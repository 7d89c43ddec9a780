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
  for (std::size_t line = 0;; line += 16, address += 16) {
    std::snprintf(piece, sizeof piece, "%8.8X  ", address);
    text += piece;
    const std::size_t shown = std::min<std::size_t>(16, data.size() - line);
    for (std::size_t i = 0; i < shown; ++i) {
      std::snprintf(piece, sizeof piece, "%2.2X%c", data[line + i], i == 7 ? '-' : ' ');
      text += piece;
    }
    text.append(shown < 16 ? 3 * (16 - shown) + 2 : 2, ' ');
    for (std::size_t i = 0; i < shown; ++i) {
      text += (data[line + i] >= 0x20 && data[line + i] <= 0x7E) ? static_cast<char>(data[line + i])
                                                                 : '.';
    }
    text += line_end;
    if (shown < 16) {
      return text;
    }
  }
}

}  // namespace quarnel::testing
