// Writes bytes into a file at the addresses of their lines, joining the
// lines that follow one another into one write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quarnel {

struct PatchWriter {
  int fd;
  std::uint64_t start = 0;  // where the buffered bytes go in the file
  std::size_t used = 0;
  std::array<std::uint8_t, std::size_t{1} << 16> buffer{};
};

// Places bytes at address, writing out what was buffered when they do not
// follow it. False when a write failed.
[[nodiscard]] bool patch_bytes(PatchWriter& patch, std::uint32_t address,
                               std::span<const std::uint8_t> bytes);

// Writes out what is buffered. False when the write failed.
[[nodiscard]] bool flush_patch(PatchWriter& patch);

}  // namespace quarnel
