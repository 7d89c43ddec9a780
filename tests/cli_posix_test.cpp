// What only POSIX systems can set up: pipes and terminals in odd states,
// closed standard streams, file-size limits and signals.
#include <fcntl.h>
#include <sys/file.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#endif
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/simple_dump.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using testing::Outcome;
using testing::Redirect;
using testing::run_tool;
using testing::scratch_name;

// A pseudo-terminal: both ends open, or -1 and why there is none (a build
// sandbox without /dev/pts).
struct Terminal {
  int master = -1;
  int terminal = -1;
  std::string missing;
};

Terminal open_terminal() {
  Terminal pty;
  pty.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty.master >= 0 && grantpt(pty.master) == 0 && unlockpt(pty.master) == 0) {
    pty.terminal = open(ptsname(pty.master), O_RDWR | O_NOCTTY);
  }
  if (pty.terminal < 0) {
    pty.missing = std::string("no pseudo-terminal here: ") + std::strerror(errno);
    if (pty.master >= 0) {
      close(pty.master);
    }
    pty.master = -1;
  }
  return pty;
}

// What the programs wrote to the terminal, once they are done with it.
std::string read_terminal(const Terminal& pty) {
  close(pty.terminal);
  fcntl(pty.master, F_SETFL, O_NONBLOCK);
  std::string shown;
  std::array<char, 4096> block{};
  for (ssize_t size = 0; (size = read(pty.master, block.data(), block.size())) > 0;) {
    shown.append(block.data(), static_cast<std::size_t>(size));
  }
  close(pty.master);
  return shown;
}

TEST(CliPosix, AClosedPipeIsAWriteErrorWhenSigpipeIsIgnored) {
  int ends[2];
  testing::open_pipe(ends);
  close(ends[0]);
  // An ignored signal stays ignored across exec: the write itself fails.
  signal(SIGPIPE, SIG_IGN);
  const Outcome got = run_tool({"/dev/zero"}, "", {.out = ends[1]});
  signal(SIGPIPE, SIG_DFL);
  close(ends[1]);
  EXPECT_EQ(got.err, "write error:stdout\n");
  EXPECT_EQ(got.status, 1);
}

TEST(CliPosix, NonBlockingInputAndOutputAreWaitedFor) {
  int in[2];
  int out[2];
  testing::open_pipe(in);
  testing::open_pipe(out);
  // The flags belong to the shared open files, so the tool inherits them.
  fcntl(in[0], F_SETFL, O_NONBLOCK);
  fcntl(out[1], F_SETFL, O_NONBLOCK);
  // More output than even a widened pipe holds, read only after a while.
  const std::string data(1 << 18, 'A');
  std::thread writer([&] {
    usleep(200000);
    EXPECT_TRUE(testing::write_fd(in[1], data));
    close(in[1]);
  });
  std::string dumped;
  std::thread reader([&] {
    usleep(400000);
    dumped = testing::read_up_to(out[0], SIZE_MAX);
  });
  const Outcome got = run_tool({}, "", {.in = in[0], .out = out[1]});
  close(out[1]);
  writer.join();
  reader.join();
  close(in[0]);
  close(out[0]);
  EXPECT_EQ(dumped, testing::simple_dump(
                        {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()}, 0));
  EXPECT_EQ(got.status, 0);
}

// Long work shows how far it has got on standard error, when that is a
// terminal and standard output is not: from the first second on, erased
// before a message and at the end; the output stays the same.
TEST(CliPosix, ProgressOnATerminalAndNowhereElse) {
  const std::string missing = scratch_name("quarnel-missing-");
  struct Row {
    const char* program;
    std::vector<std::string> args;
    bool to_terminal;  // standard error is the terminal
    bool shown;
    std::string out;
  };
  const std::string grep_out = "(standard input):100000\n";
  const std::vector<Row> rows = {
      {QUARNEL_GREP_BINARY, {"-c", "41", "-", missing}, true, true, grep_out},
      {QUARNEL_GREP_BINARY, {"-c", "41", "-", missing}, false, false, grep_out},
      {QUARNEL_GREP_BINARY, {"--progress=never", "-c", "41", "-", missing}, true, false, grep_out},
      {QUARNEL_AS_BINARY, {"hex", "--progress=auto"}, true, true, ""},
      {UNQUARNEL_BINARY, {}, true, true, std::string(1, '\0')},
  };
  for (const Row& row : rows) {
    const Terminal pty = open_terminal();
    if (pty.master < 0) {
      GTEST_SKIP() << pty.missing;
    }
    std::array<int, 2> ends{};
    // Only the feeder holds the writing end: the input ends when it closes it.
    ASSERT_EQ(pipe2(ends.data(), O_CLOEXEC), 0);
    // The input comes slowly: the work lasts past a second.
    std::thread feeder([&, write_end = ends[1]] {
      const std::string first = std::string(row.program) == UNQUARNEL_BINARY
                                    ? "00000000  00" + std::string(48, ' ') + ".\n"
                                    : std::string(100000, 'A');
      static_cast<void>(write(write_end, first.data(), first.size()));
      std::this_thread::sleep_for(std::chrono::milliseconds(1600));
      close(write_end);
    });
    const Outcome got = run_tool(
        row.args, "", {.in = ends[0], .err = row.to_terminal ? pty.terminal : -1}, row.program);
    feeder.join();
    close(ends[0]);
    const std::string shown = read_terminal(pty);
    const std::string name = row.args.empty() ? "unquarnel" : row.args[0];
    if (!row.out.empty()) {
      EXPECT_EQ(got.out.substr(0, row.out.size()), row.out) << name;
    }
    const std::string program = std::filesystem::path(row.program).filename().string();
    EXPECT_EQ(shown.find("\r" + program + ": ") != std::string::npos, row.shown) << name << shown;
    EXPECT_EQ(got.err.find('\r'), std::string::npos) << name;
    if (row.shown) {
      // Erased at the end, and before the message, which stands alone.
      const std::size_t message = shown.find(program + ": " += missing);
      EXPECT_TRUE(message == std::string::npos || shown.rfind("\r\x1b[K", message) == message - 4)
          << shown;
      EXPECT_EQ(shown.substr(shown.size() - 4) == "\r\x1b[K" || message != std::string::npos, true)
          << shown;
    }
  }
}

// A signal that ends the work takes the line off the terminal first.
TEST(CliPosix, TheProgressLineGoesWithTheProgram) {
  for (const int number : {SIGINT, SIGTERM, SIGPIPE}) {
    const Terminal pty = open_terminal();
    if (pty.master < 0) {
      GTEST_SKIP() << pty.missing;
    }
    std::array<int, 2> ends{};
    ASSERT_EQ(pipe2(ends.data(), O_CLOEXEC), 0);
    const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int pid = testing::start_process(QUARNEL_GREP_BINARY, {"--progress", "-c", "41"}, ends[0],
                                           nowhere, pty.terminal, 1 << 20);
    const std::string input(100000, 'A');
    ASSERT_EQ(write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    std::string shown;
    std::array<char, 4096> block{};
    while (shown.find("\rquarnel-grep: ") == std::string::npos) {
      const ssize_t size = read(pty.master, block.data(), block.size());
      ASSERT_GT(size, 0);
      shown.append(block.data(), static_cast<std::size_t>(size));
    }
    kill(pid, number);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(ends[0]);
    close(ends[1]);
    close(nowhere);
    shown += read_terminal(pty);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << number;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\x1b[K") << number;
  }
}

TEST(CliPosix, ColourOnATerminalUnlessNoColorIsSet) {
  struct Row {
    const char* no_color;  // unset when null
    bool colored;
  };
  for (const Row& row : {Row{nullptr, true}, Row{"", true}, Row{"1", false}}) {
    const Terminal pty = open_terminal();
    if (pty.master < 0) {
      GTEST_SKIP() << pty.missing;
    }
    if (row.no_color != nullptr) {
      setenv("NO_COLOR", row.no_color, 1);
    } else {
      unsetenv("NO_COLOR");
    }
    const Outcome got =
        run_tool({"--color", "41"}, "xA", {.out = pty.terminal}, QUARNEL_GREP_BINARY);
    const std::string shown = read_terminal(pty);
    EXPECT_EQ(got.status, 0);
    EXPECT_NE(shown.find("00000000  78 "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\x1b[1;31m41\x1b[0m") != std::string::npos, row.colored)
        << (row.no_color != nullptr ? row.no_color : "unset");
  }
  unsetenv("NO_COLOR");
}

TEST(CliPosix, TerminalEndOfFileEndsTheDump) {
  // On a terminal each end-of-file key ends one read; data typed after it
  // must not be read.
  const Terminal pty = open_terminal();
  if (pty.master < 0) {
    GTEST_SKIP() << pty.missing;
  }
  const int master = pty.master;
  const int terminal = pty.terminal;
  ASSERT_TRUE(testing::write_fd(master,
                                "AB\x04\x04"
                                "CD\x04\x04"));
  const Outcome got = run_tool({}, "", {.in = terminal});
  close(terminal);
  close(master);
  EXPECT_EQ(got.out, "00000000  41 42" + std::string(45, ' ') + "AB\n");
  EXPECT_EQ(got.status, 0);
}

// unquarnel --patch in a scratch folder: T, the file to patch, holds 100
// known bytes, and d.dump a dump that patches its first two.
class PatchPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch_name("unquarnel-patch-");
    std::filesystem::create_directories(dir_);
    for (int i = 0; i < 100; ++i) {
      original_.push_back(static_cast<char>('a' + i % 26));
    }
    put("T", original_);
    put("d.dump", "00000000  41 42\n");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  void put(const char* name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  // The file's bytes, or "absent".
  std::string read(const char* name) const {
    std::ifstream in(path(name), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "absent";
  }
  // The diff turns before into after in T, is refused a second time, and
  // -R turns T back.
  void applies_once_and_undoes(const std::string& diff, const std::string& before,
                               const std::string& after, const char* name) const {
    put("d.diff", diff);
    put("T", before);
    const Outcome forward = unquarnel({"-p", path("T"), path("d.diff")});
    EXPECT_TRUE(forward.status == 0 && read("T") == after) << name << forward.err;
    const Outcome again = unquarnel({"-p", path("T"), path("d.diff")});
    EXPECT_TRUE(again.status == 1 && read("T") == after) << name;
    EXPECT_TRUE(again.err.starts_with("unquarnel: " + path("d.diff") + ":")) << again.err;
    const Outcome back = unquarnel({"-R", "-p", path("T"), path("d.diff")});
    EXPECT_TRUE(back.status == 0 && read("T") == before) << name << back.err;
  }
  static Outcome unquarnel(const std::vector<std::string>& args, Redirect redirect = {},
                           const std::string& input = "") {
    return run_tool(args, input, redirect, UNQUARNEL_BINARY);
  }
  std::filesystem::path dir_;
  std::string original_;
};

// Lines close together are written as one write, with the file's own
// bytes between them: lines that go back, write twice or leave the file
// still come out as if each were written alone, in order.
TEST_F(PatchPosix, LinesInAnyOrderLandAsIfWrittenOneByOne) {
  const std::string data = testing::unrepeated(5000, 4);
  std::string expected = data;
  const auto line = [&](std::size_t address, const std::string& bytes) {
    if (address + bytes.size() > expected.size()) {
      expected.resize(address + bytes.size(), '\0');
    }
    expected.replace(address, bytes.size(), bytes);
    return testing::simple_dump({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                                static_cast<std::uint32_t>(address));
  };
  std::string dump;
  for (const auto& [address, bytes] :
       std::initializer_list<std::pair<std::size_t, const char*>>{{0x10, "abcdefgh"},
                                                                  {0x800, "ijklmnop"},
                                                                  {0x20, "qrst"},
                                                                  {0x800, "uv"},
                                                                  {0x1384, "wxyz0123"},
                                                                  {0x2000, "456"},
                                                                  {0x1F00, "789"}}) {
    dump += line(address, bytes);
  }
  put("T", data);
  put("d", dump);
  const Outcome patched = unquarnel({"-p", path("T"), path("d")});
  EXPECT_EQ(patched.status, 0) << patched.err;
  EXPECT_TRUE(read("T") == expected);
}

TEST_F(PatchPosix, ALongRunOfLinesIsWrittenWhole) {
  // More consecutive bytes than one record holds, over a file whose old
  // bytes fill the buffer that keeps them, after a first record of one.
  std::vector<std::uint8_t> bytes(300000);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  }
  std::string expected(310000, 'x');
  put("T", expected);
  expected[0] = 'A';
  std::copy(bytes.begin(), bytes.end(), expected.begin() + 16);
  const Outcome got =
      unquarnel({"-p", path("T")}, {}, "00000000  41\n" + testing::simple_dump(bytes, 16));
  EXPECT_EQ(got.err + std::to_string(got.status), "0");
  EXPECT_TRUE(read("T") == expected);
  // Records of 32 bytes whose old bytes, with their headers, fill the
  // buffer that keeps them exactly.
  std::string pairs;
  const std::vector<std::uint8_t> two_lines(32, 'Z');
  for (std::uint32_t i = 0; i < 4200; ++i) {
    pairs += testing::simple_dump(two_lines, i * 48);
  }
  put("T", std::string(std::size_t{4200} * 48, 'x'));
  const Outcome paired = unquarnel({"-p", path("T")}, {}, pairs);
  EXPECT_EQ(paired.err + std::to_string(paired.status), "0");
  const std::string after = read("T");
  EXPECT_EQ(std::count(after.begin(), after.end(), 'Z'), 32 * 4200);
}

TEST_F(PatchPosix, EveryDumpIsReadOnceWhateverItIs) {
  const std::string patched = "AB" + original_.substr(2);
  const std::string dump = read("d.dump");
  for (const char* name : {"/dev/stdin", "/dev/fd/0", "-"}) {
    int ends[2];
    testing::open_pipe(ends);
    ASSERT_TRUE(testing::write_fd(ends[1], dump));
    close(ends[1]);
    put("T", original_);
    const Outcome got = unquarnel({"-p", path("T"), name}, {.in = ends[0]});
    close(ends[0]);
    EXPECT_EQ(read("T") + got.err + std::to_string(got.status), patched + "0") << name;
  }
  put("T", original_);
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(path("fifo"), std::ios::binary) << dump; });
  const Outcome got = unquarnel({"-p", path("T"), path("fifo")});
  writer.join();
  EXPECT_EQ(read("T") + got.err + std::to_string(got.status), patched + "0");
  // A dump that patches itself far past the first block it reads: it must
  // not read its own changes, which would turn the last line's 41 into GG.
  constexpr std::size_t last_line = 16 + 70000;
  std::string self = "0001118A  47 47\n" + std::string(70000, '\n') + "00000000  41\n";
  put("self", self);
  ASSERT_EQ(self.substr(last_line + 10, 2), "41");
  const Outcome own = unquarnel({"-p", path("self"), path("self")});
  self.replace(last_line + 10, 2, "GG");
  self[0] = 'A';
  EXPECT_EQ(read("self") + own.err + std::to_string(own.status), self + "0");
}

TEST_F(PatchPosix, AFailedWriteLeavesTheFileAsItWas) {
  // Lines inside T, just past its end, and past the file-size limit.
  const std::string dump = "00000000  41 42\n00000070  43\n00010000  44\n";
  for (const bool absent : {false, true}) {
    for (const bool no_stderr : {false, true}) {
      const char* name = absent ? "new" : "T";
      const Outcome got = unquarnel(
          {"-p", path(name)},
          {.err = no_stderr ? testing::closed_stream : -1, .file_size_limit = 0x8000}, dump);
      // With standard error closed, no message may land in the file.
      EXPECT_EQ(read(name), absent ? "absent" : original_);
      EXPECT_EQ(got.err, no_stderr ? ""
                                   : "unquarnel: " + path(name) +
                                         ": write error: file too large\nunquarnel: " + path(name) +
                                         ": restored as it was\n");
      EXPECT_EQ(got.status, 1);
    }
  }
  // Output past the limit: T stays as it was, and no temporary file is left.
  const std::vector<std::uint8_t> zeros(0x10000);
  const Outcome got =
      unquarnel({"-o", path("T")}, {.file_size_limit = 0x8000}, testing::simple_dump(zeros, 0));
  EXPECT_EQ(got.err + std::to_string(got.status),
            "unquarnel: " + path("T") + ": write error: file too large\n1");
  EXPECT_EQ(read("T"), original_);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
}

TEST_F(PatchPosix, AJournalThatCannotBeWrittenLeavesTheFileUntouched) {
  // A full disk: T fills most of a 64 KiB file system, and the old bytes
  // of its rewrite do not fit beside it.
  const std::filesystem::path small = dir_ / "small";
  std::filesystem::create_directories(small);
#if defined(__linux__)
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
#else
  GTEST_SKIP() << "mounts a Linux tmpfs";
#endif
  const std::string t = (small / "T").string();
  const std::string before(40000, 'x');
  std::ofstream(t, std::ios::binary) << before;
  const std::vector<std::uint8_t> zeros(before.size());
  const Outcome got = unquarnel({"-p", t}, {}, testing::simple_dump(zeros, 0));
  std::ifstream in(t, std::ios::binary);
  const std::string after(std::istreambuf_iterator<char>(in), {});
  const bool journal_left = std::filesystem::exists(t + ".unquarnel-journal");
#if defined(__linux__)
  umount2(small.c_str(), MNT_DETACH);
#endif
  EXPECT_EQ(got.err + std::to_string(got.status),
            "unquarnel: " + t + ".unquarnel-journal: write error: no space left on device\n" +
                "unquarnel: " + t + ": restored as it was\n1");
  EXPECT_TRUE(after == before);
  EXPECT_FALSE(journal_left);
}

// Makes a folder append-only, or not: names can be made in it, not
// removed. False where the system cannot.
bool set_append_only(const std::filesystem::path& folder, bool on) {
#if defined(__linux__)
  const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  bool done = handle >= 0 && ioctl(handle, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
  done = done && ioctl(handle, FS_IOC_SETFLAGS, &flags) == 0;
  close(handle);
  return done;
#else
  static_cast<void>(folder);
  static_cast<void>(on);
  return false;
#endif
}

TEST_F(PatchPosix, AJournalThatCannotBeRemovedRollsThePatchBack) {
  const std::filesystem::path folder = dir_ / "append-only";
  std::filesystem::create_directories(folder);
  const std::string t = (folder / "T").string();
  std::ofstream(t, std::ios::binary) << original_;
  if (!set_append_only(folder, true)) {
    GTEST_SKIP() << "no append-only folders here";
  }
  const Outcome got = unquarnel({"-p", t, path("d.dump")});
  const std::string journal = t + ".unquarnel-journal";
  EXPECT_EQ(got.err + std::to_string(got.status),
            "unquarnel: " + journal + ": cannot remove: operation not permitted\nunquarnel: " + t +
                ": restored as it was\n1");
  std::ifstream in(t, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), original_);
  // Left beside it, the journal would only write back what T holds.
  const Outcome again = unquarnel({"--recover", t});
  EXPECT_EQ(again.err + std::to_string(again.status),
            "unquarnel: " + journal + ": cannot roll back: operation not permitted\nunquarnel: " +
                t + ": not rolled back to the end; unquarnel --recover " + t + " tries again\n1");
  ASSERT_TRUE(set_append_only(folder, false));
  EXPECT_EQ(unquarnel({"--recover", t}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(journal));
}

TEST_F(PatchPosix, ASignalWhileReadingLeavesTheOutputFileAsItWas) {
  if (!std::filesystem::exists("/proc/self/fd")) {
    GTEST_SKIP() << "no /proc here, to see the temporary file held open";
  }
  for (const int number : {SIGTERM, SIGQUIT, SIGPIPE, SIGALRM}) {
    int ends[2];
    testing::open_pipe(ends);
    ASSERT_TRUE(testing::write_fd(ends[1], "00000000  41 42\n"));
    const pid_t child =
        testing::start_process(UNQUARNEL_BINARY, {"-o", path("T")}, ends[0], testing::closed_stream,
                               testing::closed_stream, std::uint64_t{1} << 30);
    close(ends[0]);
    // Ready once it holds a file in the folder other than T: the temporary
    // file, named or not.
    const std::string fds = "/proc/" + std::to_string(child) + "/fd";
    for (bool ready = false; !ready; usleep(1000)) {
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        const std::string held = std::filesystem::read_symlink(entry.path(), error).string();
        ready = ready || (held.starts_with(dir_.string() + "/") && held != path("T"));
      }
    }
    kill(child, number);
    int status = 0;
    waitpid(child, &status, 0);
    close(ends[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << status;
    EXPECT_EQ(read("T"), original_);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2) << number;
  }
}

TEST_F(PatchPosix, AFileInUseByAnotherRunIsRefusedAtOnce) {
  const int held = open(path("T").c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  for (const char* option : {"-p", "-o"}) {
    const Outcome got = unquarnel({option, path("T"), path("d.dump")});
    EXPECT_EQ(got.err + std::to_string(got.status),
              "unquarnel: " + path("T") + ": in use by another process\n1");
    EXPECT_EQ(read("T"), original_);
  }
  // A journal beside a file that another run holds is that run's.
  put("T.unquarnel-journal", "");
  const Outcome recovered = unquarnel({"--recover", path("T")});
  EXPECT_EQ(recovered.err + std::to_string(recovered.status),
            "unquarnel: " + path("T") + ": in use by another process\n1");
  EXPECT_EQ(read("T.unquarnel-journal"), "");
  std::filesystem::remove(path("T.unquarnel-journal"));
  close(held);
  EXPECT_EQ(unquarnel({"-p", path("T"), path("d.dump")}).status, 0);
  EXPECT_EQ(read("T"), "AB" + original_.substr(2));
}

TEST_F(PatchPosix, LinksAreFollowedAsTheSystemFollowsThem) {
  std::filesystem::create_directory(path("sub"));
  std::filesystem::create_symlink("sub/new", path("dangling"));
  std::filesystem::create_symlink("loop", path("loop"));
  std::filesystem::create_symlink(path("T"), path("link"));
  put("full.dump", "00000000  41 42" + std::string(45, ' ') + "AB\n");
  const std::string long_name(300, 'x');
  struct Row {
    const char* option;
    const char* name;
    std::string err;
    const char* changed;  // the file that holds AB after, if any
  };
  const std::vector<Row> rows{
      {"-o", "link", "", "T"},
      {"-o", "dangling", "", "sub/new"},
      {"-p", "dangling", "", "sub/new"},
      {"-o", "loop", ": cannot open: too many levels of symbolic links\n", nullptr},
      {"-p", "loop", ": cannot open: too many levels of symbolic links\n", nullptr},
      {"-o", "nowhere/x", ": cannot open: no such file or directory\n", nullptr},
      {"-o", "sub/", ": cannot open: is a directory\n", nullptr},
      {"-o", long_name.c_str(), ": cannot open: file name too long\n", nullptr},
  };
  for (const Row& row : rows) {
    put("T", original_);
    std::filesystem::remove(path("sub/new"));
    const Outcome got = unquarnel({row.option, path(row.name), path("full.dump")});
    EXPECT_EQ(got.err + std::to_string(got.status),
              row.err.empty() ? "0" : "unquarnel: " + path(row.name) + row.err + "1")
        << row.option << row.name;
    EXPECT_EQ(read("T"),
              std::string_view(row.changed ? row.changed : "") == "T" ? "AB" : original_);
    EXPECT_EQ(read("sub/new").substr(0, 2),
              std::string_view(row.changed ? row.changed : "") == "sub/new" ? "AB" : "ab")
        << row.option << row.name;
    // The links stay links, and no temporary file is left.
    EXPECT_TRUE(std::filesystem::is_symlink(path("link")) &&
                std::filesystem::is_symlink(path("dangling")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 7);
  }
}

TEST_F(PatchPosix, AnotherUsersLinkInAStickyFolderIsNotFollowed) {
  std::ifstream setting("/proc/sys/fs/protected_symlinks");
  int protection = 0;
  setting >> protection;
  if (geteuid() != 0 || protection != 1) {
    GTEST_SKIP() << "needs root and fs.protected_symlinks set to 1";
  }
  std::filesystem::create_directory(path("sticky"));
  ASSERT_EQ(chmod(path("sticky").c_str(), 01777), 0);
  ASSERT_EQ(chmod(path("T").c_str(), 0600), 0);
  std::filesystem::create_symlink(path("T"), path("sticky/report.bin"));
  ASSERT_EQ(lchown(path("sticky/report.bin").c_str(), 65534, 65534), 0);
  for (const char* option : {"-o", "-p"}) {
    const Outcome got = unquarnel({option, path("sticky/report.bin"), path("d.dump")});
    EXPECT_EQ(got.err + std::to_string(got.status),
              "unquarnel: " + path("sticky/report.bin") + ": cannot open: permission denied\n1");
    EXPECT_EQ(read("T"), original_);
  }
  struct stat info {};
  ASSERT_EQ(stat(path("T").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600U);
}

TEST_F(PatchPosix, OutputKeepsTheOwnerOrLosesTheSetIdBits) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root, to own files as another user";
  }
  constexpr unsigned nobody = 65534;
  if (unquarnel({"--version"}, {.user = nobody}).status != 0) {
    GTEST_SKIP() << "user nobody cannot run the built program: a folder above it is closed";
  }
  put("full.dump", "00000000  41 42" + std::string(45, ' ') + "AB\n");
  ASSERT_EQ(chmod(path("full.dump").c_str(), 0644), 0);
  struct Row {
    unsigned owner;   // of T, group too
    unsigned mode;    // of T
    unsigned folder;  // the mode of T's folder
    unsigned user;    // who runs unquarnel -o
    unsigned owner_after;
    unsigned mode_after;
    std::string err;
  };
  // Root can give the new file the old one's owner; nobody cannot give it
  // root's, so it drops the set-ID bits. A file nobody could not write with
  // > is refused, and so is a folder it cannot write its new file into.
  const std::string t = "unquarnel: " + path("T");
  for (const Row& row :
       {Row{nobody, 04755, 0777, 0, nobody, 04755, ""},
        Row{0, 06777, 0777, nobody, nobody, 0777, ""},
        Row{nobody, 0444, 0777, nobody, nobody, 0444, t + ": cannot open: permission denied\n"},
        Row{nobody, 0644, 0755, nobody, nobody, 0644,
            "unquarnel: temporary file in " + dir_.string() +
                ": cannot create: permission denied\n"}}) {
    put("T", original_);
    ASSERT_EQ(chmod(dir_.c_str(), row.folder), 0);
    ASSERT_EQ(chown(path("T").c_str(), row.owner, row.owner), 0);
    ASSERT_EQ(chmod(path("T").c_str(), row.mode), 0);
    const Outcome got = unquarnel({"-o", path("T"), path("full.dump")}, {.user = row.user});
    EXPECT_EQ(got.err + std::to_string(got.status), row.err + (row.err.empty() ? "0" : "1"));
    struct stat info {};
    ASSERT_EQ(stat(path("T").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, row.owner_after);
    EXPECT_EQ(info.st_gid, row.owner_after);
    EXPECT_EQ(info.st_mode & 07777, row.mode_after);
    EXPECT_EQ(read("T"), row.err.empty() ? "AB" : original_);
  }
}

TEST_F(PatchPosix, AFolderThatCannotHoldTheJournalIsPatchedOnlyWhenAsked) {
  constexpr unsigned nobody = 65534;
  if (geteuid() != 0 || unquarnel({"--version"}, {.user = nobody}).status != 0) {
    GTEST_SKIP() << "needs root, and a user nobody who can run the built program";
  }
  // nobody may write T, but not create its journal beside it.
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(chown(path("T").c_str(), nobody, nobody), 0);
  ASSERT_EQ(chmod(path("d.dump").c_str(), 0644), 0);
  const Outcome refused = unquarnel({"-p", path("T"), path("d.dump")}, {.user = nobody});
  EXPECT_EQ(refused.err + std::to_string(refused.status),
            "unquarnel: " + path("T") +
                ".unquarnel-journal: cannot create: permission denied\nunquarnel: " + path("T") +
                ": not patched; --no-journal patches it without a journal\n1");
  EXPECT_EQ(read("T"), original_);
  const Outcome asked =
      unquarnel({"-p", path("T"), "--no-journal", path("d.dump")}, {.user = nobody});
  EXPECT_EQ(asked.err + std::to_string(asked.status), "0");
  EXPECT_EQ(read("T"), "AB" + original_.substr(2));
  // A journal nobody may not read is never taken for none.
  put("T.unquarnel-journal", "");
  ASSERT_EQ(chmod(path("T.unquarnel-journal").c_str(), 0600), 0);
  const Outcome locked_out = unquarnel({"--recover", path("T")}, {.user = nobody});
  EXPECT_EQ(locked_out.err + std::to_string(locked_out.status),
            "unquarnel: " + path("T.unquarnel-journal") + ": cannot open: permission denied\n1");
}

TEST_F(PatchPosix, ANameTooLongForItsJournalIsPatchedOnlyWhenAsked) {
  const std::string name(250, 'n');
  put(name.c_str(), original_);
  const Outcome refused = unquarnel({"-p", path(name.c_str()), path("d.dump")});
  EXPECT_EQ(refused.err + std::to_string(refused.status),
            "unquarnel: " + path(name.c_str()) +
                ".unquarnel-journal: cannot create: file name too long\nunquarnel: " +
                path(name.c_str()) + ": not patched; --no-journal patches it without a journal\n1");
  EXPECT_EQ(unquarnel({"--recover", path(name.c_str())}).status, 0);
  const Outcome asked = unquarnel({"-p", path(name.c_str()), "--no-journal", path("d.dump")});
  EXPECT_EQ(asked.err + std::to_string(asked.status), "0");
  EXPECT_EQ(read(name.c_str()), "AB" + original_.substr(2));
}

TEST_F(PatchPosix, ANewFileTakesTheModeTheUmaskLeaves) {
  const mode_t before = umask(027);
  for (const char* option : {"-o", "-p"}) {
    std::filesystem::remove(path("new"));
    const Outcome got = unquarnel({option, path("new"), path("d.dump")});
    struct stat info {};
    ASSERT_EQ(stat(path("new").c_str(), &info), 0) << option;
    EXPECT_EQ(info.st_mode & 07777, 0640U) << option;
    EXPECT_EQ(got.err + std::to_string(got.status), "0") << option;
  }
  umask(before);
}

TEST_F(PatchPosix, ClosedStandardStreamsStayClosed) {
  const std::string patched = "AB" + original_.substr(2);
  struct Row {
    const char* program;
    std::vector<std::string> args;
    int closed;  // bit n: descriptor n
    std::string err;
    int status;
    std::string file;  // T afterwards
  };
  const std::string t = path("T");
  const std::string dump = path("d.dump");
  const std::vector<Row> rows{{QUARNEL_BINARY, {t}, 2, "write error:stdout\n", 1, original_},
                              {QUARNEL_BINARY, {}, 1, "read error:stdin\n", 1, original_},
                              {QUARNEL_BINARY, {t}, 7, "", 1, original_},
                              {QUARNEL_BINARY, {t}, 5, "", 0, original_},
                              {UNQUARNEL_BINARY,
                               {"-p", t},
                               1,
                               "unquarnel: stdin: read error: bad file descriptor\n",
                               1,
                               original_},
                              {UNQUARNEL_BINARY, {"-p", t}, 5, "", 1, original_},
                              {UNQUARNEL_BINARY,
                               {dump},
                               2,
                               "unquarnel: stdout: write error: bad file descriptor\n",
                               1,
                               original_},
                              {UNQUARNEL_BINARY,
                               {"--help"},
                               2,
                               "unquarnel: stdout: write error: bad file descriptor\n",
                               1,
                               original_},
                              {UNQUARNEL_BINARY, {"-p", t, dump}, 7, "", 0, patched},
                              {QUARNEL_GREP_BINARY,
                               {"61", t},
                               2,
                               "quarnel-grep: stdout: write error: bad file descriptor\n",
                               2,
                               original_},
                              {QUARNEL_GREP_BINARY,
                               {"61"},
                               1,
                               "quarnel-grep: (standard input): read error: bad file descriptor\n",
                               2,
                               original_},
                              {QUARNEL_GREP_BINARY, {"-q", "61", t}, 7, "", 0, original_}};
  for (const Row& row : rows) {
    put("T", original_);
    const auto stream = [&](int fd) {
      return (row.closed >> fd & 1) != 0 ? testing::closed_stream : -1;
    };
    const Outcome got = run_tool(row.args, "", {stream(0), stream(1), stream(2)}, row.program);
    EXPECT_EQ(got.err + std::to_string(got.status), row.err + std::to_string(row.status))
        << row.program << " " << row.closed;
    EXPECT_TRUE(read("T") == row.file) << row.program << " " << row.closed;
  }
}

TEST_F(PatchPosix, TheCompanionsSayWhyACallFailed) {
  if (!std::filesystem::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  put("d.dump", "00000000  41\n");
  put("other", "B");
  ASSERT_TRUE(std::filesystem::create_directory(path("dir")));
  struct Row {
    const char* program;
    std::vector<std::string> args;
    std::string in;   // standard input, unless empty
    std::string out;  // standard output, unless empty
    std::string err;
    int status;
  };
  const std::string full = "stdout: write error: no space left on device\n";
  const std::vector<Row> rows{
      {UNQUARNEL_BINARY, {path("d.dump")}, "", "/dev/full", "unquarnel: " + full, 1},
      {UNQUARNEL_BINARY, {"--help"}, "", "/dev/full", "unquarnel: " + full, 1},
      {UNQUARNEL_BINARY, {"--version"}, "", "/dev/full", "unquarnel: " + full, 1},
      {UNQUARNEL_BINARY, {}, path("dir"), "", "unquarnel: stdin: read error: is a directory\n", 1},
      {QUARNEL_DIFF_BINARY,
       {path("d.dump"), path("other")},
       "",
       "/dev/full",
       "quarnel-diff: " + full,
       2},
      {QUARNEL_DIFF_BINARY, {"--help"}, "", "/dev/full", "quarnel-diff: " + full, 2},
      {QUARNEL_DIFF_BINARY,
       {"-", path("other")},
       path("dir"),
       "",
       "quarnel-diff: -: read error: is a directory\n",
       2},
      {QUARNEL_GREP_BINARY, {"30", path("d.dump")}, "", "/dev/full", "quarnel-grep: " + full, 2},
      {QUARNEL_AS_BINARY, {"hexdump", path("d.dump")}, "", "/dev/full", "quarnel-as: " + full, 1},
      {QUARNEL_AS_BINARY,
       {"xxd", "-"},
       path("dir"),
       "",
       "quarnel-as: -: read error: is a directory\n",
       1},
      {QUARNEL_GREP_BINARY,
       {"-c", "41", path("other")},
       "",
       "/dev/full",
       "quarnel-grep: " + full,
       2},
      {QUARNEL_GREP_BINARY,
       {"-c", "41", "-", path("d.dump")},
       path("dir"),
       "",
       "quarnel-grep: (standard input): read error: is a directory\n",
       2},
  };
  for (const Row& row : rows) {
    const auto open_on = [](const std::string& name, int flags) {
      return name.empty() ? -1 : ::open(name.c_str(), flags);
    };
    const int in = open_on(row.in, O_RDONLY);
    const int out = open_on(row.out, O_WRONLY);
    const Outcome got = run_tool(row.args, "", {in, out}, row.program);
    for (const int fd : {in, out}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
    EXPECT_EQ(got.err + std::to_string(got.status), row.err + std::to_string(row.status))
        << row.program << " " << (row.args.empty() ? "" : row.args[0]);
  }
}

TEST_F(PatchPosix, PipesAndTerminalsAreRefusedBeforeAnyDumpIsRead) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  const Terminal pty = open_terminal();
  if (pty.master < 0) {
    GTEST_SKIP() << pty.missing;
  }
  const int master = pty.master;
  close(pty.terminal);
  // The dump never ends: reading it first would wait for ever.
  int ends[2];
  testing::open_pipe(ends);
  for (const std::string& name : {path("fifo"), std::string(ptsname(master))}) {
    const Outcome got = unquarnel({"-p", name}, {.in = ends[0]});
    EXPECT_EQ(got.err + std::to_string(got.status),
              "unquarnel: " + name + ": cannot patch a pipe, socket or terminal\n1");
  }
  close(ends[0]);
  close(ends[1]);
  close(master);
}

TEST_F(PatchPosix, AFifoPutInTheFilesPlaceWhileTheDumpsAreReadIsRefused) {
  if (!std::filesystem::exists("/proc/self/fd")) {
    GTEST_SKIP() << "no /proc here, to see when the dumps are being read";
  }
  int ends[2];
  testing::open_pipe(ends);
  const int err = open(path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const pid_t child = testing::start_process(UNQUARNEL_BINARY, {"-p", path("new")}, ends[0],
                                             testing::closed_stream, err, std::uint64_t{1} << 30);
  close(ends[0]);
  close(err);
  // The name was checked once the temporary file of what the dumps say is
  // open: it is unnamed at once.
  const std::string fds = "/proc/" + std::to_string(child) + "/fd";
  for (bool reading = false; !reading; usleep(1000)) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
      reading = reading ||
                std::filesystem::read_symlink(entry.path(), error).string().ends_with(" (deleted)");
    }
  }
  ASSERT_EQ(mkfifo(path("new").c_str(), 0600), 0);
  ASSERT_TRUE(testing::write_fd(ends[1], "00000000  41 42\n"));
  close(ends[1]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(read("err") + std::to_string(WEXITSTATUS(status)),
            "unquarnel: " + path("new") + ": cannot patch a pipe, socket or terminal\n1");
  struct stat info {};
  EXPECT_TRUE(lstat(path("new").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
}

TEST_F(PatchPosix, AnInputOpenOnlyForWritingIsAReadErrorAtAnyOffset) {
  struct Row {
    const char* program;
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
  };
  const std::vector<Row> rows{
      {QUARNEL_BINARY, {"-4"}, "", "read error:stdin\n", 1},
      {QUARNEL_BINARY, {"-x10"}, "", "read error:stdin\n", 1},
      {UNQUARNEL_BINARY, {}, "", "unquarnel: stdin: read error: bad file descriptor\n", 1},
  };
  for (const Row& row : rows) {
    const int in = open(path("T").c_str(), O_WRONLY | O_APPEND);
    const Outcome got = run_tool(row.args, "", {.in = in}, row.program);
    close(in);
    EXPECT_EQ(got.out + got.err + std::to_string(got.status),
              row.out + row.err + std::to_string(row.status))
        << row.program;
  }
}

TEST_F(PatchPosix, ADumpThatIsStandardOutputIsRefused) {
  const int appended = open(path("d.dump").c_str(), O_WRONLY | O_APPEND);
  const Outcome got = unquarnel({path("d.dump")}, {.out = appended});
  close(appended);
  EXPECT_EQ(got.err + std::to_string(got.status),
            "unquarnel: " + path("d.dump") + ": input is output\n1");
  EXPECT_EQ(read("d.dump"), "00000000  41 42\n");
}

TEST_F(PatchPosix, FilesPast4GiBAreDumpedAtAFarOffsetAndPatchedAtTheLastAddress) {
  ASSERT_EQ(truncate(path("T").c_str(), std::int64_t{5} << 30), 0);
  const std::string far =
      "7FFFFFF0  00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00   ................\n";
  EXPECT_EQ(run_tool({"-x7FFFFFF0", path("T")}, "", {.file_size_limit = 1 << 20}).out.substr(0, 77),
            far);
  // The end line after the line at FFFFFFF0 holds no byte: no wrap.
  const Outcome got = unquarnel({"-p", path("T")}, {.file_size_limit = std::uint64_t{8} << 30},
                                "FFFFFFF0  " + far.substr(10, 45) + "5A\n00000000\n");
  EXPECT_EQ(got.err + std::to_string(got.status), "0");
  EXPECT_EQ(std::filesystem::file_size(path("T")), std::uint64_t{5} << 30);
  // xxd widens its addresses past FFFFFFFF: a patch lands 4 GiB + 16 in.
  // Digits alone may be xxd -d's decimal address too: --from tells.
  const Outcome wide =
      unquarnel({"-p", path("T"), "--from=xxd"}, {.file_size_limit = std::uint64_t{8} << 30},
                "100000010: 5a5b  Z[\n");
  EXPECT_EQ(wide.err + std::to_string(wide.status), "0");
  EXPECT_EQ(std::filesystem::file_size(path("T")), std::uint64_t{5} << 30);
  std::ifstream in(path("T"), std::ios::binary);
  in.seekg(0xFFFFFFFFLL);
  EXPECT_EQ(in.get(), 0x5A);
  in.seekg(0x100000010LL);
  EXPECT_EQ(in.get(), 0x5A);
  EXPECT_EQ(in.get(), 0x5B);
}

// Two files to diff, and the options to diff them with.
struct DiffRow {
  const char* name;
  std::string before;
  std::string after;
  std::vector<std::string> options;
};

// quarnel-diff gives diff -u's hunks of the two dumps, run here on the
// build machine's own diff.
TEST_F(PatchPosix, DiffsAreThoseOfDiffOnTheDumps) {
  std::string data(1000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 37 + 11);
  }
  const auto changed = [&](std::initializer_list<std::size_t> places) {
    std::string copy = data;
    for (const std::size_t place : places) {
      copy[place] = static_cast<char>(~copy[place]);
    }
    return copy;
  };
  const std::vector<DiffRow> rows{
      {"same", data, data, {}},
      {"first and last line", data, changed({0, 999}), {}},
      {"hunks that merge", data, changed({100, 180, 400}), {}},
      {"hunks apart", data, changed({100, 180, 400}), {"-U1"}},
      {"no context", data, changed({100, 101, 600}), {"--unified=0"}},
      {"longer", data, data + "appended", {}},
      {"shorter", data, data.substr(0, 992), {}},
      {"from empty", "", data, {}},
      {"to empty", data, "", {}},
  };
  for (const DiffRow& row : rows) {
    put("old", row.before);
    put("new", row.after);
    // quarnel through the emulator of a cross build, diff as it is.
    std::string quarnel;
    for (const std::string& word : testing::command_line(QUARNEL_BINARY, {})) {
      quarnel += word;
      quarnel += ' ';
    }
    std::string command = "cd " + dir_.string();
    for (const char* name : {"old", "new"}) {
      command += " && ";
      command += quarnel;
      command += name;
      command += " > ";
      command += name;
      command += ".dump";
    }
    command += " && diff";
    // diff takes the largest context it is given: -u only without -U.
    for (const std::string& option :
         row.options.empty() ? std::vector<std::string>{"-u"} : row.options) {
      command += " " + option;
    }
    FILE* diff = popen((command + " old.dump new.dump").c_str(), "r");
    std::string expected;
    std::array<char, 4096> chunk{};
    for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), diff)) > 0;) {
      expected.append(chunk.data(), got);
    }
    const int diff_status = WEXITSTATUS(pclose(diff));
    std::vector<std::string> args = row.options;
    args.insert(args.end(), {path("old"), path("new")});
    const Outcome got = run_tool(args, "", {}, QUARNEL_DIFF_BINARY);
    const auto hunks = [](const std::string& text) {
      const std::size_t first = text.find("\n@@");
      return first == std::string::npos ? text : text.substr(first);
    };
    EXPECT_EQ(hunks(got.out), hunks(expected)) << row.name;
    EXPECT_EQ(got.status, diff_status) << row.name;
    EXPECT_EQ(got.out.substr(0, 4 + path("old").size()),
              row.before == row.after ? "" : "--- " + path("old"))
        << row.name;
    if (row.before == row.after) {
      continue;
    }
    // Our diff, diff's and git's apply to the old file and give the new
    // one; -R gives the old one back; applied twice, the guard refuses.
    FILE* git = popen(
        ("cd " + dir_.string() + " && git diff --no-index old.dump new.dump 2>/dev/null").c_str(),
        "r");
    std::string from_git;
    for (std::size_t got_now = 0; (got_now = std::fread(chunk.data(), 1, chunk.size(), git)) > 0;) {
      from_git.append(chunk.data(), got_now);
    }
    pclose(git);
    for (const std::string& diff_text : {got.out, expected, from_git}) {
      if (diff_text.empty()) {
        continue;  // no git here
      }
      applies_once_and_undoes(diff_text, row.before, row.after, row.name);
    }
  }
  // Colour only when asked for, and never for a pipe unless always.
  put("old", data);
  put("new", changed({5}));
  for (const auto& [option, colored] :
       {std::pair{"--color", false}, {"--color=always", true}, {"--color=never", false}}) {
    const Outcome got = run_tool({option, path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY);
    EXPECT_EQ(got.out.find("\x1b[31m-00000000  0B 30 55 7A 9F \x1b[7m") != std::string::npos,
              colored)
        << option;
  }
}

TEST_F(PatchPosix, ADiffThatCannotBeWrittenWholeLeavesTheFileAsItWas) {
  // A diff that grows the file past the file-size limit, and the same diff
  // on a file whose bytes are not its old side's.
  const std::string before(0x7F00, 'a');
  put("old", before);
  put("new", before + std::string(0x200, 'c'));
  const Outcome diff = run_tool({path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY);
  put("d.diff", diff.out);
  put("T", before);
  const Outcome got = unquarnel({"-p", path("T"), path("d.diff")}, {.file_size_limit = 0x8000});
  EXPECT_EQ(got.err + std::to_string(got.status),
            "unquarnel: " + path("T") + ": write error: file too large\nunquarnel: " + path("T") +
                ": restored as it was\n1");
  EXPECT_EQ(read("T"), before);
  std::string other = before;
  other[0x7EF5] = 'x';
  put("T", other);
  const Outcome refused = unquarnel({"-p", path("T"), path("d.diff")});
  EXPECT_EQ(refused.err, "unquarnel: " + path("d.diff") + ":6: " + path("T") +
                             " does not hold these bytes at 00007EF0\n");
  EXPECT_EQ(read("T"), other);
  // Addresses in messages are written as the dumps write them.
  const std::string sixteen = " 41 41 41 41 41 41 41 41-41 41 41 41 41 41 41 41\n";
  const Outcome upper =
      unquarnel({"-p", path("T")}, {},
                "--- a\n+++ b\n@@ -11 +11 @@\n-000000A0 " + sixteen + "+000000A0 " + sixteen);
  EXPECT_EQ(upper.err,
            "unquarnel: stdin:4: " + path("T") + " does not hold these bytes at 000000A0\n");
  // A diff saved with CR LF line ends applies as it is.
  std::string crlf;
  for (const char c : diff.out) {
    crlf += c == '\n' ? "\r\n" : std::string(1, c);
  }
  put("d.diff", crlf);
  put("T", before);
  EXPECT_EQ(unquarnel({"-p", path("T"), path("d.diff")}).status, 0);
  EXPECT_EQ(read("T"), before + std::string(0x200, 'c'));
}

TEST_F(PatchPosix, ADiffThatMovesBytesAppliesOnceAndUndoes) {
  const std::string data = testing::unrepeated(3000, 7);
  const auto edit = [&](std::size_t at, std::size_t cut, const std::string& put) {
    return data.substr(0, at) + put + data.substr(at + cut);
  };
  const std::vector<DiffRow> rows{
      {"inserted at the start", data, "abc" + data, {}},
      {"inserted in the middle", data, edit(1000, 0, std::string(5000, 'x')), {}},
      {"inserted at the end", data, data + "tail", {}},
      {"deleted", data, edit(700, 300, ""), {"-U0"}},
      {"inserted and deleted", data, edit(200, 1, "").insert(2500, "zz"), {"-U1"}},
      {"a change beside an insertion", data, edit(1500, 2, "QRS"), {}},
      {"a repeated run", std::string(64, 'A') + data, std::string(80, 'A') + data, {}},
      {"empty to some", "", data.substr(0, 40), {}},
      {"one byte to two", "a", "ba", {}},
      // Blocks that moved, shown as moves.
      {"a block moved later", data, edit(2600, 0, data.substr(300, 700)).erase(300, 700), {}},
      {"a block moved earlier, two bytes changed",
       data,
       edit(100, 0, edit(1200, 2, "!?").substr(1000, 900)).erase(1000 + 900, 900),
       {"-U0"}},
      {"two blocks swapped",
       data,
       data.substr(0, 500) + data.substr(1500, 800) + data.substr(1300, 200) +
           data.substr(500, 800) + data.substr(2300),
       {}},
  };
  for (const DiffRow& row : rows) {
    put("old", row.before);
    put("new", row.after);
    std::vector<std::string> args = row.options;
    args.insert(args.end(), {path("old"), path("new")});
    const Outcome diff = run_tool(args, "", {}, QUARNEL_DIFF_BINARY);
    ASSERT_EQ(diff.status, 1) << row.name << diff.err;
    EXPECT_EQ(diff.out.find(" bytes moved from ") != std::string::npos,
              std::string_view(row.name).find("block") != std::string_view::npos)
        << row.name << diff.out;
    applies_once_and_undoes(diff.out, row.before, row.after, row.name);
  }
  // A block line whose source or sum was edited, or that moves bytes from
  // past the file's end (from another file, or an address edited to wrap
  // round) is refused, and the file left as it was; reversed, the - line's
  // sum guards the bytes that move back.
  put("old", data);
  put("new", rows[9].after);
  const std::string moved = run_tool({path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY).out;
  struct Edit {
    const char* line_start;  // of the block line edited
    const char* words;       // what is edited follows these
    std::size_t size;
    std::string by;
    bool reverse;
  };
  for (const Edit& change : {Edit{"\n+0", " moved from ", 8, "00001000", false},
                             Edit{"\n+0", " moved from ", 8, "FFFFFFFFFFFFFFF0", false},
                             Edit{"\n+0", " moved from ", 8, "00000001", false},
                             Edit{"\n+0", ", crc32 ", 8, "00000000", false},
                             Edit{"\n-0", ", crc32 ", 8, "00000000", true}}) {
    const std::size_t start = moved.find(change.line_start) + 1;
    const std::size_t at = moved.find(change.words, start) + std::string_view(change.words).size();
    std::string text = moved;
    text.replace(at, change.size, change.by);
    const std::size_t line = static_cast<std::size_t>(
        std::count(moved.begin(), moved.begin() + static_cast<std::ptrdiff_t>(at), '\n') + 1);
    // The bytes moved from: the source the + line gives, or where the -
    // line's block went.
    const std::string_view words = change.reverse ? " moved to " : " moved from ";
    const std::size_t source = text.find(words, start) + words.size();
    const std::string from = text.substr(source, text.find(',', source) - source);
    const std::string& file = change.reverse ? rows[9].after : data;
    put("d.diff", text);
    put("T", file);
    const Outcome refused = change.reverse ? unquarnel({"-R", "-p", path("T"), path("d.diff")})
                                           : unquarnel({"-p", path("T"), path("d.diff")});
    EXPECT_EQ(refused.status, 1) << change.by;
    EXPECT_EQ(refused.err, "unquarnel: " + path("d.diff") + ":" + std::to_string(line) + ": " +
                               path("T") + " does not hold the bytes the diff moves from " + from +
                               "\n");
    EXPECT_EQ(read("T"), file);
  }
  // A block line whose bytes stay where they are (the file patched in
  // place) is checked as well: bytes 0 to 63 have the sum 100ECE8C.
  std::string counting;
  std::string lines;
  for (int at = 0; at < 64; ++at) {
    counting.push_back(static_cast<char>(at));
  }
  for (const char* address : {"00", "10", "20", "30"}) {
    lines += std::string("+000000") + address +
             "  5A 5A 5A 5A 5A 5A 5A 5A-5A 5A 5A 5A 5A 5A 5A 5A   ZZZZZZZZZZZZZZZZ\n";
  }
  for (const char* sum : {"100ECE8C", "100ECE8D"}) {
    put("d.diff",
        std::string("--- a\n+++ b\n@@ -1 +1,4 @@\n-00000000  64 bytes moved to 00000000, ") +
            "crc32 " + sum + "\n" + lines);
    put("T", counting);
    const Outcome patched = unquarnel({"-p", path("T"), path("d.diff")});
    const bool holds = sum == std::string_view("100ECE8C");
    EXPECT_EQ(patched.status, holds ? 0 : 1) << patched.err;
    EXPECT_EQ(read("T"), holds ? std::string(64, 'Z') : counting);
  }
  // Compared at the same offsets, an insertion changes the lines after it.
  put("old", data);
  put("new", "abc" + data);
  const Outcome same =
      run_tool({"--same-offsets", path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY);
  EXPECT_EQ(same.out.find("inserted"), std::string::npos);
  EXPECT_NE(same.out.find("\n@@ -1,188 +1,188 @@\n"), std::string::npos) << same.out.substr(0, 200);
  applies_once_and_undoes(same.out, data, "abc" + data, "same offsets");
}

// Files shaped as real ones are (records, indented text, runs of padding,
// random bytes), edited by blocks moved (some with bytes changed on the
// way), insertions, deletions and changes in place: each diff applies,
// is refused a second time, and undoes.
TEST_F(PatchPosix, ShapedFilesEditedAnyWayRoundTrip) {
  std::minstd_rand random(44);
  const auto below = [&](std::size_t count) { return static_cast<std::size_t>(random() % count); };
  std::size_t moves = 0;
  for (int round = 0; round < 24; ++round) {
    std::string before;
    const std::size_t size = std::array<std::size_t, 3>{3000, 30000, 200000}[below(3)];
    while (before.size() < size) {
      const std::size_t shape = below(4);
      if (shape == 0) {
        before += testing::unrepeated(1 + below(400), static_cast<unsigned>(random()));
      } else if (shape == 1) {
        before.append(1 + below(600), '\0');
      } else if (shape == 2) {
        const std::string record =
            "record " + std::to_string(below(100000)) + " name=" + std::string(below(5), 'x') + ";";
        for (std::size_t k = 1 + below(20); k-- > 0;) {
          before += record;
        }
      } else {
        before += "  indented text line " + std::to_string(below(1000)) + "\n";
      }
    }
    std::string after = before;
    for (std::size_t edit = 1 + below(5); edit-- > 0 && after.size() > 10;) {
      const std::size_t at = below(after.size());
      const std::size_t kind = below(4);
      if (kind == 0) {
        const std::size_t length = 1 + below(std::min<std::size_t>(after.size() - at, 20000));
        std::string block = after.substr(at, length);
        after.erase(at, length);
        for (std::size_t k = below(4); k-- > 0;) {
          block[below(block.size())] ^= 0x5A;
        }
        after.insert(below(after.size() + 1), block);
      } else if (kind == 1) {
        after.insert(at, testing::unrepeated(1 + below(300), static_cast<unsigned>(random())));
      } else if (kind == 2) {
        after.erase(at, 1 + below(300));
      } else {
        for (std::size_t k = 1 + below(10); k-- > 0;) {
          after[below(after.size())] ^= 0x21;
        }
      }
    }
    put("old", before);
    put("new", after);
    const Outcome diff = run_tool({path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY);
    const std::string name = "round " + std::to_string(round);
    ASSERT_EQ(diff.status, before == after ? 0 : 1) << name << diff.err;
    for (std::size_t at = diff.out.find(" moved from "); at != std::string::npos;
         at = diff.out.find(" moved from ", at + 1)) {
      ++moves;
    }
    if (diff.status == 1) {
      applies_once_and_undoes(diff.out, before, after, name.c_str());
    }
  }
  EXPECT_GT(moves, 10U);
}

TEST_F(PatchPosix, ADiffThatMovesBytesWritesTheFileAnewOrLeavesItAsItWas) {
  const std::string before = testing::unrepeated(0x7F00, 3);
  const std::string after =
      before.substr(0, 0x100) + std::string(0x200, 'i') + before.substr(0x100);
  put("old", before);
  put("new", after);
  put("d.diff", run_tool({path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY).out);
  const auto names = [&] {
    std::string listed;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      listed += entry.path().filename().string() + " ";
    }
    return listed;
  };
  // The new file does not fit under the file-size limit: nothing is left of it.
  put("T", before);
  const std::string folder = names();
  const Outcome big = unquarnel({"-p", path("T"), path("d.diff")}, {.file_size_limit = 0x8000});
  EXPECT_EQ(big.err + std::to_string(big.status),
            "unquarnel: " + path("T") + ": write error: file too large\nunquarnel: " + path("T") +
                ": left as it was\n1");
  EXPECT_EQ(read("T"), before);
  EXPECT_EQ(names(), folder);
  // The file is replaced: a second name of the old one keeps the old bytes,
  // and the mode stays.
  std::filesystem::create_hard_link(path("T"), path("L"));
  chmod(path("T").c_str(), 0640);
  EXPECT_EQ(unquarnel({"-p", path("T"), path("d.diff")}).status, 0);
  EXPECT_EQ(read("T"), after);
  EXPECT_EQ(read("L"), before);
  struct stat info {};
  ASSERT_EQ(stat(path("T").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640U);
  // A device has no place beside it to write a new one in.
  const Outcome device = unquarnel({"-p", "/dev/null", path("d.diff")});
  EXPECT_EQ(device.err + std::to_string(device.status),
            "unquarnel: /dev/null: a diff that moves bytes is applied only to a regular file\n1");
  // Neither has a file that is not there.
  const Outcome missing = unquarnel({"-p", path("M"), path("d.diff")});
  EXPECT_EQ(missing.err, "unquarnel: " + path("M") + ": cannot open: no such file or directory\n");
}

TEST_F(PatchPosix, ASignalWhileADiffThatMovesBytesIsWrittenLeavesTheFileAsItWas) {
  if (!std::filesystem::exists("/proc/self/fd")) {
    GTEST_SKIP() << "no /proc here, to see the new file held open";
  }
  const std::string before = testing::unrepeated(std::size_t{32} << 20, 4);
  put("old", before);
  put("new", before.substr(0, 16) + "ins" + before.substr(16));
  put("d.diff", run_tool({path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY).out);
  const auto names = [&] { return std::distance(std::filesystem::directory_iterator(dir_), {}); };
  // A run that ends before the signal comes is tried again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    put("T", before);
    const auto files = names();
    const int err = testing::memory_file("");
    const pid_t child = testing::start_process(UNQUARNEL_BINARY, {"-p", path("T"), path("d.diff")},
                                               testing::closed_stream, testing::closed_stream, err,
                                               std::uint64_t{1} << 30);
    // Writing once it holds a file in the folder other than T and the diff.
    const std::string fds = "/proc/" + std::to_string(child) + "/fd";
    int status = 0;
    bool ended = false;
    for (bool writing = false; !writing && !ended;) {
      ended = waitpid(child, &status, WNOHANG) == child;
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        const std::string held = std::filesystem::read_symlink(entry.path(), error).string();
        writing = writing || (held.starts_with(dir_.string() + "/") && held != path("T") &&
                              held != path("d.diff"));
      }
    }
    if (!ended) {
      kill(child, SIGTERM);
      waitpid(child, &status, 0);
    }
    const std::string said = testing::contents(err);
    close(err);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      continue;
    }
    EXPECT_EQ(said + std::to_string(WEXITSTATUS(status)),
              "unquarnel: " + path("T") + ": interrupted by a signal\nunquarnel: " + path("T") +
                  ": left as it was\n" + std::to_string(128 + SIGTERM));
    EXPECT_TRUE(read("T") == before);
    EXPECT_EQ(names(), files);
    return;
  }
  FAIL() << "every run ended before the signal";
}

TEST_F(PatchPosix, PastFFFFFFFFAddressesWiden) {
  // Two sparse files of 4 GiB and a little, one byte inserted past 4 GiB.
  const std::uint64_t far = std::uint64_t{1} << 32;
  const std::string tail = testing::unrepeated(64, 9);
  const auto sparse = [&](const char* name, const std::string& bytes) {
    put(name, "");
    std::filesystem::resize_file(path(name), far);
    std::ofstream(path(name), std::ios::binary | std::ios::in)
            .seekp(static_cast<std::streamoff>(far))
        << bytes;
  };
  sparse("old", tail);
  sparse("new", tail.substr(0, 10) + "X" + tail.substr(10));
  const Outcome diff = run_tool({"-U1", path("old"), path("new")}, "", {}, QUARNEL_DIFF_BINARY);
  const std::string hunk = diff.out.substr(diff.out.find("@@"));
  EXPECT_EQ(hunk.substr(0, hunk.find('\n')),
            "@@ -268435457,2 +268435457,3 @@ 1 byte inserted at 10000000A");
  EXPECT_NE(hunk.find("\n+10000000A  58  "), std::string::npos) << hunk;
  EXPECT_NE(hunk.find("\n 10000000A  "), std::string::npos) << hunk;
  // Read back at those addresses, into a file that keeps its hole.
  put("d.diff", diff.out);
  sparse("T", tail);
  const auto tail_of = [&](const char* name) {
    std::ifstream in(path(name), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(far - 16));
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  for (const auto& [reverse, side] : {std::pair{false, "new"}, {true, "old"}}) {
    std::vector<std::string> args{"-p", path("T"), path("d.diff")};
    if (reverse) {
      args.insert(args.begin(), "-R");
    }
    const Outcome got = unquarnel(args, {.file_size_limit = std::uint64_t{8} << 30});
    EXPECT_EQ(got.err + std::to_string(got.status), "0") << side;
    EXPECT_EQ(tail_of("T"), tail_of(side)) << side;
    EXPECT_EQ(std::filesystem::file_size(path("T")), std::filesystem::file_size(path(side)));
    struct stat info {};
    ASSERT_EQ(stat(path("T").c_str(), &info), 0);
    EXPECT_LT(info.st_blocks, 1024) << side;
  }
}

TEST_F(PatchPosix, GrepReadsAnyInputAndStopsWhereItMay) {
  // Endless input: -q and -m stop at the match.
  EXPECT_EQ(run_tool({"-q", "00", "/dev/zero"}, "", {}, QUARNEL_GREP_BINARY).status, 0);
  const Outcome most =
      run_tool({"-m", "2", "--offsets", "00 00", "/dev/zero"}, "", {}, QUARNEL_GREP_BINARY);
  EXPECT_EQ(most.out + most.err + std::to_string(most.status), "00000000\n00000001\n0");
  // A FIFO, and a file that fails partway: the files after it are still searched.
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  std::thread writer([&] { put("fifo", "xAB"); });
  const Outcome got = run_tool({"-c", "41 42", path("fifo"), "/proc/self/mem", path("T")}, "", {},
                               QUARNEL_GREP_BINARY);
  writer.join();
  EXPECT_EQ(got.out, path("fifo") + ":1\n" + path("T") + ":0\n");
  EXPECT_EQ(got.err, "quarnel-grep: /proc/self/mem: read error: input/output error\n");
  EXPECT_EQ(got.status, 2);
  // Lines written into the file searched would be found again.
  const int appended = ::open(path("T").c_str(), O_WRONLY | O_APPEND);
  const Outcome own = run_tool({"61", path("T")}, "", {-1, appended}, QUARNEL_GREP_BINARY);
  ::close(appended);
  EXPECT_EQ(own.err + std::to_string(own.status),
            "quarnel-grep: " + path("T") + ": is the output too; not searched\n2");
  EXPECT_EQ(read("T"), original_);
}

TEST_F(PatchPosix, QuarnelAsStartsFromTheEndOfAFileOnly) {
  int ends[2];
  testing::open_pipe(ends);
  ASSERT_TRUE(testing::write_fd(ends[1], "ABC"));
  close_handle(ends[1]);
  const Outcome piped = run_tool({"xxd", "-s", "-1"}, "", {.in = ends[0]}, QUARNEL_AS_BINARY);
  close_handle(ends[0]);
  EXPECT_EQ(piped.out + piped.err + std::to_string(piped.status),
            "quarnel-as: -: a start from the end needs a file\n1");
  put("abc", "ABC");
  const Outcome file = run_tool({"xxd-plain", "-s", "-2", path("abc")}, "", {}, QUARNEL_AS_BINARY);
  EXPECT_EQ(file.out + file.err + std::to_string(file.status), "4243\n0");
}

TEST_F(PatchPosix, AnArrayCountsItsBytesBeforeItWritesThem) {
  const auto piped = [&](const std::vector<std::string>& args) {
    int ends[2];
    testing::open_pipe(ends);
    EXPECT_TRUE(testing::write_fd(ends[1], "ABC"));
    close_handle(ends[1]);
    const Outcome got = run_tool(args, "", {.in = ends[0]}, QUARNEL_AS_BINARY);
    close_handle(ends[0]);
    return got.out + got.err + std::to_string(got.status);
  };
  // A pipe is kept in a temporary file to be counted.
  EXPECT_EQ(piped({"rust", "-n", "x", "-s", "1"}),
            "pub static x: [u8; 2] = [\n    0x42, 0x43,\n];\n0");
  const char* before = std::getenv("TMPDIR");
  const std::string kept = before != nullptr ? before : "";
  setenv("TMPDIR", path("missing").c_str(), 1);
  const std::string refused = piped({"cpp"});
  before != nullptr ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
  EXPECT_EQ(refused, "quarnel-as: -: cannot be kept in " + path("missing") +
                         " to count its bytes: no such file or directory\n1");
  // A name made of a file's name may be a keyword of the language.
  put("int", "A");
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(path(""));
  const Outcome keyword = run_tool({"cpp", "int"}, "", {}, QUARNEL_AS_BINARY);
  std::filesystem::current_path(here);
  EXPECT_EQ(keyword.out + keyword.err + std::to_string(keyword.status),
            "quarnel-as: int: makes a name that is a keyword; give the array one with -n NAME\n1");
  // A file that holds fewer bytes than its size says, as sysfs files do,
  // is not the file it said it was: its array is not closed.
  const char* const short_file = "/sys/kernel/mm/transparent_hugepage/enabled";
  std::error_code missing;
  if (const auto size = std::filesystem::file_size(short_file, missing); !missing && size > 1000) {
    const Outcome cut = run_tool({"cpp", "-n", "a", short_file}, "", {}, QUARNEL_AS_BINARY);
    EXPECT_FALSE(cut.out.ends_with("};\n"));
    EXPECT_EQ(cut.err + std::to_string(cut.status),
              "quarnel-as: " + std::string(short_file) +
                  ": changed while it was read; the array is not closed\n1");
  }
}

TEST_F(PatchPosix, AnArrayOfAFileThatGrowsWhileItIsReadIsRefused) {
  // The file grows while quarnel-as waits for the full pipe it writes to:
  // its array holds the bytes the file had, and the run fails.
  const std::string grown = path("grown");
  // Not a whole number of read blocks: the grown byte comes with the last.
  put("grown", std::string((std::size_t{1} << 20) - 7, 'A'));
  int ends[2];
  testing::open_pipe(ends);
  std::string out;
  std::thread reader([&] {
    for (int queued = 0; queued < 65536; ::usleep(1000)) {
      ::ioctl(ends[0], FIONREAD, &queued);
    }
    std::ofstream(grown, std::ios::binary | std::ios::app) << "B";
    std::array<char, 65536> block{};
    for (ssize_t got = 0; (got = ::read(ends[0], block.data(), block.size())) > 0;) {
      out.append(block.data(), static_cast<std::size_t>(got));
    }
  });
  const Outcome got = run_tool({"cpp", "-n", "a", grown}, "", {.out = ends[1]}, QUARNEL_AS_BINARY);
  close_handle(ends[1]);
  reader.join();
  close_handle(ends[0]);
  EXPECT_EQ(got.err + std::to_string(got.status),
            "quarnel-as: " + grown +
                ": grew while it was read; the array holds the bytes it had at first\n1");
  EXPECT_TRUE(out.ends_with("0x41, 0x41, 0x41, 0x41,\n};\n"));
  EXPECT_NE(out.find("std::array<std::uint8_t, 1048569> a{"), std::string::npos);
}

TEST_F(PatchPosix, GrepWidensAddressesPastFFFFFFFF) {
  if (!std::string_view(QUARNEL_EMULATOR).empty()) {
    GTEST_SKIP() << "4 GiB take too long to search under an emulator";
  }
  // In memory: a disk's file system fills the page cache for a hole slowly
  // the first time it is read.
  if (!std::filesystem::is_directory("/dev/shm")) {
    GTEST_SKIP() << "no /dev/shm";
  }
  const std::string far = "/dev/shm/quarnel-grep-far-" + std::to_string(getpid());
  std::ofstream(far, std::ios::binary) << "";
  std::filesystem::resize_file(far, (std::uint64_t{1} << 32) + 14);
  std::ofstream(far, std::ios::binary | std::ios::in)
          .seekp(static_cast<std::streamoff>((std::uint64_t{1} << 32) + 14))
      << "GIF8";
  const Outcome got = run_tool({"-B1", "--offsets", "\"GIF8\"", far}, "", {}, QUARNEL_GREP_BINARY);
  const Outcome lines = run_tool({"-B1", "\"GIF8\"", far}, "", {}, QUARNEL_GREP_BINARY);
  std::filesystem::remove(far);
  EXPECT_EQ(got.out + got.err, "10000000E\n");
  EXPECT_EQ(lines.out,
            "FFFFFFF0  00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00   ................\n"
            "100000000  00 00 00 00 00 00 00 00-00 00 00 00 00 00 47 49   ..............GI\n"
            "100000010  46 38" +
                std::string(45, ' ') + "F8\n");
}

TEST_F(PatchPosix, FortyLinksAreFollowedAndOneMoreIsALoop) {
  for (const int links : {40, 41}) {
    put("T", original_);
    std::string target = path("T");
    for (int i = links; i > 0; --i) {
      const std::string link = path(("link" + std::to_string(i)).c_str());
      std::filesystem::remove(link);
      std::filesystem::create_symlink(target, link);
      target = link;
    }
    const Outcome got = unquarnel({"-p", target, path("d.dump")});
    EXPECT_EQ(got.err + std::to_string(got.status),
              links == 40
                  ? "0"
                  : "unquarnel: " + target + ": cannot open: too many levels of symbolic links\n1");
    EXPECT_EQ(read("T"), links == 40 ? "AB" + original_.substr(2) : original_);
  }
}

}  // namespace
}  // namespace quarnel
