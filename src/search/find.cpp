// search/: quarnel-grep's patterns, finding them, and the lines it shows.
#include "search/find.h"

namespace quarnel {
namespace {

// How common each byte value is in files, from 0 (the rarest) to 255 (the
// most common): the order of the values by their counts over this
// project's build machine's programs, libraries, headers, documents and
// images.
constexpr std::array<std::uint8_t, 256> byte_rank{
    255, 245, 218, 210, 217, 212, 174, 193, 238, 185, 216, 122, 146, 176, 207, 250, 223, 147, 196,
    94,  130, 131, 79,  62,  206, 64,  57,  51,  90,  54,  63,  213, 252, 92,  125, 111, 246, 162,
    39,  104, 205, 188, 180, 77,  164, 168, 198, 163, 199, 224, 154, 115, 150, 169, 103, 100, 177,
    190, 109, 129, 171, 139, 117, 93,  202, 244, 184, 194, 234, 229, 155, 159, 254, 227, 80,  132,
    237, 195, 201, 167, 208, 161, 179, 211, 214, 182, 127, 134, 152, 97,  156, 142, 157, 160, 85,
    230, 135, 239, 183, 225, 226, 248, 236, 200, 209, 243, 89,  128, 228, 203, 241, 235, 215, 65,
    242, 233, 249, 222, 181, 140, 186, 178, 75,  112, 170, 110, 70,  88,  192, 98,  33,  231, 221,
    220, 73,  58,  126, 251, 22,  247, 86,  232, 52,  45,  175, 18,  17,  27,  66,  31,  14,  13,
    82,  16,  7,   1,   28,  11,  10,  9,   108, 2,   0,   53,  41,  6,   4,   3,   84,  8,   21,
    20,  38,  15,  5,   36,  105, 19,  12,  25,  56,  24,  121, 61,  119, 71,  123, 47,  95,  50,
    143, 99,  219, 165, 118, 189, 138, 102, 141, 191, 114, 106, 55,  23,  42,  34,  37,  29,  172,
    72,  124, 59,  43,  48,  76,  35,  107, 44,  46,  87,  30,  26,  68,  153, 148, 60,  83,  32,
    67,  40,  81,  101, 240, 204, 78,  151, 113, 91,  96,  158, 166, 49,  136, 120, 69,  74,  144,
    133, 187, 116, 137, 145, 149, 173, 197, 253,
};

}  // namespace

unsigned commonness(std::uint8_t value, std::uint8_t mask) {
  if (mask == 0xFF) {
    return byte_rank[value];
  }
  if (mask == 0) {
    return 1U << 16;
  }
  unsigned total = 0;
  for (unsigned b = 0; b < 256; ++b) {
    if ((b & mask) == value) {
      total += byte_rank[b];
    }
  }
  return total;
}

std::size_t scan_portable(const Finder& finder, const std::uint8_t* data, std::size_t from,
                          std::size_t last) {
  const auto [first, second] = finder.place;
  for (std::size_t at = from; at <= last; ++at) {
    if (finder.mask[0] == 0xFF) {
      // The first place's byte, found as the C library finds a byte.
      const void* found = std::memchr(data + at + first, finder.value[0], last - at + 1);
      if (found == nullptr) {
        break;
      }
      at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data) - first;
    } else if ((data[at + first] & finder.mask[0]) != finder.value[0]) {
      continue;
    }
    if ((data[at + second] & finder.mask[1]) == finder.value[1] &&
        matches_at(*finder.pattern, data + at)) {
      return at;
    }
  }
  return last + 1;
}

Finder prepare_finder(const Pattern& pattern, CpuPath path) {
  Finder finder{.pattern = &pattern, .scan = match_scan(path)};
  std::array<unsigned, 2> best{~0U, ~0U};
  for (std::size_t k = 0; k < pattern.size; ++k) {
    const unsigned common = commonness(pattern.value[k], pattern.mask[k]);
    if (common < best[0]) {
      best[1] = best[0];
      finder.place[1] = finder.place[0];
      best[0] = common;
      finder.place[0] = k;
    } else if (common < best[1]) {
      best[1] = common;
      finder.place[1] = k;
    }
  }
  for (std::size_t i = 0; i < 2; ++i) {
    finder.value[i] = pattern.value[finder.place[i]];
    finder.mask[i] = pattern.mask[finder.place[i]];
  }
  return finder;
}

Finder prepare_finder(const Pattern& pattern) {
  return prepare_finder(pattern, fastest_find_path());
}

MatchScan match_scan(CpuPath path) { return on_this_cpu(match_scans, path); }

CpuPath fastest_find_path() {
  return fastest_path([](CpuPath path) { return match_scan(path) != nullptr; });
}

}  // namespace quarnel
