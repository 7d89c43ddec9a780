// Vector readers of full dump lines for x86-64, chosen at run time. They
// accept exactly the lines that parse_full_line accepts and read the same
// address and bytes.
#include "undump/line_parse_x86.h"

#include <immintrin.h>

#include "undump/line_parse_plan.h"

namespace quarnel {
namespace {

__attribute__((target("ssse3"))) inline __m128i load16(const void* from) {
  return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

__attribute__((target("avx2"))) inline __m256i load32(const void* from) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(from));
}

// The two lanes of a vector, or-ed together.
__attribute__((target("avx2"))) inline __m128i fold(__m256i both) {
  return _mm_or_si128(_mm256_castsi256_si128(both), _mm256_extracti128_si256(both, 1));
}

// The address from the digit values of the first chunk, and the line's
// bytes from their gathered high and low digits; then whether nothing was
// out of place.
__attribute__((target("ssse3"))) inline bool finish(const LinePlan& plan, const char* text,
                                                    __m128i first_values, __m128i high, __m128i low,
                                                    __m128i bad, DumpLine& line) {
  // A line end in the character column would end the line early.
  if (plan.chars != 0) {
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(load16(text + plan.chars), _mm_set1_epi8('\n')));
  }
  // Nibbles of at most 15 shift within their byte.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(line.bytes.data()),
                   _mm_or_si128(_mm_slli_epi16(high, 4), low));
  const __m128i address_high = _mm_shuffle_epi8(
      first_values, _mm_setr_epi8(0, 2, 4, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  const __m128i address_low = _mm_shuffle_epi8(
      first_values, _mm_setr_epi8(1, 3, 5, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  line.address = __builtin_bswap32(static_cast<std::uint32_t>(
      _mm_cvtsi128_si32(_mm_or_si128(_mm_slli_epi16(address_high, 4), address_low))));
  line.count = 16;
  return _mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) == 0xFFFF &&
         (plan.last == 0 || text[plan.length - 1] == plan.last);
}

template <std::size_t layout>
__attribute__((target("ssse3"))) bool parse_ssse3(const char* text, DumpLine& line) {
  constexpr const LinePlan& line_plan = plans[layout];
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i zero = _mm_setzero_si128();
  __m128i bad = zero;
  __m128i high = zero;
  __m128i low = zero;
  __m128i first_values = zero;
  for (std::size_t at = 0; at < 64; at += 16) {
    const __m128i chars = load16(text + at);
    const __m128i upper = _mm_and_si128(_mm_srli_epi16(chars, 4), nibble);
    const __m128i lower = _mm_and_si128(chars, nibble);
    const __m128i digit_class = _mm_and_si128(_mm_shuffle_epi8(load16(class_by_high.data()), upper),
                                              _mm_shuffle_epi8(load16(class_by_low.data()), lower));
    const __m128i values =
        _mm_add_epi8(lower, _mm_shuffle_epi8(load16(value_by_high.data()), upper));
    bad = _mm_or_si128(bad, _mm_and_si128(_mm_cmpeq_epi8(digit_class, zero),
                                          load16(line_plan.digits.data() + at)));
    bad = _mm_or_si128(bad,
                       _mm_and_si128(_mm_xor_si128(chars, load16(line_plan.expected.data() + at)),
                                     load16(line_plan.fixed.data() + at)));
    high = _mm_or_si128(high, _mm_shuffle_epi8(values, load16(line_plan.high.data() + at)));
    low = _mm_or_si128(low, _mm_shuffle_epi8(values, load16(line_plan.low.data() + at)));
    first_values = at == 0 ? values : first_values;
  }
  return finish(line_plan, text, first_values, high, low, bad, line);
}

// Two chunks at a time, one in each 128-bit lane: every shuffle stays within
// its lane, so each lane does what the SSSE3 reader does for its chunk.
template <std::size_t layout>
__attribute__((target("avx2"))) bool parse_avx2(const char* text, DumpLine& line) {
  constexpr const LinePlan& line_plan = plans[layout];
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i zero = _mm256_setzero_si256();
  __m256i bad = zero;
  __m256i high = zero;
  __m256i low = zero;
  __m128i first_values = _mm_setzero_si128();
  for (std::size_t at = 0; at < 64; at += 32) {
    const __m256i chars = load32(text + at);
    const __m256i upper = _mm256_and_si256(_mm256_srli_epi16(chars, 4), nibble);
    const __m256i lower = _mm256_and_si256(chars, nibble);
    const __m256i digit_class =
        _mm256_and_si256(_mm256_shuffle_epi8(load32(class_by_high.data()), upper),
                         _mm256_shuffle_epi8(load32(class_by_low.data()), lower));
    const __m256i values =
        _mm256_add_epi8(lower, _mm256_shuffle_epi8(load32(value_by_high.data()), upper));
    bad = _mm256_or_si256(bad, _mm256_and_si256(_mm256_cmpeq_epi8(digit_class, zero),
                                                load32(line_plan.digits.data() + at)));
    bad = _mm256_or_si256(
        bad, _mm256_and_si256(_mm256_xor_si256(chars, load32(line_plan.expected.data() + at)),
                              load32(line_plan.fixed.data() + at)));
    high = _mm256_or_si256(high, _mm256_shuffle_epi8(values, load32(line_plan.high.data() + at)));
    low = _mm256_or_si256(low, _mm256_shuffle_epi8(values, load32(line_plan.low.data() + at)));
    first_values = at == 0 ? _mm256_castsi256_si128(values) : first_values;
  }
  return finish(line_plan, text, first_values, fold(high), fold(low), fold(bad), line);
}

}  // namespace

FullLineParser ssse3_parser(FullLayout layout) {
  static constexpr auto parsers =
      parsers_of([]<std::size_t layout>() -> FullLineParser { return parse_ssse3<layout>; });
  return parsers[static_cast<std::size_t>(layout)];
}

FullLineParser avx2_parser(FullLayout layout) {
  static constexpr auto parsers =
      parsers_of([]<std::size_t layout>() -> FullLineParser { return parse_avx2<layout>; });
  return parsers[static_cast<std::size_t>(layout)];
}

constexpr PathTable<FullLineReaders> full_line_readers =
    path_table<FullLineReaders>({{CpuPath::portable, portable_parser},
                                 {CpuPath::ssse3, ssse3_parser},
                                 {CpuPath::avx2, avx2_parser}});

}  // namespace quarnel
