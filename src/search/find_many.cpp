#include "search/find_many.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quarnel {
namespace {

// Anchors lie in the first bytes of a pattern: the bytes scanned twice at
// the edge of each stretch stay few.
constexpr std::size_t furthest_anchor = 252;
// Below this many anchored patterns, a pass for each is faster.
constexpr std::size_t fewest_anchored = 16;
// Bit 5 of each byte let go: a letter in either case reads the same.
constexpr std::uint32_t caseless = 0xDFDFDFDF;

std::uint32_t four_bytes(const std::uint8_t* at) {
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, at, 4);
  return bytes & caseless;
}

std::size_t hash(std::uint32_t key) {
  return (key * std::uint32_t{0x9E3779B1}) >> (32 - FinderGroup::hash_bits);
}

// The place of the four bytes in a row that are rarest in files among
// those that hold no more than a letter's case open, or none.
bool choose_anchor(const Pattern& pattern, std::size_t& place) {
  unsigned best = ~0U;
  for (std::size_t at = 0; at + 4 <= pattern.size && at <= furthest_anchor; ++at) {
    unsigned common = 0;
    bool fixed = true;
    for (std::size_t k = at; k < at + 4; ++k) {
      fixed = fixed && (pattern.mask[k] | 0x20) == 0xFF;
      common += commonness(pattern.value[k], pattern.mask[k]);
    }
    if (fixed && common < best) {
      best = common;
      place = at;
    }
  }
  return best != ~0U;
}

}  // namespace

bool prepare_group(std::span<const Finder> finders, FinderGroup& group) {
  group = {};
  finders = finders.first(std::min(finders.size(), most_patterns));
  std::array<Anchor, most_patterns> chosen{};
  for (std::size_t k = 0; k < finders.size(); ++k) {
    const Pattern& pattern = *finders[k].pattern;
    std::size_t place = 0;
    if (!choose_anchor(pattern, place)) {
      continue;
    }
    chosen[group.count] = {four_bytes(pattern.value.data() + place), static_cast<std::uint16_t>(k),
                           static_cast<std::uint16_t>(place)};
    ++group.first[hash(chosen[group.count].key)];
    ++group.count;
    group.anchored[k] = true;
    group.furthest = std::max(group.furthest, place);
  }
  // A counting sort by slot that keeps the patterns' order in each: first
  // holds the counts, then where each slot starts, then where it ends, and
  // moved up by one, where each starts again.
  std::uint16_t sum = 0;
  for (std::size_t h = 0; h < FinderGroup::slots; ++h) {
    if (group.first[h] > 0) {
      group.filter[h / 64] |= std::uint64_t{1} << (h % 64);
    }
    sum = static_cast<std::uint16_t>(sum + std::exchange(group.first[h], sum));
  }
  for (const Anchor& anchor : std::span(chosen).first(group.count)) {
    group.anchors[group.first[hash(anchor.key)]++] = anchor;
  }
  std::copy_backward(group.first.begin(), group.first.end() - 1, group.first.end());
  group.first[0] = 0;
  return group.count >= fewest_anchored;
}

std::size_t find_anchored(const FinderGroup& group, std::span<const Finder> finders,
                          std::span<const std::uint8_t> data, std::size_t from, std::size_t to,
                          std::span<FoundMatch> found) {
  if (data.size() < 4 || from >= to) {
    return 0;
  }
  // A match that starts at s has its anchor at s + place, in [from, to + furthest).
  const std::size_t last = std::min(to - 1 + group.furthest, data.size() - 4);
  std::size_t count = 0;
  for (std::size_t at = from; at <= last; ++at) {
    const std::uint32_t key = four_bytes(data.data() + at);
    const std::size_t h = hash(key);
    if ((group.filter[h / 64] >> (h % 64) & 1U) == 0) {
      continue;
    }
    for (std::size_t i = group.first[h]; i < group.first[h + 1]; ++i) {
      const Anchor& anchor = group.anchors[i];
      if (anchor.key != key || anchor.place > at - from) {
        continue;
      }
      const std::size_t start = at - anchor.place;
      const Pattern& pattern = *finders[anchor.pattern].pattern;
      if (start >= to || pattern.size > data.size() - start ||
          !matches_at(pattern, data.data() + start)) {
        continue;
      }
      if (count == found.size()) {
        return too_many_found;
      }
      found[count++] = {start, anchor.pattern};
    }
  }
  std::sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count),
            [](const FoundMatch& a, const FoundMatch& b) {
              return a.at != b.at ? a.at < b.at : a.pattern < b.pattern;
            });
  return count;
}

}  // namespace quarnel
