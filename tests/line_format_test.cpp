#include "dump/line_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "dump/layout_fill.h"
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
  for (const CpuPath path : {CpuPath::portable, CpuPath::ssse3, CpuPath::avx2, CpuPath::neon}) {
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
  EXPECT_NE(line_formatter(CpuPath::portable), nullptr);
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

TEST(LayoutFill, EveryPathFillsEveryByteAtEveryPlaceOfEveryLayoutItTakes) {
  // Line k of 32 bytes holds (k + 17 i) at place i: over 256 lines every
  // byte value meets every place; 257 lines make an odd run. 32 more bytes
  // are there for the filler to read past the last line.
  std::vector<unsigned char> data;
  for (std::size_t i = 0; i < std::size_t{258} * 32; ++i) {
    data.push_back(static_cast<unsigned char>(i / 32 + 17 * (i % 32)));
  }
  const std::vector<LayoutSettings> layouts = {
      {},
      {.columns = 16, .group = 1, .upper = true},
      {.group = 8, .little_endian = true},
      {.columns = 32, .group = 4},
      {.columns = 32, .group = 0, .radix = AddressRadix::decimal},
      {.layout = WrittenLayout::xxd_plain, .columns = 16},
      {.layout = WrittenLayout::hexdump},
      {.layout = WrittenLayout::od, .columns = 32, .radix = AddressRadix::none},
      {.layout = WrittenLayout::cpp, .columns = 16, .name = "a"},
      {.layout = WrittenLayout::xxd_c, .name = "a"},
      {.layout = WrittenLayout::xxd_plain},
      {.columns = 17, .group = 3},
      {.columns = 1},
      {.layout = WrittenLayout::hex, .columns = 7},
  };
  std::size_t filled = 0;
  for (const LayoutSettings& settings : layouts) {
    WritePlan plan;
    plan_full_line(settings, plan);
    FillPlan fill;
    ASSERT_TRUE(make_fill_plan(plan, layout_columns(settings), settings.charset, fill));
    const std::size_t columns = layout_columns(settings);
    const std::size_t lines = (data.size() - 32) / columns;
    // Each line after its address, a byte at a time.
    std::string expected;
    const std::uint32_t first = 0xFFFFFFFF - static_cast<std::uint32_t>(lines * columns) + 1;
    for (std::size_t line = 0; line < lines; ++line) {
      std::array<char, 16> address{};
      std::snprintf(address.data(), address.size(), "%08x",
                    first + static_cast<std::uint32_t>(line * columns));
      std::string text(plan.size, '\0');
      EXPECT_EQ(fill_planned(plan, CharacterSet::ascii,
                             std::span(data).subspan(line * columns, columns), text.data()),
                plan.size);
      expected += address.data() + text;
    }
    for (const CpuPath path : {CpuPath::ssse3, CpuPath::avx2, CpuPath::neon}) {
      const LinesFiller filler = lines_filler(path, fill.blocks);
      if (filler == nullptr) {
        continue;
      }
      ++filled;
      for (const std::size_t count : {std::size_t{1}, std::size_t{2}, std::size_t{3}, lines}) {
        std::string out(lines * (plan.size + 8) + 16, '\0');
        out.resize(filler(fill, data.data(), count, true, first, out.data()));
        EXPECT_EQ(out, expected.substr(0, count * (plan.size + 8)))
            << "path " << static_cast<int>(path) << ", layout " << static_cast<int>(settings.layout)
            << ", " << count << " lines";
      }
    }
  }
  // A CPU with a filler fills with every one of its paths.
  if (fastest_lines_filler(1) != nullptr) {
    EXPECT_GE(filled, layouts.size());
  }
}

TEST(LayoutFill, LinesTheVectorsCannotFillAreFilledAByteAtATime) {
  struct Row {
    LayoutSettings settings;
    bool fills;
  };
  for (const Row& row : {Row{{.columns = 33}, false}, Row{{.bits = true}, false},
                         Row{{.charset = CharacterSet::ebcdic}, false}, Row{{.columns = 1}, true},
                         Row{{.columns = 32}, true}}) {
    WritePlan plan;
    plan_full_line(row.settings, plan);
    FillPlan fill;
    EXPECT_EQ(make_fill_plan(plan, layout_columns(row.settings), row.settings.charset, fill),
              row.fills);
  }
  for (const std::uint32_t address : {0U, 9U, 0xAU, 0x89ABCDEFU, 0xFFFFFFFFU, 0x10203040U}) {
    std::array<char, 8> digits{};
    put_hex_address(digits.data(), address);
    std::array<char, 16> expected{};
    std::snprintf(expected.data(), expected.size(), "%08x", address);
    EXPECT_EQ(std::string(digits.data(), 8), expected.data());
  }
}

}  // namespace
}  // namespace quarnel
