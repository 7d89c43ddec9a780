#include "stream/dump_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "dump/line_format.h"
#include "support/simple_dump.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using namespace testing;

TEST(DumpStream, FilesSeekAndPipesReadToTheSameLinesAcrossReads) {
  std::string data;
  for (std::size_t i = 0; i < 3 * input_block_size; ++i) {
    data.push_back(static_cast<char>(i * 131 % 256));
  }
  const auto size = static_cast<std::int32_t>(data.size());
  for (const std::int32_t offset : {0, 5, 70001, size, size + 1}) {
    const auto skipped = static_cast<std::size_t>(std::min(offset, size));
    const std::string expected =
        offset > size ? ""
                      : simple_dump({reinterpret_cast<const std::uint8_t*>(data.data()) + skipped,
                                     data.size() - skipped},
                                    static_cast<std::uint32_t>(offset));
    const DumpResult result = offset > size ? DumpResult::too_short : DumpResult::ok;
    const int file = memory_file(data);
    const Dumped from_file = dump_to_string(file, offset);
    close_handle(file);
    EXPECT_EQ(from_file.text, expected) << offset;
    EXPECT_EQ(from_file.result, result) << offset;
    int ends[2];
    open_pipe(ends);
    // Pieces of odd sizes, so that lines and the skip straddle the reads.
    std::thread writer([&] {
      std::size_t at = 0;
      for (std::size_t piece = 1; at < data.size(); piece = piece * 7 % 40009 + 3) {
        const std::size_t part = std::min(piece, data.size() - at);
        ASSERT_TRUE(write_fd(ends[1], std::string_view(data).substr(at, part)));
        at += part;
      }
      close_handle(ends[1]);
    });
    const Dumped from_pipe = dump_to_string(ends[0], offset);
    writer.join();
    close_handle(ends[0]);
    EXPECT_EQ(from_pipe.text, expected) << offset;
    EXPECT_EQ(from_pipe.result, result) << offset;
  }
}

TEST(DumpStream, EachLineIsShownBeforeWaitingForMoreInput) {
  int input[2];
  int output[2];
  open_pipe(input);
  open_pipe(output);
  auto out = std::make_unique<OutputWriter>(OutputWriter{output[1]});
  DumpResult result{};
  std::thread dumper([&] {
    result = dump_stream(input[0], 0, *out);
    EXPECT_TRUE(flush_output(*out));
    close_handle(output[1]);
  });
  ASSERT_TRUE(write_fd(input[1], "0123456789ABCDEF"));
  // The input stays open: the line must arrive all the same, or the test
  // hangs until its time limit.
  EXPECT_EQ(read_up_to(output[0], full_line_length),
            with_line_ends(
                "00000000  30 31 32 33 34 35 36 37-38 39 41 42 43 44 45 46   0123456789ABCDEF\n"));
  close_handle(input[1]);
  dumper.join();
  EXPECT_EQ(result, DumpResult::ok);
  EXPECT_EQ(contents(output[0]), with_line_ends("00000010" + std::string(52, ' ') + "\n"));
  close_handle(input[0]);
  close_handle(output[0]);
}

TEST(DumpStream, ManyPiecesGoOutWholeAndInOrder) {
  // More pieces than one system call takes, some of them empty.
  std::array<std::string_view, 20> pieces{};
  std::string expected;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    pieces[i] = std::string_view("0123456789ABCDEFGHIJ").substr(i, i % 3 == 1 ? 0 : 1);
    expected += pieces[i];
  }
  const int file = memory_file("");
  ASSERT_TRUE(write_all(file, pieces));
  EXPECT_EQ(contents(file), expected);
  close_handle(file);
}

}  // namespace
}  // namespace quarnel
