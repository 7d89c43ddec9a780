#include "dump/dump_stream.h"

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "simple_dump.h"
#include "test_support.h"

namespace quarnel {
namespace {

using testing::contents;
using testing::dump_to_string;
using testing::memory_file;

TEST(DumpStream, LinesAndTheSkipStraddleReadsFromFilesAndPipes) {
  std::string data;
  for (std::size_t i = 0; i < 3 * input_block_size; ++i) {
    data.push_back(static_cast<char>(i * 131 % 256));
  }
  const int file = memory_file(data);
  for (const std::int32_t offset : {0, 5, 70001}) {
    const auto skipped = static_cast<std::size_t>(offset);
    const std::string expected = fuzzing::simple_dump(
        {reinterpret_cast<const std::uint8_t*>(data.data()) + skipped, data.size() - skipped},
        static_cast<std::uint32_t>(offset));
    lseek(file, 0, SEEK_SET);
    EXPECT_EQ(dump_to_string(file, offset).text, expected) << offset;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    // Pieces of odd sizes, so that lines and the skip straddle the reads.
    std::thread writer([&] {
      std::size_t at = 0;
      for (std::size_t piece = 1; at < data.size(); piece = piece * 7 % 40009 + 3) {
        const std::size_t size = std::min(piece, data.size() - at);
        ASSERT_EQ(write(ends[1], data.data() + at, size), static_cast<ssize_t>(size));
        at += size;
      }
      close(ends[1]);
    });
    EXPECT_EQ(dump_to_string(ends[0], offset).text, expected) << offset;
    writer.join();
    close(ends[0]);
  }
  close(file);
}

TEST(DumpStream, EachLineIsShownBeforeWaitingForMoreInput) {
  int input[2];
  int output[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(output), 0);
  auto out = std::make_unique<OutputWriter>(OutputWriter{output[1]});
  DumpResult result{};
  std::thread dumper([&] {
    result = dump_stream(input[0], 0, *out);
    EXPECT_TRUE(flush_output(*out));
    close(output[1]);
  });
  ASSERT_EQ(write(input[1], "0123456789ABCDEF", 16), 16);
  // The input stays open: the line must arrive all the same.
  pollfd readable{output[0], POLLIN, 0};
  ASSERT_EQ(poll(&readable, 1, 10000), 1);
  char line[full_line_length + 1] = {};
  ASSERT_EQ(read(output[0], line, full_line_length), static_cast<ssize_t>(full_line_length));
  EXPECT_STREQ(line,
               "00000000  30 31 32 33 34 35 36 37-38 39 41 42 43 44 45 46   0123456789ABCDEF\n");
  close(input[1]);
  dumper.join();
  EXPECT_EQ(result, DumpResult::ok);
  EXPECT_EQ(contents(output[0]), "00000010" + std::string(52, ' ') + "\n");
  close(input[0]);
  close(output[0]);
}

}  // namespace
}  // namespace quarnel
