#include "io/block_sum.h"

#include <array>
#include <cstddef>

namespace quarnel {
namespace {

// The CRC of each byte value, and of each byte followed by 1 to 7 zeros:
// eight bytes are summed a step.
constexpr std::array<std::array<std::uint32_t, 256>, 8> sum_tables = [] {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t value = 0; value < 256; ++value) {
    std::uint32_t sum = value;
    for (int bit = 0; bit < 8; ++bit) {
      sum = (sum >> 1) ^ ((sum & 1U) != 0 ? 0xEDB88320U : 0U);
    }
    tables[0][value] = sum;
  }
  for (std::size_t table = 1; table < 8; ++table) {
    for (std::size_t value = 0; value < 256; ++value) {
      const std::uint32_t before = tables[table - 1][value];
      tables[table][value] = (before >> 8) ^ tables[0][before & 0xFFU];
    }
  }
  return tables;
}();

}  // namespace

std::uint32_t block_sum(std::uint32_t sum, std::span<const std::uint8_t> bytes) {
  const auto& t = sum_tables;
  std::uint32_t crc = ~sum;
  std::size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    const std::uint32_t low =
        crc ^ (std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
               std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24);
    crc = t[7][low & 0xFFU] ^ t[6][(low >> 8) & 0xFFU] ^ t[5][(low >> 16) & 0xFFU] ^
          t[4][low >> 24] ^ t[3][bytes[at + 4]] ^ t[2][bytes[at + 5]] ^ t[1][bytes[at + 6]] ^
          t[0][bytes[at + 7]];
  }
  for (; at < bytes.size(); ++at) {
    crc = (crc >> 8) ^ t[0][(crc ^ bytes[at]) & 0xFFU];
  }
  return ~crc;
}

}  // namespace quarnel
