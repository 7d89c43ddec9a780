// What only POSIX systems can set up: pipes and terminals in odd states.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/simple_dump.h"
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

}  // namespace
}  // namespace quarnel
