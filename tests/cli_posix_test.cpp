// What only POSIX systems can set up: devices that fail, pipes and
// terminals in odd states, and files whose size is not their length.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
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

const std::string end_line_0 = "00000000" + std::string(52, ' ') + "\n";

TEST(CliPosix, ReadErrorsShowTheLinesSoFar) {
  const int directory = open("/", O_RDONLY | O_DIRECTORY);
  Outcome got = run_tool({}, "", Redirect{.in = directory});
  close(directory);
  EXPECT_EQ(got.out + got.err, end_line_0 + "read error:stdin\n");
  EXPECT_EQ(got.status, 1);
  got = run_tool({"/proc/self/mem"});
  EXPECT_EQ(got.out + got.err, end_line_0 + "read error:/proc/self/mem\n");
  EXPECT_EQ(got.status, 1);
}

TEST(CliPosix, LostOutputIsAWriteError) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/dev/zero"}, std::vector<std::string>{"-h"},
        std::vector<std::string>{"/dev/null"}}) {
    const int full = open("/dev/full", O_WRONLY);
    const Outcome got = run_tool(args, "", Redirect{.out = full});
    close(full);
    EXPECT_EQ(got.err, "write error:stdout\n") << args[0];
    EXPECT_EQ(got.status, 1) << args[0];
  }
  int ends[2];
  testing::open_pipe(ends);
  close(ends[0]);
  // An ignored signal stays ignored across exec: the write itself fails.
  signal(SIGPIPE, SIG_IGN);
  const Outcome got = run_tool({"/dev/zero"}, "", Redirect{.out = ends[1]});
  signal(SIGPIPE, SIG_DFL);
  close(ends[1]);
  EXPECT_EQ(got.err, "write error:stdout\n");
  EXPECT_EQ(got.status, 1);
}

TEST(CliPosix, NonBlockingInputIsWaitedFor) {
  int ends[2];
  testing::open_pipe(ends);
  // The flag belongs to the shared open file, so the tool inherits it.
  fcntl(ends[0], F_SETFL, O_NONBLOCK);
  std::thread writer([&] {
    usleep(200000);
    EXPECT_TRUE(testing::write_fd(ends[1], "ABC"));
    close(ends[1]);
  });
  const Outcome got = run_tool({}, "", Redirect{.in = ends[0]});
  writer.join();
  close(ends[0]);
  EXPECT_EQ(got.out, "00000000  41 42 43" + std::string(42, ' ') + "ABC\n");
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
  const Outcome got = run_tool({}, "", Redirect{.in = terminal});
  close(terminal);
  close(master);
  EXPECT_EQ(got.out, "00000000  41 42" + std::string(45, ' ') + "AB\n");
  EXPECT_EQ(got.status, 0);
}

TEST(DumpPosix, FilesThatMisreportTheirSizeAreSkippedByWhatTheyHold) {
  // proc files report size 0 and sys files a page, whatever they hold.
  for (const char* name : {"/proc/version", "/sys/devices/system/cpu/online"}) {
    const int file = open(name, O_RDONLY);
    if (file < 0) {
      continue;
    }
    const std::string held = testing::contents(file);
    for (const std::size_t offset : {std::size_t{1}, held.size(), held.size() + 1}) {
      lseek(file, 0, SEEK_SET);
      const testing::Dumped dumped =
          testing::dump_to_string(file, static_cast<std::int32_t>(offset));
      const std::string expected =
          offset > held.size()
              ? ""
              : testing::simple_dump({reinterpret_cast<const std::uint8_t*>(held.data()) + offset,
                                      held.size() - offset},
                                     static_cast<std::uint32_t>(offset));
      EXPECT_EQ(dumped.text, expected) << name << " from " << offset;
      EXPECT_EQ(dumped.result, offset > held.size() ? DumpResult::too_short : DumpResult::ok);
    }
    close(file);
  }
}

}  // namespace
}  // namespace quarnel
