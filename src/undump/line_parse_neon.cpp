// The NEON reader of full dump lines for AArch64. It accepts exactly the
// lines that parse_full_line accepts and reads the same address and bytes;
// table look-ups give 0 for an index past the table, as the x86 shuffles do
// for 0x80.
#include <arm_neon.h>

#include "undump/line_parse_neon.h"
#include "undump/line_parse_plan.h"

namespace quarnel {
namespace {

template <std::size_t layout>
bool parse_neon(const char* text, DumpLine& line) {
  constexpr const LinePlan& line_plan = plans[layout];
  const auto* chars_at = reinterpret_cast<const std::uint8_t*>(text);
  const uint8x16_t nibble = vdupq_n_u8(0x0F);
  const uint8x16_t by_high = vld1q_u8(class_by_high.data());
  const uint8x16_t by_low = vld1q_u8(class_by_low.data());
  const uint8x16_t worth_by_high = vld1q_u8(value_by_high.data());
  uint8x16_t bad = vdupq_n_u8(0);
  uint8x16_t high = bad;
  uint8x16_t low = bad;
  uint8x16_t first_values = bad;
  for (std::size_t at = 0; at < 64; at += 16) {
    const uint8x16_t chars = vld1q_u8(chars_at + at);
    const uint8x16_t upper = vshrq_n_u8(chars, 4);
    const uint8x16_t lower = vandq_u8(chars, nibble);
    const uint8x16_t digit_class = vandq_u8(vqtbl1q_u8(by_high, upper), vqtbl1q_u8(by_low, lower));
    const uint8x16_t values = vaddq_u8(lower, vqtbl1q_u8(worth_by_high, upper));
    bad = vorrq_u8(bad, vandq_u8(vceqzq_u8(digit_class), vld1q_u8(line_plan.digits.data() + at)));
    const uint8x16_t expected =
        vld1q_u8(reinterpret_cast<const std::uint8_t*>(line_plan.expected.data()) + at);
    bad = vorrq_u8(bad, vandq_u8(veorq_u8(chars, expected), vld1q_u8(line_plan.fixed.data() + at)));
    high = vorrq_u8(high, vqtbl1q_u8(values, vld1q_u8(line_plan.high.data() + at)));
    low = vorrq_u8(low, vqtbl1q_u8(values, vld1q_u8(line_plan.low.data() + at)));
    first_values = at == 0 ? values : first_values;
  }
  // A line end in the character column would end the line early.
  if (line_plan.chars != 0) {
    bad = vorrq_u8(bad, vceqq_u8(vld1q_u8(chars_at + line_plan.chars), vdupq_n_u8('\n')));
  }
  vst1q_u8(line.bytes.data(), vorrq_u8(vshlq_n_u8(high, 4), low));
  // The address digits pair up into its four bytes, most significant first.
  const uint8x16x2_t halves = vuzpq_u8(first_values, first_values);
  std::array<std::uint8_t, 16> address{};
  vst1q_u8(address.data(), vorrq_u8(vshlq_n_u8(halves.val[0], 4), halves.val[1]));
  line.address = std::uint32_t{address[0]} << 24 | std::uint32_t{address[1]} << 16 |
                 std::uint32_t{address[2]} << 8 | address[3];
  line.count = 16;
  return vmaxvq_u8(bad) == 0 &&
         (line_plan.last == 0 || text[line_plan.length - 1] == line_plan.last);
}

}  // namespace

FullLineParser neon_parser(FullLayout layout) {
  static constexpr auto parsers =
      parsers_of([]<std::size_t layout>() -> FullLineParser { return parse_neon<layout>; });
  return parsers[static_cast<std::size_t>(layout)];
}

constexpr PathTable<FullLineReaders> full_line_readers = path_table<FullLineReaders>(
    {{CpuPath::portable, portable_parser}, {CpuPath::neon, neon_parser}});

}  // namespace quarnel
