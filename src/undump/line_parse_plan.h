// What the vector readers of full dump lines look up: where each character
// of a line's first 64 goes, and which characters are hex digits. Shared by
// the readers of every CPU family.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "undump/line_parse.h"

namespace quarnel {

// The first 64 characters of a full line, taken in 16-byte chunks: which
// positions hold hex digits, which hold a blank or separator (and which),
// and, chunk by chunk, where each byte's high and low digit lie (0x80 where
// a chunk holds neither); where the character column starts, the full
// line's length, and its last character where the layout fixes one.
struct LinePlan {
  std::array<char, 64> expected{};
  std::array<std::uint8_t, 64> fixed{};
  std::array<std::uint8_t, 64> digits{};
  std::array<std::uint8_t, 64> high{};
  std::array<std::uint8_t, 64> low{};
  std::size_t chars = 0;
  std::size_t length = 0;
  char last = 0;
};

// The digits of a layout's address.
constexpr std::size_t address_size(FullLayout layout) {
  return layout == FullLayout::od6 || layout == FullLayout::od6z   ? 6
         : layout == FullLayout::od7 || layout == FullLayout::od7z ? 7
                                                                   : 8;
}

// Where byte k's digits stand on a full line of 16 bytes: quarnel's (a
// blank or dash after each byte), xxd's (groups of two, a blank after
// each), hexdump -C's (a blank after each, two after the eighth), od's (a
// blank before each).
constexpr std::size_t byte_place(FullLayout layout, std::size_t k) {
  switch (layout) {
    case FullLayout::quarnel:
      return line_geometry::hex_place(k);
    case FullLayout::xxd:
      return 10 + 2 * k + k / 2;
    case FullLayout::hexdump:
      return 10 + 3 * k + (k >= 8 ? 1 : 0);
    default:
      break;
  }
  return address_size(layout) + 1 + 3 * k;
}

constexpr LinePlan make_plan(FullLayout layout) {
  LinePlan plan{};
  plan.high.fill(0x80);
  plan.low.fill(0x80);
  const std::size_t address = address_size(layout);
  const bool od = address < 8;
  const bool od_chars = layout == FullLayout::od6z || layout == FullLayout::od7z;
  // od's characters come after two blanks and a >, and end in a <.
  const std::size_t od_end = address + 48;
  plan.chars = layout == FullLayout::quarnel   ? char_column
               : layout == FullLayout::xxd     ? 51
               : layout == FullLayout::hexdump ? 61
               : od_chars                      ? od_end + 3
                                               : 0;
  plan.length =
      od && !od_chars
          ? od_end
          : plan.chars + 16 + (layout == FullLayout::quarnel || layout == FullLayout::xxd ? 0 : 1);
  plan.last = layout == FullLayout::hexdump ? '|' : od_chars ? '<' : '\0';
  for (std::size_t position = 0; position < address; ++position) {
    plan.digits[position] = 0xFF;
  }
  for (std::size_t k = 0; k < 16; ++k) {
    const std::size_t place = byte_place(layout, k);
    plan.digits[place] = 0xFF;
    plan.digits[place + 1] = 0xFF;
    plan.high[place / 16 * 16 + k] = static_cast<std::uint8_t>(place % 16);
    plan.low[(place + 1) / 16 * 16 + k] = static_cast<std::uint8_t>((place + 1) % 16);
  }
  // Everything else before the characters is a blank, but xxd's colon,
  // quarnel's dash and the mark that opens the characters.
  const std::size_t fixed_end = plan.chars != 0 ? plan.chars : plan.length;
  for (std::size_t position = address; position < fixed_end && position < 64; ++position) {
    if (plan.digits[position] == 0) {
      plan.fixed[position] = 0xFF;
      plan.expected[position] = ' ';
    }
  }
  if (layout == FullLayout::xxd) {
    plan.expected[8] = ':';
  } else if (layout == FullLayout::quarnel) {
    plan.expected[line_geometry::dash_place] = '-';
  } else if (plan.chars != 0) {
    plan.expected[plan.chars - 1] = od ? '>' : '|';
  }
  return plan;
}

// The vector readers take a line's first 64 characters in four 16-byte
// chunks: quarnel's bytes must all lie among them.
static_assert(line_geometry::hex_place(line_geometry::bytes_per_line) <= 64);

// The plans, one for each layout; a vector reader is made for each.
inline constexpr LinePlan line_plan = make_plan(FullLayout::quarnel);
inline constexpr std::array<LinePlan, full_layouts> plans = {line_plan,
                                                             make_plan(FullLayout::xxd),
                                                             make_plan(FullLayout::hexdump),
                                                             make_plan(FullLayout::od6),
                                                             make_plan(FullLayout::od6z),
                                                             make_plan(FullLayout::od7),
                                                             make_plan(FullLayout::od7z)};

// The readers of every layout that one reader template makes: make is a
// lambda template that gives the reader of layout number L.
template <class Make>
constexpr std::array<FullLineParser, full_layouts> parsers_of(Make make) {
  return [&]<std::size_t... layouts>(std::index_sequence<layouts...>) {
    return std::array<FullLineParser, full_layouts>{make.template operator()<layouts>()...};
  }
  (std::make_index_sequence<full_layouts>());
}

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
