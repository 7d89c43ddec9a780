// programs/quarnel-diff/: the diff of two files' dumps.
#include "programs/quarnel-diff/diff_options.h"

#include <charconv>

#include "front/options.h"

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
  OptionWalk walk{argc, argv};
  for (std::string_view arg; next_option(walk, arg, options.asked);) {
    if (const OptionValue count = option_value(walk, arg, "-U", "--unified"); count.matched) {
      if (count.value == nullptr || !read_count(count.value, options.context)) {
        return refused(options, "option needs a number of lines: ", argv[walk.at]);
      }
    } else if (arg == "--same-offsets") {
      options.same_offsets = true;
    } else if (arg == "--stat") {
      options.stat = true;
    } else if (!read_color_option(arg, options.color) &&
               !read_progress_option(arg, options.progress)) {
      return refused(options, "unknown option: ", argv[walk.at]);
    }
  }
  if (options.asked.request != Request::run) {
    return options;
  }
  const int index = walk.next;
  if (argc - index != 2) {
    return refused(options,
                   argc - index < 2 ? "two files to compare, OLD and NEW" : "one file too many: ",
                   argc - index < 2 ? "" : argv[index + 2]);
  }
  options.old_file = argv[index];
  options.new_file = argv[index + 1];
  return options;
}

}  // namespace quarnel
