// What only Windows can set up: a pipe whose reader has gone.
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quarnel {
namespace {

TEST(CliWindows, AClosedPipeIsAWriteError) {
  int ends[2];
  testing::open_pipe(ends);
  close_handle(ends[0]);
  const int input = testing::memory_file(std::string(1 << 20, 'x'));
  const testing::Outcome got = testing::run_tool({}, "", {.in = input, .out = ends[1]});
  close_handle(ends[1]);
  close_handle(input);
  EXPECT_EQ(got.err, "write error:stdout\r\n");
  EXPECT_EQ(got.status, 1);
}

}  // namespace
}  // namespace quarnel
