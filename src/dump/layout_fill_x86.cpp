// The line fillers for x86-64: SSSE3's byte shuffle, and AVX2's, which
// fills two lines of up to 16 bytes at once, or the two halves of a longer
// one; found out at run time.
#include <immintrin.h>

#include "dump/layout_fill.h"

namespace quarnel {
namespace {

template <std::size_t Blocks>
__attribute__((target("ssse3"))) inline void fill_line(const FillPlan& fill,
                                                       const unsigned char* bytes, char* out) {
  const __m128i digits = _mm_loadu_si128(
      reinterpret_cast<const __m128i*>(fill.upper ? "0123456789ABCDEF" : "0123456789abcdef"));
  const __m128i nibble = _mm_set1_epi8(0x0F);
  __m128i sources[3 * Blocks];  // NOLINT: a vector type in std::array loses its alignment
  for (std::size_t block = 0; block < Blocks; ++block) {
    const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * block));
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(data, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(data, nibble));
    // Printable ASCII as itself, the rest (negative as signed) a dot.
    const __m128i shown = _mm_and_si128(_mm_cmpgt_epi8(data, _mm_set1_epi8(0x1F)),
                                        _mm_cmplt_epi8(data, _mm_set1_epi8(0x7F)));
    sources[3 * block] = _mm_unpacklo_epi8(high, low);
    sources[3 * block + 1] = _mm_unpackhi_epi8(high, low);
    sources[3 * block + 2] =
        _mm_or_si128(_mm_and_si128(shown, data), _mm_andnot_si128(shown, _mm_set1_epi8('.')));
  }
  for (std::size_t chunk = 0; chunk < fill.chunks; ++chunk) {
    __m128i line = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fill.text[chunk].data()));
    for (std::size_t source = 0; source < 3 * Blocks; ++source) {
      const __m128i picks =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(fill.picks[chunk][source].data()));
      line = _mm_or_si128(line, _mm_shuffle_epi8(sources[source], picks));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * chunk), line);
  }
}

template <std::size_t Blocks>
__attribute__((target("ssse3"))) std::size_t fill_ssse3(const FillPlan& fill,
                                                        const unsigned char* bytes,
                                                        std::size_t lines, bool addresses,
                                                        std::uint32_t address, char* out) {
  const FilledLines at = filled_lines(fill, addresses);
  for (std::size_t line = 0; line < lines; ++line) {
    fill_line<Blocks>(fill, bytes + fill.columns * line, out + at.size * line + at.before);
  }
  return end_filled_lines(at, out, lines, addresses, address, fill.columns);
}

// What the chunks pick from, for the 16 bytes in each lane: the hex digits
// of their first 8 and of their last 8, and their characters.
struct LaneSources {
  __m256i first_half;
  __m256i second_half;
  __m256i chars;
};

__attribute__((target("avx2"))) inline LaneSources lane_sources(__m256i data, bool upper) {
  const __m256i digits = _mm256_broadcastsi128_si256(_mm_loadu_si128(
      reinterpret_cast<const __m128i*>(upper ? "0123456789ABCDEF" : "0123456789abcdef")));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i high =
      _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(data, 4), nibble));
  const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(data, nibble));
  // Printable ASCII as itself, the rest (negative as signed) a dot.
  const __m256i shown = _mm256_and_si256(_mm256_cmpgt_epi8(data, _mm256_set1_epi8(0x1F)),
                                         _mm256_cmpgt_epi8(_mm256_set1_epi8(0x7F), data));
  return {_mm256_unpacklo_epi8(high, low), _mm256_unpackhi_epi8(high, low),
          _mm256_or_si256(_mm256_and_si256(shown, data),
                          _mm256_andnot_si256(shown, _mm256_set1_epi8('.')))};
}

// The same 16 bytes in both lanes.
__attribute__((target("avx2"))) inline __m256i both(const std::array<std::uint8_t, 16>& half) {
  return _mm256_broadcastsi128_si256(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(half.data())));
}

// Two lines of up to 16 bytes, one in each lane.
__attribute__((target("avx2"))) inline void fill_two_lines(const FillPlan& fill,
                                                           const unsigned char* bytes, char* first,
                                                           char* second) {
  const LaneSources sources = lane_sources(
      _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + fill.columns)), 1),
      fill.upper);
  // The last chunks first: the first line's last chunk runs into the
  // second line, whose first chunk must come after it.
  for (std::size_t chunk = fill.chunks; chunk-- > 0;) {
    const auto& picks = fill.picks[chunk];
    const __m256i line =
        _mm256_or_si256(_mm256_or_si256(both(fill.text[chunk]),
                                        _mm256_shuffle_epi8(sources.first_half, both(picks[0]))),
                        _mm256_or_si256(_mm256_shuffle_epi8(sources.second_half, both(picks[1])),
                                        _mm256_shuffle_epi8(sources.chars, both(picks[2]))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(first + 16 * chunk), _mm256_castsi256_si128(line));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(second + 16 * chunk),
                     _mm256_extracti128_si256(line, 1));
  }
}

__attribute__((target("avx2"))) std::size_t fill_avx2(const FillPlan& fill,
                                                      const unsigned char* bytes, std::size_t lines,
                                                      bool addresses, std::uint32_t address,
                                                      char* out) {
  const FilledLines at = filled_lines(fill, addresses);
  std::size_t line = 0;
  for (; line + 2 <= lines; line += 2) {
    char* first = out + at.size * line + at.before;
    fill_two_lines(fill, bytes + fill.columns * line, first, first + at.size);
  }
  if (line < lines) {
    fill_line<1>(fill, bytes + fill.columns * line, out + at.size * line + at.before);
  }
  return end_filled_lines(at, out, lines, addresses, address, fill.columns);
}

// A chunk's picks of one kind from the first block in the low lane, from
// the second in the high one.
__attribute__((target("avx2"))) inline __m256i lanes(
    const std::array<std::array<std::uint8_t, 16>, 3 * most_fill_blocks>& picks, std::size_t kind) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(picks[kind].data()))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(picks[3 + kind].data())), 1);
}

// A line of 17 to 32 bytes, its two blocks in the two lanes: each chunk
// picks from the first block in one lane and from the second in the other.
__attribute__((target("avx2"))) std::size_t fill_avx2_wide(const FillPlan& fill,
                                                           const unsigned char* bytes,
                                                           std::size_t lines, bool addresses,
                                                           std::uint32_t address, char* out) {
  const FilledLines at = filled_lines(fill, addresses);
  for (std::size_t line = 0; line < lines; ++line) {
    const LaneSources sources = lane_sources(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + fill.columns * line)),
        fill.upper);
    char* text = out + at.size * line + at.before;
    for (std::size_t chunk = 0; chunk < fill.chunks; ++chunk) {
      const auto& picks = fill.picks[chunk];
      const __m256i picked = _mm256_or_si256(
          _mm256_or_si256(_mm256_shuffle_epi8(sources.first_half, lanes(picks, 0)),
                          _mm256_shuffle_epi8(sources.second_half, lanes(picks, 1))),
          _mm256_shuffle_epi8(sources.chars, lanes(picks, 2)));
      const __m128i both_blocks =
          _mm_or_si128(_mm256_castsi256_si128(picked), _mm256_extracti128_si256(picked, 1));
      _mm_storeu_si128(
          reinterpret_cast<__m128i*>(text + 16 * chunk),
          _mm_or_si128(both_blocks,
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(fill.text[chunk].data()))));
    }
  }
  return end_filled_lines(at, out, lines, addresses, address, fill.columns);
}

constexpr Fillers ssse3_fillers{fill_ssse3<1>, fill_ssse3<2>};
constexpr Fillers avx2_fillers{fill_avx2, fill_avx2_wide};

}  // namespace

constexpr PathTable<const Fillers*> line_fillers =
    path_table<const Fillers*>({{CpuPath::ssse3, &ssse3_fillers}, {CpuPath::avx2, &avx2_fillers}});

}  // namespace quarnel
