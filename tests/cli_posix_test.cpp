// What only POSIX systems can set up: pipes and terminals in odd states,
// closed standard streams, file-size limits and signals.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

TEST(CliPosix, TerminalEndOfFileEndsTheDump) {
  // On a terminal each end-of-file key ends one read; data typed after it
  // must not be read.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
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
    dir_ = std::filesystem::temp_directory_path() /
           ("unquarnel-patch-" + std::to_string(std::random_device{}()));
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
  static Outcome unquarnel(const std::vector<std::string>& args, Redirect redirect = {},
                           const std::string& input = "") {
    return run_tool(args, input, redirect, UNQUARNEL_BINARY);
  }
  std::filesystem::path dir_;
  std::string original_;
};

TEST_F(PatchPosix, ALongRunOfLinesIsWrittenWhole) {
  // More consecutive bytes than one record holds.
  std::vector<std::uint8_t> bytes(200000);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  }
  const Outcome got = unquarnel({"-p", path("T")}, {}, testing::simple_dump(bytes, 0));
  EXPECT_EQ(got.err + std::to_string(got.status), "0");
  EXPECT_TRUE(read("T") == std::string(bytes.begin(), bytes.end()));
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
                                   : "unquarnel: " + path(name) + ": write error\nunquarnel: " +
                                         path(name) + ": restored as it was\n");
      EXPECT_EQ(got.status, 1);
    }
  }
  // Output past the limit: T stays as it was, and no temporary file is left.
  const std::vector<std::uint8_t> zeros(0x10000);
  const Outcome got =
      unquarnel({"-o", path("T")}, {.file_size_limit = 0x8000}, testing::simple_dump(zeros, 0));
  EXPECT_EQ(got.err + std::to_string(got.status), "unquarnel: " + path("T") + ": write error\n1");
  EXPECT_EQ(read("T"), original_);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
}

TEST_F(PatchPosix, AStopSignalWhileWritingLeavesTheFileAsItWas) {
  // Scattered lines, each a write of its own: long enough to be caught.
  std::string dump;
  std::array<char, 16> line{};
  for (unsigned i = 0; i < 200000; ++i) {
    std::snprintf(line.data(), line.size(), "%08X  5A\n", i * 32);
    dump += line.data();
  }
  put("big.dump", dump);
  const std::string before(1 << 20, 'x');
  // A stop signal is caught; one ignored from the start, as under nohup,
  // stays ignored.
  for (const bool ignored : {false, true}) {
    put("T", before);
    const int err = testing::memory_file("");
    const int in = testing::memory_file("");
    signal(SIGHUP, ignored ? SIG_IGN : SIG_DFL);
    const pid_t child = testing::start_process(
        UNQUARNEL_BINARY, {"-p", path("T"), path("big.dump")}, in, in, err, std::uint64_t{1} << 30);
    signal(SIGHUP, SIG_DFL);
    const int file = open(path("T").c_str(), O_RDONLY);
    for (char first = 'x'; first != 'Z';) {
      ASSERT_EQ(pread(file, &first, 1, 0), 1);
    }
    kill(child, SIGHUP);
    int status = 0;
    waitpid(child, &status, 0);
    close(file);
    const std::string t = "unquarnel: " + path("T");
    EXPECT_EQ(testing::contents(err) + std::to_string(WEXITSTATUS(status)),
              ignored ? "0" : t + ": interrupted by a signal\n" += t + ": restored as it was\n129");
    EXPECT_EQ(read("T") == before, !ignored);
    close(err);
    close(in);
  }
}

TEST_F(PatchPosix, AStopSignalWhileReadingLeavesTheOutputFileAsItWas) {
  // The temporary file takes T's mode once the signals are caught.
  ASSERT_EQ(chmod(path("T").c_str(), 0604), 0);
  int ends[2];
  testing::open_pipe(ends);
  ASSERT_TRUE(testing::write_fd(ends[1], "00000000  41 42\n"));
  const pid_t child =
      testing::start_process(UNQUARNEL_BINARY, {"-o", path("T")}, ends[0], testing::closed_stream,
                             testing::closed_stream, std::uint64_t{1} << 30);
  close(ends[0]);
  for (bool ready = false; !ready; usleep(1000)) {
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      struct stat info {};
      ready = ready || (entry.path().filename().string().starts_with("T.") &&
                        stat(entry.path().c_str(), &info) == 0 && (info.st_mode & 0777) == 0604);
    }
  }
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  close(ends[1]);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(read("T"), original_);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
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
  const std::vector<Row> rows{
      {QUARNEL_BINARY, {t}, 2, "write error:stdout\n", 1, original_},
      {QUARNEL_BINARY, {}, 1, "read error:stdin\n", 1, original_},
      {QUARNEL_BINARY, {t}, 7, "", 1, original_},
      {QUARNEL_BINARY, {t}, 5, "", 0, original_},
      {UNQUARNEL_BINARY, {"-p", t}, 1, "unquarnel: stdin: read error\n", 1, original_},
      {UNQUARNEL_BINARY, {"-p", t}, 5, "", 1, original_},
      {UNQUARNEL_BINARY, {dump}, 2, "unquarnel: stdout: write error\n", 1, original_},
      {UNQUARNEL_BINARY, {"--help"}, 2, "unquarnel: stdout: write error\n", 1, original_},
      {UNQUARNEL_BINARY, {"-p", t, dump}, 7, "", 0, patched}};
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

TEST_F(PatchPosix, PipesAndTerminalsAreRefusedBeforeAnyDumpIsRead) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
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
  std::ifstream in(path("T"), std::ios::binary);
  in.seekg(0xFFFFFFFFLL);
  EXPECT_EQ(in.get(), 0x5A);
}

}  // namespace
}  // namespace quarnel
