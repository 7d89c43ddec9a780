#include "programs/quarnel-grep/run_grep.h"

#include <array>
#include <charconv>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "platform/platform.h"
#include "programs/quarnel-grep/grep_options.h"
#include "search/pattern.h"
#include "search/search_input.h"

namespace quarnel {
namespace {

constexpr ProgramText program{
    "quarnel-grep",
    "usage: quarnel-grep [-A N] [-B N] [-C N] [-m N] [-i] [-c | -l | -q | --offsets "
    "[--with-pattern]] [-h | -H] [--color[=WHEN]] [--] {PATTERN | -e PATTERN... | -f FILE...} "
    "[FILE...]",
    "       quarnel-grep --help | --version", "quarnel-grep " QUARNEL_VERSION,
    "-c, --count, --count-matches: the number of matches, as rg --count-matches counts them "
    "(grep -c counts lines; a match may span two dump lines)"};

// What the messages and the lines call standard input.
constexpr std::string_view standard_input_name = "(standard input)";

// A number as text, in digits after the lead ("", " " or ":").
struct Digits {
  std::array<char, 24> digits{};
  std::string_view text;
  explicit Digits(std::uint64_t number, std::string_view lead = {}) {
    const std::size_t size = lead.copy(digits.data(), 1);
    const char* end =
        std::to_chars(digits.data() + size, digits.data() + digits.size(), number).ptr;
    text = std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data()));
  }
};

// Says what is wrong with a pattern, and where: "pattern", "pattern N" or
// "FILE:LINE", then its column.
void refuse_pattern(std::string_view where, std::string_view number, const PatternError& error) {
  const Digits column(error.column);
  const std::string_view culprit(error.culprit.data(), error.culprit_size);
  if (culprit.empty()) {
    say(program, {where, number, ":", column.text, ": ", problem_text(error.problem)});
  } else {
    say(program,
        {where, number, ":", column.text, ": \"", culprit, "\" ", problem_text(error.problem)});
  }
}

// The patterns, their finders and their texts, as the command line and the
// pattern files give them.
std::array<Pattern, most_patterns> patterns;
std::array<Finder, most_patterns> pattern_finders;
std::array<std::string_view, most_patterns> pattern_texts;
// The pattern files' text, all of them.
std::array<char, std::size_t{1} << 20> file_text;

struct PatternList {
  std::size_t count = 0;
  std::size_t file_used = 0;
};

// Adds a pattern; false, having said why, when it is refused.
bool add_pattern(PatternList& list, std::string_view text, TextCase text_case,
                 std::string_view where, std::string_view number) {
  if (list.count == most_patterns) {
    say(program, {where, number, ": more than 1024 patterns"});
    return false;
  }
  if (PatternError error;
      parse_pattern(text, patterns[list.count], error, text_case) != PatternProblem::none) {
    refuse_pattern(where, number, error);
    return false;
  }
  pattern_texts[list.count++] = text;
  return true;
}

// The patterns of a file, one a line; blank lines and those that start
// with "#" are passed over. False, having said why, on trouble.
bool add_pattern_file(PatternList& list, const char* name, TextCase text_case) {
  const bool is_standard = std::string_view(name) == "-";
  const int handle = is_standard ? standard_input : open_input(name);
  if (handle < 0) {
    say_failed(program, {name, ": cannot open"}, last_error());
    return false;
  }
  const std::size_t first = list.file_used;
  bool ok = true;
  for (;;) {
    const auto room = std::span(file_text).subspan(list.file_used);
    if (room.empty()) {
      say(program, {name, ": the pattern files hold more than 1 MiB"});
      ok = false;
      break;
    }
    const ReadResult got =
        read_block(handle, std::span(reinterpret_cast<std::uint8_t*>(room.data()), room.size()));
    if (got.status == ReadStatus::error) {
      say_failed(program, {name, ": read error"}, last_error());
      ok = false;
      break;
    }
    if (got.status == ReadStatus::end) {
      break;
    }
    list.file_used += got.count;
  }
  if (!is_standard) {
    close_handle(handle);
  }
  std::string_view text(file_text.data() + first, list.file_used - first);
  for (std::uint64_t number = 1; ok && !text.empty(); ++number) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') {
      continue;
    }
    // The pattern's text, as --with-pattern shows it, without the blanks
    // around it; its columns still count from the line's start.
    const std::size_t last = line.find_last_not_of(" \t");
    ok = add_pattern(list, line.substr(0, last + 1), text_case, name, Digits(number, ":").text);
    if (ok) {
      pattern_texts[list.count - 1] = line.substr(start, last + 1 - start);
    }
  }
  return ok;
}

struct Totals {
  bool matched = false;
  bool trouble = false;
  bool write_failed = false;
};

// Searches one input, open as handle, and says what went wrong.
void search_one(int handle, std::string_view name, std::span<const Finder> finders,
                SearchSettings settings, SearchRun& run, OutputWriter& out, Totals& totals) {
  settings.name = name;
  // Lines written into the file searched would be searched again.
  const bool writes = settings.shown == Shown::lines || settings.shown == Shown::offsets;
  if (writes) {
    if (!flush_output(out)) {
      totals.write_failed = true;
      return;
    }
    if (is_own_output(handle, standard_output)) {
      say(program, {name, ": is the output too; not searched"});
      totals.trouble = true;
      return;
    }
  }
  const SearchOutcome outcome = search_input(handle, finders, settings, run, out);
  totals.matched = totals.matched || outcome.matches > 0;
  if (outcome.result == SearchResult::read_error) {
    say_failed(program, {name, ": read error"}, outcome.error);
    totals.trouble = true;
  } else if (outcome.result == SearchResult::write_error) {
    totals.write_failed = true;
  }
}

}  // namespace

int run_grep(int argc, const char* const argv[]) {
  const GrepOptions options = read_options(argc, argv, parse_grep_options);
  if (const std::optional<int> status = answer(program, options.asked, 2)) {
    return *status;
  }
  PatternList list;
  std::size_t expressions = 0;  // the -e patterns, numbered in messages when several
  for (std::size_t k = 0; k < options.source_count; ++k) {
    expressions += options.from_file[k] ? 0 : 1;
  }
  bool ok = options.pattern == nullptr ||
            add_pattern(list, options.pattern, options.text_case, "pattern", {});
  for (std::size_t k = 0, expression = 0; ok && k < options.source_count; ++k) {
    if (options.from_file[k]) {
      ok = add_pattern_file(list, options.sources[k], options.text_case);
    } else {
      ++expression;
      ok = add_pattern(list, options.sources[k], options.text_case, "pattern",
                       expressions > 1 ? Digits(expression, " ").text : std::string_view());
    }
  }
  if (!ok) {
    return 2;
  }
  if (list.count == 0) {
    say(program, {"the pattern files hold no pattern"});
    return 2;
  }
  if (options.most == 0) {
    return 1;
  }
  for (std::size_t k = 0; k < list.count; ++k) {
    pattern_finders[k] = prepare_finder(patterns[k]);
  }
  const SearchSettings settings{
      .shown = options.shown,
      .before = options.before,
      .after = options.after,
      .parted = options.context,
      .color = colors_output(options.color),
      .most = options.most,
      .named = options.naming == Naming::always ||
               (options.naming == Naming::several && options.files.size() > 1),
      .numbered = options.pattern == nullptr || options.with_pattern,
      .pattern_names = options.with_pattern
                           ? std::span<const std::string_view>(pattern_texts).first(list.count)
                           : std::span<const std::string_view>()};
  static OutputWriter out{standard_output};
  SearchRun run;
  Totals totals;
  const std::array<const char*, 1> standard{"-"};
  for (const char* name :
       options.files.empty() ? std::span<const char* const>(standard) : options.files) {
    const bool is_standard = std::string_view(name) == "-";
    const std::string_view shown_name = is_standard ? standard_input_name : name;
    const int handle = is_standard ? standard_input : open_input(name);
    if (handle < 0) {
      say_failed(program, {shown_name, ": cannot open"}, last_error());
      totals.trouble = true;
      continue;
    }
    search_one(handle, shown_name, std::span(pattern_finders).first(list.count), settings, run, out,
               totals);
    if (!is_standard) {
      close_handle(handle);
    }
    if (totals.write_failed || (totals.matched && options.shown == Shown::nothing)) {
      break;
    }
  }
  if (totals.write_failed || !flush_output(out)) {
    say_failed(program, {"stdout: write error"}, out.error);
    return 2;
  }
  if (totals.matched && options.shown == Shown::nothing) {
    return 0;
  }
  return totals.trouble ? 2 : totals.matched ? 0 : 1;
}

}  // namespace quarnel
