// programs/quarnel-grep/: byte patterns found and shown as dump lines.
#include "programs/quarnel-grep/grep_options.h"

#include <charconv>
#include <string_view>

namespace quarnel {
namespace {

// A number, all digits; false when it is not one.
bool read_number(const char* text, std::uint64_t& number) {
  const std::string_view digits = text != nullptr ? text : "";
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
}

// The stronger of two ways of showing: nothing, names, count, offsets,
// lines, in that order.
Shown stronger(Shown a, Shown b) {
  const auto strength = [](Shown shown) {
    switch (shown) {
      case Shown::nothing:
        return 4;
      case Shown::names:
        return 3;
      case Shown::count:
        return 2;
      case Shown::offsets:
        return 1;
      case Shown::lines:
        break;
    }
    return 0;
  };
  return strength(a) >= strength(b) ? a : b;
}

}  // namespace

GrepOptions parse_grep_options(int argc, const char* const argv[]) {
  GrepOptions options;
  OptionWalk walk{argc, argv};
  for (std::string_view arg; next_option(walk, arg, options.asked);) {
    const OptionValue after = option_value(walk, arg, "-A", "--after-context");
    const OptionValue before =
        after.matched ? OptionValue{} : option_value(walk, arg, "-B", "--before-context");
    const OptionValue around = after.matched || before.matched
                                   ? OptionValue{}
                                   : option_value(walk, arg, "-C", "--context");
    const bool context_option = after.matched || before.matched || around.matched;
    OptionValue given = context_option ? OptionValue{} : option_value(walk, arg, "-e", "--regexp");
    const bool file_given = !context_option && !given.matched &&
                            (given = option_value(walk, arg, "-f", "--file")).matched;
    if (context_option) {
      const char* value = after.matched    ? after.value
                          : before.matched ? before.value
                                           : around.value;
      std::uint64_t lines = 0;
      if (!read_number(value, lines)) {
        return refused(options, "option needs a number of lines: ", argv[walk.at]);
      }
      static_assert(most_lines_before == 65536);
      if (!after.matched && lines > most_lines_before) {
        return refused(options, "option takes at most 65536 lines: ", argv[walk.at]);
      }
      options.after = before.matched ? options.after : lines;
      options.before = after.matched ? options.before : lines;
      options.context = true;
    } else if (const OptionValue most = option_value(walk, arg, "-m", "--max-count");
               most.matched) {
      if (!read_number(most.value, options.most)) {
        return refused(options, "option needs a number of matches: ", argv[walk.at]);
      }
    } else if (arg == "-q" || arg == "--quiet" || arg == "--silent") {
      options.shown = stronger(options.shown, Shown::nothing);
    } else if (arg == "-l" || arg == "--files-with-matches") {
      options.shown = stronger(options.shown, Shown::names);
    } else if (arg == "-c" || arg == "--count" || arg == "--count-matches") {
      options.shown = stronger(options.shown, Shown::count);
    } else if (arg == "-h" || arg == "--no-filename") {
      options.naming = Naming::never;
    } else if (arg == "-H" || arg == "--with-filename") {
      options.naming = Naming::always;
    } else if (given.matched) {
      if (given.value == nullptr) {
        return refused(options, "option needs a value: ", argv[walk.at]);
      }
      if (options.source_count == most_patterns) {
        return refused(options, "too many -e and -f: ", argv[walk.at]);
      }
      options.from_file[options.source_count] = file_given;
      options.sources[options.source_count++] = given.value;
    } else if (arg == "--with-pattern") {
      options.with_pattern = true;
    } else if (arg == "-i" || arg == "--ignore-case") {
      options.text_case = TextCase::either;
    } else if (arg == "--offsets") {
      options.shown = stronger(options.shown, Shown::offsets);
    } else if (!read_color_option(arg, options.color)) {
      return refused(options, "unknown option: ", argv[walk.at]);
    }
  }
  if (options.asked.request != Request::run) {
    return options;
  }
  // With -e or -f, every argument is a file.
  const int first_file = options.source_count > 0 ? walk.next : walk.next + 1;
  if (first_file > argc) {
    return refused(options, "a pattern to find", "");
  }
  options.pattern = options.source_count > 0 ? nullptr : argv[walk.next];
  options.files = std::span(argv + first_file, static_cast<std::size_t>(argc - first_file));
  return options;
}

}  // namespace quarnel
