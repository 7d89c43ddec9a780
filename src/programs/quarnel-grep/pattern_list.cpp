#include "programs/quarnel-grep/pattern_list.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "platform/platform.h"
#include "search/pattern.h"
#include "search/search_input.h"

namespace quarnel {
namespace {

const ProgramText* program = nullptr;

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
    say(*program, {where, number, ":", column.text, ": ", problem_text(error.problem)});
  } else {
    say(*program,
        {where, number, ":", column.text, ": \"", culprit, "\" ", problem_text(error.problem)});
  }
}

// The patterns, their finders and their texts, as the command line and the
// pattern files give them.
std::array<Pattern, most_patterns> patterns;
std::array<Finder, most_patterns> finders;
FinderGroup group;
bool grouped = false;
std::array<std::string_view, most_patterns> texts;
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
    say(*program, {where, number, ": more than 1024 patterns"});
    return false;
  }
  if (PatternError error;
      parse_pattern(text, patterns[list.count], error, text_case) != PatternProblem::none) {
    refuse_pattern(where, number, error);
    return false;
  }
  texts[list.count++] = text;
  return true;
}

// The patterns of a file, one a line; blank lines and those that start
// with "#" are passed over. False, having said why, on trouble.
bool add_pattern_file(PatternList& list, const char* name, TextCase text_case) {
  const bool is_standard = std::string_view(name) == "-";
  const int handle = is_standard ? standard_input : open_input(name);
  if (handle < 0) {
    say_failed(*program, {name, ": cannot open"}, last_error());
    return false;
  }
  const std::size_t first = list.file_used;
  bool ok = true;
  for (;;) {
    const auto room = std::span(file_text).subspan(list.file_used);
    if (room.empty()) {
      say(*program, {name, ": the pattern files hold more than 1 MiB"});
      ok = false;
      break;
    }
    const ReadResult got =
        read_block(handle, std::span(reinterpret_cast<std::uint8_t*>(room.data()), room.size()));
    if (got.status == ReadStatus::error) {
      say_failed(*program, {name, ": read error"}, last_error());
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
      texts[list.count - 1] = line.substr(start, last + 1 - start);
    }
  }
  return ok;
}

}  // namespace

bool load_patterns(const ProgramText& text, const GrepOptions& options, std::size_t& count) {
  program = &text;
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
    return false;
  }
  if (list.count == 0) {
    say(*program, {"the pattern files hold no pattern"});
    return false;
  }
  for (std::size_t k = 0; k < list.count; ++k) {
    finders[k] = prepare_finder(patterns[k]);
  }
  grouped = prepare_group(std::span(finders).first(list.count), group);
  count = list.count;
  return true;
}

std::span<const Finder> pattern_finders(std::size_t count) {
  return std::span(finders).first(count);
}

const FinderGroup* pattern_group() { return grouped ? &group : nullptr; }

std::span<const std::string_view> pattern_texts(std::size_t count) {
  return std::span(texts).first(count);
}

}  // namespace quarnel
