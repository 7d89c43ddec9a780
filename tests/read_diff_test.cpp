#include "patch/read_diff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

// Keeps each record as a line of text: its kind, address (and where a move
// takes the bytes), and its bytes; or refuses the nth.
struct RecordingSink final : RecordSink {
  std::vector<std::string> kept;
  std::size_t refuse_at = SIZE_MAX;
  bool put(const PatchRecord& record, std::span<const std::uint8_t> bytes) override {
    if (kept.size() == refuse_at) {
      return false;
    }
    constexpr std::array<const char*, 6> kinds{"write",      "expect", "expect_length",
                                               "set_length", "move",   "expect_sum"};
    std::string line = std::string(kinds[static_cast<std::size_t>(record.kind)]) + " " +
                       std::to_string(record.address);
    if (record.kind == RecordKind::move) {
      line += " to " + std::to_string(record.to);
    }
    if (record.kind == RecordKind::expect_sum) {
      line += " size " + std::to_string(record.to) + " sum " +
              std::to_string(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24);
    } else if (!bytes.empty()) {
      line += " \"" + std::string(bytes.begin(), bytes.end()) + "\"";
    }
    kept.push_back(line);
    return true;
  }
};

struct DiffCase {
  const char* name;
  std::string text;
  bool reverse;
  std::vector<std::string> records;
};

const std::string changed_byte =
    "--- old\n+++ new\n@@ -1,3 +1,3 @@\n"
    "-00000000  68 65 6C 6C 6F 20 77 6F-72 6C 64 2C 20 74 68 69   hello world, thi\n"
    "+00000000  68 65 6C 6C 6F 20 57 6F-72 6C 64 2C 20 74 68 69   hello World, thi\n"
    " 00000010  73 20 69 73 20 61 20 66-69 6C 65 20 6F 66 20 73   s is a file of s\n"
    "-00000020  6F 6D 65 20 62 79 74 65-73                        ome bytes\n"
    "+00000020  6F 6D 65 20 62 79 74 65-73 21                     ome bytes!\n";

// Two blocks of 70 bytes that swapped places: the first is shown moved.
const std::string moved_block =
    "--- old\n+++ new\n@@ -1,3 +1,2 @@ 70 bytes moved from 00000004 to 0000004A\n"
    " 00000000  61 62 63 64                                       abcd\n"
    "-00000004  70 bytes moved to 0000004A, crc32 00ABCDEF\n"
    " 0000004A  53 70 68 69 6E 78 20 6F-66 20 62 6C 61 63 6B 20   Sphinx of black \n"
    "@@ -7,2 +6,3 @@ 70 bytes moved from 00000004 to 0000004A\n"
    " 0000008A  62 72 61 73 20 6A                                 bras j\n"
    "+0000004A  70 bytes moved from 00000004, crc32 00ABCDEF\n"
    " 00000090  30 31 32 33 34 35 36 37-38 39 61 62 63 64 65 66   0123456789abcdef\n";

// The same, without the line after the + side's block line.
std::string block_last_in_hunk() {
  std::string text = moved_block.substr(0, moved_block.rfind(" 00000090"));
  const std::string header = "@@ -7,2 +6,3 @@";
  return text.replace(text.find(header), header.size(), "@@ -7 +6,2 @@");
}

class ReadDiff : public ::testing::TestWithParam<DiffCase> {};

TEST_P(ReadDiff, PushesTheRecordsOfEachSide) {
  const DiffCase& c = GetParam();
  RecordingSink sink;
  DiffReader diff{.reverse = c.reverse};
  std::string_view text = c.text;
  std::uint64_t number = 0;
  const DiffStep step = read_diff(text, true, diff, sink, number);
  ASSERT_TRUE(step.ok) << step.problem;
  EXPECT_EQ(sink.kept, c.records);
}

INSTANTIATE_TEST_SUITE_P(
    Diffs, ReadDiff,
    ::testing::Values(
        DiffCase{"Forward",
                 changed_byte,
                 false,
                 {"expect 0 \"hello world, thi\"", "write 0 \"hello World, thi\"",
                  "expect 16 \"s is a file of s\"", "expect 32 \"ome bytes\"",
                  "write 32 \"ome bytes!\"", "expect_length 41", "set_length 42"}},
        DiffCase{"Reversed",
                 changed_byte,
                 true,
                 {"write 0 \"hello world, thi\"", "expect 0 \"hello World, thi\"",
                  "expect 16 \"s is a file of s\"", "write 32 \"ome bytes\"",
                  "expect 32 \"ome bytes!\"", "set_length 41", "expect_length 42"}},
        DiffCase{"AMovedBlock",
                 moved_block,
                 false,
                 {"expect 0 \"abcd\"", "expect_sum 4 size 70 sum 11259375", "move 74 to 4",
                  "expect 74 \"Sphinx of black \"", "expect 138 \"bras j\"",
                  "expect_sum 4 size 70 sum 11259375", "move 4 to 74", "move 144 to 144",
                  "expect 144 \"0123456789abcdef\""}},
        // A block's line that ends its side of a hunk does not
        // end the side's dump, as the short line on the other does.
        DiffCase{"AMovedBlockLastInItsHunk",
                 block_last_in_hunk(),
                 false,
                 {"expect 0 \"abcd\"", "expect_sum 4 size 70 sum 11259375", "move 74 to 4",
                  "expect 74 \"Sphinx of black \"", "expect 138 \"bras j\"",
                  "expect_sum 4 size 70 sum 11259375", "move 4 to 74", "expect_length 144"}},
        DiffCase{"AMovedBlockReversed",
                 moved_block,
                 true,
                 {"expect 0 \"abcd\"", "expect_sum 74 size 70 sum 11259375", "move 74 to 4",
                  "move 4 to 74", "expect 4 \"Sphinx of black \"", "expect 68 \"bras j\"",
                  "expect_sum 74 size 70 sum 11259375", "move 144 to 144",
                  "expect 144 \"0123456789abcdef\""}}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(ReadDiffSink, ARefusedRecordStopsTheReadingAsAWriteFailure) {
  for (std::size_t refuse_at = 0; refuse_at < 7; ++refuse_at) {
    RecordingSink sink;
    sink.refuse_at = refuse_at;
    DiffReader diff;
    std::string_view text = changed_byte;
    std::uint64_t number = 0;
    const DiffStep step = read_diff(text, true, diff, sink, number);
    EXPECT_FALSE(step.ok) << refuse_at;
    EXPECT_TRUE(step.write_failed) << refuse_at;
    EXPECT_EQ(sink.kept.size(), refuse_at);
  }
}

// A moved block's line stands where its side's lines put it, and says "to"
// on the - side and "from" on the + side.
TEST(ReadDiffRefusal, AMovedBlocksLineOutOfPlaceIsRefused) {
  const auto problem = [](const std::string& from, const std::string& to) {
    std::string text = moved_block;
    text.replace(text.find(from), from.size(), to);
    RecordingSink sink;
    DiffReader diff;
    std::string_view rest = text;
    std::uint64_t number = 0;
    const DiffStep step = read_diff(rest, true, diff, sink, number);
    const std::string what =
        step.error != ReadError::none ? "a line that does not read" : std::string(step.problem);
    return what + " at " + std::to_string(step.line);
  };
  EXPECT_EQ(problem("-00000004  70 bytes moved to", "-00000005  70 bytes moved to"),
            "the line is not where its hunk header puts it at 5");
  EXPECT_EQ(problem("-00000004  70 bytes moved to", "-00000004  70 bytes moved from"),
            "a block's line says \"moved to\" on the - side and \"moved from\" on the + at 5");
  // Its sum is eight digits after the other address, as written.
  for (const char* edited :
       {"70 bytes moved to 4A, crc32 00ABCDEF", "70 bytes moved to 0000004A, crc32 ABCDEF",
        "70 bytes moved to 0000004A crc32 00ABCDEF", "70 bytes moved to 0000004A, crc32 00abcdef",
        "70 bytes moved to 0000004A, crc32 00ABCDEF0", "70 bytes moved to 0000004A"}) {
    EXPECT_EQ(problem("70 bytes moved to 0000004A, crc32 00ABCDEF", edited),
              "a line that does not read at 5")
        << edited;
  }
}

}  // namespace
}  // namespace quarnel
