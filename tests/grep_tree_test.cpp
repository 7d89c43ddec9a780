// quarnel-grep -r and -R over a tree the test makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarnel {
namespace {

using testing::Outcome;
using testing::run_tool;

#if defined(_WIN32)
constexpr char separator = '\\';
#else
constexpr char separator = '/';
#endif

// A tree of files that hold "ELF" where real trees hold it: a program, a
// source file, libraries in folders, beside files that do not.
class GrepTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = testing::scratch_name("quarnel-tree-");
    outside_ = root_ + "-outside";
    for (const char* folder : {"", "/src", "/src/deep", "/src/skip"}) {
      std::filesystem::create_directories(root_ + folder);
    }
    std::filesystem::create_directories(outside_);
    put("top.bin", std::string(16, '\0') +
                       "\x7f"
                       "ELF\x02\x01\x01");
    put("none.txt", "no such letters here\n");
    put("src/a.c", "/* an ELF reader */\n");
    put("src/deep/b.so",
        "\x7f"
        "ELF");
    put("src/skip/c.so",
        "\x7f"
        "ELF");
    std::ofstream(outside_ + "/o.bin", std::ios::binary) << "ELF";
#if !defined(_WIN32)
    // The same file twice, a link out of the tree, a loop, and a FIFO.
    std::filesystem::create_hard_link(root_ + "/top.bin", root_ + "/src/again.bin");
    std::filesystem::create_symlink(outside_ + "/o.bin", root_ + "/out.bin");
    std::filesystem::create_directory_symlink("..", root_ + "/src/deep/up");
    mkfifo((root_ + "/pipe").c_str(), 0644);
#endif
  }
  static void TearDownTestSuite() {
    std::filesystem::remove_all(root_);
    std::filesystem::remove_all(outside_);
  }
  static void put(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ + "/" + name, std::ios::binary) << bytes;
  }
  // A name in the tree as the walk shows it.
  static std::string named(std::string name) {
    std::replace(name.begin(), name.end(), '/', separator);
    return root_ + separator + name;
  }
  static std::string root_;
  static std::string outside_;
};
std::string GrepTree::root_;
std::string GrepTree::outside_;

// The lines in order of their text: the walk takes each folder's entries
// in the order the system lists them.
std::string sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const std::string& line : lines) {
    joined += line;
  }
  return joined;
}

Outcome grep(const std::vector<std::string>& args, const std::string& input = "") {
  return run_tool(args, input, {}, QUARNEL_GREP_BINARY);
}

TEST_F(GrepTree, SearchesEachFileOnceAndPassesOverWhatIsNotAsked) {
  const std::string elf = "45 4C 46";
  struct Row {
    std::vector<std::string> args;  // the tree's root is added last
    std::vector<std::string> out;   // lines, "@" standing for the root
    std::string err;
    int status;
  };
  const std::string b_line = ":00000000  7F 45 4C 46" + std::string(39, ' ') + ".ELF\n";
  const std::vector<Row> rows = {
    {{"-r", "-l", elf}, {"top.bin", "src/a.c", "src/deep/b.so", "src/skip/c.so"}, "", 0},
    {{"-rl", elf}, {"top.bin", "src/a.c", "src/deep/b.so", "src/skip/c.so"}, "", 0},
    {{"-r", "-c", elf},
     {"top.bin:1", "none.txt:0", "src/a.c:1", "src/deep/b.so:1", "src/skip/c.so:1"},
     "",
     0},
    {{"-r", "--include=*.so", "--offsets", elf},
     {"src/deep/b.so:00000001", "src/skip/c.so:00000001"},
     "",
     0},
    {{"-r", "--exclude", "*.so", "--exclude=*.bin", "-l", elf}, {"src/a.c"}, "", 0},
    {{"-r", "--exclude-dir=sk?p", "--include=[a-c].*", "-l", elf},
     {"src/a.c", "src/deep/b.so"},
     "",
     0},
    {{"-r", "--exclude-dir=src", elf},
     {"top.bin:00000010  7F 45 4C 46 02 01 01" + std::string(30, ' ') + ".ELF..."},
     "",
     0},
    {{"-r", "--include=*.so", elf},
     {"src/deep/b.so" + b_line.substr(0, b_line.size() - 1),
      "src/skip/c.so" + b_line.substr(0, b_line.size() - 1)},
     "",
     0},
    {{"-r", "-q", elf}, {}, "", 0},
    {{"-r", "-l", "50 45"}, {}, "", 1},
#if !defined(_WIN32)
    // Links are followed with -R: out of the tree, and back into it,
    // where the folder is not walked again.
    {{"-R", "-l", elf},
     {"top.bin", "out.bin", "src/a.c", "src/deep/b.so", "src/skip/c.so"},
     "quarnel-grep: " + named("src/deep/up") +
         ": leads back to a folder it is in; not searched again\n",
     0},
#endif
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = row.args;
    args.push_back(root_);
    Outcome got = grep(args);
#if !defined(_WIN32)
    // The file with two names is shown by the one the walk meets first.
    if (const std::size_t at = got.out.find(named("src/again.bin")); at != std::string::npos) {
      got.out.replace(at, named("src/again.bin").size(), named("top.bin"));
    }
#endif
    std::string out;
    for (const std::string& line : row.out) {
      out += named(line) + "\n";
    }
    EXPECT_EQ(sorted_lines(got.out), sorted_lines(testing::with_line_ends(out))) << row.args[1];
    EXPECT_EQ(got.err, testing::with_line_ends(row.err)) << row.args[1];
    EXPECT_EQ(got.status, row.status) << row.args[1];
  }
}

TEST_F(GrepTree, NamesAndInputsAsGrepHasThem) {
  const std::string usage_line = "usage: quarnel-grep ";
  struct Row {
    std::vector<std::string> args;
    std::string input;
    std::string out;
    int status;
  };
  for (const Row& row : {
           // One file named: no name before its lines, as grep.
           Row{{"-r", "--offsets", "45 4C 46", root_ + "/src/a.c"}, "", "00000006\n", 0},
           // Nothing named and standard input not a terminal: the input.
           Row{{"-r", "-c", "41"}, "AA", "2\n", 0},
           // A folder and a file: both named.
           Row{{"-r", "-c", "45 4C 46", root_ + "/src/deep", root_ + "/none.txt"},
               "",
               root_ + "/src/deep" + separator + "b.so:1\n" + (root_ + "/none.txt:0\n"),
               0},
           // A folder's name ending in a separator gets no second one.
           Row{{"-r", "-l", "45 4C 46", root_ + "/src/deep/"}, "", root_ + "/src/deep/b.so\n", 0},
       }) {
    const Outcome got = grep(row.args, row.input);
    EXPECT_EQ(got.out, testing::with_line_ends(row.out)) << row.args[2];
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(got.status, row.status);
  }
  for (const char* wrong : {"-rx", "--include", "--exclude-dir="}) {
    const Outcome got = grep({wrong});
    const std::string problem = wrong[1] == 'r' ? "unknown option: " : "option needs a value: ";
    EXPECT_EQ(got.err.substr(0, got.err.find('\n') + 1),
              testing::with_line_ends("quarnel-grep: " + problem + wrong + "\n"));
    EXPECT_EQ(got.status, 2);
  }
}

// Files searched at the same time come out as the walk met them, each
// file's lines together and as a search of the file alone writes them, also
// where a file's lines fill more than one block of output.
TEST_F(GrepTree, TheOutputKeepsTheWalksOrder) {
  const std::string many = root_ + "-many";
  for (int k = 0; k < 24; ++k) {
    const std::string folder = many + "/" + std::to_string(k % 3) + "/" + std::to_string(k % 5);
    std::filesystem::create_directories(folder);
    // Records of text and zeros, with a match every few lines; some files
    // large, some without a match, one empty.
    std::string bytes;
    const int records = k % 7 == 0 ? 0 : (k % 4 + 1) * 1500;
    for (int r = 0; r < records; ++r) {
      bytes += r % (k % 5 + 1) == 0 ? "  ELF record " : "  no  record ";
      bytes += std::string(static_cast<std::size_t>(r % 11), '\0');
    }
    std::ofstream(folder + "/f" + std::to_string(k), std::ios::binary) << bytes;
  }
  const Outcome names = grep({"-r", "-l", "45 4C 46", many});
  ASSERT_EQ(names.status, 0);
  std::string expected;
  std::istringstream listed(names.out);
  for (std::string name; std::getline(listed, name);) {
    if (name.ends_with('\r')) {
      name.pop_back();
    }
    expected += grep({"-H", "45 4C 46", name}).out;
  }
  const Outcome lines = grep({"-r", "45 4C 46", many});
  EXPECT_EQ(lines.status, 0);
  EXPECT_GT(lines.out.size(), std::size_t{1} << 20);
  EXPECT_TRUE(lines.out == expected) << "the lines differ from the files' own";
  std::filesystem::remove_all(many);
}

#if !defined(_WIN32)
// The output's own file in the tree is not searched; a failed output
// ends the walk.
TEST_F(GrepTree, TheOutputIsNotSearchedAndItsFailureEndsTheWalk) {
  const std::string out_name = root_ + "/src/found.txt";
  const int out = ::open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(out, 0);
  const Outcome into =
      run_tool({"-r", "-h", "45 4C 46", root_}, "", {.out = out}, QUARNEL_GREP_BINARY);
  ::close(out);
  EXPECT_EQ(into.err, "quarnel-grep: " + out_name + ": is the output too; not searched\n");
  EXPECT_EQ(into.status, 2);
  std::filesystem::remove(out_name);
  if (std::filesystem::exists("/dev/full")) {
    const int full = ::open("/dev/full", O_WRONLY);
    const Outcome failed =
        run_tool({"-r", "45 4C 46", root_}, "", {.out = full}, QUARNEL_GREP_BINARY);
    ::close(full);
    EXPECT_EQ(failed.err, "quarnel-grep: stdout: write error: no space left on device\n");
    EXPECT_EQ(failed.status, 2);
  }
}

// A tree deeper than a walk holds open: said, and the rest searched.
TEST_F(GrepTree, TooDeepIsTrouble) {
  std::string deep = root_ + "-deep";
  std::filesystem::create_directories(deep);
  std::ofstream(deep + "/top", std::ios::binary) << "ELF";
  std::string folder = deep;
  for (int depth = 0; depth < 256; ++depth) {
    folder += "/d";
  }
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/f", std::ios::binary) << "ELF";
  const Outcome got = grep({"-r", "-l", "45 4C 46", deep});
  EXPECT_EQ(got.out, deep + "/top\n");
  EXPECT_EQ(got.err,
            "quarnel-grep: " + folder + ": nested too deep, or its names too long, to search\n");
  EXPECT_EQ(got.status, 2);
  std::filesystem::remove_all(deep);
}

// What cannot be read is named, the walk goes on, and the status says so.
TEST_F(GrepTree, WhatCannotBeReadIsNamedAndTheRestSearched) {
  constexpr unsigned nobody = 65534;
  const unsigned user = geteuid() == 0 ? nobody : 0;
  if (user != 0 && run_tool({"--version"}, "", {.user = user}, QUARNEL_GREP_BINARY).status != 0) {
    GTEST_SKIP() << "user nobody cannot run the built program";
  }
  const std::string closed = root_ + "-closed";
  std::filesystem::create_directories(closed + "/shut");
  std::ofstream(closed + "/open.bin", std::ios::binary) << "ELF";
  std::ofstream(closed + "/locked.bin", std::ios::binary) << "ELF";
  chmod((closed + "/locked.bin").c_str(), 0);
  chmod((closed + "/shut").c_str(), 0);
  chmod(closed.c_str(), 0755);
  const Outcome got =
      run_tool({"-r", "-l", "45 4C 46", closed}, "", {.user = user}, QUARNEL_GREP_BINARY);
  EXPECT_EQ(got.out, closed + "/open.bin\n");
  EXPECT_EQ(sorted_lines(got.err),
            "quarnel-grep: " + closed + "/locked.bin: cannot open: permission denied\n" +
                "quarnel-grep: " + closed + "/shut: cannot open: permission denied\n");
  EXPECT_EQ(got.status, 2);
  // -q: a match answers, whatever else went wrong.
  EXPECT_EQ(
      run_tool({"-r", "-q", "45 4C 46", closed}, "", {.user = user}, QUARNEL_GREP_BINARY).status,
      0);
  chmod((closed + "/shut").c_str(), 0755);
  std::filesystem::remove_all(closed);
}
#endif

}  // namespace
}  // namespace quarnel
