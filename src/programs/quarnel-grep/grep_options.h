// Reads quarnel-grep's command line.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "front/color.h"
#include "front/options.h"
#include "front/progress.h"
#include "search/pattern.h"
#include "search/search_input.h"

namespace quarnel {

// Globs given to an option that may be given many times.
struct GlobList {
  std::array<const char*, 256> globs{};
  std::size_t count = 0;
  [[nodiscard]] std::span<const char* const> named() const { return std::span(globs).first(count); }
};

// Whether lines start with the input's name: as grep, when several are
// searched, unless -h or -H says otherwise.
enum class Naming { several, always, never };

struct GrepOptions {
  Asked asked;
  Shown shown = Shown::lines;
  std::uint64_t before = 0;
  std::uint64_t after = 0;
  bool context = false;  // -A, -B or -C given
  std::uint64_t most = ~std::uint64_t{0};
  ColorWhen color = ColorWhen::never;
  ProgressWhen progress = ProgressWhen::automatic;
  Naming naming = Naming::several;
  TextCase text_case = TextCase::exact;  // -i: text items' letters in either case
  const char* pattern = nullptr;         // the one pattern, when no -e or -f gives them
  // -e PATTERN and -f FILE in the order given: for each, the text or the
  // file's name, and whether it is a file.
  std::array<const char*, most_patterns> sources{};
  std::array<bool, most_patterns> from_file{};
  std::size_t source_count = 0;
  bool with_pattern = false;           // --offsets lines end with the pattern's text
  bool recursive = false;              // -r: folders are walked
  bool follow_links = false;           // -R: and the links in them followed
  GlobList include;                    // --include: the files searched in a walk
  GlobList exclude;                    // --exclude: those passed over
  GlobList exclude_folders;            // --exclude-dir: the folders passed over
  std::span<const char* const> files;  // none: standard input
};

// Options come first, up to "--" or the first argument that does not begin
// with "-"; then the pattern and the files. Of -q, -l, -c and --offsets
// the first in that order wins.
[[nodiscard]] GrepOptions parse_grep_options(int argc, const char* const argv[]);

}  // namespace quarnel
