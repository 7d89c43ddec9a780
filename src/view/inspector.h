// The values the bytes at the cursor make: integers of each width in both
// byte orders, floating point numbers, a UTF-8 character and a Unix time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quarnel {

inline constexpr std::size_t inspector_lines = 7;
inline constexpr std::size_t inspector_width = 128;

struct Inspection {
  std::array<std::array<char, inspector_width>, inspector_lines> text{};
  std::array<std::size_t, inspector_lines> size{};
};

// Fills the lines for bytes, the 8 at the cursor (fewer at the file's end:
// the values that need more say so).
void inspect_bytes(std::span<const std::uint8_t> bytes, Inspection& inspection);

[[nodiscard]] inline std::string_view inspection_line(const Inspection& inspection,
                                                      std::size_t line) {
  return {inspection.text[line].data(), inspection.size[line]};
}

}  // namespace quarnel
