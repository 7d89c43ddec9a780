// An SSSE3 reader of full dump lines for x86-64, chosen at run time. It
// accepts exactly the lines that parse_full_line accepts and reads the same
// address and bytes.
#include <immintrin.h>

#include "undump/line_parse_x86.h"

namespace quarnel {
namespace {

// The first 64 characters of a full line, in four 16-byte chunks: which
// positions hold hex digits, which hold blanks or separators, and where each
// byte's high and low digit lie (0x80 where a chunk holds neither).
struct ChunkPlan {
  std::array<char, 16> expected;  // the blank or separator, else 0
  int digits = 0;                 // bit i: position i holds a hex digit
  int fixed = 0;                  // bit i: position i holds expected[i]
  std::array<std::uint8_t, 16> high{};
  std::array<std::uint8_t, 16> low{};
};

constexpr std::array<ChunkPlan, 4> chunk_plans = [] {
  std::array<ChunkPlan, 4> plans{};
  for (ChunkPlan& plan : plans) {
    plan.high.fill(0x80);
    plan.low.fill(0x80);
  }
  for (std::size_t position = 0; position < 64; ++position) {
    ChunkPlan& plan = plans[position / 16];
    const std::size_t lane = position % 16;
    const bool in_groups = position >= 10 && position < 58;
    const std::size_t group = (position - 10) / 3;
    if (position < 8 || (in_groups && (position - 10) % 3 < 2)) {
      plan.digits |= 1 << lane;
      if (in_groups) {
        ((position - 10) % 3 == 0 ? plan.high : plan.low)[group] = static_cast<std::uint8_t>(lane);
      }
    } else if (position < 60) {
      plan.fixed |= 1 << lane;
      plan.expected[lane] = position == 33 ? '-' : ' ';
    }
  }
  return plans;
}();

__attribute__((target("ssse3"))) __m128i load16(const void* from) {
  return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

}  // namespace

__attribute__((target("ssse3"))) bool parse_full_line_ssse3(const char* text, DumpLine& line) {
  const __m128i zero_char = _mm_set1_epi8('0');
  const __m128i a_char = _mm_set1_epi8('a');
  const __m128i lower_case = _mm_set1_epi8(0x20);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i five = _mm_set1_epi8(5);
  const __m128i ten = _mm_set1_epi8(10);
  __m128i high = _mm_setzero_si128();
  __m128i low = _mm_setzero_si128();
  __m128i address_nibbles = _mm_setzero_si128();
  bool well_formed = true;
  for (std::size_t chunk = 0; chunk < 4; ++chunk) {
    const ChunkPlan& plan = chunk_plans[chunk];
    const __m128i chars = load16(text + 16 * chunk);
    // Unsigned "at most": a value equals its minimum with the bound.
    const __m128i decimal = _mm_sub_epi8(chars, zero_char);
    const __m128i is_decimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, nine), decimal);
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, lower_case), a_char);
    const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, five), letter);
    const __m128i values = _mm_or_si128(_mm_and_si128(is_decimal, decimal),
                                        _mm_and_si128(is_letter, _mm_add_epi8(letter, ten)));
    const int digits = _mm_movemask_epi8(_mm_or_si128(is_decimal, is_letter));
    const int fixed = _mm_movemask_epi8(_mm_cmpeq_epi8(chars, load16(plan.expected.data())));
    well_formed =
        well_formed && (digits & plan.digits) == plan.digits && (fixed & plan.fixed) == plan.fixed;
    high = _mm_or_si128(high, _mm_shuffle_epi8(values, load16(plan.high.data())));
    low = _mm_or_si128(low, _mm_shuffle_epi8(values, load16(plan.low.data())));
    if (chunk == 0) {
      address_nibbles = values;
    }
  }
  // Nibbles of at most 15 shift within their byte.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(line.bytes.data()),
                   _mm_or_si128(_mm_slli_epi16(high, 4), low));
  const __m128i address_high = _mm_shuffle_epi8(
      address_nibbles, _mm_setr_epi8(0, 2, 4, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  const __m128i address_low = _mm_shuffle_epi8(
      address_nibbles, _mm_setr_epi8(1, 3, 5, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
  const auto first_bytes = static_cast<std::uint32_t>(
      _mm_cvtsi128_si32(_mm_or_si128(_mm_slli_epi16(address_high, 4), address_low)));
  line.address = __builtin_bswap32(first_bytes);
  line.count = 16;
  return well_formed;
}

}  // namespace quarnel
