// Finds what two files share, also where it sits at different offsets in
// them: the stretches of equal bytes, and between them the changes. A
// change whose two sides are as long as each other leaves the bytes after
// it where they were; any other inserts or deletes bytes and moves those
// after it. Memory stays the same whatever the sizes: the files are read a
// block at a time through fixed windows, and the old file's anchors go
// into a table of fixed size, sparser as the file grows.
#pragma once

#include <cstdint>
#include <span>

namespace quarnel {

struct AlignedFile {
  int handle;
  std::uint64_t size;
};

// Bytes old_at to old_at + old_size of the old file became bytes new_at to
// new_at + new_size of the new one; the bytes since the last change (or the
// start) are equal in both.
struct Change {
  std::uint64_t old_at = 0;
  std::uint64_t old_size = 0;
  std::uint64_t new_at = 0;
  std::uint64_t new_size = 0;
};

enum class AlignStep { change, end, read_error };

struct Aligner;

// The aligner of two files, in static storage: one pair at a time. With
// same_offsets, bytes are compared only at the same offsets: every change
// keeps its length, and runs to the end of its 16-byte line.
[[nodiscard]] Aligner& start_alignment(const AlignedFile& before, const AlignedFile& after,
                                       bool same_offsets);

// The next change, in order. At end, the bytes after the last change are
// equal up to end_old and end_new, where at least one of the files ends;
// what follows in the other is the files' different tails.
[[nodiscard]] AlignStep next_change(Aligner& aligner, Change& change);

struct AlignedEnd {
  std::uint64_t old_at;
  std::uint64_t new_at;
};
[[nodiscard]] AlignedEnd aligned_end(const Aligner& aligner);

// The system's reason for a read_error, 0 when the file was cut meanwhile.
[[nodiscard]] int align_error(const Aligner& aligner);

// The shortest run of equal bytes taken for a shared stretch, and a hash of
// that many bytes at at.
// The bytes are read in little-endian order on every machine, so that the
// places a hash picks, and the diff made from them, are the same everywhere.
inline constexpr std::size_t match_length = 16;
[[nodiscard]] inline std::uint64_t hash_of(const std::uint8_t* at) {
  const auto load = [](const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 8; i-- > 0;) {
      value = value << 8U | bytes[i];
    }
    return value;
  };
  return (load(at) * 0x9E3779B97F4A7C15ULL + load(at + 8)) * 0xC2B2AE3D27D4EB4FULL;
}

// Whether bytes hold three values at least. Runs of one or two values
// (zeros, padding, spaces) are found everywhere: a match of them alone does
// not tell where bytes moved.
[[nodiscard]] inline bool varied(std::span<const std::uint8_t> bytes) {
  const std::uint8_t first = bytes[0];
  std::uint8_t second = first;
  for (const std::uint8_t byte : bytes) {
    if (byte != first && second == first) {
      second = byte;
    } else if (byte != first && byte != second) {
      return true;
    }
  }
  return false;
}

}  // namespace quarnel
