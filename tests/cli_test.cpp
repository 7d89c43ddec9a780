// Runs the built tool as a process and checks its output, messages and exit
// status.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace quarnel {
namespace {

using testing::Outcome;
using testing::Redirect;
using testing::run_tool;

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
const std::string dump_abc_from_1 = "00000001  42 43" + sp(45) + "BC\n";
const std::string dump_digits =
    "00000000  30 31 32 33 34 35 36 37-38 39 41 42 43 44 45 46   0123456789ABCDEF\n"
    "00000010" +
    sp(52) + "\n";
const std::string help =
    "Talvex like dump program. <Presented by Pendrask>\n"
    "Usage : quarnel [-<offset>|-x<hex-offset>] [file...]\n";

// A folder of sample inputs: abc holds "ABC", digits the 16 hex digits.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/quarnel-cli-XXXXXX";
    dir_ = mkdtemp(pattern);
    std::ofstream(dir_ + "/abc") << "ABC";
    std::ofstream(dir_ + "/digits") << "0123456789ABCDEF";
  }
  static void TearDownTestSuite() { std::system(("rm -rf " + dir_).c_str()); }
  static std::string path(const std::string& name) { return dir_ + "/" + name; }
  static std::string dir_;
};
std::string CliTest::dir_;

struct CliCase {
  const char* name;
  std::vector<std::string> args;  // "@x" stands for the sample input x
  std::string input;
  std::string out;
  std::string err;
  int status;
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

class CliCases : public CliTest, public ::testing::WithParamInterface<CliCase> {};

TEST_P(CliCases, OutputMessagesAndStatus) {
  std::vector<std::string> args = GetParam().args;
  for (std::string& arg : args) {
    if (arg.starts_with("@")) {
      arg = path(arg.substr(1));
    }
  }
  const Outcome got = run_tool(args, GetParam().input);
  std::string err = GetParam().err;
  if (const auto at = err.find('@'); at != std::string::npos) {
    err.replace(at, 1, dir_ + "/");
  }
  EXPECT_EQ(got.out, GetParam().out);
  EXPECT_EQ(got.err, err);
  EXPECT_EQ(got.status, GetParam().status);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Lines, CliCases,
    ::testing::Values(
        CliCase{"Empty", {}, "", end_line_0, "", 0},
        CliCase{"ExactlyOneLine", {}, "0123456789ABCDEF", dump_digits, "", 0},
        CliCase{"ThreeBytes", {}, "ABC", dump_abc, "", 0},
        CliCase{"EightBytesKeepTheDash", {}, "ABCDEFGH",
                "00000000  41 42 43 44 45 46 47 48-                          ABCDEFGH\n", "", 0},
        CliCase{"SevenBytesHaveNoDash", {}, "ABCDEFG",
                "00000000  41 42 43 44 45 46 47" + sp(30) + "ABCDEFG\n", "", 0},
        CliCase{"SeventeenBytes", {}, bytes_from(0, 17),
                "00000000  00 01 02 03 04 05 06 07-08 09 0A 0B 0C 0D 0E 0F   ................\n"
                "00000010  10                                                .\n", "", 0},
        CliCase{"Printable", {}, std::string("\x1f\x20\x7e\x7f\x80\xff", 6),
                "00000000  1F 20 7E 7F 80 FF" + sp(33) + ". ~...\n", "", 0},
        CliCase{"OffsetFive", {"-5"}, bytes_from(0x20, 32),
                "00000005  25 26 27 28 29 2A 2B 2C-2D 2E 2F 30 31 32 33 34   %&'()*+,-./01234\n"
                "00000015  35 36 37 38 39 3A 3B 3C-3D 3E 3F" + sp(18) + "56789:;<=>?\n", "", 0},
        CliCase{"OffsetEqualsLength", {"-3"}, "ABC", "00000003" + sp(52) + "\n", "", 0},
        CliCase{"OffsetPastLength", {"-x4"}, "ABC", "", "dump error:stdin\n", 1},
        CliCase{"OffsetOnEmpty", {"-1"}, "", "", "dump error:stdin\n", 1},
        CliCase{"NegativeOffsetWraps", {"-x-10"}, bytes_from(0x41, 40),
                "FFFFFFF0  41 42 43 44 45 46 47 48-49 4A 4B 4C 4D 4E 4F 50   ABCDEFGHIJKLMNOP\n"
                "00000000  51 52 53 54 55 56 57 58-59 5A 5B 5C 5D 5E 5F 60   QRSTUVWXYZ[\\]^_`\n"
                "00000010  61 62 63 64 65 66 67 68-" + sp(26) + "abcdefgh\n", "", 0},
        CliCase{"MostNegativeOffset", {"-2147483648"}, "", "80000000" + sp(52) + "\n", "", 0}),
    [](const auto& param_info) { return std::string(param_info.param.name); });
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Runs, CliCases,
    ::testing::Values(
        CliCase{"Help", {"-h"}, "", help, "", 0},
        CliCase{"HelpBeforeNamesReadsNothing", {"-x3", "-H", "@missing"}, "", help, "", 0},
        CliCase{"TwoFilesEachFromTheOffset", {"-1", "@abc", "@digits"}, "",
                dump_abc_from_1 +
                    "00000001  31 32 33 34 35 36 37 38-39 41 42 43 44 45 46" + sp(6) +
                    "123456789ABCDEF\n",
                "", 0},
        CliCase{"FileTooShort", {"-x4", "@abc", "@digits"}, "", "", "dump error:@abc\n", 1},
        CliCase{"SecondMissing", {"@abc", "@missing", "@digits"}, "", dump_abc,
                "cannot open file:@missing\n", 1},
        CliCase{"EmptyName", {"@abc", ""}, "", dump_abc, "cannot open file:\n", 1},
        CliCase{"Directory", {"/"}, "", "", "cannot open file:/\n", 1},
        CliCase{"SeparateNumberIsAName", {"-x", "10", "@abc"}, "", "", "cannot open file:10\n", 1},
        CliCase{"ReadErrorAfterTheLinesSoFar", {"/proc/self/mem"}, "", end_line_0,
                "read error:/proc/self/mem\n", 1}),
    [](const auto& param_info) { return std::string(param_info.param.name); });
// clang-format on

TEST_F(CliTest, StdinDirectoryIsAReadError) {
  const int in = open("/", O_RDONLY | O_DIRECTORY);
  const Outcome got = run_tool({}, "", Redirect{.in = in});
  close(in);
  EXPECT_EQ(got.out, end_line_0);
  EXPECT_EQ(got.err, "read error:stdin\n");
  EXPECT_EQ(got.status, 1);
}

TEST_F(CliTest, MoreThan256NamesDumpsThe256AndNamesTheNext) {
  std::vector<std::string> args(257, path("abc"));
  args.back() = path("digits");
  const Outcome got = run_tool(args);
  std::string expected;
  for (int i = 0; i < 256; ++i) {
    expected += dump_abc;
  }
  EXPECT_EQ(got.out, expected);
  EXPECT_EQ(got.err, "too many files:" + path("digits") + "\n");
  EXPECT_EQ(got.status, 1);
}

TEST_F(CliTest, MessagesFollowTheDumpWhenMerged) {
  const Outcome got = run_tool({path("abc"), path("missing")}, "", Redirect{.merge = true});
  EXPECT_EQ(got.out, dump_abc + "cannot open file:" + path("missing") + "\n");
  EXPECT_EQ(got.status, 1);
}

TEST_F(CliTest, LostOutputIsAWriteError) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/dev/zero"}, std::vector<std::string>{"-h"},
        std::vector<std::string>{path("abc")}}) {
    const int full = open("/dev/full", O_WRONLY);
    const Outcome got = run_tool(args, "", Redirect{.out = full});
    close(full);
    EXPECT_EQ(got.err, "write error:stdout\n") << args[0];
    EXPECT_EQ(got.status, 1) << args[0];
  }
}

TEST_F(CliTest, BrokenPipeWithSigpipeIgnoredIsAWriteError) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  // An ignored signal stays ignored across exec.
  signal(SIGPIPE, SIG_IGN);
  const Outcome got = run_tool({"/dev/zero"}, "", Redirect{.out = ends[1]});
  signal(SIGPIPE, SIG_DFL);
  close(ends[1]);
  EXPECT_EQ(got.err, "write error:stdout\n");
  EXPECT_EQ(got.status, 1);
}

TEST_F(CliTest, NonBlockingInputIsWaitedFor) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  // The flag belongs to the shared open file, so the tool inherits it.
  fcntl(ends[0], F_SETFL, O_NONBLOCK);
  std::thread writer([&] {
    usleep(200000);
    ASSERT_EQ(write(ends[1], "ABC", 3), 3);
    close(ends[1]);
  });
  const Outcome got = run_tool({}, "", Redirect{.in = ends[0]});
  writer.join();
  close(ends[0]);
  EXPECT_EQ(got.out, dump_abc);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(got.status, 0);
}

TEST_F(CliTest, TerminalEndOfFileEndsTheDump) {
  // On a terminal each end-of-file key ends one read; data typed after it
  // must not be read.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  const std::string typed =
      "AB\x04\x04"
      "CD\x04\x04";
  ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  const Outcome got = run_tool({}, "", Redirect{.in = terminal});
  close(terminal);
  close(master);
  EXPECT_EQ(got.out, "00000000  41 42" + sp(45) + "AB\n");
  EXPECT_EQ(got.status, 0);
}

}  // namespace
}  // namespace quarnel
