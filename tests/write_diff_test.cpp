#include "diff/write_diff.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/simple_dump.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using namespace testing;

const std::string eol(line_end);

// The bytes 0, 1, 2, ... of size, with the bytes at the places changed.
std::string bytes_of(std::size_t size, std::initializer_list<std::size_t> changed = {}) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) {
    bytes.push_back(static_cast<char>(i * 7 % 251));
  }
  for (const std::size_t at : changed) {
    bytes[at] = static_cast<char>(~bytes[at]);
  }
  return bytes;
}

// Line i of the dump of bytes, without its line end.
std::string dump_line(const std::string& bytes, std::size_t i) {
  const std::string dump =
      simple_dump({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 0);
  std::istringstream lines(dump);
  std::string line;
  for (std::size_t k = 0; k <= i; ++k) {
    std::getline(lines, line);
  }
  return line.substr(0, line.find('\r'));
}

struct Compared {
  DiffResult result;
  std::string text;
};

Compared compare(const std::string& before, const std::string& after, std::uint64_t context,
                 bool color = false, bool same_offsets = false) {
  const int old_file = memory_file(before);
  const int new_file = memory_file(after);
  const int out_file = memory_file("");
  auto out = std::make_unique<OutputWriter>();
  out->fd = out_file;
  const DiffOutcome outcome =
      write_dump_diff({old_file, before.size(), "a", "T"}, {new_file, after.size(), "b", "T"},
                      {.context = context, .color = color, .same_offsets = same_offsets}, *out);
  Compared compared{outcome.result, contents(out_file)};
  for (const int fd : {old_file, new_file, out_file}) {
    close_handle(fd);
  }
  return compared;
}

// A diff line for the bytes of side at address, size of them.
std::string line_at(const std::string& side, std::size_t address, std::size_t size) {
  const std::string dump =
      simple_dump({reinterpret_cast<const std::uint8_t*>(side.data()) + address, size},
                  static_cast<std::uint32_t>(address));
  return dump.substr(0, dump.find_first_of("\r\n"));
}

// A hunk's lines: "@@ ..." as it stands; otherwise a mark, then O or N for
// the old or new dump and the line's number there, or the address in hex
// and, after "+", how many bytes the line shows.
std::string expected_text(const std::string& before, const std::string& after,
                          const std::vector<std::string>& lines) {
  if (lines.empty()) {
    return "";
  }
  std::string text = with_line_ends("--- a\tT\n+++ b\tT\n");
  for (const std::string& line : lines) {
    if (line.starts_with("@@")) {
      text += with_line_ends(line + "\n");
      continue;
    }
    const std::string& side = line[1] == 'O' ? before : after;
    const std::size_t plus = line.find('+', 1);
    if (plus == std::string::npos) {
      text += line.substr(0, 1) + dump_line(side, std::stoul(line.substr(2))) + eol;
      continue;
    }
    const std::size_t address = std::stoul(line.substr(2, plus - 2), nullptr, 16);
    text += line.substr(0, 1) + line_at(side, address, std::stoul(line.substr(plus + 1))) + eol;
  }
  return text;
}

struct DiffCase {
  const char* name;
  std::string before;
  std::string after;
  std::uint64_t context;
  DiffResult result;
  std::vector<std::string> lines;
};

void PrintTo(const DiffCase& c, std::ostream* os) { *os << c.name; }

class WriteDiff : public ::testing::TestWithParam<DiffCase> {};

TEST_P(WriteDiff, HunksAreThoseOfTheDumps) {
  const DiffCase& c = GetParam();
  const Compared got = compare(c.before, c.after, c.context);
  EXPECT_EQ(got.result, c.result);
  EXPECT_EQ(got.text, expected_text(c.before, c.after, c.lines));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, WriteDiff,
    ::testing::Values(
        DiffCase{"Same", bytes_of(40), bytes_of(40), 3, DiffResult::same, {}},
        DiffCase{"BothEmpty", "", "", 3, DiffResult::same, {}},
        DiffCase{"OneByteInTheMiddle",
                 bytes_of(100),
                 bytes_of(100, {50}),
                 3,
                 DiffResult::differ,
                 {"@@ -1,7 +1,7 @@", " O0", " O1", " O2", "-O3", "+N3", " O4", " O5", " O6"}},
        DiffCase{"NoContext",
                 bytes_of(100),
                 bytes_of(100, {17}),
                 0,
                 DiffResult::differ,
                 {"@@ -2 +2 @@", "-O1", "+N1"}},
        DiffCase{"ChangesFarApartMakeTwoHunks",
                 bytes_of(256),
                 bytes_of(256, {16, 224}),
                 1,
                 DiffResult::differ,
                 {"@@ -1,3 +1,3 @@", " O0", "-O1", "+N1", " O2", "@@ -14,3 +14,3 @@", " O13",
                  "-O14", "+N14", " O15"}},
        DiffCase{"ChangesWithinTwiceTheContextJoin",
                 bytes_of(256),
                 bytes_of(256, {16, 64}),
                 1,
                 DiffResult::differ,
                 {"@@ -1,6 +1,6 @@", " O0", "-O1", "+N1", " O2", " O3", "-O4", "+N4", " O5"}},
        DiffCase{"ChangedLinesTogether",
                 bytes_of(64),
                 bytes_of(64, {16, 32}),
                 0,
                 DiffResult::differ,
                 {"@@ -2,2 +2,2 @@", "-O1", "-O2", "+N1", "+N2"}},
        DiffCase{"GrownPastALine",
                 bytes_of(16),
                 bytes_of(20),
                 3,
                 DiffResult::differ,
                 {"@@ -1,2 +1,2 @@", " O0", "-O1", "+N1"}},
        DiffCase{"FromNothing", "", "A", 3, DiffResult::differ, {"@@ -1 +1 @@", "-O0", "+N0"}},
        DiffCase{"ShrunkByWholeLines",
                 bytes_of(48),
                 bytes_of(16),
                 3,
                 DiffResult::differ,
                 {"@@ -1,4 +1,2 @@", " O0", "-O1", "-O2", "-O3", "+N1"}}));

const std::string r200 = unrepeated(200, 1);
const std::string r40 = unrepeated(40, 2);

std::string spliced(const std::string& bytes, std::size_t at, std::size_t cut,
                    const std::string& put) {
  return bytes.substr(0, at) + put + bytes.substr(at + cut);
}

INSTANTIATE_TEST_SUITE_P(
    Moved, WriteDiff,
    ::testing::Values(
        DiffCase{"InsertedInTheMiddle",
                 r200,
                 spliced(r200, 100, 0, "XY"),
                 3,
                 DiffResult::differ,
                 {"@@ -5,6 +5,7 @@ 2 bytes inserted at 00000064", " O40+16", " O50+16", " O60+4",
                  "+N64+2", " O64+16", " O74+16", " O84+16"}},
        DiffCase{"InsertedAtTheStart",
                 r40,
                 "AB" + r40,
                 2,
                 DiffResult::differ,
                 {"@@ -1,2 +1,3 @@ 2 bytes inserted at 00000000", "+N0+2", " O0+16", " O10+16"}},
        DiffCase{"DeletedWithoutContextKeepsALineAfter",
                 r200,
                 spliced(r200, 100, 10, ""),
                 0,
                 DiffResult::differ,
                 {"@@ -7,3 +7,2 @@ 10 bytes deleted at 00000064", " O60+4", "-O64+10", " O6E+16"}},
        DiffCase{"ReplacedByMore",
                 r200,
                 spliced(r200, 98, 2, "abc"),
                 1,
                 DiffResult::differ,
                 {"@@ -7,3 +7,3 @@ 2 bytes replaced by 3 bytes at 00000062", " O60+2", "-O62+2",
                  "+N62+3", " O64+16"}},
        DiffCase{"AChangeAfterAMoveSaysWhereItIsInBoth",
                 r200,
                 spliced(spliced(r200, 160, 1, "!"), 20, 0, "-"),
                 1,
                 DiffResult::differ,
                 {"@@ -2,2 +2,3 @@ 1 byte inserted at 00000014", " O10+4", "+N14+1", " O14+16",
                  "@@ -10,3 +11,3 @@ at 00000084 in the old file, 00000085 in the new", " O84+16",
                  "-O94+16", "+N95+16", " OA4+16"}},
        DiffCase{"InsertedAndDeletedTogether",
                 r200,
                 spliced(spliced(r200, 150, 3, ""), 50, 0, std::string(20, '\0')),
                 1,
                 DiffResult::differ,
                 {"@@ -4,2 +4,4 @@ 20 bytes inserted at 00000032", " O30+2", "+N32+16", "+N42+4",
                  " O32+16", "@@ -11,3 +13,2 @@ 3 bytes deleted at 00000096", " O92+4", "-O96+3",
                  " O99+16"}}));

TEST(WriteDiffColor, OnlyTheChangedBytesAreReversed) {
  const Compared got = compare("AB", "AC", 3, true);
  const std::string line_start = "00000000  41 ";
  const std::string gap = std::string(3 * 14 + 3, ' ') + "A";
  const auto marked = [&](const char* color, char mark, const char* hex, char shown) {
    return std::string(color) + mark + line_start + "\x1b[7m" + hex + "\x1b[27m" + gap + "\x1b[7m" +
           shown + "\x1b[27m\x1b[0m" + eol;
  };
  EXPECT_EQ(got.result, DiffResult::differ);
  EXPECT_EQ(got.text, "\x1b[1m--- a\tT\x1b[0m" + eol + "\x1b[1m+++ b\tT\x1b[0m" + eol +
                          "\x1b[36m@@ -1 +1 @@\x1b[0m" + eol + marked("\x1b[31m", '-', "42", 'B') +
                          marked("\x1b[32m", '+', "43", 'C'));
}

// Past 64 KiB, an insertion or deletion is found through the old file's
// anchors.
TEST(WriteDiff, FarMovesAreFoundThroughAnchors) {
  const std::string before = unrepeated(std::size_t{1} << 20, 5);
  const std::string added = unrepeated(200000, 6);
  const auto headers = [](const std::string& text) {
    std::string found;
    for (std::size_t at = text.find("\n@@"); at != std::string::npos;
         at = text.find("\n@@", at + 1)) {
      found += text.substr(at + 1, text.find('\n', at + 1) - at);
    }
    return found;
  };
  EXPECT_EQ(headers(compare(before, spliced(before, 300000, 0, added), 1).text),
            with_line_ends("@@ -18750,2 +18750,12502 @@ 200000 bytes inserted at 000493E0\n"));
  EXPECT_EQ(headers(compare(before, spliced(before, 300000, 200000, ""), 1).text),
            with_line_ends("@@ -18750,12502 +18750,2 @@ 200000 bytes deleted at 000493E0\n"));
}

// An insertion compared at the same offsets changes every line after it,
// as diff -u of the two dumps shows it.
TEST(WriteDiff, AtTheSameOffsetsNothingMoves) {
  const std::string before = bytes_of(40);
  const std::string after = "Z" + before;
  const Compared got = compare(before, after, 3, false, true);
  EXPECT_EQ(got.text, expected_text(before, after,
                                    {"@@ -1,3 +1,3 @@", "-O0", "-O1", "-O2", "+N0", "+N1", "+N2"}));
  EXPECT_NE(compare(before, after, 3).text, got.text);
}

TEST(WriteDiffColor, ALineTheOtherSideLacksIsNotReversed) {
  const std::string before = unrepeated(16, 7);
  const std::string after = before + unrepeated(17, 8);
  const std::string line = dump_line(after, 2);
  EXPECT_NE(compare(before, after, 0, true).text.find("\x1b[32m+" + line + "\x1b[0m" + eol),
            std::string::npos);
}

TEST(WriteDiffColor, InsertedBytesAreAllReversed) {
  const std::string before = unrepeated(40, 3);
  const Compared got = compare(before, before.substr(0, 20) + "Z" + before.substr(20), 1, true);
  const std::string inserted = "\x1b[32m+00000014  \x1b[7m5A\x1b[27m" +
                               std::string(3 * 15 + 3, ' ') + "\x1b[7mZ\x1b[27m\x1b[0m" + eol;
  EXPECT_NE(got.text.find(inserted), std::string::npos) << got.text;
}

}  // namespace
}  // namespace quarnel
