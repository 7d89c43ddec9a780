// Keeps what a checked dump says to patch: the bytes and their addresses, as
// records in a temporary file, joining the lines that follow one another
// into one record. The file to patch is written from there once every dump
// has been read to its end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quarnel {

// A record: this header, then length bytes that go at address.
struct PatchRecord {
  std::uint64_t address;
  std::uint64_t length;
};

inline constexpr std::size_t longest_record = std::size_t{1} << 16;

struct PatchWriter {
  int records;              // the temporary file
  std::uint64_t start = 0;  // the address of the buffered bytes
  std::size_t used = 0;
  std::array<std::uint8_t, longest_record> buffer{};
};

// Places bytes at address, writing out what was buffered as a record when
// they do not follow it. False when a write failed.
[[nodiscard]] bool patch_bytes(PatchWriter& patch, std::uint64_t address,
                               std::span<const std::uint8_t> bytes);

// Writes out what is buffered. False when the write failed.
[[nodiscard]] bool flush_patch(PatchWriter& patch);

}  // namespace quarnel
