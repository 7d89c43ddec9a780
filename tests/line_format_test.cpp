#include "dump/line_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/simple_dump.h"

namespace quarnel {
namespace {

TEST(LineFormat, EveryPathFormatsEveryByteAtEveryPositionAndEveryLastLine) {
  // Line k holds (k + 17 i) at position i: over 256 lines every byte value
  // meets every position, and the addresses wrap past FFFFFFFF on the way.
  std::vector<std::uint8_t> data;
  for (std::size_t i = 0; i < 257 * bytes_per_line; ++i) {
    data.push_back(static_cast<std::uint8_t>(i / 16 + 17 * (i % 16)));
  }
  // Odd and even numbers of full lines, each followed by every last-line length.
  std::vector<std::size_t> sizes;
  for (std::size_t size = 0; size < 48; ++size) {
    sizes.insert(sizes.end(), {size, 4096 + size % 16});
  }
  for (const FormatPath path :
       {FormatPath::portable, FormatPath::ssse3, FormatPath::avx2, FormatPath::neon}) {
    const LineFormatter format = line_formatter(path);
    for (const std::size_t size : format != nullptr ? sizes : std::vector<std::size_t>{}) {
      const std::span<const std::uint8_t> shown = std::span(data).first(size);
      const std::size_t whole = size / bytes_per_line * bytes_per_line;
      std::string out(size / bytes_per_line * full_line_length + full_line_length, '\0');
      std::uint32_t address = 0xFFFFFF00;
      char* end = format(out.data(), address, shown.first(whole));
      end = format_last_line(end, address, shown.subspan(whole));
      out.resize(static_cast<std::size_t>(end - out.data()));
      EXPECT_EQ(out, testing::simple_dump(shown, 0xFFFFFF00))
          << "path " << static_cast<int>(path) << ", " << size << " bytes";
    }
  }
  EXPECT_NE(line_formatter(FormatPath::portable), nullptr);
}

}  // namespace
}  // namespace quarnel
