// The library's calls: the same lines as the program, however the data is
// cut, and dumps read back with the program's checks.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "quarnel/dump.h"
#include "quarnel/undump.h"
#include "quarnel/version.h"
#include "quarnel/write_layout.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

std::vector<std::uint8_t> random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) {
    byte = static_cast<std::uint8_t>(random());
  }
  return bytes;
}

TEST(Library, FormatsWhatTheProgramWrites) {
  for (const auto& [size, offset] :
       {std::pair{0, 0}, {16, 0}, {1000, 7}, {4096, 4096}, {70000, 65537}, {100, -20}, {33, -16}}) {
    const std::vector<std::uint8_t> data = random_bytes(static_cast<std::size_t>(size), 1);
    std::array<char, 16> arg{};
    std::snprintf(arg.data(), arg.size(), "-x%X", static_cast<unsigned>(offset));
    const testing::Outcome program =
        testing::run_tool({arg.data()}, std::string(data.begin(), data.end()));
    const auto shown = std::span(data).subspan(static_cast<std::size_t>(std::max(offset, 0)));
    const auto address = static_cast<std::uint32_t>(offset);
    EXPECT_EQ(dump_string(shown, address, platform_line_end()), program.out)
        << size << " from " << offset;
    // The other line end: the same lines.
    const LineEnd other = platform_line_end() == LineEnd::lf ? LineEnd::crlf : LineEnd::lf;
    std::string text = dump_string(shown, address, LineEnd::crlf);
    ASSERT_EQ(text.size(), dump_size(shown.size(), LineEnd::crlf));
    std::erase(text, '\r');
    EXPECT_EQ(dump_string(shown, address, LineEnd::lf), text);
    // Too little room: nothing written.
    std::string small(dump_size(shown.size(), other) - 1, '?');
    EXPECT_EQ(format_dump(shown, address, small, other), 0U);
    EXPECT_EQ(small, std::string(small.size(), '?'));
  }
}

TEST(Library, TakesEveryKindOfByteAndGivesEveryForm) {
  const std::string text = "Hello, quarnel! \x01\xFF";
  const std::string expected = dump_string(std::string_view(text), 0x10);
  const std::vector<std::byte> bytes(reinterpret_cast<const std::byte*>(text.data()),
                                     reinterpret_cast<const std::byte*>(text.data()) + text.size());
  const std::vector<signed char> signed_chars(text.begin(), text.end());
  std::array<unsigned char, 18> array{};
  for (std::size_t i = 0; i < array.size(); ++i) {
    array[i] = static_cast<unsigned char>(text[i]);
  }
  for (const std::string& got :
       {dump_string(text, 0x10), dump_string(bytes, 0x10), dump_string(signed_chars, 0x10),
        dump_string(array, 0x10), dump_string(ByteView(text.c_str(), text.size()), 0x10),
        dump_string(std::span(array), 0x10)}) {
    EXPECT_EQ(got, expected);
  }
  // One string reused for every message, and any output iterator.
  std::string log = "received:\n";
  append_dump(log, text, 0x10);
  append_dump(log, text, 0x10);
  EXPECT_EQ(log, "received:\n" + expected + expected);
  std::vector<char> through;
  dump_to(std::back_inserter(through), text, 0x10);
  EXPECT_EQ(std::string(through.begin(), through.end()), expected);
  std::array<char, 200> buffer{};
  EXPECT_EQ(format_dump(text, 0x10, buffer), expected.size());
  EXPECT_EQ(std::string(buffer.data(), expected.size()), expected);
}

TEST(Library, SizesNeverWrap) {
  static_assert(dump_size(0) == 61 && dump_size(16, LineEnd::crlf) == 140);
  static_assert(dump_size(SIZE_MAX / 4) == SIZE_MAX && dump_size(SIZE_MAX) == SIZE_MAX);
  static_assert(dump_more_size(StreamDump(), SIZE_MAX) == SIZE_MAX);
  // A dump too big for size_t is written nowhere, whatever the buffer.
  std::array<char, 100> out{};
  EXPECT_EQ(format_dump(ByteView(out.data(), SIZE_MAX / 4), 0, out), 0U);
  EXPECT_EQ(version(), std::to_string(QUARNEL_VERSION_MAJOR) + "." +
                           std::to_string(QUARNEL_VERSION_MINOR) + "." +
                           std::to_string(QUARNEL_VERSION_PATCH));
}

TEST(Library, AReaderGivesEachDumpAtItsAddress) {
  // Two dumps, one after the other, read in pieces cut anywhere.
  const std::vector<std::uint8_t> data = random_bytes(20, 6);
  const std::string text = dump_string(data, 0x100) + dump_string(data, 0x1000);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    DumpReader reader;
    std::array<std::uint8_t, 64> out{};
    std::string pending;
    std::vector<std::pair<std::uint64_t, std::size_t>> runs;
    for (const std::string_view piece :
         {std::string_view(text).substr(0, cut), std::string_view(text).substr(cut)}) {
      pending += piece;
      const bool ends = piece.data() + piece.size() == text.data() + text.size();
      for (ReadStep step{ReadStop::jump}; step.stop == ReadStop::jump;) {
        step = reader.read(pending, out, ends);
        ASSERT_NE(step.stop, ReadStop::error) << cut;
        pending.erase(0, step.taken);
        // A run cut between pieces goes on where it stopped.
        if (!runs.empty() && runs.back().first + runs.back().second == step.address) {
          runs.back().second += step.size;
        } else if (step.size > 0) {
          runs.emplace_back(step.address, step.size);
        }
      }
    }
    EXPECT_EQ(reader.finish().error, ReadError::none);
    EXPECT_EQ(runs, (std::vector<std::pair<std::uint64_t, std::size_t>>{{0x100, 20}, {0x1000, 20}}))
        << cut;
  }
}

TEST(Library, AStreamGivesTheLinesOfTheWholeHoweverItIsCut) {
  const std::vector<std::uint8_t> data = random_bytes(50, 2);
  const std::string whole = dump_string(data, 0xFFFFFFE0, platform_line_end());
  for (std::size_t first = 0; first <= data.size(); ++first) {
    for (std::size_t second = first; second <= data.size(); ++second) {
      StreamDump stream(0xFFFFFFE0, platform_line_end());
      std::string text;
      for (const auto piece :
           {std::span(data).first(first), std::span(data).subspan(first, second - first),
            std::span(data).subspan(second)}) {
        std::string out(dump_more_size(stream, piece.size()), '\0');
        if (!out.empty()) {
          // Short of room, nothing is taken.
          ASSERT_FALSE(dump_more(stream, piece, std::span(out).first(out.size() - 1)));
        }
        const std::optional<std::size_t> written = dump_more(stream, piece, out);
        ASSERT_TRUE(written);
        text += out.substr(0, *written);
      }
      std::string last(finish_dump_size(stream), '\0');
      ASSERT_EQ(finish_dump(stream, std::span(last).first(last.size() - 1)), 0U);
      text += last.substr(0, finish_dump(stream, last));
      ASSERT_EQ(text, whole) << first << ", " << second;
      EXPECT_EQ(stream.address(), 0xFFFFFFE0 + 50);
    }
  }
  // A finished stream starts over after its last line.
  StreamDump stream(0, platform_line_end());
  std::string out(dump_more_size(stream, 20) + finish_dump_size(stream), '\0');
  for (int round = 0; round < 2; ++round) {
    const std::size_t lines = dump_more(stream, std::span(data).first(20), out).value_or(0);
    const std::size_t last = finish_dump(stream, std::span(out).subspan(lines));
    EXPECT_EQ(out.substr(0, lines + last),
              dump_string(std::span(data).first(20), 20U * static_cast<unsigned>(round),
                          platform_line_end()));
  }
}

TEST(Library, EveryCutOfADumpIsRefusedOrExact) {
  const std::vector<std::uint8_t> data = random_bytes(37, 5);
  const std::string dump = dump_string(data, 0, LineEnd::lf);
  std::vector<std::uint8_t> bytes(64);
  for (std::size_t cut = 1; cut <= dump.size(); ++cut) {
    // Held in a buffer of its own size: a read past its end is seen by the
    // address sanitizer.
    const std::vector<char> text(dump.begin(), dump.begin() + static_cast<std::ptrdiff_t>(cut));
    const ReadBack back = read_dump(std::string_view(text.data(), text.size()), bytes);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(back.size),
                           data.begin()))
        << cut;
    EXPECT_EQ(back.ok(), cut >= dump.size() - 1) << cut;
  }
}

TEST(Library, ATextThatReadsTwoWaysNamesBoth) {
  std::vector<std::uint8_t> out(16);
  const ReadBack back = read_dump("DEADBEEF\n", out);
  EXPECT_EQ(back.error, ReadError::ambiguous);
  EXPECT_EQ(back.readings[0], DumpReading::quarnel);
  EXPECT_EQ(back.readings[1], DumpReading::xxd_plain);
  for (int value = 0; value <= static_cast<int>(DumpReading::hex); ++value) {
    const auto reading = static_cast<DumpReading>(value);
    EXPECT_EQ(reading_named(reading_name(reading)), reading) << reading_name(reading);
  }
  EXPECT_EQ(reading_named("xxd-x"), DumpReading::any);
  EXPECT_EQ(reading_name(static_cast<DumpReading>(99)), "any");
}

TEST(Library, ASingleLineTellsItsLayoutAndItsBytes) {
  const std::string full =
      "00000010  42 79 74 65 73 20 00 01-7F FF 20 61 6E 64 20 6D   Bytes .... and m";
  struct Row {
    std::string line;
    DumpLayout layout;
  };
  for (const Row& row :
       {Row{full, DumpLayout::quarnel}, Row{"00000020  6F 72", DumpLayout::quarnel},
        Row{"00000020  6f 72" + std::string(45, ' ') + "|or|", DumpLayout::hexdump},
        Row{"00000010: 4279 7465  Byte", DumpLayout::xxd},
        Row{"0000020 42 79 74 65  >Byte<", DumpLayout::od}, Row{"*", DumpLayout::any},
        Row{"00000040", DumpLayout::any}, Row{"0000100", DumpLayout::any},
        Row{"no dump", DumpLayout::any}}) {
    EXPECT_EQ(line_layout(row.line), row.layout) << row.line;
  }
  DumpLine line;
  std::size_t column = 0;
  ASSERT_EQ(read_dump_line(full, line, column), ReadError::none);
  EXPECT_EQ(line.address, 0x10U);
  EXPECT_EQ(line.count, 16U);
  EXPECT_EQ(line.bytes[15], 0x6DU);
  EXPECT_EQ(read_dump_line("00000010  42 7G", line, column), ReadError::bad_hex_digit);
  EXPECT_EQ(column, 15U);
  EXPECT_EQ(reading_layout(DumpReading::xxd_e_d), DumpLayout::xxd);
  EXPECT_EQ(reading_layout(DumpReading::od_x), DumpLayout::od);
  EXPECT_EQ(reading_layout(DumpReading::any), DumpLayout::any);
  // xxd's addresses widen up to 16 digits.
  std::array<unsigned char, 4> bytes{};
  const ReadBack wide = read_dump("0000000000000010: 4142  AB\n", bytes);
  EXPECT_TRUE(wide.ok());
  EXPECT_EQ(wide.address, 0x10U);
  EXPECT_EQ(wide.size, 2U);
}

TEST(Library, AShortGroupAtTheRightOfItsPlaceIsReadAsXxdE) {
  // Bytes that show as dots fit either order; only -e puts a short last
  // group at the right of its place.
  std::array<std::uint8_t, 8> out{};
  const ReadBack back = read_dump("00000000: 03020100     0504                    ......\n", out);
  ASSERT_EQ(back.error, ReadError::none);
  ASSERT_EQ(back.size, 6U);
  EXPECT_EQ((std::array<std::uint8_t, 6>{0, 1, 2, 3, 4, 5}),
            (std::array<std::uint8_t, 6>{out[0], out[1], out[2], out[3], out[4], out[5]}));
}

TEST(Library, XxdGroupsStandAtTheFirstLinesPlaces) {
  // Nothing beside a short group, no blank group before another, and no
  // last line cut short.
  struct Row {
    std::string text;
    ReadError error;
    std::size_t column;
  };
  for (const Row& row :
       {Row{"00000000: 4142 4344  ABCD\n00000004: 41 2      A.\n", ReadError::bad_shape, 13},
        Row{"00000000: 4142 4344  ABCD\n00000004:      4344  CD\n", ReadError::bad_shape, 16},
        Row{"00000000: 4142 4344  ABCD\n00000004: 4546       E", ReadError::cut_short, 23},
        // Half a byte in a short last group.
        Row{"00000000: 4142 4344  ABCD\n00000004: 414        A.\n", ReadError::bad_hex_digit,
            14}}) {
    std::vector<std::uint8_t> out(100);
    const ReadBack back = read_dump(row.text, out);
    EXPECT_EQ(back.error, row.error) << row.text;
    EXPECT_EQ(back.size, 4U) << row.text;
    EXPECT_EQ(back.line, 2U) << row.text;
    EXPECT_EQ(back.column, row.column) << row.text;
  }
}

TEST(Library, ReadsDumpsBackWithTheProgramsChecks) {
  const std::vector<std::uint8_t> data = random_bytes(40, 3);
  const std::string dump = dump_string(data, 0x1230, LineEnd::crlf);
  std::vector<std::uint8_t> twice = data;
  twice.insert(twice.end(), data.begin(), data.end());
  struct Row {
    std::string text;
    std::size_t room;
    ReadError error;
    std::size_t size;
    std::uint64_t line;
    std::size_t column;
    std::uint64_t address = 0x1230;
  };
  const std::vector<Row> rows{
      {"\xEF\xBB\xBF\n" + dump + dump_string(data, 7), 100, ReadError::none, 80, 0, 0},
      // No line end after the last line; a line cut there; no line at all.
      {dump.substr(0, dump.size() - 2), 100, ReadError::none, 40, 0, 0},
      {dump.substr(0, 78) + "00001240  " + dump.substr(88, 5), 100, ReadError::cut_short, 16, 2,
       16},
      {"\n", 0, ReadError::no_dump, 0, 0, 0, 0},
      // The other layouts say where a line is wrong too.
      {"00001230  41 4g" + std::string(45, ' ') + "|A.|\n", 100, ReadError::bad_hex_digit, 0, 1,
       15},
      {"0011060 41 4g\n", 100, ReadError::bad_hex_digit, 0, 1, 13},
      {"  0x41, 0x42,0x43\n", 100, ReadError::bad_c_array, 0, 1, 14, 0},
      {dump.substr(0, 78) + "00001250  41\n", 100, ReadError::out_of_sequence, 16, 2, 1},
      {dump.substr(0, 78), 100, ReadError::unfinished, 16, 2, 0},
      {dump.substr(0, 78) + "0000124G\n", 100, ReadError::bad_address, 16, 2, 8},
      {dump.substr(0, 78) + "00001240  41 4X\n", 100, ReadError::bad_hex_digit, 16, 2, 15},
      {dump, 39, ReadError::no_room, 32, 3, 0},
      // Saved as UTF-16, as PowerShell and Notepad save text.
      {"\xFF\xFE" +
           [&] {
             std::string wide;
             for (const char c : dump) {
               wide += {c, '\0'};
             }
             return wide;
           }(),
       100, ReadError::none, 40, 0, 0}};
  for (const Row& row : rows) {
    std::vector<std::uint8_t> out(row.room);
    const ReadBack back = read_dump(row.text, out);
    EXPECT_EQ(back.error, row.error) << row.text;
    EXPECT_EQ(back.size, row.size);
    EXPECT_EQ(back.address, back.size > 0 ? row.address : back.address);
    EXPECT_EQ(back.line, row.line);
    EXPECT_EQ(back.column, row.column);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(back.size),
                           twice.begin()));
  }
  EXPECT_EQ(message(ReadError::no_room), "the bytes do not fit in the space given for them");
  // The densest text, full lines without their character columns, fits the
  // room read_dump_size gives.
  const std::vector<std::uint8_t> many = random_bytes(16000, 4);
  const std::string full = dump_string(many, 0, LineEnd::lf);
  std::string dense;
  for (std::size_t at = 0; at + 77 < full.size(); at += 77) {
    dense += full.substr(at, 57) + "\n";
  }
  dense += "00003E80\n";
  std::vector<std::uint8_t> out(read_dump_size(dense.size()));
  const ReadBack back = read_dump(dense, out);
  EXPECT_TRUE(back.ok() && back.size == many.size() &&
              std::equal(many.begin(), many.end(), out.begin()));
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// A layout written whole, or in pieces of one size.
std::string written(const LayoutSettings& settings, std::string_view data, std::size_t piece) {
  LayoutStream stream(settings);
  std::string text;
  std::vector<char> room(64 * layout_line_size(settings) +
                         (data.size() + 2) * layout_line_size(settings));
  for (std::size_t at = 0; at < data.size() || at == 0; at += piece) {
    const std::string_view part = data.substr(std::min(at, data.size()), piece);
    const std::optional<std::size_t> size = layout_more(stream, part, room);
    EXPECT_TRUE(size.has_value());
    text.append(room.data(), size.value_or(0));
    if (data.empty()) {
      break;
    }
  }
  text.append(room.data(), finish_layout(stream, room));
  return text;
}

TEST(Library, ALayoutIsTheSameHoweverTheBytesAreCut) {
  std::string data(300, '\0');
  for (std::size_t i = 0; i < 150; ++i) {
    data[i] = static_cast<char>(i * 7);
  }
  LayoutSettings xxd;
  LayoutSettings squeezed{.squeeze = true};
  LayoutSettings array{.layout = WrittenLayout::xxd_c, .name = "data/9.bin"};
  LayoutSettings od{
      .layout = WrittenLayout::od, .columns = 7, .radix = AddressRadix::decimal, .squeeze = true};
  LayoutSettings hexdump{.layout = WrittenLayout::hexdump, .squeeze = true};
  LayoutSettings latin1{.charset = CharacterSet::latin1};
  LayoutSettings rust{.layout = WrittenLayout::rust, .name = "data", .length = 300};
  // Lines longer than a line held, written in pieces.
  LayoutSettings long_plain{.layout = WrittenLayout::xxd_plain, .columns = 257, .color = true};
  LayoutSettings one_line{.layout = WrittenLayout::xxd_plain, .columns = whole_line};
  LayoutSettings long_array{.layout = WrittenLayout::xxd_c, .columns = 299, .name = "d"};
  for (const LayoutSettings& settings :
       {xxd, squeezed, array, od, hexdump, latin1, rust, long_plain, one_line, long_array}) {
    const std::string whole = written(settings, data, data.size());
    for (const std::size_t piece : {1U, 5U, 16U, 17U, 100U}) {
      EXPECT_EQ(written(settings, data, piece), whole) << piece;
    }
  }
  std::string hex;
  for (const char byte : data) {
    constexpr std::string_view digits = "0123456789abcdef";
    hex += digits[static_cast<unsigned char>(byte) >> 4];
    hex += digits[static_cast<unsigned char>(byte) & 15];
  }
  EXPECT_EQ(written(one_line, data, 7), hex + "\n");
  EXPECT_EQ(written(one_line, "", 1), "\n");
  const std::string array_text = written(long_array, data, 300);
  EXPECT_EQ(array_text.substr(0, 26), "unsigned char d[] = {\n  0x");
  EXPECT_EQ(array_text.substr(array_text.find("0x00, 0x00,\n  0x00\n};")),
            "0x00, 0x00,\n  0x00\n};\nunsigned int d_len = 300;\n");
  EXPECT_EQ(written(array, "", 1),
            "unsigned char data_9_bin[] = {\n};\nunsigned int data_9_bin_len = 0;\n");
  EXPECT_EQ(
      written(LayoutSettings{.layout = WrittenLayout::od, .radix = AddressRadix::octal}, "", 1),
      "0000000\n");
}

TEST(Library, TheCharacterColumnShowsTheBytesInTheSetChosen) {
  const std::string data = "A\xA0\xA1\xAD\xE9\xFF\x81\xC1\x7F";
  struct Row {
    LayoutSettings settings;
    std::string text;
  };
  for (const Row& row : {
           Row{{.columns = 9}, "00000000: 41a0 a1ad e9ff 81c1 7f  A........\n"},
           Row{{.columns = 9, .charset = CharacterSet::latin1},
               "00000000: 41a0 a1ad e9ff 81c1 7f  A.\xC2\xA1.\xC3\xA9\xC3\xBF.\xC3\x81.\n"},
           Row{{.columns = 9, .charset = CharacterSet::ebcdic},
               "00000000: 41a0 a1ad e9ff 81c1 7f  ...[Z.aA\"\n"},
           Row{{.layout = WrittenLayout::hexdump, .charset = CharacterSet::latin1},
               "00000000  41 a0 a1 ad e9 ff 81 c1  7f" + std::string(23, ' ') +
                   "|A.\xC2\xA1.\xC3\xA9\xC3\xBF.\xC3\x81.|\n00000009\n"},
       }) {
    EXPECT_EQ(written(row.settings, data, 4), row.text);
  }
  // Colours on every line, however many a piece holds.
  const LayoutSettings colored{.layout = WrittenLayout::hex, .columns = 2, .color = true};
  std::string bytes;
  std::string lines;
  for (int k = 0; k < 10; ++k) {
    bytes += std::string("A\0\xFF\n", 4);
    lines += "\x1b[36m41 \x1b[90m00\x1b[0m\n\x1b[33mff \x1b[32m0a\x1b[0m\n";
  }
  for (const std::size_t piece : {1U, 40U}) {
    EXPECT_EQ(written(colored, bytes, piece), lines);
  }
}

TEST(Library, AnArrayHoldsTheBytesItsTypeNames) {
  const LayoutSettings cpp{.layout = WrittenLayout::cpp, .columns = 2, .name = "a", .length = 3};
  const std::string header = "#pragma once\n#include <array>\n#include <cstdint>\n\n";
  EXPECT_EQ(written(cpp, "ABCD", 1), header +
                                         "inline constexpr std::array<std::uint8_t, 3> a{\n"
                                         "  0x41, 0x42,\n  0x43,\n};\n");
  // Fewer bytes than it names: no closing, so that it cannot compile.
  EXPECT_EQ(written(cpp, "AB", 1), header +
                                       "inline constexpr std::array<std::uint8_t, 3> a{\n"
                                       "  0x41, 0x42,\n");
  const LayoutSettings rust{.layout = WrittenLayout::rust, .name = "9 lives", .length = 0};
  EXPECT_EQ(written(rust, "", 1), "pub static __9_lives: [u8; 0] = [\n];\n");
}

TEST(Library, ALayoutThatCannotBeWrittenIsNamed) {
  struct Row {
    LayoutSettings settings;
    LayoutError error;
  };
  for (const Row& row : {
           Row{{.columns = 257}, LayoutError::columns},
           Row{{.layout = WrittenLayout::xxd_plain, .columns = whole_line}, LayoutError::none},
           Row{{.layout = WrittenLayout::xxd_c, .columns = whole_line}, LayoutError::columns},
           Row{{.layout = WrittenLayout::od, .columns = 257}, LayoutError::columns},
           Row{{.layout = WrittenLayout::hexdump, .columns = 8}, LayoutError::columns},
           Row{{.group = 3, .little_endian = true}, LayoutError::group},
           Row{{.layout = WrittenLayout::od, .group = 2}, LayoutError::group},
           Row{{.little_endian = true, .bits = true}, LayoutError::combination},
           Row{{.layout = WrittenLayout::xxd_plain, .upper = true}, LayoutError::combination},
           Row{{.radix = AddressRadix::octal}, LayoutError::combination},
           Row{{.layout = WrittenLayout::xxd_c, .name = "9lives", .name_as_is = true},
               LayoutError::name},
           Row{{.layout = WrittenLayout::xxd_c, .name = "9lives"}, LayoutError::none},
           Row{{.layout = WrittenLayout::xxd_c, .name = "int", .name_as_is = true},
               LayoutError::none},
           Row{{.layout = WrittenLayout::cpp, .name = "int", .name_as_is = true},
               LayoutError::name},
           Row{{.layout = WrittenLayout::cpp, .name = "char8_t"}, LayoutError::name},
           Row{{.layout = WrittenLayout::cpp, .name = "fn"}, LayoutError::none},
           Row{{.layout = WrittenLayout::rust, .name = "fn"}, LayoutError::name},
           Row{{.layout = WrittenLayout::rust, .name = "_"}, LayoutError::name},
           Row{{.layout = WrittenLayout::rust, .name = "Self", .name_as_is = true},
               LayoutError::name},
           Row{{.layout = WrittenLayout::rust}, LayoutError::name},
           Row{{.layout = WrittenLayout::rust,
           .name = std::string_view("a/b/c/d/e/f/g/h/i/j/"
                                    "k/l/m/n/o/p/q/r/s/t/u")},
               LayoutError::none},
           Row{{.layout = WrittenLayout::xxd_plain, .charset = CharacterSet::latin1},
               LayoutError::combination},
       }) {
    EXPECT_EQ(check_layout(row.settings), row.error) << message(row.error);
    if (row.error != LayoutError::none) {
      LayoutStream stream(row.settings);
      std::array<char, 1 << 16> room{};
      EXPECT_EQ(layout_more(stream, std::string_view("abc"), room), std::size_t{0});
      EXPECT_EQ(finish_layout(stream, room), 0U);
    }
  }
  // Too little room: nothing is taken.
  LayoutStream stream(LayoutSettings{});
  std::array<char, 100> small{};
  EXPECT_FALSE(layout_more(stream, std::string_view("abc"), small).has_value());
  EXPECT_EQ(stream.taken(), 0U);
}

}  // namespace
}  // namespace quarnel
