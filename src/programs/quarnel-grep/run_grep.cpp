#include "programs/quarnel-grep/run_grep.h"

#include <array>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "platform/platform.h"
#include "platform/folders.h"
#include "programs/quarnel-grep/grep_options.h"
#include "programs/quarnel-grep/pattern_list.h"
#include "search/search_input.h"
#include "search/walk_tree.h"

namespace quarnel {
namespace {

constexpr ProgramText program{
    "quarnel-grep",
    "usage: quarnel-grep [-A N] [-B N] [-C N] [-m N] [-i] [-c | -l | -q | --offsets "
    "[--with-pattern]] [-h | -H] [-r | -R] [--include=GLOB] [--exclude=GLOB] "
    "[--exclude-dir=GLOB] [--color[=WHEN]] [--] {PATTERN | -e PATTERN... | -f FILE...} "
    "[FILE...]",
    "       quarnel-grep --help | --version", "quarnel-grep " QUARNEL_VERSION,
    "-c, --count, --count-matches: the number of matches, as rg --count-matches counts them "
    "(grep -c counts lines; a match may span two dump lines)"};

// What the messages and the lines call standard input.
constexpr std::string_view standard_input_name = "(standard input)";

// What one run searches with and where it has got to.
struct Search {
  std::span<const Finder> finders;
  SearchSettings settings;
  SearchRun run;
  OutputWriter* out = nullptr;
  bool matched = false;
  bool trouble = false;
  bool write_failed = false;
};

// Whether the run is over before its inputs are: the output failed, or a
// match answers -q.
bool over(const Search& search) {
  return search.write_failed || (search.matched && search.settings.shown == Shown::nothing);
}

// Searches one input, open as handle, and says what went wrong.
void search_one(Search& search, int handle, std::string_view name) {
  SearchSettings settings = search.settings;
  settings.name = name;
  // Lines written into the file searched would be searched again.
  const bool writes = settings.shown == Shown::lines || settings.shown == Shown::offsets;
  if (writes) {
    if (!flush_output(*search.out)) {
      search.write_failed = true;
      return;
    }
    if (is_own_output(handle, standard_output)) {
      say(program, {name, ": is the output too; not searched"});
      search.trouble = true;
      return;
    }
  }
  const SearchOutcome outcome = search_input(handle, search.finders, settings, search.run, *search.out);
  search.matched = search.matched || outcome.matches > 0;
  if (outcome.result == SearchResult::read_error) {
    say_failed(program, {name, ": read error"}, outcome.error);
    search.trouble = true;
  } else if (outcome.result == SearchResult::write_error) {
    search.write_failed = true;
  }
}

// Searches the files of the tree under root, and says what stood in the way.
void search_tree(Search& search, const WalkSettings& settings, std::string_view root,
                 bool implied) {
  static TreeWalk walk;
  start_walk(walk, settings, root, implied);
  for (WalkStep step; !over(search) && (step = next_in_walk(walk)) != WalkStep::end;) {
    const std::string_view name = walk_name(walk);
    switch (step) {
      case WalkStep::file:
        search_one(search, walk.handle, name);
        close_handle(walk.handle);
        break;
      case WalkStep::cannot_open:
        say_failed(program, {name, ": cannot open"}, walk.error);
        search.trouble = true;
        break;
      case WalkStep::read_error:
        say_failed(program, {name, ": read error"}, walk.error);
        search.trouble = true;
        break;
      case WalkStep::loop:
        // Every file of the folder is searched once, as it was met first.
        say(program, {name, ": leads back to a folder it is in; not searched again"});
        break;
      case WalkStep::too_deep:
        say(program, {name, ": nested too deep, or its names too long, to search"});
        search.trouble = true;
        break;
      case WalkStep::end:
        break;
    }
  }
  stop_walk(walk);
}

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
  static Search search;
  search.finders = pattern_finders(count);
  search.out = &out;
  search.settings = {
      .shown = options.shown,
      .before = options.before,
      .after = options.after,
      .parted = options.context,
      .color = colors_output(options.color),
      .most = options.most,
      .named = options.naming == Naming::always ||
               (options.naming == Naming::several && (options.files.size() > 1 || walks)),
      .numbered = options.pattern == nullptr || options.with_pattern,
      .pattern_names = options.with_pattern ? pattern_texts(count)
                                            : std::span<const std::string_view>()};
  const WalkSettings tree{.follow_links = options.follow_links,
                          .include = options.include.named(),
                          .exclude = options.exclude.named(),
                          .exclude_folders = options.exclude_folders.named()};
  if (implied_tree) {
    search_tree(search, tree, ".", true);
  }
  const std::array<const char*, 1> standard{"-"};
  for (const char* name : implied_tree            ? std::span<const char* const>()
                          : options.files.empty() ? std::span<const char* const>(standard)
                                                  : options.files) {
    if (over(search)) {
      break;
    }
    const bool is_standard = std::string_view(name) == "-";
    if (options.recursive && !is_standard && kind_of(name, true) == FileKind::folder) {
      search_tree(search, tree, name, false);
      continue;
    }
    const std::string_view shown_name = is_standard ? standard_input_name : name;
    const int handle = is_standard ? standard_input : open_input(name);
    if (handle < 0) {
      say_failed(program, {shown_name, ": cannot open"}, last_error());
      search.trouble = true;
      continue;
    }
    search_one(search, handle, shown_name);
    if (!is_standard) {
      close_handle(handle);
    }
  }
  if (search.write_failed || !flush_output(out)) {
    say_failed(program, {"stdout: write error"}, out.error);
    return 2;
  }
  if (search.matched && options.shown == Shown::nothing) {
    return 0;
  }
  return search.trouble ? 2 : search.matched ? 0 : 1;
}

}  // namespace quarnel
