// What the vector readers of full dump lines look up: where each character
// of a line's first 64 goes, and which characters are hex digits. Shared by
// the readers of every CPU family.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quarnel {

// The first 64 characters of a full line, taken in 16-byte chunks: which
// positions hold hex digits, which hold a blank or separator (and which),
// and, chunk by chunk, where each byte's high and low digit lie (0x80 where
// a chunk holds neither).
struct LinePlan {
  std::array<char, 64> expected{};
  std::array<std::uint8_t, 64> fixed{};
  std::array<std::uint8_t, 64> digits{};
  std::array<std::uint8_t, 64> high{};
  std::array<std::uint8_t, 64> low{};
};

inline constexpr LinePlan line_plan = [] {
  LinePlan plan{};
  plan.high.fill(0x80);
  plan.low.fill(0x80);
  for (std::size_t position = 0; position < 64; ++position) {
    const bool in_groups = position >= 10 && position < 58;
    if (position < 8 || (in_groups && (position - 10) % 3 < 2)) {
      plan.digits[position] = 0xFF;
      if (in_groups) {
        auto& digit = (position - 10) % 3 == 0 ? plan.high : plan.low;
        digit[position / 16 * 16 + (position - 10) / 3] = static_cast<std::uint8_t>(position % 16);
      }
    } else if (position < 60) {
      plan.fixed[position] = 0xFF;
      plan.expected[position] = position == 33 ? '-' : ' ';
    }
  }
  return plan;
}();

// Hex digits by the high and low half of their code: '0'-'9' are 0x30-0x39
// (class 1), 'A'-'F' and 'a'-'f' are 0x41-0x46 and 0x61-0x66 (class 2). A
// character is a digit when the classes of its halves share a bit; letters
// are worth their low half plus 9.
// Each table is there twice, once for each 128-bit lane, so that a vector
// of either width loads it at once.
inline constexpr std::array<std::uint8_t, 32> class_by_high = {0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 2};
inline constexpr std::array<std::uint8_t, 32> class_by_low = {
    1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 3, 3, 3, 3, 3, 3, 1, 1, 1};
inline constexpr std::array<std::uint8_t, 32> value_by_high = {0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 9};

}  // namespace quarnel
