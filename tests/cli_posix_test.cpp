// What only POSIX systems can set up: pipes and terminals in odd states.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace quarnel {
namespace {

using testing::Outcome;
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
  const Outcome got = run_tool({}, "", {.in = ends[0]});
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
  const Outcome got = run_tool({}, "", {.in = terminal});
  close(terminal);
  close(master);
  EXPECT_EQ(got.out, "00000000  41 42" + std::string(45, ' ') + "AB\n");
  EXPECT_EQ(got.status, 0);
}

}  // namespace
}  // namespace quarnel
