#include "programs/quarnel-grep/run_grep.h"

#include <array>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "front/progress.h"
#include "platform/folders.h"
#include "platform/platform.h"
#include "programs/quarnel-grep/grep_options.h"
#include "programs/quarnel-grep/pattern_list.h"
#include "programs/quarnel-grep/search_files.h"

namespace quarnel {
namespace {

constexpr ProgramText program{
    "quarnel-grep",
    "usage: quarnel-grep [-A N] [-B N] [-C N] [-m N] [-i] [-c | -l | -q | --offsets "
    "[--with-pattern]] [-h | -H] [-r | -R] [--include=GLOB] [--exclude=GLOB] "
    "[--exclude-dir=GLOB] [--color[=WHEN]] [--progress[=WHEN]] [--] {PATTERN | -e PATTERN... "
    "| -f FILE...} "
    "[FILE...]",
    "       quarnel-grep --help | --version", "quarnel-grep " QUARNEL_VERSION,
    "-c, --count, --count-matches: the number of matches, as rg --count-matches counts them "
    "(grep -c counts lines; a match may span two dump lines)"};

}  // namespace

int run_grep(int argc, const char* const argv[]) {
  const GrepOptions options = read_options(argc, argv, parse_grep_options);
  if (const std::optional<int> status = answer(program, options.asked, 2)) {
    return *status;
  }
  std::size_t count = 0;
  if (!load_patterns(program, options, count)) {
    return 2;
  }
  if (options.most == 0) {
    return 1;
  }
  // With -r and no file named, the folder at hand, unless the input comes
  // from a pipe or a file: then that is searched, as ripgrep does.
  const bool implied_tree =
      options.recursive && options.files.empty() && is_terminal(standard_input);
  const bool walks = implied_tree || (options.recursive && options.files.size() == 1 &&
                                      kind_of(options.files[0], true) == FileKind::folder);
  static OutputWriter out{standard_output};
  const SearchSettings settings{
      .shown = options.shown,
      .before = options.before,
      .after = options.after,
      .parted = options.context,
      .color = colors_output(options.color),
      .most = options.most,
      .named = options.naming == Naming::always ||
               (options.naming == Naming::several && (options.files.size() > 1 || walks)),
      .numbered = options.pattern == nullptr || options.with_pattern,
      .pattern_names =
          options.with_pattern ? pattern_texts(count) : std::span<const std::string_view>(),
      .group = pattern_group()};
  const std::array<const char*, 1> standard{"-"};
  const Inputs inputs{.names = implied_tree            ? std::span<const char* const>()
                               : options.files.empty() ? std::span<const char* const>(standard)
                                                       : options.files,
                      .recursive = options.recursive,
                      .implied_tree = implied_tree,
                      .walk = {.follow_links = options.follow_links,
                               .include = options.include.named(),
                               .exclude = options.exclude.named(),
                               .exclude_folders = options.exclude_folders.named()}};
  const ProgressLine progress(program.name, options.progress,
                              options.recursive ? 0 : length_of_files(options.files));
  const Searched searched = search_inputs(program, inputs, pattern_finders(count), settings, out);
  if (searched.write_failed || !flush_output(out)) {
    say_failed(program, {"stdout: write error"}, out.error);
    return 2;
  }
  if (searched.matched && options.shown == Shown::nothing) {
    return 0;
  }
  return searched.trouble ? 2 : searched.matched ? 0 : 1;
}

}  // namespace quarnel
