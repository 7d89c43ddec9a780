// Finds many patterns in one pass over the bytes. Each pattern with four
// bytes in a row that are fixed, or fixed but for the case of a letter, is
// anchored there: a table of the anchors, looked up at every position,
// tells where such a pattern may start, and only there is it compared.
// Patterns without such bytes are found one by one, as a single one is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "search/find.h"

namespace quarnel {

// The most patterns searched at once.
inline constexpr std::size_t most_patterns = 1024;

struct Anchor {
  std::uint32_t key = 0;      // the four bytes as one number, the case of letters let go
  std::uint16_t pattern = 0;  // the index of the pattern's finder
  std::uint16_t place = 0;    // where the four bytes lie in the pattern
};

struct FinderGroup {
  static constexpr unsigned hash_bits = 16;
  static constexpr std::size_t slots = std::size_t{1} << hash_bits;
  std::array<std::uint64_t, slots / 64> filter{};  // bit h: some anchor's key hashes to h
  std::array<std::uint16_t, slots + 1> first{};    // anchors[first[h], first[h + 1]) hash to h
  std::array<Anchor, most_patterns> anchors{};     // by hash, then by pattern
  std::array<bool, most_patterns> anchored{};      // the pattern is found through its anchor
  std::size_t count = 0;                           // the anchored patterns
  std::size_t furthest = 0;                        // the greatest place of an anchor
};

// A match: where it starts, and the index of its pattern's finder.
struct FoundMatch {
  std::size_t at = 0;
  std::size_t pattern = 0;
};

// Fills group with the anchors of finders (at most most_patterns). False
// when too few of them have one for a shared pass to beat a pass each: the
// group still finds them, only more slowly.
[[nodiscard]] bool prepare_group(std::span<const Finder> finders, FinderGroup& group);

// What find_anchored returns when found is too small for the matches.
inline constexpr std::size_t too_many_found = ~std::size_t{0};

// Every match of the group's anchored patterns that starts in [from, to)
// and lies wholly in data, into found in the order of their offsets and,
// at one offset, of the patterns; their number, or too_many_found.
[[nodiscard]] std::size_t find_anchored(const FinderGroup& group, std::span<const Finder> finders,
                                        std::span<const std::uint8_t> data, std::size_t from,
                                        std::size_t to, std::span<FoundMatch> found);

}  // namespace quarnel
