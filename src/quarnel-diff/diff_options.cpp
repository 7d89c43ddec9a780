#include "quarnel-diff/diff_options.h"

#include <charconv>

namespace quarnel {
namespace {

// A number of context lines, all digits; false when it is not one.
bool read_count(std::string_view text, std::uint64_t& count) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

DiffOptions parse_diff_options(int argc, const char* const argv[]) {
  DiffOptions options;
  const auto fail = [&](std::string_view problem, const char* culprit) {
    options.request = DiffRequest::usage_error;
    options.problem = problem;
    options.culprit = culprit;
    return options;
  };
  int index = 1;
  for (; index < argc; ++index) {
    const std::string_view arg = argv[index];
    if (arg == "--") {
      ++index;
      break;
    }
    if (!arg.starts_with('-') || arg == "-") {
      break;
    }
    if (arg == "--help" || arg == "--version") {
      options.request = arg == "--help" ? DiffRequest::help : DiffRequest::version;
      return options;
    }
    if (arg == "-U" || arg == "--unified") {
      if (index + 1 == argc || !read_count(argv[index + 1], options.context)) {
        return fail("option needs a number of lines: ", argv[index]);
      }
      ++index;
    } else if (arg.starts_with("-U") || arg.starts_with("--unified=")) {
      const std::string_view count = arg.substr(arg.starts_with("-U") ? 2 : 10);
      if (!read_count(count, options.context)) {
        return fail("option needs a number of lines: ", argv[index]);
      }
    } else if (arg == "--color" || arg == "--color=auto") {
      options.color = ColorWhen::automatic;
    } else if (arg == "--color=always") {
      options.color = ColorWhen::always;
    } else if (arg == "--color=never") {
      options.color = ColorWhen::never;
    } else {
      return fail("unknown option: ", argv[index]);
    }
  }
  if (argc - index != 2) {
    return fail(argc - index < 2 ? "two files to compare, OLD and NEW" : "one file too many: ",
                argc - index < 2 ? "" : argv[index + 2]);
  }
  options.old_file = argv[index];
  options.new_file = argv[index + 1];
  return options;
}

}  // namespace quarnel
