// What only Windows can set up: a pipe whose reader has gone, paths past 260
// characters, wildcards the program expands, device names.
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quarnel {
namespace {

using testing::Outcome;
using testing::run_tool;

TEST(CliWindows, AClosedPipeIsAWriteError) {
  int ends[2];
  testing::open_pipe(ends);
  close_handle(ends[0]);
  const int input = testing::memory_file(std::string(1 << 20, 'x'));
  const Outcome got = run_tool({}, "", {.in = input, .out = ends[1]});
  close_handle(ends[1]);
  close_handle(input);
  EXPECT_EQ(got.err, "write error:stdout\r\n");
  EXPECT_EQ(got.status, 1);
}

// Paths here are ASCII; the wide calls take them past 260 characters.
std::wstring wide(const std::string& path) { return {path.begin(), path.end()}; }

// A new folder in the temporary folder, as \\?\C:\...\name.
std::string new_folder(const std::string& name) {
  std::array<char, MAX_PATH> temp{};
  GetTempPathA(MAX_PATH, temp.data());
  const std::string path =
      R"(\\?\)" + std::string(temp.data()) + name + std::to_string(GetTickCount());
  CreateDirectoryW(wide(path).c_str(), nullptr);
  return path;
}

void put(const std::string& path, const std::string& bytes) {
  HANDLE file =
      CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string get(const std::string& path) {
  HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string bytes(4096, '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return file == INVALID_HANDLE_VALUE ? "absent" : bytes.substr(0, got);
}

TEST(CliWindows, PathsPast260CharactersOpenWithTheLongPathPrefix) {
  std::string dir = new_folder("long");
  while (dir.size() < 300) {
    dir += "\\" + std::string(60, 'd');
    ASSERT_NE(CreateDirectoryW(wide(dir).c_str(), nullptr), 0);
  }
  const std::string line = "00000000  41 42 43" + std::string(42, ' ') + "ABC\r\n";
  put(dir + "\\in.bin", "ABC");
  put(dir + "\\in.dump", line);
  EXPECT_EQ(run_tool({dir + "\\in.bin"}).out, line);
  EXPECT_EQ(run_tool({dir + "\\in.dump"}, "", {}, UNQUARNEL_BINARY).out, "ABC");
  EXPECT_EQ(
      run_tool({"-p", dir + "\\patched.bin", dir + "\\in.dump"}, "", {}, UNQUARNEL_BINARY).status,
      0);
  EXPECT_EQ(run_tool({"-o", dir + "\\out.bin", dir + "\\in.dump"}, "", {}, UNQUARNEL_BINARY).status,
            0);
  EXPECT_EQ(get(dir + "\\patched.bin") + get(dir + "\\out.bin"), "ABCABC");
}

TEST(CliWindows, WildcardsExpandUnlessQuotedOrUnmatched) {
  const std::string dir = new_folder("wild");
  const std::vector<std::string> names{"a.bin", "b.bin", "c.txt"};
  for (const std::string& name : names) {
    put(dir + "\\" + name, name.substr(0, 1));
  }
  // The order Windows lists the matches in.
  std::string expected;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((dir + "\\*.bin").c_str(), &found);
  do {
    // "a" is 61, "b" 62.
    expected += "00000000  6" + std::string(1, static_cast<char>(found.cFileName[0] - 'a' + '1')) +
                std::string(48, ' ') + found.cFileName[0] + "\r\n";
  } while (FindNextFileA(search, &found) != 0);
  FindClose(search);
  const std::string plain = dir.substr(4);  // the shell's kind of path
  EXPECT_EQ(run_tool({plain + "\\*.bin"}).out, expected);
  for (const std::string& pattern : {"\"" + plain + "\\?.bin\"", plain + "\\*.none"}) {
    const bool quoted = pattern.starts_with('"');
    EXPECT_EQ(run_tool({pattern}).err,
              "cannot open file:" +
                  pattern.substr(quoted ? 1 : 0, pattern.size() - (quoted ? 2 : 0)) + "\r\n");
  }
}

TEST(CliWindows, DeviceNamesAreDevices) {
  EXPECT_EQ(run_tool({"NUL"}).out, "00000000" + std::string(52, ' ') + "\r\n");
  const Outcome got = run_tool({"-o", "NUL"}, "00000000  41\n", {}, UNQUARNEL_BINARY);
  EXPECT_EQ(got.err + std::to_string(got.status), "0");
  // A device keeps no journal: it is patched only without one.
  const Outcome refused = run_tool({"-p", "NUL"}, "00000000  41\n", {}, UNQUARNEL_BINARY);
  EXPECT_EQ(refused.err + std::to_string(refused.status),
            "unquarnel: NUL: a device is patched only with --no-journal: no journal beside it "
            "would outlive a reboot\r\n1");
  const Outcome asked =
      run_tool({"-p", "NUL", "--no-journal"}, "00000000  41\n", {}, UNQUARNEL_BINARY);
  EXPECT_EQ(asked.err + std::to_string(asked.status), "0");
}

TEST(CliWindows, APatchLeavesNoJournalAndALeftOneIsRecovered) {
  const std::string dir = new_folder("journal");
  const std::string t = dir + "\\T";
  const std::string j = t + ".unquarnel-journal";
  const auto unquarnel = [](const std::vector<std::string>& args) {
    const Outcome got = run_tool(args, "00000001  42\n", {}, UNQUARNEL_BINARY);
    return got.err + std::to_string(got.status);
  };
  put(t, "abc");
  EXPECT_EQ(unquarnel({"-p", t}), "0");
  EXPECT_EQ(get(t) + get(j), "aBcabsent");
  EXPECT_EQ(unquarnel({"--recover", t}),
            "unquarnel: " + t + ": no interrupted patch to roll back\r\n0");
  // A journal whose header was never written: the file was not touched.
  put(j, std::string(64, '\0') + "entries");
  EXPECT_EQ(unquarnel({"--recover", t}), "unquarnel: " + t +
                                             ": an interrupted patch had not begun to write it: "
                                             "removed its journal " +
                                             j + "\r\n0");
  EXPECT_EQ(get(j), "absent");
  put(j, "hello, world");
  EXPECT_EQ(unquarnel({"-p", t}),
            "unquarnel: " + j + ": not a journal of unquarnel's: left as it is\r\n1");
  EXPECT_EQ(get(t) + get(j), "aBchello, world");
  // A journal another run holds open.
  HANDLE held = CreateFileW(wide(j).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(unquarnel({"--recover", t}), "unquarnel: " + t + ": in use by another process\r\n1");
  CloseHandle(held);
}

TEST(CliWindows, ADiffThatMovesBytesWritesTheFileAnew) {
  const std::string dir = new_folder("moved");
  std::string old_bytes;
  for (int i = 0; i < 300; ++i) {
    old_bytes.push_back(static_cast<char>(i * 73 + i / 7));
  }
  const std::string new_bytes = old_bytes.substr(0, 100) + "INS" + old_bytes.substr(100);
  put(dir + "\\old", old_bytes);
  put(dir + "\\new", new_bytes);
  put(dir + "\\d.diff", run_tool({dir + "\\old", dir + "\\new"}, "", {}, QUARNEL_DIFF_BINARY).out);
  put(dir + "\\T", old_bytes);
  for (const auto& [options, expected] : {std::pair{std::vector<std::string>{"-p"}, new_bytes},
                                          {std::vector<std::string>{"-R", "-p"}, old_bytes}}) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {dir + "\\T", dir + "\\d.diff"});
    const Outcome got = run_tool(args, "", {}, UNQUARNEL_BINARY);
    EXPECT_EQ(got.err + std::to_string(got.status), "0");
    EXPECT_EQ(get(dir + "\\T"), expected);
  }
}

}  // namespace
}  // namespace quarnel
