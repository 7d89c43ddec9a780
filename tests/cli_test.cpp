// Runs the built tool as a process and checks its output, messages and exit
// status, the same on every platform but for the line ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace quarnel {
namespace {

using testing::Outcome;
using testing::Redirect;
using testing::run_tool;
using testing::scratch_name;
using testing::with_line_ends;

std::string sp(std::size_t count) { return std::string(count, ' '); }

std::string bytes_from(int first, int count) {
  std::string data;
  for (int i = 0; i < count; ++i) {
    data.push_back(static_cast<char>(first + i));
  }
  return data;
}

const std::string end_line_0 = "00000000" + sp(52) + "\n";
const std::string dump_abc = "00000000  41 42 43" + sp(42) + "ABC\n";
const std::string help =
    "Talvex like dump program. <Presented by Pendrask>\n"
    "Usage : quarnel [-<offset>|-x<hex-offset>] [file...]\n";

// A folder of sample inputs: abc holds "ABC", digits the 16 hex digits, and
// données.bin a name outside ASCII.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Each test runs in a process of its own, some at the same time.
    dir_ = scratch_name("quarnel-cli-");
    std::filesystem::create_directories(dir_);
    std::ofstream(path("abc"), std::ios::binary) << "ABC";
    std::ofstream(path("digits"), std::ios::binary) << "0123456789ABCDEF";
    std::ofstream(path("données.bin"), std::ios::binary) << "\xC3\xA9";
    std::ofstream(path("patterns"), std::ios::binary) << "# letters\n\n42\n  i\"c\"\r\n";
    std::ofstream(path("bad-patterns"), std::ios::binary) << "41\n# x\n41 4G\n";
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  static std::string path(const std::string& name) { return dir_ + "/" + name; }
  // "@" before a name in an argument or a text stands for the sample folder.
  static std::string in_samples(std::string text) {
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
      text.replace(at, 1, dir_ + "/");
    }
    return text;
  }
  // Runs a companion program and checks its output, messages and status.
  static void expect_run(const char* program, std::vector<std::string> args,
                         const std::string& input, const std::string& out, const std::string& err,
                         int status) {
    for (std::string& arg : args) {
      arg = arg.starts_with("@") ? in_samples(arg) : arg;
    }
    const Outcome got = run_tool(args, input, {}, program);
    const std::string shown = args.empty() ? "" : args[0];
    EXPECT_EQ(got.out, in_samples(out)) << shown;
    EXPECT_EQ(got.err, with_line_ends(in_samples(err))) << shown;
    EXPECT_EQ(got.status, status) << shown;
  }
  static std::string dir_;
};
std::string CliTest::dir_;

struct CliCase {
  const char* name;
  std::vector<std::string> args;  // "@x" stands for the sample input x
  std::string input;
  std::string out;
  std::string err;  // "@" stands for the sample folder
  int status;
  // Standard input or output opened on a file instead; then out is not
  // checked. Rows whose files a system lacks (/dev/full, /proc) are skipped.
  const char* in_file = nullptr;
  const char* out_file = nullptr;
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

class CliCases : public CliTest, public ::testing::WithParamInterface<CliCase> {};

TEST_P(CliCases, OutputMessagesAndStatus) {
  const CliCase& c = GetParam();
  std::vector<std::string> args = c.args;
  for (std::string& arg : args) {
    if (arg.starts_with("@")) {
      arg = path(arg.substr(1));
    } else if (arg.starts_with("/") && !std::filesystem::exists(arg)) {
      GTEST_SKIP() << arg << " is not on this system";
    }
  }
  FILE* in = c.in_file != nullptr ? std::fopen(c.in_file, "rb") : nullptr;
  FILE* out = c.out_file != nullptr ? std::fopen(c.out_file, "wb") : nullptr;
  if ((c.in_file != nullptr && in == nullptr) || (c.out_file != nullptr && out == nullptr)) {
    GTEST_SKIP() << "a device is not on this system";
  }
  const Outcome got =
      run_tool(args, c.input, {in != nullptr ? fileno(in) : -1, out != nullptr ? fileno(out) : -1});
  for (FILE* file : {in, out}) {
    if (file != nullptr) {
      std::fclose(file);
    }
  }
  std::string err = c.err;
  if (const auto at = err.find('@'); at != std::string::npos) {
    err.replace(at, 1, dir_ + "/");
  }
  EXPECT_EQ(got.out, with_line_ends(out != nullptr ? "" : c.out));
  EXPECT_EQ(got.err, with_line_ends(err));
  EXPECT_EQ(got.status, c.status);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Lines, CliCases,
    ::testing::Values(
        CliCase{"ExactlyOneLine", {}, "0123456789ABCDEF",
                "00000000  30 31 32 33 34 35 36 37-38 39 41 42 43 44 45 46   0123456789ABCDEF\n"
                "00000010" + sp(52) + "\n", "", 0},
        CliCase{"SevenBytesHaveNoDash", {}, "ABCDEFG",
                "00000000  41 42 43 44 45 46 47" + sp(30) + "ABCDEFG\n", "", 0},
        CliCase{"SeventeenBytes", {}, bytes_from(0, 17),
                "00000000  00 01 02 03 04 05 06 07-08 09 0A 0B 0C 0D 0E 0F   ................\n"
                "00000010  10                                                .\n", "", 0},
        CliCase{"RawBytesAndPrintable", {}, std::string("\r\n\x1A\x1f\x20\x7e\x7f\x80\xff", 9),
                "00000000  0D 0A 1A 1F 20 7E 7F 80-FF" + sp(24) + ".... ~...\n", "", 0},
        CliCase{"OffsetFive", {"-5"}, bytes_from(0x20, 32),
                "00000005  25 26 27 28 29 2A 2B 2C-2D 2E 2F 30 31 32 33 34   %&'()*+,-./01234\n"
                "00000015  35 36 37 38 39 3A 3B 3C-3D 3E 3F" + sp(18) + "56789:;<=>?\n", "", 0},
        CliCase{"OffsetPastLength", {"-x4"}, "ABC", "", "dump error:stdin\n", 1},
        CliCase{"NegativeOffsetWraps", {"-x-10"}, bytes_from(0x41, 40),
                "FFFFFFF0  41 42 43 44 45 46 47 48-49 4A 4B 4C 4D 4E 4F 50   ABCDEFGHIJKLMNOP\n"
                "00000000  51 52 53 54 55 56 57 58-59 5A 5B 5C 5D 5E 5F 60   QRSTUVWXYZ[\\]^_`\n"
                "00000010  61 62 63 64 65 66 67 68-" + sp(26) + "abcdefgh\n", "", 0},
        CliCase{"MostNegativeOffset", {"-2147483648"}, "", "80000000" + sp(52) + "\n", "", 0},
        // proc files report size 0 and sys files a page, whatever they hold.
        CliCase{"ProcFile", {"-x5", "/proc/sys/kernel/ostype"}, "",
                "00000005  0A" + sp(48) + ".\n", "", 0},
        CliCase{"ProcFileFromItsEnd", {"-6", "/proc/sys/kernel/ostype"}, "",
                "00000006" + sp(52) + "\n", "", 0},
        CliCase{"ProcFileTooShort", {"-7", "/proc/sys/kernel/ostype"}, "", "",
                "dump error:/proc/sys/kernel/ostype\n", 1},
        CliCase{"SysFileShorterThanItsSize", {"-4095", "/sys/devices/system/cpu/online"}, "", "",
                "dump error:/sys/devices/system/cpu/online\n", 1}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Runs, CliCases,
    ::testing::Values(
        CliCase{"Help", {"-h"}, "", help, "", 0},
        CliCase{"HelpBeforeNamesReadsNothing", {"-x3", "-H", "@missing"}, "", help, "", 0},
        CliCase{"TwoFilesEachFromTheOffset", {"-1", "@abc", "@digits"}, "",
                "00000001  42 43" + sp(45) + "BC\n"
                "00000001  31 32 33 34 35 36 37 38-39 41 42 43 44 45 46" + sp(6) +
                    "123456789ABCDEF\n", "", 0},
        CliCase{"FileTooShort", {"-x4", "@abc", "@digits"}, "", "", "dump error:@abc\n", 1},
        CliCase{"SecondMissing", {"@abc", "@missing", "@digits"}, "", dump_abc,
                "cannot open file:@missing\n", 1},
        CliCase{"EmptyName", {"@abc", ""}, "", dump_abc, "cannot open file:\n", 1},
        CliCase{"Directory", {"@"}, "", "", "cannot open file:@\n", 1},
        CliCase{"NameOutsideAscii", {"@données.bin", "@missing-é"}, "",
                "00000000  C3 A9" + sp(45) + "..\n", "cannot open file:@missing-é\n", 1},
        CliCase{"ReadErrorAfterTheLinesSoFar", {"/proc/self/mem"}, "", end_line_0,
                "read error:/proc/self/mem\n", 1},
        CliCase{"DirectoryOnStdin", {}, "", end_line_0, "read error:stdin\n", 1, "/"},
        CliCase{"FullDevice", {"/dev/zero"}, "", "", "write error:stdout\n", 1, nullptr, "/dev/full"},
        CliCase{"FullDeviceHelp", {"-h"}, "", "", "write error:stdout\n", 1, nullptr, "/dev/full"},
        CliCase{"FullDeviceEndLine", {"/dev/null"}, "", "", "write error:stdout\n", 1, nullptr,
                "/dev/full"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });
// clang-format on

TEST_F(CliTest, MoreThan256NamesDumpsThe256AndNamesTheNext) {
  std::vector<std::string> args(257, path("abc"));
  args.back() = path("digits");
  const Outcome got = run_tool(args);
  std::string expected;
  for (int i = 0; i < 256; ++i) {
    expected += dump_abc;
  }
  EXPECT_EQ(got.out, with_line_ends(expected));
  EXPECT_EQ(got.err, with_line_ends("too many files:" + path("digits") + "\n"));
  EXPECT_EQ(got.status, 1);
}

TEST_F(CliTest, DiffTroubleIsStatusTwo) {
  const std::string usage =
      "usage: quarnel-diff [-U N | --unified=N] [--same-offsets] [--stat] [--color[=WHEN]] "
      "[--progress[=WHEN]] [--] "
      "OLD "
      "NEW\n";
  struct Row {
    std::vector<std::string> args;
    std::string err;
  };
  for (const Row& row :
       {Row{{"-U"}, "quarnel-diff: option needs a number of lines: -U\n" + usage},
        Row{{"--unified=x", "a", "b"},
            "quarnel-diff: option needs a number of lines: --unified=x\n" + usage},
        Row{{path("abc")}, "quarnel-diff: two files to compare, OLD and NEW\n" + usage},
        Row{{path("abc"), path("missing")},
            "quarnel-diff: " + path("missing") +
                ": cannot open: " + testing::missing_file_reason() + "\n"}}) {
    const Outcome got = run_tool(row.args, "", {}, QUARNEL_DIFF_BINARY);
    EXPECT_EQ(got.err + std::to_string(got.status), with_line_ends(row.err) + "2");
  }
}

TEST_F(CliTest, GrepSaysWhatItFoundAndWhatWentWrong) {
  const std::string usage =
      "usage: quarnel-grep [-A N] [-B N] [-C N] [-m N] [-i] [-c | -l | -q | --offsets "
      "[--with-pattern]] [-h | -H] [-r | -R] [--include=GLOB] [--exclude=GLOB] "
      "[--exclude-dir=GLOB] [--color[=WHEN]] [--progress[=WHEN]] [--] {PATTERN | -e PATTERN... "
      "| -f FILE...} "
      "[FILE...]\n";
  const std::string missing = "quarnel-grep: " + path("missing") +
                              ": cannot open: " + testing::missing_file_reason() + "\n";
  struct Row {
    std::vector<std::string> args;  // "@x" stands for the sample input x
    std::string input;
    std::string out;
    std::string err;
    int status;
  };
  for (const Row& row : {
           Row{{"41", "@abc"}, "", dump_abc, "", 0},
           Row{{"44", "@abc"}, "", "", "", 1},
           Row{{"4"},
               "A",
               "",
               "quarnel-grep: pattern:1: \"4\" is one hex digit; a byte has two\n",
               2},
           Row{{"41 \"B"},
               "AB",
               "",
               "quarnel-grep: pattern:4: a text opened here has no closing quote\n",
               2},
           Row{{"-c", "41", "@abc", "@missing", "@digits"}, "", "@abc:1\n@digits:1\n", missing, 2},
           Row{{"-h", "-c", "41", "@abc", "@digits"}, "", "1\n1\n", "", 0},
           Row{{"-H", "-h", "41", "@abc"}, "", dump_abc, "", 0},
           Row{{"-H", "--offsets", "41", "-"}, "A", "(standard input):00000000\n", "", 0},
           Row{{"--no-filename", "--with-filename", "-c", "41", "@abc"}, "", "@abc:1\n", "", 0},
           Row{{"-q", "41", "@missing", "@abc"}, "", "", missing, 0},
           Row{{"-q", "44", "@missing", "@abc"}, "", "", missing, 2},
           Row{{"-l", "41", "@abc", "@données.bin", "-"}, "xA", "@abc\n(standard input)\n", "", 0},
           Row{{"--offsets", "43", "-"}, "ABCABC", "00000002\n00000005\n", "", 0},
           // Several patterns: each match says which, by number or text.
           Row{{"--offsets", "-e", "43", "-e", "41", "@abc"},
               "",
               "00000000 2\n00000002 1\n",
               "",
               0},
           Row{{"--offsets", "-f", "@patterns", "@abc"}, "", "00000001 1\n00000002 2\n", "", 0},
           Row{{"--offsets", "--with-pattern", "-e41", "--file", "@patterns", "@abc"},
               "",
               "00000000 41\n00000001 42\n00000002 i\"c\"\n",
               "",
               0},
           Row{{"-c", "-e", "41", "-e", "41 42"}, "ABAB", "4\n", "", 0},
           Row{{"-e", "41", "-e", "43", "@abc"}, "", dump_abc, "", 0},
           Row{{"-f", "@bad-patterns", "@abc"},
               "",
               "",
               "quarnel-grep: @bad-patterns:3:5: \"G\" is not a hex digit\n",
               2},
           Row{{"-e", "4", "-e", "41"},
               "A",
               "",
               "quarnel-grep: pattern 1:1: \"4\" is one hex digit; a byte has two\n",
               2},
           Row{{"-f", "@missing"}, "", "", missing, 2},
           Row{{"-m", "1", "--offsets", "43"}, "ABCABC", "00000002\n", "", 0},
           Row{{"-m0", "41", "@abc"}, "", "", "", 1},
           Row{{"--offsets", "41", "@abc", "@digits"},
               "",
               "@abc:00000000\n@digits:0000000A\n",
               "",
               0},
           Row{{}, "", "", "quarnel-grep: a pattern to find\n" + usage, 2},
           Row{{"-A"}, "", "", "quarnel-grep: option needs a number of lines: -A\n" + usage, 2},
           Row{{"--context=x", "41"},
               "",
               "",
               "quarnel-grep: option needs a number of lines: --context=x\n" + usage,
               2},
           Row{{"-B", "65537", "41"},
               "",
               "",
               "quarnel-grep: option takes at most 65536 lines: -B\n" + usage,
               2},
           Row{{"-m", "-1", "41"},
               "",
               "",
               "quarnel-grep: option needs a number of matches: -m\n" + usage,
               2},
           Row{{"-x", "41"}, "", "", "quarnel-grep: unknown option: -x\n" + usage, 2},
           Row{{"--color=sometimes", "41"},
               "",
               "",
               "quarnel-grep: unknown option: --color=sometimes\n" + usage,
               2},
           Row{{"--help"},
               "",
               usage + "       quarnel-grep --help | --version\n-c, --count, --count-matches: the "
                       "number of matches, as rg --count-matches counts them (grep -c counts "
                       "lines; a match may span two dump lines)\n",
               "",
               0},
           // -i: the text's letters in either case, hex exact; i"..." alone.
           Row{{"-i", "-c", "\"elF\" 21"}, "ELF! elf? Elf!", "2\n", "", 0},
           Row{{"-c", R"("ELF" i"elf")"}, "ELFELF ELFeLf elfELF", "2\n", "", 0},
           // Matches, not lines: three on one line, one across two.
           Row{{"-c", "41"}, "AAA", "3\n", "", 0},
           Row{{"--count-matches", "41 41"}, std::string(15, '-') + "AA", "1\n", "", 0},
       }) {
    expect_run(QUARNEL_GREP_BINARY, row.args, row.input, with_line_ends(row.out), row.err,
               row.status);
  }
}

TEST_F(CliTest, GrepLinesEditedPatchTheFileTheyCameFrom) {
  // The guide's example: the -- between groups is a gap, and a line whose
  // bytes were edited writes them back.
  using namespace std::string_literals;
  std::string icons = std::string(40, '\0') + "GIF89a\x10\x00\x10\x00\xf7\x00\x00"s +
                      std::string(100, '\0') + "GIF87a \x00 \x00\xf0"s + std::string(20, '\0');
  std::ofstream(path("icons.bin"), std::ios::binary) << icons;
  const Outcome lines =
      run_tool({"-C1", "\"GIF8\" ?? 61", path("icons.bin")}, "", {}, QUARNEL_GREP_BINARY);
  ASSERT_EQ(lines.status, 0);
  std::string edited = lines.out;
  const std::size_t at = edited.find("47 49 46 38 39 61");
  ASSERT_NE(edited.find("\n--"), std::string::npos);
  ASSERT_NE(at, std::string::npos);
  edited.replace(at + 12, 2, "37");
  const Outcome patched = run_tool({"-p", path("icons.bin")}, edited, {}, UNQUARNEL_BINARY);
  EXPECT_EQ(patched.err + std::to_string(patched.status), "0");
  icons[44] = '7';
  const auto file = [&] {
    std::ifstream in(path("icons.bin"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_TRUE(file() == icons);
  // Lines of several files carry names, which a patch refuses before it
  // writes anything.
  const Outcome named = run_tool({"-C1", "\"GIF8\" ?? 61", path("icons.bin"), path("abc")}, "", {},
                                 QUARNEL_GREP_BINARY);
  const Outcome refused = run_tool({"-p", path("icons.bin")}, named.out, {}, UNQUARNEL_BINARY);
  EXPECT_EQ(refused.err, with_line_ends("unquarnel: stdin:1: the line starts with an input's name, "
                                        "as quarnel-grep writes lines of several files: search "
                                        "with -h (--no-filename) for lines without it\n"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(file() == icons);
}

TEST_F(CliTest, QuarnelAsRefusesWhatItCannotWrite) {
  const std::string usage = "usage: quarnel-as LAYOUT [OPTIONS] [--] [FILE...]\n";
  struct Row {
    std::vector<std::string> args;  // "@x" stands for the sample input x
    std::string input;
    std::string out;  // lines end in LF on every system, as the peers' do
    std::string err;
    int status;
  };
  for (const Row& row : {
           Row{{"xxd", "@abc"}, "", "00000000: 4142 43" + sp(34) + "ABC\n", "", 0},
           Row{{"xxd-c", "-"}, "AB", "  0x41, 0x42\n", "", 0},
           Row{{"xxd-plain", "-s", "0x1", "-l", "0X1", "@abc"}, "", "42\n", "", 0},
           Row{{"quarnel", "-s", "1", "@abc"},
               "",
               with_line_ends("00000001  42 43" + sp(45) + "BC\n"),
               "",
               0},
           Row{{}, "", "", "quarnel-as: a layout to write\n" + usage, 2},
           Row{{"xxd-r"},
               "",
               "",
               "quarnel-as: unknown layout (quarnel, xxd, xxd-e, xxd-d, xxd-e-d, xxd-plain, xxd-c, "
               "hexdump, od, od-d, od-x, hex, cpp, rust): xxd-r\n" +
                   usage,
               2},
           Row{{"xxd-c", "-b"},
               "",
               "",
               "quarnel-as: option not taken by this layout: -b\n" + usage,
               2},
           Row{{"quarnel", "-c", "8"},
               "",
               "",
               "quarnel-as: option not taken by this layout: -c\n" + usage,
               2},
           Row{{"xxd", "-c", "257"}, "", "", "quarnel-as: option takes 1 to 256: -c\n" + usage, 2},
           Row{{"od", "-w0"}, "", "", "quarnel-as: option takes 1 to 256: -w0\n" + usage, 2},
           Row{{"xxd", "-g", "x"}, "", "", "quarnel-as: option needs a number: -g\n" + usage, 2},
           Row{{"od", "-A", "q"}, "", "", "quarnel-as: option needs x, d, o or n: -A\n" + usage, 2},
           Row{{"xxd", "-e", "-g", "3"},
               "",
               "",
               "quarnel-as: the layout takes no such group\n" + usage,
               2},
           Row{{"xxd-c", "-n", "9lives"},
               "",
               "",
               "quarnel-as: the array's name is not an identifier of its language, or is a "
               "keyword\n" +
                   usage,
               2},
           Row{{"cpp", "-n", "abc"},
               "AB",
               "#pragma once\n#include <array>\n#include <cstdint>\n\n"
               "inline constexpr std::array<std::uint8_t, 2> abc{\n  0x41, 0x42,\n};\n",
               "",
               0},
           Row{{"rust", "-c", "1"},
               "AB",
               "pub static STANDARD_INPUT: [u8; 2] = [\n    0x41,\n    0x42,\n];\n",
               "",
               0},
           Row{{"rust", "-n", "x", "-s", "1", "-l", "1", "@abc"},
               "",
               "pub static x: [u8; 1] = [\n    0x42,\n];\n",
               "",
               0},
           Row{{"rust", "-n", "fn"},
               "",
               "",
               "quarnel-as: the array's name is not an identifier of its language, or is a "
               "keyword\n" +
                   usage,
               2},
           Row{{"cpp", "-n", "a", "-s", "4", "@abc"},
               "",
               "",
               "quarnel-as: @abc: the start is past the end\n",
               1},
           Row{{"od", "-A", "n", "-w", "1", "--charset=latin1"},
               "\xE9",
               " e9  >\xC3\xA9<\n",
               "",
               0},
           Row{{"xxd", "-E", "-c", "1"}, "\xC1", "00000000: c1  A\n", "", 0},
           Row{{"hex", "-c", "2", "-u"}, "AB\xFE", "41 42\nFE\n", "", 0},
           Row{{"xxd", "--color=always", "-c", "2"},
               std::string("A\0", 2),
               "00000000: \x1b[36m41\x1b[90m00  \x1b[36mA\x1b[90m.\x1b[0m\n",
               "",
               0},
           Row{{"cpp", "--color=always"},
               "",
               "",
               "quarnel-as: option not taken by this layout: --color=always\n" + usage,
               2},
           Row{{"od", "--color=sometimes"},
               "",
               "",
               "quarnel-as: unknown option: --color=sometimes\n" + usage,
               2},
           Row{{"hexdump", "--charset"},
               "",
               "",
               "quarnel-as: option needs ascii, latin1 or ebcdic: --charset\n" + usage,
               2},
           Row{{"xxd-plain", "--charset=ascii"},
               "",
               "",
               "quarnel-as: option not taken by this layout: --charset=ascii\n" + usage,
               2},
           Row{{"cpp", "-C"},
               "",
               "",
               "quarnel-as: option not taken by this layout: -C\n" + usage,
               2},
           Row{{"xxd", "-s", "4", "@abc", "@digits"},
               "",
               "00000004: 3435 3637 3839 4142 4344 4546" + sp(12) + "456789ABCDEF\n",
               "quarnel-as: @abc: the start is past the end\n",
               1},
           Row{{"xxd", "-s", "-4", "@abc"},
               "",
               "",
               "quarnel-as: @abc: the start is before the file's first byte\n",
               1},
           // Standard input from a file: its end is known.
           Row{{"xxd", "-s", "-1"}, "AB", "00000001: 42" + sp(39) + "B\n", "", 0},
           Row{{"hexdump", "@missing"},
               "",
               "",
               "quarnel-as: @missing: cannot open: " + testing::missing_file_reason() + "\n",
               1},
       }) {
    expect_run(QUARNEL_AS_BINARY, row.args, row.input, row.out, row.err, row.status);
  }
}

TEST_F(CliTest, MessagesFollowTheDumpWhenMerged) {
  const Outcome got = run_tool({path("abc"), path("missing")}, "", Redirect{.merge = true});
  EXPECT_EQ(got.out, with_line_ends(dump_abc + "cannot open file:" + path("missing") + "\n"));
  EXPECT_EQ(got.status, 1);
}

TEST_F(CliTest, AFileAppendedToIsNotDumpedIntoItself) {
  const std::string own = path("own");
  // The file after the run, then the messages and the exit status.
  const auto run_appending = [&](const std::vector<std::string>& args, bool own_on_stdin) {
    FILE* appended = std::fopen(own.c_str(), "ab");
    FILE* read = std::fopen(own.c_str(), "rb");
    std::fseek(appended, 0, SEEK_END);
    const Outcome got =
        run_tool(args, "", {.in = own_on_stdin ? fileno(read) : -1, .out = fileno(appended)});
    std::fclose(read);
    std::fclose(appended);
    std::ifstream file(own, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {}) + got.err +
           std::to_string(got.status);
  };
  std::ofstream(own, std::ios::binary).close();
  // Empty, as a shell's > leaves it, it is dumped.
  EXPECT_EQ(run_appending({own}, false), with_line_ends(end_line_0) + "0");
  // Holding data, even one byte, it is refused before it is read, after the
  // inputs before it.
  std::ofstream(own, std::ios::binary) << "x";
  EXPECT_EQ(run_appending({own}, false),
            "x" + with_line_ends("input is output:" + own + "\n") + "1");
  EXPECT_EQ(run_appending({path("abc"), own, path("digits")}, false),
            "x" + with_line_ends(dump_abc + "input is output:" + own + "\n") + "1");
  EXPECT_EQ(run_appending({}, true),
            "x" + with_line_ends(dump_abc + "input is output:stdin\n") + "1");
}

TEST(Cli, LinesGoOutBeforeAPipeIsWaitedFor) {
  // Neither program may wait for more input before writing what it has, even
  // where a pipe cannot be peeked (Wine): the writer closes the pipe only once
  // the first line, or the first byte read back, has come out.
  const std::string dump_line = with_line_ends(
      "00000000  30 31 32 33 34 35 36 37-38 39 61 62 63 64 65 66   0123456789abcdef\n");
  struct Run {
    const char* program;
    std::string input;
    std::string first;
  };
  for (const Run& run :
       {Run{QUARNEL_BINARY, "0123456789abcdefXY", dump_line},
        Run{UNQUARNEL_BINARY, "00000000  41\r\n00000020  42" + std::string(48, ' ') + "B", "A"}}) {
    int in[2];
    int out[2];
    testing::open_pipe(in);
    testing::open_pipe(out);
    ASSERT_TRUE(testing::write_fd(in[1], run.input));
    std::string shown;
    std::thread reader([&] {
      shown = testing::read_up_to(out[0], run.first.size());
      close_handle(in[1]);
      shown += testing::read_up_to(out[0], SIZE_MAX);
    });
    const Outcome got = run_tool({}, "", {.in = in[0], .out = out[1]}, run.program);
    close_handle(out[1]);
    reader.join();
    close_handle(in[0]);
    close_handle(out[0]);
    EXPECT_TRUE(shown.starts_with(run.first)) << run.program;
    EXPECT_EQ(got.status, 0) << run.program;
  }
}

}  // namespace
}  // namespace quarnel
