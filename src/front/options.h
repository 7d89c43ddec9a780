// Walks a companion program's options: they come first and end at "--"
// (passed over), "-" or the first argument that does not begin with "-".
#pragma once

#include <span>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {

// What a command line asks for: a run, help, the version, or nothing it can
// do (a usage error).
enum class Request { run, help, version, usage_error };

struct Asked {
  Request request = Request::run;
  std::string_view problem;  // what is wrong, with usage_error
  const char* culprit = "";  // the argument at fault, with usage_error
};

// A usage error in a program's options.
template <class Options>
[[nodiscard]] Options refused(Options options, std::string_view problem, const char* culprit) {
  options.asked = {Request::usage_error, problem, culprit};
  return options;
}

// A program's options, read by parse from its command line as the system
// gives it (wildcards expanded on Windows), once the standard streams are
// safe to use.
template <class Options>
[[nodiscard]] Options read_options(int argc, const char* const argv[],
                                   Options (*parse)(int argc, const char* const argv[])) {
  prepare_standard_streams();
  const std::span<const char* const> arguments = program_arguments(argc, argv);
  return parse(static_cast<int>(arguments.size()), arguments.data());
}

// Whether arg asks for help or the version, which ends the walk.
[[nodiscard]] bool asks_help_or_version(std::string_view arg, Asked& asked);

struct OptionWalk {
  int argc;
  const char* const* argv;
  int next = 1;  // the argument after the option at hand; after the walk, the first operand
  int at = 0;    // the option at hand
};

// Moves to the next option and sets arg to it; false at the end of the
// options, and at one that asks for help or the version, which asked then
// says.
[[nodiscard]] bool next_option(OptionWalk& walk, std::string_view& arg, Asked& asked);

// The value of an option that takes one: glued on (-pFILE, --patch=FILE)
// or the next argument (-p FILE, --patch FILE). short_name may be empty.
struct OptionValue {
  bool matched = false;         // arg is the option
  const char* value = nullptr;  // null, when matched, if the value is missing or empty
};
[[nodiscard]] OptionValue option_value(OptionWalk& walk, std::string_view arg,
                                       std::string_view short_name, std::string_view long_name);

}  // namespace quarnel
