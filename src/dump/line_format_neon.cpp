// The NEON line formatter for AArch64: table look-ups turn each byte into its
// two hex digits and place them, with the separators, in the hex groups.
#include <arm_neon.h>

#include <cstring>

#include "dump/line_format_neon.h"

namespace quarnel {
namespace {

using line_geometry::hex_column;

// The hex groups are written as three 16-byte stores, the characters as one.
static_assert(line_geometry::hex_width == 48 && bytes_per_line == 16);

// The 48 characters of the hex groups in three 16-byte chunks: each takes the
// high (index 2b) or low (2b + 1) digit of byte b from the 32 interleaved
// digits, or, at 0xFF (past the table, so 0), its separator.
struct GroupPlan {
  std::array<std::array<std::uint8_t, 16>, 3> index;
  std::array<std::array<std::uint8_t, 16>, 3> separators;
};

constexpr GroupPlan group_plan = [] {
  GroupPlan plan{};
  for (std::size_t position = 0; position < line_geometry::hex_width; ++position) {
    const std::size_t byte = position / line_geometry::byte_stride;
    const std::size_t digit = position % line_geometry::byte_stride;
    std::uint8_t& index = plan.index[position / 16][position % 16];
    std::uint8_t& separator = plan.separators[position / 16][position % 16];
    index = digit >= 2 ? 0xFF : static_cast<std::uint8_t>(2 * byte + digit);
    separator = digit < 2 ? 0 : line_geometry::separator(byte);
  }
  return plan;
}();

}  // namespace

template <LineEnd end>
char* format_lines_neon(char* out, std::uint32_t& address, std::span<const std::uint8_t> data) {
  const uint8x16_t digits = vld1q_u8(reinterpret_cast<const std::uint8_t*>(hex_digits.data()));
  const uint8x16_t nibble = vdupq_n_u8(0x0F);
  const uint8x16_t dot = vdupq_n_u8('.');
  for (; data.size() >= bytes_per_line; data = data.subspan(bytes_per_line)) {
    const uint8x16_t bytes = vld1q_u8(data.data());
    const uint8x16_t high = vqtbl1q_u8(digits, vshrq_n_u8(bytes, 4));
    const uint8x16_t low = vqtbl1q_u8(digits, vandq_u8(bytes, nibble));
    const uint8x16x2_t pairs = {{vzip1q_u8(high, low), vzip2q_u8(high, low)}};
    auto* line = reinterpret_cast<std::uint8_t*>(out);
    for (std::size_t chunk = 0; chunk < 3; ++chunk) {
      const uint8x16_t text = vorrq_u8(vqtbl2q_u8(pairs, vld1q_u8(group_plan.index[chunk].data())),
                                       vld1q_u8(group_plan.separators[chunk].data()));
      vst1q_u8(line + hex_column + 16 * chunk, text);
    }
    const uint8x16_t printable =
        vandq_u8(vcgeq_u8(bytes, vdupq_n_u8(0x20)), vcleq_u8(bytes, vdupq_n_u8(0x7E)));
    vst1q_u8(line + char_column, vbslq_u8(printable, bytes, dot));
    put_address(out, address);
    std::memset(out + hex_column + line_geometry::hex_width, ' ',
                char_column - hex_column - line_geometry::hex_width);
    put_line_end<end>(out + line_text);
    out += line_size(end);
    address += bytes_per_line;
  }
  return out;
}

template char* format_lines_neon<LineEnd::lf>(char*, std::uint32_t&, std::span<const std::uint8_t>);
template char* format_lines_neon<LineEnd::crlf>(char*, std::uint32_t&,
                                                std::span<const std::uint8_t>);

constexpr PathTable<LineFormatter> formatters_lf =
    path_table<LineFormatter>({{CpuPath::portable, format_lines_portable<LineEnd::lf>},
                               {CpuPath::neon, format_lines_neon<LineEnd::lf>}});
constexpr PathTable<LineFormatter> formatters_crlf =
    path_table<LineFormatter>({{CpuPath::portable, format_lines_portable<LineEnd::crlf>},
                               {CpuPath::neon, format_lines_neon<LineEnd::crlf>}});

}  // namespace quarnel
