// Finds where a pattern matches in bytes. The scan looks first for the two
// places of the pattern whose fixed bits are rarest in files, many
// positions at a time with the CPU's vector instructions, and checks the
// whole pattern only where both are there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "cpu/cpu.h"
#include "search/pattern.h"

namespace quarnel {

struct Finder;

// Returns the first position in [from, last] where the pattern matches
// (its bytes from there all lie in data), or last + 1 when there is none.
using MatchScan = std::size_t (*)(const Finder& finder, const std::uint8_t* data, std::size_t from,
                                  std::size_t last);

struct Finder {
  const Pattern* pattern = nullptr;
  std::array<std::size_t, 2> place{};  // the rarest place, and the next rarest (or the same)
  std::array<std::uint8_t, 2> value{};
  std::array<std::uint8_t, 2> mask{};
  MatchScan scan = nullptr;
};

// The scan of a path, or null when this build or this CPU has not the
// path; all find the same matches.
[[nodiscard]] MatchScan match_scan(CpuPath path);
// The scans this build has for each path, as the CPU family's file lists
// them.
extern const PathTable<MatchScan> match_scans;
// The fastest path this CPU can run.
[[nodiscard]] CpuPath fastest_find_path();

// A finder for pattern, which must outlive it, on the fastest path or the
// one given.
[[nodiscard]] Finder prepare_finder(const Pattern& pattern);
[[nodiscard]] Finder prepare_finder(const Pattern& pattern, CpuPath path);

// The first match at or after from that lies wholly in data, or data.size()
// when there is none.
[[nodiscard]] inline std::size_t find_match(const Finder& finder,
                                            std::span<const std::uint8_t> data, std::size_t from) {
  const std::size_t size = finder.pattern->size;
  if (data.size() < size || from > data.size() - size) {
    return data.size();
  }
  const std::size_t last = data.size() - size;
  const std::size_t found = finder.scan(finder, data.data(), from, last);
  return found > last ? data.size() : found;
}

// Whether the pattern matches the bytes at `at`, all of which must be there.
[[nodiscard]] inline bool matches_at(const Pattern& pattern, const std::uint8_t* at) {
  std::size_t k = 0;
  for (; k + 8 <= pattern.size; k += 8) {
    std::uint64_t bytes = 0;
    std::uint64_t value = 0;
    std::uint64_t mask = 0;
    std::memcpy(&bytes, at + k, 8);
    std::memcpy(&value, pattern.value.data() + k, 8);
    std::memcpy(&mask, pattern.mask.data() + k, 8);
    if (((bytes & mask) ^ value) != 0) {
      return false;
    }
  }
  for (; k < pattern.size; ++k) {
    if ((at[k] & pattern.mask[k]) != pattern.value[k]) {
      return false;
    }
  }
  return true;
}

// How common bytes that match value under mask are in files, roughly:
// 0 for the rarest byte, more for a place with fewer fixed bits.
[[nodiscard]] unsigned commonness(std::uint8_t value, std::uint8_t mask);

// The portable scan, which the vector scans finish their tails with.
[[nodiscard]] std::size_t scan_portable(const Finder& finder, const std::uint8_t* data,
                                        std::size_t from, std::size_t last);

}  // namespace quarnel
