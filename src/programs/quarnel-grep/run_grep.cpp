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
    "usage: quarnel-grep [-A N] [-B N] [-C N] [-m N] [-c | -l | -q | --offsets] [-h | -H] "
    "[--color[=WHEN]] [--] PATTERN [FILE...]",
    "       quarnel-grep --help | --version", "quarnel-grep " QUARNEL_VERSION};

// What the messages and the lines call standard input.
constexpr std::string_view standard_input_name = "(standard input)";

// Says what is wrong with the pattern, and where.
void refuse_pattern(const PatternError& error) {
  std::array<char, 24> column{};
  const char* end = std::to_chars(column.data(), column.data() + column.size(), error.column).ptr;
  const std::string_view at(column.data(), static_cast<std::size_t>(end - column.data()));
  const std::string_view culprit(error.culprit.data(), error.culprit_size);
  if (culprit.empty()) {
    say(program, {"pattern:", at, ": ", problem_text(error.problem)});
  } else {
    say(program, {"pattern:", at, ": \"", culprit, "\" ", problem_text(error.problem)});
  }
}

struct Totals {
  bool matched = false;
  bool trouble = false;
  bool write_failed = false;
};

// Searches one input, open as handle, and says what went wrong.
void search_one(int handle, std::string_view name, const Finder& finder, SearchSettings settings,
                SearchRun& run, OutputWriter& out, Totals& totals) {
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
  const SearchOutcome outcome = search_input(handle, finder, settings, run, out);
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
  static Pattern pattern;
  if (PatternError error; parse_pattern(options.pattern, pattern, error) != PatternProblem::none) {
    refuse_pattern(error);
    return 2;
  }
  if (options.most == 0) {
    return 1;
  }
  const Finder finder = prepare_finder(pattern);
  const SearchSettings settings{
      .shown = options.shown,
      .before = options.before,
      .after = options.after,
      .parted = options.context,
      .color = colors_output(options.color),
      .most = options.most,
      .named = options.naming == Naming::always ||
               (options.naming == Naming::several && options.files.size() > 1)};
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
    search_one(handle, shown_name, finder, settings, run, out, totals);
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
