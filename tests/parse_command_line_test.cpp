#include "programs/quarnel/parse_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

struct ParseCase {
  std::vector<const char*> args;  // after the program name
  std::int32_t offset;
  std::vector<std::string> names;
  bool help;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  for (const char* arg : c.args) {
    *os << '[' << arg << ']';
  }
}

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, FillsSettings) {
  const ParseCase& c = GetParam();
  std::vector<const char*> argv{"quarnel"};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  RunSettings settings;
  EXPECT_EQ(parse_command_line(static_cast<int>(argv.size()), argv.data(), settings), c.help);
  EXPECT_EQ(settings.help_requested, c.help);
  if (c.help) {
    return;
  }
  EXPECT_EQ(settings.start_offset, c.offset);
  ASSERT_EQ(settings.input_count, c.names.size());
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    EXPECT_EQ(settings.input_names[i], c.names[i]);
  }
  EXPECT_EQ(settings.first_dropped_name, nullptr);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Switches, ParseTest,
    ::testing::Values(
        ParseCase{{}, 0, {}, false},
        ParseCase{{"-x10"}, 16, {}, false},
        ParseCase{{"-X1f"}, 31, {}, false},
        ParseCase{{"-x0x10"}, 16, {}, false},
        ParseCase{{"-x0XaA"}, 170, {}, false},
        ParseCase{{"-x010"}, 16, {}, false},
        ParseCase{{"-x \t\n+10zz"}, 16, {}, false},
        ParseCase{{"-x- 10"}, 0, {}, false},
        ParseCase{{"-x-10"}, -16, {}, false},
        ParseCase{{"-xFFFFFFF0"}, -16, {}, false},
        ParseCase{{"-x1FFFFFFFF"}, -1, {}, false},
        ParseCase{{"-x0x"}, 0, {}, false},
        ParseCase{{"-x"}, 0, {}, false},
        ParseCase{{"-x10", "-xZZ"}, 0, {}, false},
        ParseCase{{"-x10", "-7"}, 7, {}, false},
        ParseCase{{"-5"}, 5, {}, false},
        ParseCase{{"-12abc"}, 12, {}, false},
        ParseCase{{"-0x10"}, 0, {}, false},
        ParseCase{{"-2147483648"}, INT32_MIN, {}, false},
        ParseCase{{"-4294967312"}, 16, {}, false},
        ParseCase{{"-", "--", "-v", "-help", "-hx", "-3"}, 3, {}, false},
        ParseCase{{"-h"}, 0, {}, true},
        ParseCase{{"-H", "file"}, 0, {}, true},
        ParseCase{{"-x10", "-h"}, 0, {}, true},
        ParseCase{{"file", "-h"}, 0, {"file", "-h"}, false},
        ParseCase{{"-x", "10", "file"}, 0, {"10", "file"}, false},
        ParseCase{{"-4", "a", "-x10", "b"}, 4, {"a", "-x10", "b"}, false},
        ParseCase{{"", "-h"}, 0, {"", "-h"}, false}));
// clang-format on

TEST(ParseLimits, EmptyArgumentVector) {
  RunSettings settings;
  settings.start_offset = 9;
  EXPECT_FALSE(parse_command_line(0, nullptr, settings));
  EXPECT_EQ(settings.start_offset, 0);
  EXPECT_EQ(settings.input_count, 0U);
}

}  // namespace
}  // namespace quarnel
