// SSSE3 and AVX2 line formatters for x86-64, chosen at run time; the shipped
// binary makes no assumption about the CPU beyond x86-64 itself.
#include "dump/line_format_x86.h"

#include <immintrin.h>

#include <cstring>

namespace quarnel {
namespace {

using line_geometry::hex_column;

// The hex groups are written as three 16-byte stores, the characters as one.
static_assert(line_geometry::hex_width == 48 && bytes_per_line == 16);

// The 48 characters of the hex groups, built in three 16-byte chunks. Each
// chunk position takes a digit from the interleaved digits of bytes 0-7 (low)
// or 8-15 (high), or is a separator; 0x80 makes a shuffle write zero there.
struct ChunkPlan {
  std::array<std::uint8_t, 16> from_low;
  std::array<std::uint8_t, 16> from_high;
  std::array<char, 16> separators;
};

constexpr std::array<ChunkPlan, 3> chunk_plans = [] {
  std::array<ChunkPlan, 3> plans{};
  for (std::size_t chunk = 0; chunk < 3; ++chunk) {
    for (std::size_t i = 0; i < 16; ++i) {
      const std::size_t position = chunk * 16 + i;
      const std::size_t byte = position / line_geometry::byte_stride;
      const std::size_t digit = position % line_geometry::byte_stride;
      ChunkPlan& plan = plans[chunk];
      plan.from_low[i] = 0x80;
      plan.from_high[i] = 0x80;
      plan.separators[i] = 0;
      if (digit >= 2) {
        plan.separators[i] = line_geometry::separator(byte);
      } else if (byte < 8) {
        plan.from_low[i] = static_cast<std::uint8_t>(2 * byte + digit);
      } else {
        plan.from_high[i] = static_cast<std::uint8_t>(2 * (byte - 8) + digit);
      }
    }
  }
  return plans;
}();

// The address, two spaces, the two spaces before the character column and
// the line end: everything in a full line that is not a vector store.
template <LineEnd end>
void put_frame(char* out, std::uint32_t address) {
  put_address(out, address);
  std::memset(out + hex_column + line_geometry::hex_width, ' ',
              char_column - hex_column - line_geometry::hex_width);
  put_line_end<end>(out + line_text);
}

__attribute__((target("ssse3"))) __m128i load16(const void* from) {
  return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

__attribute__((target("avx2"))) __m256i broadcast16(const void* from) {
  return _mm256_broadcastsi128_si256(load16(from));
}

}  // namespace

template <LineEnd end>
__attribute__((target("ssse3"))) char* format_lines_ssse3(char* out, std::uint32_t& address,
                                                          std::span<const std::uint8_t> data) {
  const __m128i digits = load16(hex_digits.data());
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i below_space = _mm_set1_epi8(0x1F);
  const __m128i delete_char = _mm_set1_epi8(0x7F);
  const __m128i dot = _mm_set1_epi8('.');
  for (; data.size() >= bytes_per_line; data = data.subspan(bytes_per_line)) {
    const __m128i bytes = load16(data.data());
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, nibble));
    const __m128i pairs_low = _mm_unpacklo_epi8(high, low);
    const __m128i pairs_high = _mm_unpackhi_epi8(high, low);
    for (std::size_t chunk = 0; chunk < 3; ++chunk) {
      const ChunkPlan& plan = chunk_plans[chunk];
      const __m128i text =
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(pairs_low, load16(plan.from_low.data())),
                                    _mm_shuffle_epi8(pairs_high, load16(plan.from_high.data()))),
                       load16(plan.separators.data()));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + hex_column + 16 * chunk), text);
    }
    // Signed compares: bytes from 0x80 up are negative and so not printable.
    const __m128i printable =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, below_space), _mm_cmpgt_epi8(delete_char, bytes));
    const __m128i chars =
        _mm_or_si128(_mm_and_si128(printable, bytes), _mm_andnot_si128(printable, dot));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + char_column), chars);
    put_frame<end>(out, address);
    out += line_size(end);
    address += bytes_per_line;
  }
  return out;
}

template <LineEnd end>
__attribute__((target("avx2"))) char* format_lines_avx2(char* out, std::uint32_t& address,
                                                        std::span<const std::uint8_t> data) {
  constexpr std::size_t length = line_size(end);
  // Two lines at a time, one in each 128-bit lane: every shuffle stays
  // within its lane, so each lane is formatted as the SSSE3 path does.
  const __m256i digits = broadcast16(hex_digits.data());
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i below_space = _mm256_set1_epi8(0x1F);
  const __m256i delete_char = _mm256_set1_epi8(0x7F);
  const __m256i dot = _mm256_set1_epi8('.');
  for (; data.size() >= 2 * bytes_per_line; data = data.subspan(2 * bytes_per_line)) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data.data()));
    const __m256i high =
        _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
    const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(bytes, nibble));
    const __m256i pairs_low = _mm256_unpacklo_epi8(high, low);
    const __m256i pairs_high = _mm256_unpackhi_epi8(high, low);
    for (std::size_t chunk = 0; chunk < 3; ++chunk) {
      const ChunkPlan& plan = chunk_plans[chunk];
      const __m256i text = _mm256_or_si256(
          _mm256_or_si256(_mm256_shuffle_epi8(pairs_low, broadcast16(plan.from_low.data())),
                          _mm256_shuffle_epi8(pairs_high, broadcast16(plan.from_high.data()))),
          broadcast16(plan.separators.data()));
      char* at = out + hex_column + 16 * chunk;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm256_castsi256_si128(text));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at + length), _mm256_extracti128_si256(text, 1));
    }
    const __m256i printable = _mm256_and_si256(_mm256_cmpgt_epi8(bytes, below_space),
                                               _mm256_cmpgt_epi8(delete_char, bytes));
    const __m256i chars = _mm256_blendv_epi8(dot, bytes, printable);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + char_column), _mm256_castsi256_si128(chars));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + length + char_column),
                     _mm256_extracti128_si256(chars, 1));
    put_frame<end>(out, address);
    put_frame<end>(out + length, address + bytes_per_line);
    out += 2 * length;
    address += 2 * bytes_per_line;
  }
  return format_lines_ssse3<end>(out, address, data);
}

template char* format_lines_ssse3<LineEnd::lf>(char*, std::uint32_t&,
                                               std::span<const std::uint8_t>);
template char* format_lines_ssse3<LineEnd::crlf>(char*, std::uint32_t&,
                                                 std::span<const std::uint8_t>);
template char* format_lines_avx2<LineEnd::lf>(char*, std::uint32_t&, std::span<const std::uint8_t>);
template char* format_lines_avx2<LineEnd::crlf>(char*, std::uint32_t&,
                                                std::span<const std::uint8_t>);

constexpr PathTable<LineFormatter> formatters_lf =
    path_table<LineFormatter>({{CpuPath::portable, format_lines_portable<LineEnd::lf>},
                               {CpuPath::ssse3, format_lines_ssse3<LineEnd::lf>},
                               {CpuPath::avx2, format_lines_avx2<LineEnd::lf>}});
constexpr PathTable<LineFormatter> formatters_crlf =
    path_table<LineFormatter>({{CpuPath::portable, format_lines_portable<LineEnd::crlf>},
                               {CpuPath::ssse3, format_lines_ssse3<LineEnd::crlf>},
                               {CpuPath::avx2, format_lines_avx2<LineEnd::crlf>}});

}  // namespace quarnel
