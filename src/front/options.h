// Walks a companion program's options: they come first and end at "--"
// (passed over), "-" or the first argument that does not begin with "-".
#pragma once

#include <string_view>

namespace quarnel {

struct OptionWalk {
  int argc;
  const char* const* argv;
  int next = 1;  // the argument after the option at hand; after the walk, the first operand
  int at = 0;    // the option at hand
};

// Moves to the next option and sets arg to it; false at the end of the
// options.
[[nodiscard]] bool next_option(OptionWalk& walk, std::string_view& arg);

// The value of an option that takes one: glued on (-pFILE, --patch=FILE)
// or the next argument (-p FILE, --patch FILE).
struct OptionValue {
  bool matched = false;         // arg is the option
  const char* value = nullptr;  // null, when matched, if the value is missing or empty
};
[[nodiscard]] OptionValue option_value(OptionWalk& walk, std::string_view arg,
                                       std::string_view short_name, std::string_view long_name);

}  // namespace quarnel
