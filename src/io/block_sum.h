// The sum a diff's line for a moved block carries, so that the bytes the
// line stands for are checked where they are read: CRC-32 as zip, PNG and
// Python's zlib.crc32 compute it.
#pragma once

#include <cstdint>
#include <span>

namespace quarnel {

// The CRC-32 of bytes that follow those summed into sum (0 before the
// first).
[[nodiscard]] std::uint32_t block_sum(std::uint32_t sum, std::span<const std::uint8_t> bytes);

}  // namespace quarnel
