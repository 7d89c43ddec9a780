// quarnel's dump through {fmt}: the lines dump_string gives.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "quarnel/fmt.h"

namespace quarnel {
namespace {

TEST(Fmt, FormatsTheLinesOfTheDump) {
  const std::string text(40, 'q');
  EXPECT_EQ(fmt::format("{}", as_dump(text, 0x20)), dump_string(text, 0x20));
  EXPECT_EQ(fmt::format("got:\n{:crlf}", as_dump(std::string_view(text).substr(3))),
            "got:\n" + dump_string(std::string_view(text).substr(3), 0, LineEnd::crlf));
}

}  // namespace
}  // namespace quarnel
