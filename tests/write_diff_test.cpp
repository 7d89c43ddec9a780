#include "diff/write_diff.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "diff/diff_stat.h"
#include "io/block_sum.h"
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
                 bool color = false, bool same_offsets = false, bool stat = false) {
  const int old_file = memory_file(before);
  const int new_file = memory_file(after);
  const int out_file = memory_file("");
  auto out = std::make_unique<OutputWriter>();
  out->fd = out_file;
  const DiffFile one{old_file, before.size(), "a", "T"};
  const DiffFile two{new_file, after.size(), "b", "T"};
  const DiffSettings settings{.context = context, .color = color, .same_offsets = same_offsets};
  const DiffOutcome outcome =
      stat ? write_diff_stat(one, two, settings, *out) : write_dump_diff(one, two, settings, *out);
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

// A hunk's lines: "@@ ..." and a moved block's lines ("-... moved") as they
// stand; otherwise a mark, then O or N for the old or new dump and the
// line's number there, or the address in hex and, after "+", how many bytes
// the line shows.
std::string expected_text(const std::string& before, const std::string& after,
                          const std::vector<std::string>& lines) {
  if (lines.empty()) {
    return "";
  }
  std::string text = with_line_ends("--- a\tT\n+++ b\tT\n");
  for (const std::string& line : lines) {
    if (line.starts_with("@@") || line.find(" moved ") != std::string::npos) {
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
const std::string r400 = unrepeated(400, 3);

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
                  " O99+16"}},
        DiffCase{
            "ABlockMovedLater",
            r400,
            r400.substr(0, 40) + r400.substr(120, 180) + r400.substr(40, 80) + r400.substr(300),
            1,
            DiffResult::differ,
            {"@@ -3,3 +3,2 @@ 80 bytes moved from 00000028 to 000000DC", " O20+8",
             "-00000028  80 bytes moved to 000000DC, crc32 D0FC0CD3", " O78+16",
             "@@ -16,2 +15,3 @@ 80 bytes moved from 00000028 to 000000DC", " O128+4",
             "+000000DC  80 bytes moved from 00000028, crc32 D0FC0CD3", " O12C+16"}},
        DiffCase{
            "ABlockMovedEarlierWithAByteChanged",
            r400,
            spliced(spliced(r400, 250, 100, ""), 60, 0, spliced(r400.substr(250, 100), 30, 1, "!")),
            1,
            DiffResult::differ,
            {"@@ -4,2 +4,5 @@ 100 bytes moved from 000000FA to 0000003C", " O30+12",
             "+0000003C  30 bytes moved from 000000FA, crc32 FC228625", "+N5A+16",
             "+0000006A  54 bytes moved from 00000128, crc32 D85A5AC6", " O3C+16",
             "@@ -16,5 +19,2 @@ 100 bytes moved from 000000FA to 0000003C", " OEC+14",
             "-000000FA  30 bytes moved to 0000003C, crc32 FC228625", "-O118+16",
             "-00000128  54 bytes moved to 0000006A, crc32 D85A5AC6", " O15E+16"}},
        DiffCase{"TwoChangesInAHunk",
                 r200,
                 spliced(spliced(r200, 100, 0, "Z"), 60, 0, "Y"),
                 3,
                 DiffResult::differ,
                 {"@@ -2,9 +2,11 @@ 1 byte inserted at 0000003C, and 1 more change", " O10+16",
                  " O20+16", " O30+12", "+N3C+1", " O3C+16", " O4C+16", " O5C+8", "+N65+1",
                  " O64+16", " O74+16", " O84+16"}},
        DiffCase{"ThreeChangesInAHunk",
                 r200,
                 spliced(spliced(spliced(r200, 140, 0, "W"), 100, 0, "Z"), 60, 0, "Y"),
                 3,
                 DiffResult::differ,
                 {"@@ -2,12 +2,15 @@ 1 byte inserted at 0000003C, and 2 more changes", " O10+16",
                  " O20+16", " O30+12", "+N3C+1", " O3C+16", " O4C+16", " O5C+8", "+N65+1",
                  " O64+16", " O74+16", " O84+8", "+N8E+1", " O8C+16", " O9C+16", " OAC+16"}}));

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
  // Inserted bytes that quote the old file's bytes from 600 KB further on
  // do not pull the alignment past the bytes between.
  const std::string quoting = spliced(added, 10000, 0, before.substr(900000, 2000));
  EXPECT_EQ(headers(compare(before, spliced(before, 300000, 0, quoting), 1).text),
            with_line_ends("@@ -18750,2 +18750,12627 @@ 202000 bytes inserted at 000493E0\n"));
}

// Records of text, and notes inserted after the 100th that quote a record
// from 20 KB further on: the alignment goes on after the notes, not from
// the quoted record's place, which would show the records between as moved.
TEST(WriteDiff, AQuoteOfLaterBytesDoesNotPullTheAlignmentAhead) {
  std::uint32_t state = 5;
  const auto letters = [&](char first, std::size_t count) {
    std::string made;
    for (std::size_t k = 0; k < count; ++k) {
      state = state * 1103515245U + 12345U;
      made.push_back(static_cast<char>(first + static_cast<char>((state >> 16U) % 10U)));
    }
    return made;
  };
  std::vector<std::string> records;
  records.reserve(2000);
  for (int i = 0; i < 2000; ++i) {
    records.push_back("id=" + std::to_string(10000 + i) + " name=" + letters('a', 8) + "\n");
  }
  std::string paragraph;
  for (int k = 0; k < 130; ++k) {
    paragraph += "note " + std::to_string(1000 + k) + ": " + letters('k', 40) + "\n";
  }
  paragraph.insert(100, records[900]);
  std::string text_file;
  for (const std::string& record : records) {
    text_file += record;
  }
  const std::size_t at = 100 * records[0].size();
  const std::string text = compare(text_file, spliced(text_file, at, 0, paragraph), 0).text;
  EXPECT_EQ(paragraph.size(), 6783U);
  EXPECT_EQ(text.find("moved"), std::string::npos);
  EXPECT_NE(text.find("@@ -144,2 +144,426 @@ 6783 bytes inserted at 000008FC"), std::string::npos)
      << text.substr(0, 400);
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
  // Changes that moved nothing read the same either way, each on its line.
  const std::string changed = bytes_of(320, {20, 21, 200});
  const Compared both = compare(bytes_of(320), changed, 1, false, true);
  EXPECT_EQ(both.text, compare(bytes_of(320), changed, 1).text);
  EXPECT_EQ(both.text, expected_text(bytes_of(320), changed,
                                     {"@@ -1,3 +1,3 @@", " O0", "-O1", "+N1", " O2",
                                      "@@ -12,3 +12,3 @@", " O11", "-O12", "+N12", " O13"}));
}

// A moved block's sum is the CRC-32 zip computes, whole or in pieces of
// any size (the eight-byte steps and the bytes after them).
TEST(BlockSum, IsTheCrc32OfZip) {
  std::string counting;
  for (int round = 0; round < 3; ++round) {
    for (int value = 0; value < 256; ++value) {
      counting.push_back(static_cast<char>(value));
    }
  }
  counting += "abc";
  const auto bytes = [](const std::string& text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  const std::pair<std::string, std::uint32_t> sums[] = {
      {"", 0},
      {"a", 0xE8B7BE43},
      {"123456789", 0xCBF43926},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339},
      {counting, 0x9D3A9924}};
  for (const auto& [text, sum] : sums) {
    EXPECT_EQ(block_sum(0, bytes(text)), sum) << text;
    for (std::size_t cut = 0; cut <= text.size(); cut += 7) {
      EXPECT_EQ(block_sum(block_sum(0, bytes(text).first(cut)), bytes(text).subspan(cut)), sum)
          << text << " cut at " << cut;
    }
  }
}

// A moved block's lines take their side's colour, whole.
TEST(WriteDiffColor, AMovedBlocksLinesAreColouredWhole) {
  const std::string after =
      r400.substr(0, 40) + r400.substr(120, 180) + r400.substr(40, 80) + r400.substr(300);
  const std::string text = compare(r400, after, 1, true).text;
  EXPECT_NE(text.find("\x1b[31m-00000028  80 bytes moved to 000000DC, crc32 D0FC0CD3\x1b[0m" + eol),
            std::string::npos)
      << text;
  EXPECT_NE(
      text.find("\x1b[32m+000000DC  80 bytes moved from 00000028, crc32 D0FC0CD3\x1b[0m" + eol),
      std::string::npos)
      << text;
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

// A 32-bit little-endian value written into bytes at at.
std::string with_value(std::string bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t k = 0; k < 4; ++k) {
    bytes[at + k] = static_cast<char>((value >> (8 * k)) & 0xFFU);
  }
  return bytes;
}

struct StatCase {
  const char* name;
  std::string before;
  std::string after;
  std::string text;
};

class DiffStat : public ::testing::TestWithParam<StatCase> {};

TEST_P(DiffStat, SumsUpTheChanges) {
  const StatCase& c = GetParam();
  const Compared got = compare(c.before, c.after, 3, false, false, true);
  EXPECT_EQ(got.result, c.text.empty() ? DiffResult::same : DiffResult::differ);
  EXPECT_EQ(got.text, with_line_ends(c.text));
}

// A program's offsets fixed up after its code moved: ten values grown by
// 0x20, three shrunk by 0x5E0, two 32-bit and two 64-bit values grown by
// 0x20 with a carry across bytes; then 3 bytes inserted and 5 deleted.
StatCase fixed_up() {
  const std::string base = unrepeated(4096, 7);
  std::string before = base;
  std::string after = base;
  for (std::size_t k = 0; k < 10; ++k) {
    const auto value = static_cast<std::uint32_t>(0x1000 + 0x100 * k);
    before = with_value(before, 256 * k + 16, value);
    after = with_value(after, 256 * k + 16, value + 0x20);
  }
  for (std::size_t k = 0; k < 3; ++k) {
    before = with_value(before, 256 * k + 80, 0x9000);
    after = with_value(after, 256 * k + 80, 0x9000 - 0x5E0);
  }
  for (std::size_t k = 0; k < 2; ++k) {
    before = with_value(before, 256 * k + 1200, 0x12FFF0);
    after = with_value(after, 256 * k + 1200, 0x130010);
  }
  for (const std::size_t at : {std::size_t{2000}, std::size_t{2100}}) {
    before = with_value(with_value(before, at, 0xFFFFFFF0), at + 4, 0);
    after = with_value(with_value(after, at, 0x10), at + 4, 1);
  }
  after = spliced(spliced(after, 3500, 5, ""), 3000, 0, "XYZ");
  return {"OffsetsFixedUp", before, after,
          "inserted, deleted, replaced or moved, largest first (old and new addresses):\n"
          "  5 bytes deleted at 00000DAC in the old file, 00000DAF in the new\n"
          "  3 bytes inserted at 00000BB8 in the old file, 00000BB8 in the new\n"
          "changed in place, by what they do to a little-endian 16-, 32- or 64-bit value:\n"
          "  10 changes of 2 bytes that add 0x20, from 00000010 to 00000912\n"
          "  3 changes of 2 bytes that subtract 0x5E0, from 00000050 to 00000252\n"
          "  2 changes of 4 bytes that add 0x20, from 000004B0 to 000005B4\n"
          "  2 changes of 8 bytes that add 0x20, from 000007D0 to 0000083C\n"
          "in all:\n"
          "  1 insertion, 3 bytes\n"
          "  1 deletion, 5 bytes\n"
          "  0 replacements\n"
          "  0 moves\n"
          "  17 changes in place, 32 bytes changed\n"
          "  4096 bytes in the old file, 4094 bytes in the new\n"};
}

// A block of 800 bytes moved later, two offsets in it fixed up by 0x20,
// and 40 bytes inserted.
StatCase block_moved() {
  std::string before = unrepeated(4096, 9);
  for (const std::size_t at : {std::size_t{1100}, std::size_t{1300}}) {
    before = with_value(before, at, 0x4000);
  }
  std::string block = before.substr(1000, 800);
  for (const std::size_t at : {std::size_t{100}, std::size_t{300}}) {
    block = with_value(block, at, 0x4020);
  }
  const std::string after = before.substr(0, 1000) + before.substr(1800, 1200) + block +
                            unrepeated(40, 10) + before.substr(3000);
  return {"ABlockMoved", before, after,
          "inserted, deleted, replaced or moved, largest first (old and new addresses):\n"
          "  800 bytes moved from 000003E8 to 00000898\n"
          "  40 bytes inserted at 00000BB8 in the old file, 00000BB8 in the new\n"
          "changed in place, by what they do to a little-endian 16-, 32- or 64-bit value:\n"
          "  2 changes of 2 bytes that add 0x20, from 0000044C to 00000516\n"
          "in all:\n"
          "  1 insertion, 40 bytes\n"
          "  0 deletions\n"
          "  0 replacements\n"
          "  1 move, 800 bytes\n"
          "  2 changes in place, 2 bytes changed\n"
          "  4096 bytes in the old file, 4136 bytes in the new\n"};
}

// A byte of every 8 grown by 1 over 80,000 bytes: a change in place longer
// than the pieces the files are read in.
StatCase every_eighth_grown() {
  std::string before = unrepeated(100000, 11);
  std::string after = before;
  for (std::size_t at = 0; at < 80000; at += 8) {
    before[at] = '\x10';
    after[at] = '\x11';
  }
  return {"ALongChangeInPlace", before, after,
          "changed in place, by what they do to a little-endian 16-, 32- or 64-bit value:\n"
          "  10000 changes of 2 bytes that add 0x1, from 00000000 to 0001387A\n"
          "in all:\n"
          "  0 insertions\n"
          "  0 deletions\n"
          "  0 replacements\n"
          "  0 moves\n"
          "  10000 changes in place, 10000 bytes changed\n"
          "  100000 bytes in the old file, 100000 bytes in the new\n"};
}

INSTANTIATE_TEST_SUITE_P(
    Summaries, DiffStat,
    ::testing::Values(
        StatCase{"Same", r200, r200, ""}, fixed_up(), block_moved(), every_eighth_grown(),
        StatCase{"ALoneChangeAndAGrownTail", r40, spliced(r40, 7, 1, "!") + "tail",
                 "inserted, deleted, replaced or moved, largest first (old and new addresses):\n"
                 "  4 bytes inserted at 00000028 in the old file, 00000028 in the new\n"
                 "changed in place, by what they do to a little-endian 16-, 32- or 64-bit value:\n"
                 "  1 change\n"
                 "in all:\n"
                 "  1 insertion, 4 bytes\n"
                 "  0 deletions\n"
                 "  0 replacements\n"
                 "  0 moves\n"
                 "  1 change in place, 1 byte changed\n"
                 "  40 bytes in the old file, 44 bytes in the new\n"},
        StatCase{"TheLastBytesChanged", r40, r40.substr(0, 38) + "!?",
                 "changed in place, by what they do to a little-endian 16-, 32- or 64-bit value:\n"
                 "  1 change\n"
                 "in all:\n"
                 "  0 insertions\n"
                 "  0 deletions\n"
                 "  0 replacements\n"
                 "  0 moves\n"
                 "  1 change in place, 2 bytes changed\n"
                 "  40 bytes in the old file, 40 bytes in the new\n"},
        StatCase{"AShortTailReplaced", r40, r40.substr(0, 30) + "xyz",
                 "inserted, deleted, replaced or moved, largest first (old and new addresses):\n"
                 "  10 bytes replaced by 3 bytes at 0000001E in the old file, 0000001E in the new\n"
                 "in all:\n"
                 "  0 insertions\n"
                 "  0 deletions\n"
                 "  1 replacement, 10 bytes by 3 bytes\n"
                 "  0 moves\n"
                 "  0 changes in place, 0 bytes changed\n"
                 "  40 bytes in the old file, 33 bytes in the new\n"}),
    [](const ::testing::TestParamInfo<StatCase>& param) { return param.param.name; });

// Past the twenty largest stretches, the rest are counted on one line.
TEST(DiffStatLimits, TheLargestTwentyAndTheRestOnALine) {
  const std::string before = unrepeated(8192, 8);
  std::string after = before;
  for (std::size_t k = 22; k >= 1; --k) {
    after = spliced(after, 300 * k, 0, std::string(k, static_cast<char>('a' + k)));
  }
  const std::string text = compare(before, after, 3, false, false, true).text;
  EXPECT_NE(text.find(with_line_ends("  22 bytes inserted at 000019C8 in the old file, "
                                     "00001AAF in the new\n")),
            std::string::npos)
      << text;
  EXPECT_NE(
      text.find(with_line_ends("  and 2 more, 3 bytes\nin all:\n  22 insertions, 253 bytes\n")),
      std::string::npos)
      << text;
}

}  // namespace
}  // namespace quarnel
