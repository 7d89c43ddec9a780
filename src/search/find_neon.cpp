// The scan on AArch64: NEON, which every such CPU has.
#include <arm_neon.h>

#include "search/find.h"

namespace quarnel {
namespace {

// Tests 16 positions at a time: the bytes at both chosen places, masked and
// compared; then the whole pattern where both hold. The loads end at
// last + place + 15, inside the data.
std::size_t scan_neon(const Finder& finder, const std::uint8_t* data, std::size_t from,
                      std::size_t last) {
  const uint8x16_t value0 = vdupq_n_u8(finder.value[0]);
  const uint8x16_t mask0 = vdupq_n_u8(finder.mask[0]);
  const uint8x16_t value1 = vdupq_n_u8(finder.value[1]);
  const uint8x16_t mask1 = vdupq_n_u8(finder.mask[1]);
  const std::uint8_t* first = data + finder.place[0];
  const std::uint8_t* second = data + finder.place[1];
  std::size_t at = from;
  for (; at <= last && last - at >= 15; at += 16) {
    const uint8x16_t both = vandq_u8(vceqq_u8(vandq_u8(vld1q_u8(first + at), mask0), value0),
                                     vceqq_u8(vandq_u8(vld1q_u8(second + at), mask1), value1));
    // Four bits a position: the narrowing shift keeps one nibble of each byte.
    std::uint64_t bits =
        vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(both), 4)), 0);
    while (bits != 0) {
      const auto k = static_cast<std::size_t>(__builtin_ctzll(bits)) / 4;
      if (matches_at(*finder.pattern, data + at + k)) {
        return at + k;
      }
      bits &= ~(std::uint64_t{0xF} << (4 * k));
    }
  }
  return scan_portable(finder, data, at, last);
}

}  // namespace

constexpr PathTable<MatchScan> match_scans =
    path_table<MatchScan>({{CpuPath::portable, scan_portable}, {CpuPath::neon, scan_neon}});

}  // namespace quarnel
