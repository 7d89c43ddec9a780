// The scans on x86-64: SSE2, which every such CPU has, and AVX2 where the
// CPU has it, found out at run time so that one binary runs on every x86-64.
#include <immintrin.h>

#include "search/find.h"

namespace quarnel {
namespace {

// Each vector scan tests a vector's width of positions at a time: the bytes
// at both chosen places, masked and compared; then the whole pattern where
// both hold. The loads end at last + place + width - 1, inside the data.

std::size_t scan_sse2(const Finder& finder, const std::uint8_t* data, std::size_t from,
                      std::size_t last) {
  const __m128i value0 = _mm_set1_epi8(static_cast<char>(finder.value[0]));
  const __m128i mask0 = _mm_set1_epi8(static_cast<char>(finder.mask[0]));
  const __m128i value1 = _mm_set1_epi8(static_cast<char>(finder.value[1]));
  const __m128i mask1 = _mm_set1_epi8(static_cast<char>(finder.mask[1]));
  const std::uint8_t* first = data + finder.place[0];
  const std::uint8_t* second = data + finder.place[1];
  std::size_t at = from;
  for (; at <= last && last - at >= 15; at += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + at));
    auto bits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(a, mask0), value0),
                                        _mm_cmpeq_epi8(_mm_and_si128(b, mask1), value1))));
    for (; bits != 0; bits &= bits - 1) {
      const std::size_t found = at + static_cast<std::size_t>(__builtin_ctz(bits));
      if (matches_at(*finder.pattern, data + found)) {
        return found;
      }
    }
  }
  return scan_portable(finder, data, at, last);
}

__attribute__((target("avx2"))) std::size_t scan_avx2(const Finder& finder,
                                                      const std::uint8_t* data, std::size_t from,
                                                      std::size_t last) {
  const __m256i value0 = _mm256_set1_epi8(static_cast<char>(finder.value[0]));
  const __m256i mask0 = _mm256_set1_epi8(static_cast<char>(finder.mask[0]));
  const __m256i value1 = _mm256_set1_epi8(static_cast<char>(finder.value[1]));
  const __m256i mask1 = _mm256_set1_epi8(static_cast<char>(finder.mask[1]));
  const std::uint8_t* first = data + finder.place[0];
  const std::uint8_t* second = data + finder.place[1];
  std::size_t at = from;
  for (; at <= last && last - at >= 31; at += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + at));
    auto bits = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_and_si256(a, mask0), value0),
                         _mm256_cmpeq_epi8(_mm256_and_si256(b, mask1), value1))));
    for (; bits != 0; bits &= bits - 1) {
      const std::size_t found = at + static_cast<std::size_t>(__builtin_ctz(bits));
      if (matches_at(*finder.pattern, data + found)) {
        return found;
      }
    }
  }
  return scan_portable(finder, data, at, last);
}

}  // namespace

constexpr PathTable<MatchScan> match_scans = path_table<MatchScan>(
    {{CpuPath::portable, scan_portable}, {CpuPath::sse2, scan_sse2}, {CpuPath::avx2, scan_avx2}});

}  // namespace quarnel
