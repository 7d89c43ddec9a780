// programs/quarnel-grep/: byte patterns found and shown as dump lines.
#include "programs/quarnel-grep/grep_options.h"

#include <array>
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

// Whether arg is an option that takes no value; if so, takes it.
bool take_flag(std::string_view arg, GrepOptions& options) {
  if (arg == "-q" || arg == "--quiet" || arg == "--silent") {
    options.shown = stronger(options.shown, Shown::nothing);
  } else if (arg == "-l" || arg == "--files-with-matches") {
    options.shown = stronger(options.shown, Shown::names);
  } else if (arg == "-c" || arg == "--count" || arg == "--count-matches") {
    options.shown = stronger(options.shown, Shown::count);
  } else if (arg == "-h" || arg == "--no-filename") {
    options.naming = Naming::never;
  } else if (arg == "-H" || arg == "--with-filename") {
    options.naming = Naming::always;
  } else if (arg == "-i" || arg == "--ignore-case") {
    options.text_case = TextCase::either;
  } else if (arg == "-r" || arg == "--recursive") {
    options.recursive = true;
  } else if (arg == "-R" || arg == "--dereference-recursive") {
    options.recursive = true;
    options.follow_links = true;
  } else {
    return false;
  }
  return true;
}

// Takes one such option, or several run together as grep takes them
// ("-rl" for "-r -l"), when every letter is one.
bool take_flags(std::string_view arg, GrepOptions& options) {
  if (take_flag(arg, options)) {
    return true;
  }
  if (arg.size() < 3 || arg[0] != '-' || arg[1] == '-') {
    return false;
  }
  GrepOptions taken = options;
  for (const char letter : arg.substr(1)) {
    const std::array<char, 2> flag{'-', letter};
    if (!take_flag(std::string_view(flag.data(), flag.size()), taken)) {
      return false;
    }
  }
  options = taken;
  return true;
}

// Whether arg is one of the options that take a glob; if so, adds it, or
// says what is wrong.
bool take_glob(OptionWalk& walk, std::string_view arg, GrepOptions& options,
               std::string_view& problem) {
  GlobList* lists[] = {&options.include, &options.exclude, &options.exclude_folders};
  const std::string_view names[] = {"--include", "--exclude", "--exclude-dir"};
  for (std::size_t k = 0; k < std::size(names); ++k) {
    const OptionValue given = option_value(walk, arg, {}, names[k]);
    if (!given.matched) {
      continue;
    }
    GlobList& list = *lists[k];
    problem = given.value == nullptr            ? "option needs a value: "
              : list.count == list.globs.size() ? "option given more than 256 times: "
                                                : "";
    if (problem.empty()) {
      list.globs[list.count++] = given.value;
    }
    return true;
  }
  return false;
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
    } else if (take_flags(arg, options)) {
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
    } else if (std::string_view problem; take_glob(walk, arg, options, problem)) {
      if (!problem.empty()) {
        return refused(options, problem, argv[walk.at]);
      }
    } else if (arg == "--offsets") {
      options.shown = stronger(options.shown, Shown::offsets);
    } else if (!read_color_option(arg, options.color) &&
               !read_progress_option(arg, options.progress)) {
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
