// The library's calls: the same lines as the program, however the data is
// cut, and dumps read back with the program's checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "quarnel/dump.h"
#include "quarnel/undump.h"
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
    EXPECT_EQ(dump_string(shown, address), program.out) << size << " from " << offset;
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

TEST(Library, AStreamGivesTheLinesOfTheWholeHoweverItIsCut) {
  const std::vector<std::uint8_t> data = random_bytes(50, 2);
  const std::string whole = dump_string(data, 0xFFFFFFE0);
  for (std::size_t first = 0; first <= data.size(); ++first) {
    for (std::size_t second = first; second <= data.size(); ++second) {
      StreamDump stream = start_stream_dump(0xFFFFFFE0);
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
      EXPECT_EQ(stream.address, 0xFFFFFFE0 + 50);
    }
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
    EXPECT_EQ(back.ok, cut >= dump.size() - 1) << cut;
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
    bool ok;
    std::size_t size;
    std::uint64_t line;
    std::string_view error;
  };
  const std::vector<Row> rows{
      {"\xEF\xBB\xBF\n" + dump + dump_string(data, 7, LineEnd::lf), 100, true, 80, 0, ""},
      // No line end after the last line; no line at all.
      {dump.substr(0, dump.size() - 2), 100, true, 40, 0, ""},
      {dump.substr(0, 78) + "00001240  " + dump.substr(88, 5), 100, false, 16, 2,
       "the dump ends inside a line"},
      {"\n", 0, true, 0, 0, ""},
      {dump.substr(0, 78) + "00001250  41\n", 100, false, 16, 2,
       "the address is not 16 past the line before: a line is lost or doubled"},
      {dump.substr(0, 78), 100, false, 16, 2,
       "the dump ends after a full line: its last line is missing"},
      {dump.substr(0, 78) + "0000124G\n", 100, false, 16, 2, "the address is not 8 hex digits"},
      {dump, 39, false, 32, 3, "the bytes do not fit in the space given for them"}};
  for (const Row& row : rows) {
    std::vector<std::uint8_t> out(row.room);
    const ReadBack back = read_dump(row.text, out);
    EXPECT_EQ(back.ok, row.ok) << row.text;
    EXPECT_EQ(back.size, row.size);
    EXPECT_EQ(back.address, row.text.size() > 1 ? 0x1230U : 0U);
    EXPECT_EQ(back.line, row.line);
    EXPECT_EQ(back.error, row.error);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(back.size),
                           twice.begin()));
  }
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
  EXPECT_TRUE(back.ok && back.size == many.size() &&
              std::equal(many.begin(), many.end(), out.begin()));
}

}  // namespace
}  // namespace quarnel
