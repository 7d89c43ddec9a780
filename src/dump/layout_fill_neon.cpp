// The line filler for AArch64: NEON's table lookup, which every such CPU
// has.
#include <arm_neon.h>

#include "dump/layout_fill.h"

namespace quarnel {
namespace {

template <std::size_t Blocks>
inline void fill_line(const FillPlan& fill, const unsigned char* bytes, char* out) {
  const uint8x16_t digits = vld1q_u8(
      reinterpret_cast<const std::uint8_t*>(fill.upper ? "0123456789ABCDEF" : "0123456789abcdef"));
  uint8x16_t sources[3 * Blocks];  // NOLINT: a vector type in std::array loses its alignment
  for (std::size_t block = 0; block < Blocks; ++block) {
    const uint8x16_t data = vld1q_u8(bytes + 16 * block);
    const uint8x16_t high = vqtbl1q_u8(digits, vshrq_n_u8(data, 4));
    const uint8x16_t low = vqtbl1q_u8(digits, vandq_u8(data, vdupq_n_u8(0x0F)));
    // Printable ASCII as itself, the rest a dot.
    const uint8x16_t shown =
        vandq_u8(vcgeq_u8(data, vdupq_n_u8(0x20)), vcltq_u8(data, vdupq_n_u8(0x7F)));
    sources[3 * block] = vzip1q_u8(high, low);
    sources[3 * block + 1] = vzip2q_u8(high, low);
    sources[3 * block + 2] = vbslq_u8(shown, data, vdupq_n_u8('.'));
  }
  for (std::size_t chunk = 0; chunk < fill.chunks; ++chunk) {
    uint8x16_t line = vld1q_u8(fill.text[chunk].data());
    for (std::size_t source = 0; source < 3 * Blocks; ++source) {
      line =
          vorrq_u8(line, vqtbl1q_u8(sources[source], vld1q_u8(fill.picks[chunk][source].data())));
    }
    vst1q_u8(reinterpret_cast<std::uint8_t*>(out + 16 * chunk), line);
  }
}

template <std::size_t Blocks>
std::size_t fill_neon(const FillPlan& fill, const unsigned char* bytes, std::size_t lines,
                      bool addresses, std::uint32_t address, char* out) {
  const FilledLines at = filled_lines(fill, addresses);
  for (std::size_t line = 0; line < lines; ++line) {
    fill_line<Blocks>(fill, bytes + fill.columns * line, out + at.size * line + at.before);
  }
  return end_filled_lines(at, out, lines, addresses, address, fill.columns);
}

constexpr Fillers neon_fillers{fill_neon<1>, fill_neon<2>};

}  // namespace

constexpr PathTable<const Fillers*> line_fillers =
    path_table<const Fillers*>({{CpuPath::neon, &neon_fillers}});

}  // namespace quarnel
