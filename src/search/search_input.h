// Searches an input for one pattern or several as it is read, in constant
// memory, and writes what was found: the dump lines that hold each match
// with the lines around it, the matches' offsets, their count, or the
// input's name.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "io/dump_line.h"
#include "io/output_writer.h"
#include "search/find.h"
#include "search/find_many.h"
#include "search/pattern.h"

namespace quarnel {

enum class Shown {
  lines,    // the dump lines that hold the matches, and their context
  offsets,  // a line for each match: its offset
  count,    // a line for each input: its number of matches
  names,    // the input's name, when it has a match
  nothing,  // whether there is a match at all
};

// The most context lines before a match: those lines are kept while the
// input is read.
inline constexpr std::uint64_t most_lines_before = 65536;

struct SearchSettings {
  Shown shown = Shown::lines;
  std::uint64_t before = 0;  // context lines before and after each match's lines
  std::uint64_t after = 0;
  bool parted = false;  // groups of lines that do not touch are parted by "--" (context was asked)
  bool color = false;   // the matched bytes marked, in both columns
  std::uint64_t most = ~std::uint64_t{0};  // matches after which the search stops
  std::string_view name = {};              // the input as its lines name it: NAME:LINE
  bool named = false;                      // lines start with the name (several inputs)
  // With offsets, each line also says which pattern matched: its number
  // from 1, or its text (names[k] for pattern k) when names are given.
  bool numbered = false;
  std::span<const std::string_view> pattern_names = {};
  // The anchors of the finders, to find them in one pass, or null: each is
  // then found by itself.
  const FinderGroup* group = nullptr;
};

// The bytes read at a time: over a tree of files, fewer and larger reads
// take less of the system's time.
inline constexpr std::size_t search_block_size = 4 * input_block_size;

enum class SearchResult { done, read_error, write_error };

struct SearchOutcome {
  SearchResult result = SearchResult::done;
  std::uint64_t matches = 0;
  int error = 0;  // the system's reason for a read error
};

// What a search holds while it reads: a block and the bytes kept before
// it (a match's start, the lines before a match), the matched bytes of the
// lines yet to be written, each pattern's place, the line being made.
struct SearchSpace {
  struct Marked {
    std::uint64_t from;
    std::uint64_t to;
  };
  static constexpr std::size_t kept_most =
      longest_pattern + (most_lines_before + 1) * line_geometry::bytes_per_line;
  // Those that lines yet to be written hold lie within a pattern's length
  // and a line of the bytes searched: half as many as those bytes at most.
  static constexpr std::size_t most_marked =
      (longest_pattern + 2 * line_geometry::bytes_per_line) / 2 + 1;
  std::array<std::uint8_t, kept_most + search_block_size> held{};
  std::array<Marked, most_marked> marked{};
  std::array<std::size_t, most_patterns> next{};
  std::array<std::uint64_t, most_patterns> done{};
  std::array<std::uint16_t, most_patterns> loose{};  // the patterns found one by one
  // The anchored patterns' matches in a stretch: at one offset they are
  // at most as many as the patterns.
  static constexpr std::size_t most_found = 8 * most_patterns;
  std::array<FoundMatch, most_found> found{};
  FormattedLine line;
};

// What stays from one input to the next: whether a group of lines has been
// written (the next one, if apart, is parted from it), and the space the
// searches use: one that all runs without their own share, when null.
// Searches at the same time each need a space of their own.
struct SearchRun {
  bool grouped = false;
  SearchSpace* space = nullptr;
};

// Searches the input from its current place to its end (or the settings'
// most matches) and writes what the settings ask for to out. With several
// patterns (at most most_patterns), the matches come in the order of their
// offsets, and at one offset in the order of the finders.
[[nodiscard]] SearchOutcome search_input(int handle, std::span<const Finder> finders,
                                         const SearchSettings& settings, SearchRun& run,
                                         OutputWriter& out);
[[nodiscard]] SearchOutcome search_input(int handle, const Finder& finder,
                                         const SearchSettings& settings, SearchRun& run,
                                         OutputWriter& out);

}  // namespace quarnel
