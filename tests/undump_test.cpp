// unquarnel: dumps read back into bytes, malformed dumps refused, files
// patched from edited dumps.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "layouts/line_reading.h"
#include "quarnel/undump.h"
#include "support/layout_texts.h"
#include "support/simple_dump.h"
#include "support/test_support.h"
#include "undump/line_parse.h"

namespace quarnel {
namespace {

using namespace testing;

// Each line of text changed by edit, with the line end of the platform.
template <typename Edit>
std::string edit_lines(std::string_view text, Edit edit) {
  std::string result;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    std::string line(text.substr(at, end - at));
    if (line.ends_with('\r')) {
      line.pop_back();
    }
    result += edit(line) + "\n";
    at = end + 1;
  }
  return result;
}

TEST(Undump, EveryDumpGivesBackItsBytes) {
  // Line k holds (k + 17 i) at position i: every byte value at every
  // position, then every last-line length.
  std::string data;
  for (std::size_t i = 0; i < std::size_t{257} * 16; ++i) {
    data.push_back(static_cast<char>(i / 16 + 17 * (i % 16)));
  }
  for (std::size_t size = std::size_t{256} * 16; size <= data.size(); ++size) {
    for (const std::int32_t offset : {0, 7, -16, -40}) {
      const std::string bytes = data.substr(0, size);
      const std::string dump =
          simple_dump({reinterpret_cast<const std::uint8_t*>(bytes.data()), size},
                      static_cast<std::uint32_t>(offset));
      // The dumps of two files, one after the other, give both.
      ASSERT_TRUE(undump_to_string(dump + dump).bytes == bytes + bytes);
      for (const std::string& text :
           {dump, edit_lines(dump, [](std::string s) { return s; }),
            edit_lines(dump, [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); }),
            edit_lines(dump, [](std::string s) {
              s.erase(s.find_last_not_of(' ') + 1);
              for (char& c : s) {
                c = static_cast<char>(std::tolower(c));
              }
              return s + "\r";
            })}) {
        const Undumped got = undump_to_string(text);
        ASSERT_EQ(got.result.status, UndumpStatus::ok) << size << " from " << offset;
        ASSERT_TRUE(got.bytes == bytes) << size << " from " << offset;
      }
    }
  }
}

TEST(Undump, FullLineReadersAgreeOnEveryCharacterAtEveryPlace) {
  // Zeros everywhere but the changed character, too: a wrong one must not
  // pass for a zero.
  for (const std::string full :
       {"0123ABCD  30 31 32 33 34 35 36 37-38 39 61 62 63 64 65 66   0123456789abcdef",
        "00000000  00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00   ................"}) {
    for (std::size_t at = 0; at < full.size(); ++at) {
      for (int c = 0; c < 256; ++c) {
        std::string line = full;
        line[at] = static_cast<char>(c);
        DumpLine expected;
        std::size_t column = 0;
        const bool well_formed = parse_line(line, expected, column) == ReadError::none &&
                                 expected.count == 16 && line.find('\n') == std::string::npos;
        for (const CpuPath path :
             {CpuPath::portable, CpuPath::ssse3, CpuPath::avx2, CpuPath::neon}) {
          const FullLineParser parse = full_line_parser(path);
          DumpLine got;
          ASSERT_TRUE(parse == nullptr || parse(line.data(), got) == well_formed)
              << "path " << static_cast<int>(path) << " at " << at << ": " << c;
          ASSERT_TRUE(parse == nullptr || !well_formed ||
                      (got.address == expected.address && got.bytes == expected.bytes));
        }
      }
    }
  }
}

std::string sp(std::size_t count) { return std::string(count, ' '); }

TEST(Undump, OtherLayoutsFullLineReadersAgreeOnEveryCharacterAtEveryPlace) {
  // Each layout's full line, the line reader's verdict and bytes beside
  // every vector reader's and the portable one's.
  const std::string hex = " 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66";
  const std::vector<std::pair<FullLayout, std::string>> lines{
      {FullLayout::xxd, "0123abcd: 3031 3233 3435 3637 3839 6162 6364 6566  0123456789abcdef"},
      {FullLayout::hexdump,
       "0123abcd  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|"},
      {FullLayout::od6, "123abc" + hex},
      {FullLayout::od6z, "123abc" + hex + "  >0123456789abcdef<"},
      {FullLayout::od7, "1234567" + hex},
      {FullLayout::od7z, "1234567" + hex + "  >0123456789abcdef<"}};
  for (const auto& [layout, full] : lines) {
    const DumpLayout kind = layout == FullLayout::xxd       ? DumpLayout::xxd
                            : layout == FullLayout::hexdump ? DumpLayout::hexdump
                                                            : DumpLayout::od;
    Shape first;
    ASSERT_EQ(first_shape(kind, full, 0x1F, first), ReadError::none);
    OtherLine line;
    std::array<unsigned char, 16> bytes{};
    std::size_t column = 0;
    ASSERT_EQ(read_other_line(full, first, line, bytes, column), ReadError::none);
    first.lines = 1;
    for (std::size_t at = 0; at < full.size(); ++at) {
      for (int c = 0; c < 256; ++c) {
        std::string text = full;
        text[at] = static_cast<char>(c);
        Shape shape = first;
        OtherLine got;
        std::array<unsigned char, 16> expected{};
        const bool well_formed =
            read_other_line(text, shape, got, expected, column) == ReadError::none &&
            got.kind == LineKind::bytes && got.count == 16 &&
            got.chars.size() == (layout == FullLayout::od6 || layout == FullLayout::od7 ? 0 : 16) &&
            text.find('\n') == std::string::npos;
        // The readers look at 64 characters, past the end of a short line.
        text.push_back('\n');
        text.append(64, 'x');
        for (const CpuPath path :
             {CpuPath::portable, CpuPath::ssse3, CpuPath::avx2, CpuPath::neon}) {
          const FullLineParser parse = full_line_parser(path, layout);
          DumpLine read;
          ASSERT_TRUE(parse == nullptr || parse(text.data(), read) == well_formed)
              << full << ": path " << static_cast<int>(path) << " at " << at << ": " << c;
          ASSERT_TRUE(parse == nullptr || !well_formed ||
                      std::equal(expected.begin(), expected.end(), read.bytes.begin()))
              << full << ": path " << static_cast<int>(path) << " at " << at << ": " << c;
        }
      }
    }
  }
}

// Text as UTF-16 with its byte order mark: each char a code unit.
std::string utf16(std::string_view text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : text) {
    out += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return out;
}

const std::string line_0 =
    "00000000  30 31 32 33 34 35 36 37-38 39 41 42 43 44 45 46   0123456789ABCDEF\n";
const std::string usage =
    "usage: unquarnel [-p FILE | --patch FILE | --patch=FILE | -o FILE | --output FILE | "
    "--output=FILE] [--no-journal] [-R | --reverse] [--from=LAYOUT] [--progress[=WHEN]] [--] "
    "[DUMP...]\n";

struct UndumpCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  std::string out;  // raw bytes
  std::string err;
  int status;
};

void PrintTo(const UndumpCase& c, std::ostream* os) { *os << c.name; }

class UndumpCases : public ::testing::TestWithParam<UndumpCase> {};

TEST_P(UndumpCases, OutputMessagesAndStatus) {
  const Outcome got = run_tool(GetParam().args, GetParam().input, {}, UNQUARNEL_BINARY);
  EXPECT_EQ(got.out, GetParam().out);
  EXPECT_EQ(got.err, with_line_ends(GetParam().err));
  EXPECT_EQ(got.status, GetParam().status);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Lines, UndumpCases,
    ::testing::Values(
        UndumpCase{"DumpsFollowOneAnother", {}, line_0 + "\n00000010\n00000100  41 42\n",
                   "0123456789ABCDEFAB", "", 0},
        UndumpCase{"BadAddress", {}, "0000000G  41\n", "",
                   "unquarnel: stdin:1: the address is not 8 hex digits\n", 1},
        UndumpCase{"LineAfterAShortCharacterColumn", {}, line_0.substr(0, 70) + "\nabcde\n",
                   "0123456789ABCDEF", "unquarnel: stdin:2: the address is not 8 hex digits\n", 1},
        UndumpCase{"ShortAddress", {}, "\n1234 \n", "",
                   "unquarnel: stdin:2: the address is not 8 hex digits\n", 1},
        UndumpCase{"MissingBlanks", {}, "00000000 41\n", "",
                   "unquarnel: stdin:1: two blanks must follow the address\n", 1},
        UndumpCase{"BadDigit", {}, "00000000  41 4\n", "",
                   "unquarnel: stdin:1: a byte is not two hex digits\n", 1},
        UndumpCase{"BadDash", {}, "00000000  30 31 32 33 34 35 36 37 38\n", "",
                   "unquarnel: stdin:1: a byte is not followed by its separator (a blank; a dash "
                   "after the eighth)\n", 1},
        UndumpCase{"StrayCharacter", {}, "00000000  41 42  AB\n", "",
                   "unquarnel: stdin:1: a stray character stands in the hex columns\n", 1},
        UndumpCase{"SeventeenBytes", {}, line_0.substr(0, 58) + "F7\n", "",
                   "unquarnel: stdin:1: more than 16 bytes on a line\n", 1},
        UndumpCase{"ByteOrderMark", {}, "\xEF\xBB\xBF" "00000000  41\n", "A", "", 0},
        UndumpCase{"Utf16LittleEndian", {}, utf16(line_0 + "00000010\n", false), "0123456789ABCDEF",
                   "", 0},
        UndumpCase{"Utf16BigEndian", {}, utf16(line_0 + "00000010  41\r\n", true),
                   "0123456789ABCDEFA", "", 0},
        UndumpCase{"Utf16OutsideAscii", {}, utf16("00000000  41\n00000001  4\xE9\n", false), "A",
                   "unquarnel: stdin:2: a byte is not two hex digits\n", 1},
        UndumpCase{"Utf16WithoutMark", {}, utf16("00000000  41\n", false).substr(2), "",
                   "unquarnel: stdin:1: the text looks like UTF-16 without a byte order mark: save "
                   "it as UTF-8, or as UTF-16 with one\n", 1},
        UndumpCase{"LoneCarriageReturn", {}, "00000000  41\r00000001  42\r", "",
                   "unquarnel: stdin:1: a carriage return without a line feed: lines must end in "
                   "LF or CR LF\n", 1},
        UndumpCase{"TooLong", {}, line_0.substr(0, 76) + "G\r\n", "",
                   "unquarnel: stdin:1: the line is longer than a dump line\n", 1},
        UndumpCase{"LoneReturnAfterALongestLine", {}, line_0.substr(0, 76) + "\r00000010  41\n",
                   "", "unquarnel: stdin:1: a carriage return without a line feed: lines must end "
                   "in LF or CR LF\n", 1},
        UndumpCase{"LetterPastF", {}, "00000000  4g\n", "",
                   "unquarnel: stdin:1: a byte is not two hex digits\n", 1},
        UndumpCase{"LostLine", {}, line_0 + "00000020  41\n", "0123456789ABCDEF",
                   "unquarnel: stdin:2: the address is not 16 past the line before: a line is "
                   "lost or doubled\n", 1},
        UndumpCase{"Unfinished", {}, line_0.substr(0, 76), "0123456789ABCDEF",
                   "unquarnel: stdin:2: the dump ends after a full line: its last line is "
                   "missing\n", 1},
        UndumpCase{"MissingDump", {"-", "missing"}, "00000000  41\n", "A",
                   "unquarnel: missing: cannot open: " + testing::missing_file_reason() + "\n", 1},
        UndumpCase{"NoLineAtAll", {}, "\n\r\n", "", "unquarnel: stdin: no dump in it\n", 1},
        UndumpCase{"CutInTheCharacterColumn", {}, "00000000  41 42" + sp(45) + "A", "",
                   "unquarnel: stdin:1: the dump ends inside a line\n", 1},
        UndumpCase{"CutAfterAByte", {}, line_0 + "00000010  41", "0123456789ABCDEF",
                   "unquarnel: stdin:2: the dump ends inside a line\n", 1},
        UndumpCase{"AddressAloneWithoutItsLineEnd", {}, line_0 + "00000010", "0123456789ABCDEF",
                   "unquarnel: stdin:2: the dump ends inside a line\n", 1},
        UndumpCase{"WholeLastLineWithoutItsEnd", {}, line_0 + "00000010  41" + sp(48) + "A",
                   "0123456789ABCDEFA", "", 0},
        UndumpCase{"LastByteOfALineBlanked", {}, line_0.substr(0, 55) + sp(21) + "\n" +
                   "00000010  41\n", "0123456789ABCDE",
                   "unquarnel: stdin:2: the line before is short: a byte is lost, or a line was "
                   "cut\n", 1},
        UndumpCase{"LineGoingOnAfterAShortOne", {}, "00000000  41\n00000001  42\n", "A",
                   "unquarnel: stdin:2: the line before is short: a byte is lost, or a line was "
                   "cut\n", 1},
        UndumpCase{"MarkInsideTheText", {}, "00000000  41\n\xEF\xBB\xBF" "00000010  42\n", "A",
                   "unquarnel: stdin:2: a byte order mark inside the text: only the start of a "
                   "text may hold one\n", 1},
        UndumpCase{"XxdWithAnEditedCharacterColumn", {"--from=xxd"},
                   "00000000: 4142 4344  ZZZZ\n00000004: 45         E\n", "ABCDE", "", 0},
        UndumpCase{"XxdBadDigit", {}, "00000000: 4142 4G44  ABCD\n", "",
                   "unquarnel: stdin:1: a byte is not two hex digits\n", 1},
        UndumpCase{"XxdLostLine", {}, "00000000: 4142  AB\n00000004: 4546  EF\n", "AB",
                   "unquarnel: stdin:2: the address is not 16 past the line before: a line is "
                   "lost or doubled\n", 1},
        UndumpCase{"HexdumpDoubledLine", {},
                   "00000000  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  |ABCDEFGHIJKLMNOP|\n"
                   "00000000  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  |ABCDEFGHIJKLMNOP|\n"
                   "00000020\n", "ABCDEFGHIJKLMNOP",
                   "unquarnel: stdin:2: the address is not 16 past the line before: a line is "
                   "lost or doubled\n", 1},
        UndumpCase{"HexdumpWithoutItsClosingLine", {},
                   "00000000  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  |ABCDEFGHIJKLMNOP|\n",
                   "ABCDEFGHIJKLMNOP",
                   "unquarnel: stdin:2: the dump ends after a full line: its last line is "
                   "missing\n", 1},
        UndumpCase{"OdSqueezedToTheEnd", {"--from=od"}, "0000000 00 00\n*\n0000010\n",
                   std::string(8, '\0'), "", 0},
        UndumpCase{"CArrayWrongLength", {},
                   "unsigned char a[] = {\n  0x41, 0x42\n};\nunsigned int a_len = 3;\n", "AB",
                   "unquarnel: stdin:4: the array's _len is not the number of its bytes\n", 1},
        UndumpCase{"CppArrayHoldingFewerBytesThanItsType", {},
                   "#pragma once\ninline constexpr std::array<std::uint8_t, 3> a{\n  0x41, 0x42,\n"
                   "};\n", "AB",
                   "unquarnel: stdin:4: the array's type names another number of bytes than it "
                   "holds\n", 1},
        UndumpCase{"RustArrayWithoutItsClosing", {}, "pub static A: [u8; 1] = [\n    0x41,\n",
                   "A", "unquarnel: stdin:3: the dump ends after a full line: its last line is "
                   "missing\n", 1},
        UndumpCase{"RustArrayItemWithoutItsComma", {}, "pub static A: [u8; 2] = [\n    0x41, 0x42\n];\n",
                   "", "unquarnel: stdin:2: the line is no part of a C++ or Rust array as "
                   "quarnel-as writes it\n", 1},
        UndumpCase{"CppArrayAfterOtherCode", {"--from=cpp"}, "#include <vector>\n", "",
                   "unquarnel: stdin:1: the line is no part of a C++ or Rust array as "
                   "quarnel-as writes it\n", 1},
        UndumpCase{"TwoArrays", {}, "pub static A: [u8; 1] = [\n    0x41,\n];\n"
                   "#pragma once\n#include <array>\n\ninline constexpr std::array<std::uint8_t, 1> "
                   "b{\n  0x42,\n};\n", "AB", "", 0},
        UndumpCase{"XxdFirstLineOfBlankCharacters", {},
                   "00000000: 20   \n00000001: 61  a\n00000002: 20   \n", " a ", "", 0},
        UndumpCase{"XxdShortFirstLineOfBlankCharacters", {},
                   "00000000: 2020" + std::string(37, ' ') + "\n", "  ", "", 0},
        UndumpCase{"Latin1CharacterColumn", {},
                   "00000000: 41e9 ad0a" + std::string(32, ' ') + "A\xC3\xA9..\n", "A\xE9\xAD\n", "",
                   0},
        UndumpCase{"PlainHexLongerLineAfterAShortOne", {}, "4142\n434445\n", "AB",
                   "unquarnel: stdin:2: the line holds more bytes than the dump's first, or "
                   "follows a short line\n", 1},
        UndumpCase{"HexdumpWords", {}, "0000000 4241 4443\n0000004\n", "",
                   "unquarnel: stdin:1: the dump shows words, numbers or characters, not each "
                   "byte's two hex digits: dump with hexdump -C, od -t x1 or xxd\n", 1},
        UndumpCase{"LongerThanAnyLayout", {}, "00000000: " + std::string(8200, 'a') + "\n", "",
                   "unquarnel: stdin:1: the line is longer than a dump line\n", 1},
        UndumpCase{"TwoBytesOfUtf16WithoutMark", {}, std::string("0\0", 2), "",
                   "unquarnel: stdin:1: the text looks like UTF-16 without a byte order mark: save "
                   "it as UTF-8, or as UTF-16 with one\n", 1},
        UndumpCase{"FiveDigits", {}, "12345\n", "",
                   "unquarnel: stdin:1: the address is not 8 hex digits\n", 1},
        UndumpCase{"CArrayWithAWrongName", {}, "unsigned char a-b[] = {\n  0x41\n};\n", "",
                   "unquarnel: stdin:1: the line is no part of an xxd -i array\n", 1},
        UndumpCase{"DiffWithABadLine", {"-p", "no-such-folder/x"},
                   "--- a\n+++ b\n@@ -1 +1 @@\n-00000000  4G\n+00000000  41\n", "",
                   "unquarnel: stdin:4: a byte is not two hex digits\n", 1},
        UndumpCase{"DiffWithoutPatch", {}, "--- a\n+++ b\n", "",
                   "unquarnel: stdin:1: a diff applies to a file: use unquarnel --patch FILE\n", 1},
        // Readings a text may have, told apart by what it shows or refused.
        UndumpCase{"PlainHexOfFourBytes", {}, "deadbeef\n", "\xDE\xAD\xBE\xEF", "", 0},
        UndumpCase{"AddressAloneOrPlainHex", {}, "DEADBEEF\n", "",
                   "unquarnel: stdin:1: this reads as quarnel or as xxd-plain, which give "
                   "different bytes: name one with --from=quarnel or --from=xxd-plain\n", 1},
        UndumpCase{"AddressAloneNamedPlainHex", {"--from=xxd-plain"}, "DEADBEEF\n",
                   "\xDE\xAD\xBE\xEF", "", 0},
        UndumpCase{"OdClosingLineOrPlainHex", {}, "000000\n", "",
                   "unquarnel: stdin:1: this reads as od or as xxd-plain, which give different "
                   "bytes: name one with --from=od or --from=xxd-plain\n", 1},
        UndumpCase{"XxdLittleEndianGroups", {},
                   "00000000: 44434241 48474645 4c4b4a49 504f4e4d  ABCDEFGHIJKLMNOP\n"
                   "00000010:   535251                             QRS\n",
                   "ABCDEFGHIJKLMNOPQRS", "", 0},
        UndumpCase{"XxdGroupsEitherWay", {}, "00000000: 0102 0304  ....\n", "",
                   "unquarnel: stdin:1: this reads as xxd or as xxd-e, which give different "
                   "bytes: name one with --from=xxd or --from=xxd-e\n", 1},
        // The character column stands where the line's groups put it,
        // blanks or not, and a reading is taken only where it proves one.
        UndumpCase{"XxdColumnLedByABlank", {},
                   "00000000: 2068 656c 6c6f 2077 6f72 6c64 2c20 7468   hello world, th\n"
                   "00000010: 6973 2069 7320 6120 7465 7874 206c 696e  is is a text lin\n"
                   "00000020: 65                                       e\n",
                   " hello world, this is a text line", "", 0},
        UndumpCase{"XxdIndentedSource", {},
                   "00000000: 20202020 64656620      def \n00000008: 66287829 3a0a2020  f(x):.  \n"
                   "00000010: 20202020 20207265        re\n00000018: 7475726e 20780a    turn x.\n",
                   "    def f(x):\n        return x\n", "", 0},
        UndumpCase{"XxdShortLastGroupThatLooksLikeACharacter", {},
                   "00000000: 00000000 20204445 46                 ....  DEF\n",
                   std::string(4, '\0') + "  DEF", "", 0},
        UndumpCase{"XxdGroupsOfThreeHaveOneOrder", {},
                   "00000000: 0a0b0c 0d0e0f 101112 131415  ............\n0000000c: 161718"
                   + sp(23) + "...\n", "\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18",
                   "", 0},
        UndumpCase{"XxdEbcdicColumn", {},
                   "00000000: c885 9393 966b 40e6 9699 9384 5a         Hello, World!\n",
                   "\xc8\x85\x93\x93\x96\x6b\x40\xe6\x96\x99\x93\x84\x5a", "", 0},
        UndumpCase{"XxdEbcdicColumnLittleEndian", {},
                   "00000000: 939385c8 e6406b96 84939996       5a  Hello, World!\n",
                   "\xc8\x85\x93\x93\x96\x6b\x40\xe6\x96\x99\x93\x84\x5a", "", 0},
        UndumpCase{"XxdColumnOfNoReading", {}, "00000000: 4142 4344  ABCZ\n", "",
                   "unquarnel: stdin:1: the character column shows the bytes neither as xxd nor "
                   "as xxd-e reads them (was a byte edited?): name one with --from=xxd or "
                   "--from=xxd-e\n", 1},
        UndumpCase{"XxdSqueezeCountedByTheNextAddress", {},
                   "00000000: 0000 0000 0000 0000 0000 0000 0000 0000  ................\n*\n"
                   "00000080: 5151 5151 5151 5151 5151 5151 5151 5151  QQQQQQQQQQQQQQQQ\n"
                   "00000090: 5253 5253 5253 5253                      RSRSRSRS\n",
                   std::string(128, '\0') + std::string(16, 'Q') + "RSRSRSRS", "", 0},
        UndumpCase{"XxdSqueezeNothingCounts", {},
                   "00000000: 0000 0000 0000 0000 0000 0000 0000 0000  ................\n*\n"
                   "00000080: 5151 5151 5151 5151 5151 5151 5151 5151  QQQQQQQQQQQQQQQQ\n",
                   std::string(16, '\0'),
                   "unquarnel: stdin:3: this reads as xxd or as xxd-d, which give different "
                   "bytes: name one with --from=xxd or --from=xxd-d\n", 1},
        // A * repeats the line before it, whatever the lines before that.
        UndumpCase{"HexdumpSqueezeAfterTwoLines", {},
                   "00000000  9d 91 4e 87 75 f7 ef aa  15 2f 4c 4e c7 17 7a 04  |..N.u..../LN..z.|\n"
                   "00000010  9d 91 4e 87 75 f7 ef aa  15 2f 5e 4e c7 17 7a 04  |..N.u..../^N..z.|\n"
                   "*\n00000040  42 9c 4c 18 37" + sp(36) + "|B.L.7|\n00000045\n",
                   "\x9d\x91\x4e\x87\x75\xf7\xef\xaa\x15\x2f\x4c\x4e\xc7\x17\x7a\x04"
                   "\x9d\x91\x4e\x87\x75\xf7\xef\xaa\x15\x2f\x5e\x4e\xc7\x17\x7a\x04"
                       "\x9d\x91\x4e\x87\x75\xf7\xef\xaa\x15\x2f\x5e\x4e\xc7\x17\x7a\x04"
                       "\x9d\x91\x4e\x87\x75\xf7\xef\xaa\x15\x2f\x5e\x4e\xc7\x17\x7a\x04"
                       "\x42\x9c\x4c\x18\x37", "", 0},
        UndumpCase{"HexdumpSqueezeAfterAnEditedColumn", {},
                   "00000000  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  |AAAAAAAAAAAAAAAA|\n"
                   "00000010  42 42 42 42 42 42 42 42  42 42 42 42 42 42 42 42  |AAAAAAAAAAAAAAAA|\n"
                   "*\n00000030\n", std::string(16, 'A') + std::string(32, 'B'), "", 0},
        // grep's lines: a -- parts groups, a name before a line is refused.
        UndumpCase{"GrepGroupsOutsideAPatch", {}, "00000000  41\n--\n00000100  42\n", "A",
                   "unquarnel: stdin:2: a -- line parts groups of lines at addresses of their own, "
                   "as quarnel-grep -A, -B and -C write them: apply them to the file with "
                   "--patch\n", 1},
        UndumpCase{"GrepLinesOfSeveralFiles", {}, "a:b-c:00000000  41" + sp(48) + "A\n", "",
                   "unquarnel: stdin:1: the line starts with an input's name, as quarnel-grep "
                   "writes lines of several files: search with -h (--no-filename) for lines "
                   "without it\n", 1},
        UndumpCase{"XxdGroupsNamedLittleEndian", {"--from=xxd-e"}, "00000000: 0102 0304  ....\n",
                   "\x02\x01\x04\x03", "", 0},
        UndumpCase{"XxdBitsOfOneByte", {}, "00000000: 01000001  A\n", "A", "", 0},
        UndumpCase{"XxdDecimalAddresses", {},
                   "00000000: 4142 4344 4546 4748 494a 4b4c 4d4e 4f50  ABCDEFGHIJKLMNOP\n"
                   "00000016: 5152                                     QR\n",
                   "ABCDEFGHIJKLMNOPQR", "", 0},
        UndumpCase{"OdDecimalAddressesAfterASkip", {},
                   "0000003 44 45 46 47\n0000007 48 49 4a 4b\n0000011 4c\n0000012\n",
                   "DEFGHIJKL", "", 0},
        UndumpCase{"OdSqueezedWithoutAddresses", {}, " 00 00\n*\n", std::string(2, '\0'),
                   "unquarnel: stdin:2: a * line in a dump without addresses: nothing tells how "
                   "many lines it stands for\n", 1},
        UndumpCase{"HexdumpWithoutItsClosingLineAfterAShortOne", {},
                   "00000000  41 42" + sp(45) + "|AB|\n", "AB",
                   "unquarnel: stdin:2: the dump ends after its short last line without its "
                   "closing line (the address past its data)\n", 1},
        UndumpCase{"XxdLineWithoutItsLineEnd", {}, "00000000: 4142  AB", "",
                   "unquarnel: stdin:1: the line has no line end, and a line cut short may read "
                   "as another: end it with one, or name its layout with --from=LAYOUT\n", 1},
        UndumpCase{"XxdLineWithoutItsLineEndNamed", {"--from=xxd"}, "00000000: 4142  AB", "AB",
                   "", 0},
        UndumpCase{"OdCharacters", {}, "0000000   A   B\n0000002\n", "",
                   "unquarnel: stdin:1: the dump shows words, numbers or characters, not each "
                   "byte's two hex digits: dump with hexdump -C, od -t x1 or xxd\n", 1},
        UndumpCase{"FromWithoutEquals", {"--from", "xxd"}, "", "",
                   "unquarnel: --from and its layout are one word: write --from=xxd\n" + usage, 2},
        UndumpCase{"ReverseOfAPlainDump", {"-R", "-p", "no-such-folder/x"}, "00000000  41\n", "",
                   "unquarnel: stdin: --reverse undoes a diff, and this is none\n", 2},
        UndumpCase{"UnknownLayout", {}, "hello, world\n", "",
                   "unquarnel: stdin:1: the text is no dump that unquarnel reads: quarnel's, "
                   "xxd's (also -p, -i, -b, -e, -d), hexdump -C's, od -t x1's, or hex bytes "
                   "parted by blanks or as \\xHH\n", 1},
        UndumpCase{"UnknownLayoutName", {"--from=xxd-r"}, "", "",
                   "unquarnel: unknown layout (quarnel, xxd, xxd-e, xxd-d, xxd-e-d, xxd-plain, "
                   "xxd-c, hexdump, od, od-d, od-x, hex, cpp, rust): --from=xxd-r\n" + usage, 2},
        UndumpCase{"QuarnelAfterAShortXxdDump", {}, "00000000: 4142" + sp(37) + "AB\n00000010  43\n",
                   "ABC", "", 0},
        UndumpCase{"TypedHex", {}, "de ad be ef\n7f 45\n", "\xDE\xAD\xBE\xEF\x7F\x45", "", 0},
        UndumpCase{"EscapedHex", {}, "\\x7f\\x45\\x4c\\x46\n\\x02\n", "\x7F" "ELF\x02", "", 0},
        UndumpCase{"TypedHexWithAStrayLetter", {}, "de ad bx\n", "",
                   "unquarnel: stdin:1: a byte is not two hex digits\n", 1},
        UndumpCase{"Help", {"--help"}, "", with_line_ends(usage +
                   "       unquarnel --recover FILE | --help | --version\n"), "", 0},
        UndumpCase{"Version", {"--version"}, "", with_line_ends("unquarnel 1.0.0\n"), "", 0},
        UndumpCase{"UnknownOption", {"-x"}, "", "", "unquarnel: unknown option: -x\n" + usage, 2},
        UndumpCase{"MissingFile", {"--patch"}, "", "",
                   "unquarnel: option needs a file name: --patch\n" + usage, 2},
        UndumpCase{"EmptyFileName", {"--patch=", "-"}, "00000000  41\n", "",
                   "unquarnel: option needs a file name: --patch=\n" + usage, 2},
        UndumpCase{"PatchAndOutput", {"-o", "a", "-pb"}, "", "",
                   "unquarnel: --patch and --output do not go together: -pb\n" + usage, 2},
        UndumpCase{"TwoFiles", {"-pa", "--patch=b"}, "", "",
                   "unquarnel: one file to patch, not two: --patch=b\n" + usage, 2},
        UndumpCase{"RecoverWithADump", {"--recover", "a", "d"}, "", "",
                   "unquarnel: --recover takes a file and nothing else: d\n" + usage, 2},
        UndumpCase{"RecoverAndPatch", {"--recover=a", "-pb"}, "", "",
                   "unquarnel: --recover takes a file and nothing else: --recover\n" + usage, 2},
        UndumpCase{"RecoverWithoutAFile", {"--recover"}, "", "",
                   "unquarnel: option needs a file name: --recover\n" + usage, 2},
        UndumpCase{"NoJournalWithoutAPatch", {"--no-journal", "-o", "a"}, "", "",
                   "unquarnel: --no-journal goes with --patch: --no-journal\n" + usage, 2}),
    [](const auto& param_info) { return std::string(param_info.param.name); });
// clang-format on

TEST(Undump, XxdColumnsLedByBlanksReadAtEveryWidth) {
  // Text led by 1 to 16 blanks in xxd's layouts at every width and group,
  // either byte order, as written and stripped: read without naming the
  // layout, exactly its bytes, or refused naming a reading that reads it.
  std::size_t read = 0;
  for (std::size_t blanks = 1; blanks <= 16; ++blanks) {
    const std::string data = std::string(blanks, ' ') + "def f(x): return x.y  # a\n";
    for (unsigned columns = 1; columns <= 40; ++columns) {
      for (const int group : {-1, 0, 1, 2, 3, 4, 8}) {
        for (const bool little : {false, true}) {
          const LayoutSettings settings{
              .columns = columns, .group = group, .little_endian = little};
          if (check_layout(settings) != LayoutError::none) {
            continue;
          }
          for (const int way : {0, 2}) {
            const std::string text = pasted(written_layout(settings, data, data.size()), way);
            const ReadAll got = read_all(text, ReadMode::dumps, DumpReading::any);
            const std::string where = std::to_string(blanks) + " blanks, -c " +
                                      std::to_string(columns) + " -g " + std::to_string(group) +
                                      (little ? " -e" : "") + (way == 2 ? ", stripped" : "");
            if (got.stop.error == ReadError::none) {
              ASSERT_TRUE(got.bytes == data) << where;
              ++read;
              continue;
            }
            ASSERT_EQ(got.stop.error, ReadError::ambiguous) << where;
            const DumpReading own = settings_reading(settings);
            ASSERT_TRUE(got.stop.readings[0] == own || got.stop.readings[1] == own) << where;
            const ReadAll named = read_all(text, ReadMode::dumps, own);
            ASSERT_TRUE(named.stop.error == ReadError::none && named.bytes == data) << where;
          }
        }
      }
    }
  }
  EXPECT_GT(read, std::size_t{4000});
}

TEST(Undump, ReadsBackTheDumpsOfXxdHexdumpAndOd) {
  // INPUT.TOOL.txt: the dump a tool made of INPUT (see make-samples.sh).
  std::size_t read = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUARNEL_LAYOUT_SAMPLES)) {
    const std::string file = entry.path().filename().string();
    if (!file.ends_with(".txt")) {
      continue;
    }
    const std::string name = file.substr(0, file.find('.'));
    const std::string tool = file.substr(name.size() + 1, file.size() - name.size() - 5);
    std::string bytes = name == "zeros-squeezed" ? std::string(100, '\0') + "x"
                        : name == "zeros-end"    ? std::string(64, '\0')
                                                 : "";
    if (name.starts_with("bytes")) {
      for (int i = 0; i < std::stoi(name.substr(5)); ++i) {
        bytes += static_cast<char>((i * 37 + 11) % 256);
      }
    }
    // What the dump shows: the tools' seeks skip the first bytes.
    const std::size_t skipped = tool == "xxd-s5"       ? 5
                                : tool == "hexdump-s3" ? 3
                                : tool == "od-j2"      ? 2
                                                       : 0;
    bytes.erase(0, skipped);
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    std::vector<std::uint8_t> out(bytes.size() + 16);
    const ReadBack back = read_dump(text, out);
    // xxd and hexdump write nothing for an empty file, which is no dump.
    const bool nothing = text.empty();
    EXPECT_EQ(back.error, nothing ? ReadError::no_dump : ReadError::none)
        << file << ":" << back.line << ":" << back.column << ": " << message(back.error);
    EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(back.size)), bytes)
        << file;
    ++read;
  }
  EXPECT_GE(read, 60U);
}

TEST(UndumpPatch, OnlyACheckedDumpChangesTheFile) {
  const std::string file = scratch_name("unquarnel-");
  const std::string original = "0123456789ABCDEFGHIJ";
  const auto patch = [&](const std::string& dump, const std::vector<std::string>& args) {
    const Outcome got = run_tool(args, dump, {}, UNQUARNEL_BINARY);
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {}) + got.err +
           std::to_string(got.status);
  };
  std::ofstream(file, std::ios::binary) << original;
  // One line cut from an edited dump: just its bytes change.
  EXPECT_EQ(patch("00000010  47 68 49 4A" + sp(39) + "GhIJ\n", {"-p" + file}),
            "0123456789ABCDEFGhIJ0");
  // Lines stand alone; lines past the end extend the file.
  EXPECT_EQ(patch("00000018  5A\n00000001  78\n", {"--patch=" + file, "-"}),
            "0x23456789ABCDEFGhIJ" + std::string(4, '\0') + "Z0");
  // Any bad line, addresses past FFFFFFFF, a line cut inside its character
  // column or no line at all, and the file stays as it was.
  const std::string kept = "0x23456789ABCDEFGhIJ" + std::string(4, '\0') + "Z";
  for (const std::string& bad :
       {std::string("00000000  41\n0000000X  42\n"),
        "FFFFFFF0  " + line_0.substr(10) + "00000000  41\n", std::string("FFFFFFFF  41 42\n"),
        line_0.substr(0, 70), std::string("\n\n")}) {
    const std::string after = patch(bad, {"-p", file});
    EXPECT_TRUE(after.starts_with(kept + "unquarnel: stdin")) << after;
    EXPECT_EQ(after.back(), '1') << after;
  }
  std::filesystem::remove(file);
  // No journal beside a device would outlive a reboot: it is patched only
  // when the user does without one.
  if (std::filesystem::exists("/dev/full")) {
    const Outcome refused = run_tool({"-p", "/dev/full"}, "00000000  41\n", {}, UNQUARNEL_BINARY);
    EXPECT_EQ(refused.err + std::to_string(refused.status),
              "unquarnel: /dev/full: a device is patched only with --no-journal: no journal "
              "beside it would outlive a reboot\n1");
    const Outcome got =
        run_tool({"-p", "/dev/full", "--no-journal"}, "00000000  41\n", {}, UNQUARNEL_BINARY);
    EXPECT_EQ(got.err + std::to_string(got.status),
              "unquarnel: /dev/full: write error: no space left on device\n"
              "unquarnel: /dev/full: restored as it was\n1");
  }
}

TEST(UndumpPatch, DiffsOfOtherLayoutsApplyOnceAndUndo) {
  const std::string file = scratch_name("unquarnel-diff-");
  struct Row {
    const char* name;
    std::string old_bytes, new_bytes, diff;
    const char* from;  // the layout named
  };
  const std::string head = "--- a\n+++ b\n";
  const std::vector<Row> rows{
      {"XxdChange", "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQXS",
       head +
           "@@ -1,2 +1,2 @@\n 00000000: 4142 4344 4546 4748 494a 4b4c 4d4e 4f50  "
           "ABCDEFGHIJKLMNOP\n-00000010: 5152 53" +
           sp(34) + "QRS\n+00000010: 5158 53" + sp(34) + "QXS\n",
       "--from=xxd"},
      {"HexdumpGrows", "AB", "ABCD",
       head + "@@ -1,2 +1,2 @@\n-00000000  41 42" + sp(45) + "|AB|\n-00000002\n" +
           "+00000000  41 42 43 44" + sp(39) + "|ABCD|\n+00000004\n",
       "--from=hexdump"},
      {"OdIsCut", "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOP",
       head + "@@ -1,3 +1,2 @@\n 0000000 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50\n"
              "-0000020 51 52 53 54\n-0000024\n+0000020\n",
       "--from=od"},
      {"XxdLastFullLineRemoved", "ABCDEFGHIJKLMNOPabcdefghijklmnop", "ABCDEFGHIJKLMNOP",
       head + "@@ -1,2 +1 @@\n 00000000: 4142 4344 4546 4748 494a 4b4c 4d4e 4f50  "
              "ABCDEFGHIJKLMNOP\n-00000010: 6162 6364 6566 6768 696a 6b6c 6d6e 6f70  "
              "abcdefghijklmnop\n",
       "--from=xxd"}};
  const auto patch = [&](const std::string& diff, const std::vector<std::string>& args) {
    const Outcome got = run_tool(args, diff, {}, UNQUARNEL_BINARY);
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {}) + "|" + std::to_string(got.status);
  };
  for (const Row& row : rows) {
    std::ofstream(file, std::ios::binary) << row.old_bytes;
    EXPECT_EQ(patch(row.diff, {"-p", file}), row.new_bytes + "|0") << row.name;
    EXPECT_EQ(patch(row.diff, {"-p", file}), row.new_bytes + "|1") << row.name << ", again";
    EXPECT_EQ(patch(row.diff, {"-R", "-p", file}), row.old_bytes + "|0") << row.name << ", undone";
    EXPECT_EQ(patch(row.diff, {row.from, "-p", file}), row.new_bytes + "|0") << row.name;
  }
  // Lines without addresses give their bytes no place.
  const Outcome plain =
      run_tool({"-p", file}, head + "@@ -1 +1 @@\n-4142\n+4143\n", {}, UNQUARNEL_BINARY);
  EXPECT_EQ(plain.err, with_line_ends("unquarnel: stdin:4: the diff is of dumps without "
                                      "addresses: nothing says where their bytes go\n"));
  EXPECT_EQ(plain.status, 1);
  std::filesystem::remove(file);
}

TEST(UndumpOutput, TheFileAppearsOrIsReplacedOnlyWhole) {
  const std::filesystem::path dir = scratch_name("unquarnel-out-");
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "x.bin").string();
  const auto run = [&](const std::vector<std::string>& args, const std::string& dump) {
    const Outcome got = run_tool(args, dump, {}, UNQUARNEL_BINARY);
    std::ifstream in(file, std::ios::binary);
    return (in ? std::string(std::istreambuf_iterator<char>(in), {}) : "absent") + got.err +
           std::to_string(got.status) +
           std::to_string(std::distance(std::filesystem::directory_iterator(dir), {}));
  };
  const std::string bad = "00000000  41\n0000000X\n";
  const std::string bad_line = "unquarnel: stdin:2: the address is not 8 hex digits\n";
  EXPECT_EQ(run({"-o", file}, bad), "absent" + with_line_ends(bad_line) + "10");
  EXPECT_EQ(run({"--output", file}, line_0 + "00000010\n"), "0123456789ABCDEF01");
  EXPECT_EQ(run({"--output=" + file}, bad), "0123456789ABCDEF" + with_line_ends(bad_line) + "11");
  EXPECT_EQ(run({"-o" + file}, "00000000  41\n"), "A01");
  // An empty text, as a failed command before a pipe leaves, is no dump.
  EXPECT_EQ(run({"-o", file}, ""),
            "A" + with_line_ends("unquarnel: stdin: no dump in it\n") + "11");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarnel
