#include "dump/line_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

std::string format_with(LineFormatter format, std::uint32_t address,
                        const std::vector<std::uint8_t>& data) {
  std::string out(data.size() / bytes_per_line * full_line_length, '\0');
  const char* end = format(out.data(), address, data);
  EXPECT_EQ(end, out.data() + out.size());
  EXPECT_EQ(address, static_cast<std::uint32_t>(0xFFFFFF00U + data.size() / 16 * 16));
  return out;
}

TEST(LineFormat, EveryPathMatchesThePortableOneForEveryByteAtEveryPosition) {
  // Line k holds (k + 17 i) at position i: over 256 lines every byte value
  // meets every position; the addresses wrap past FFFFFFFF on the way.
  std::vector<std::uint8_t> data;
  for (std::size_t line = 0; line < 256; ++line) {
    for (std::size_t i = 0; i < bytes_per_line; ++i) {
      data.push_back(static_cast<std::uint8_t>(line + 17 * i));
    }
  }
  for (const FormatPath path : {FormatPath::ssse3, FormatPath::avx2}) {
    const LineFormatter format = line_formatter(path);
    if (format == nullptr) {
      continue;
    }
    // Odd and even line counts, with a part line left over.
    for (const std::size_t lines : {0U, 1U, 2U, 3U, 255U, 256U}) {
      std::vector<std::uint8_t> part(data.begin(),
                                     data.begin() + static_cast<long>(lines * 16 + (lines % 16)));
      EXPECT_EQ(format_with(format, 0xFFFFFF00U, part),
                format_with(format_lines_portable, 0xFFFFFF00U, part))
          << static_cast<int>(path) << " with " << lines << " lines";
    }
  }
  EXPECT_EQ(line_formatter(FormatPath::portable), format_lines_portable);
}

TEST(LineFormat, LastLineIsTheFullLineCutShort) {
  const std::vector<std::uint8_t> bytes{0x00, 0x20, 0x41, 0x7E, 0x7F, 0x80, 0xFF, 0x1F,
                                        0x30, 0x2D, 0x2E, 0x5C, 0x0A, 0x09, 0x61, 0x7A};
  std::uint32_t address = 0x1234ABCD;
  std::string full(full_line_length, '\0');
  format_lines_portable(full.data(), address, bytes);
  for (std::size_t n = 0; n < bytes_per_line; ++n) {
    std::string last(full_line_length, '\0');
    const char* end = format_last_line(last.data(), 0x1234ABCD, std::span(bytes).first(n));
    last.resize(static_cast<std::size_t>(end - last.data()));
    // The groups from n on are blank; the character column keeps its place.
    std::string expected = full.substr(0, 10 + 3 * n) + std::string(50 - 3 * n, ' ') +
                           full.substr(char_column, n) + "\n";
    EXPECT_EQ(last, expected) << n;
  }
}

}  // namespace
}  // namespace quarnel
