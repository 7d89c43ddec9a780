// Patterns read, matches found on every scan path, and the lines, offsets
// and counts written for them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "search/find.h"
#include "search/find_many.h"
#include "search/glob.h"
#include "search/pattern.h"
#include "search/search_input.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using testing::with_line_ends;

// A pattern as "VV/MM" for each byte: its value and mask.
std::string shown(const Pattern& pattern) {
  std::string text;
  constexpr std::string_view digits = "0123456789ABCDEF";
  for (std::size_t k = 0; k < pattern.size; ++k) {
    for (const std::uint8_t b : {pattern.value[k], pattern.mask[k]}) {
      text += digits[b >> 4];
      text += digits[b & 15];
      text += b == pattern.value[k] && text.size() % 6 == 2 ? "/" : " ";
    }
  }
  if (!text.empty()) {
    text.pop_back();
  }
  return text;
}

TEST(Pattern, ReadsEveryKindOfItem) {
  struct Row {
    std::string text;
    std::string bytes;
  };
  for (const Row& row : {
           Row{"7f454c46", "7F/FF 45/FF 4C/FF 46/FF"},
           Row{"7F 45\t4c 46", "7F/FF 45/FF 4C/FF 46/FF"},
           Row{"??", "00/00"},
           Row{"4? ?f", "40/F0 0F/0F"},
           Row{"\"GIF8\" ?? 61", "47/FF 49/FF 46/FF 38/FF 00/00 61/FF"},
           Row{R"("a\"b\\")", "61/FF 22/FF 62/FF 5C/FF"},
           Row{"\"\"41", "41/FF"},
           Row{"  \"é\"  ", "C3/FF A9/FF"},
           Row{"i\"eLf\"", "45/DF 4C/DF 46/DF"},
           Row{"i\"a1!@[`{\" 61", "41/DF 31/FF 21/FF 40/FF 5B/FF 60/FF 7B/FF 61/FF"},
           Row{"i\"\"41", "41/FF"},
       }) {
    Pattern pattern;
    PatternError error;
    ASSERT_EQ(parse_pattern(row.text, pattern, error), PatternProblem::none) << row.text;
    EXPECT_EQ(shown(pattern), row.bytes) << row.text;
  }
}

// With -i every text item's letters match in either case; hex stays exact.
TEST(Pattern, IgnoringCaseTouchesTheTextsLettersAlone) {
  Pattern pattern;
  PatternError error;
  ASSERT_EQ(parse_pattern("\"aB-\" 61 i\"c\"", pattern, error, TextCase::either),
            PatternProblem::none);
  EXPECT_EQ(shown(pattern), "41/DF 42/DF 2D/FF 61/FF 43/DF");
}

TEST(Pattern, RefusesWithTheColumnAndWhatIsWrong) {
  struct Row {
    std::string text;
    PatternProblem problem;
    std::size_t column;
    std::string culprit;
  };
  for (const Row& row : {
           Row{"", PatternProblem::empty, 1, ""},
           Row{" \t\"\" ", PatternProblem::empty, 1, ""},
           Row{"7Fz1", PatternProblem::not_hex, 3, "z"},
           Row{"4G", PatternProblem::not_hex, 2, "G"},
           Row{"7F 4", PatternProblem::lone_digit, 4, "4"},
           Row{"7F 4 5", PatternProblem::lone_digit, 4, "4"},
           Row{"?\"a\"", PatternProblem::lone_digit, 1, "?"},
           Row{"é1", PatternProblem::not_hex, 1, "é"},
           Row{"\"é\" x", PatternProblem::not_hex, 5, "x"},
           Row{"41\x01", PatternProblem::not_hex, 3, "\\x01"},
           Row{"0x41", PatternProblem::not_hex, 2, "x"},
           Row{"i 41", PatternProblem::not_hex, 1, "i"},
           Row{"I\"a\"", PatternProblem::not_hex, 1, "I"},
           Row{"41 i\"ab", PatternProblem::open_text, 5, ""},
           Row{"41 \"abc", PatternProblem::open_text, 4, ""},
           Row{R"("a\n")", PatternProblem::bad_escape, 3, R"(\n)"},
           Row{"\"a\\é\"", PatternProblem::bad_escape, 3, "\\é"},
           Row{"\"a\\", PatternProblem::bad_escape, 3, "\\"},
           Row{std::string(2 * longest_pattern, 'A') + "41", PatternProblem::too_long,
               2 * longest_pattern + 1, ""},
       }) {
    Pattern pattern;
    PatternError error;
    EXPECT_EQ(parse_pattern(row.text, pattern, error), row.problem) << row.text;
    EXPECT_EQ(error.column, row.column) << row.text;
    EXPECT_EQ(std::string(error.culprit.data(), error.culprit_size), row.culprit) << row.text;
  }
}

Pattern parsed(std::string_view text) {
  Pattern pattern;
  PatternError error;
  EXPECT_EQ(parse_pattern(text, pattern, error), PatternProblem::none) << text;
  return pattern;
}

// Every match on a path, found one after another.
std::vector<std::uint64_t> found_on(const Finder& finder, std::string_view data) {
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  std::vector<std::uint64_t> found;
  for (std::size_t at = find_match(finder, bytes, 0); at < bytes.size();
       at = find_match(finder, bytes, at + 1)) {
    found.push_back(at);
  }
  return found;
}

std::vector<CpuPath> paths() {
  std::vector<CpuPath> all;
  for (const CpuPath path : {CpuPath::portable, CpuPath::sse2, CpuPath::avx2, CpuPath::neon}) {
    if (match_scan(path) != nullptr) {
      all.push_back(path);
    }
  }
  return all;
}

// What a search writes for data, from a file.
struct Searched {
  std::string out;
  SearchOutcome outcome;
};
Searched searched(std::string_view pattern_text, std::string_view data, SearchSettings settings,
                  SearchRun* run = nullptr) {
  SearchRun own;
  static Pattern pattern;
  pattern = parsed(pattern_text);
  const Finder finder = prepare_finder(pattern);
  const int input = testing::memory_file(data);
  const int output = testing::memory_file("");
  static OutputWriter out{-1};
  out = OutputWriter{output};
  Searched got{};
  got.outcome = search_input(input, finder, settings, run != nullptr ? *run : own, out);
  EXPECT_TRUE(flush_output(out));
  got.out = testing::contents(output);
  close_handle(input);
  close_handle(output);
  return got;
}

std::string offsets_text(const std::vector<std::uint64_t>& offsets) {
  std::string text;
  for (const std::uint64_t at : offsets) {
    std::array<char, 17> digits{};
    std::snprintf(digits.data(), digits.size(), "%08llX", static_cast<unsigned long long>(at));
    text += std::string(digits.data()) + "\n";
  }
  return text;
}

// Bytes as a pattern of hex digits.
std::string hex_of(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    std::array<char, 4> digits{};
    std::snprintf(digits.data(), digits.size(), "%02X ", static_cast<unsigned char>(c));
    text.append(digits.data(), 3);
  }
  return text;
}

// Nothing when the texts are the same; else a little of each from where
// they part (a failure that showed the whole of long texts would take
// minutes to print).
std::string parting(const std::string& got, const std::string& wanted) {
  const std::size_t at = static_cast<std::size_t>(
      std::mismatch(got.begin(),
                    got.begin() + static_cast<std::ptrdiff_t>(std::min(got.size(), wanted.size())),
                    wanted.begin())
          .first -
      got.begin());
  if (got == wanted) {
    return "";
  }
  const std::size_t from = at - std::min<std::size_t>(at, 40);
  return "got ..." + got.substr(from, 100) + "\nwanted ..." + wanted.substr(from, 100);
}

// Several patterns in one search find what each finds alone, in the order
// of their offsets and, at one offset, of the patterns: one by one and in
// one pass through their anchors; across blocks, with patterns of different
// lengths, anchored far in or not at all, the same twice, in either case,
// more matches than a stretch holds, on every path.
TEST(Search, SeveralPatternsFindWhatEachFindsAlone) {
  const std::string data = testing::unrepeated(3 << 16, 9) + std::string(20000, 'a') + "ELFelf" +
                           "Content-Type: text/plain\r\n" + std::string(3000, '\0');
  const std::vector<std::string> texts{hex_of(data.substr(65533, 6)),
                                       "61 61",
                                       hex_of(data.substr(1000, 2)),
                                       "i\"elf\"",
                                       hex_of(data.substr(131070, 300)),
                                       "?? ?? ?? ?? ?? " + hex_of(data.substr(65530, 12)),
                                       "61 61 61 61",
                                       "i\"AAAA\"",
                                       "\"aaaaa\"",
                                       R"("tent-" ?? i"ype")",
                                       "00 00 00 00 00 00 00 00",
                                       hex_of(data.substr(65533, 6)),
                                       "4? ?C ?6",
                                       "i\"content-type: TEXT\"",
                                       hex_of(data.substr(65534, 2))};
  static std::array<Pattern, 15> patterns;
  static FinderGroup group;
  for (const CpuPath path : paths()) {
    std::array<Finder, 15> finders{};
    std::vector<std::pair<std::uint64_t, std::size_t>> expected;
    for (std::size_t k = 0; k < texts.size(); ++k) {
      patterns[k] = parsed(texts[k]);
      finders[k] = prepare_finder(patterns[k], path);
      for (const std::uint64_t at : testing::reference_matches(patterns[k], data)) {
        expected.emplace_back(at, k);
      }
    }
    std::sort(expected.begin(), expected.end());
    static_cast<void>(prepare_group(finders, group));
    EXPECT_EQ(group.count, 10U);
    for (const std::uint64_t most : {~std::uint64_t{0}, std::uint64_t{70000}}) {
      const auto told = static_cast<std::size_t>(std::min<std::uint64_t>(most, expected.size()));
      std::string wanted;
      for (const auto& [at, k] : std::span(expected).first(told)) {
        std::array<char, 40> line{};
        std::snprintf(line.data(), line.size(), "%08llX %u\n", static_cast<unsigned long long>(at),
                      static_cast<unsigned>(k + 1));
        wanted += line.data();
      }
      for (const FinderGroup* anchors : std::array<const FinderGroup*, 2>{nullptr, &group}) {
        const int input = testing::memory_file(data);
        const int output = testing::memory_file("");
        static OutputWriter out{-1};
        out = OutputWriter{output};
        SearchRun run;
        const SearchOutcome outcome = search_input(
            input, finders,
            {.shown = Shown::offsets, .most = most, .numbered = true, .group = anchors}, run, out);
        EXPECT_TRUE(flush_output(out));
        const std::string where =
            std::to_string(static_cast<int>(path)) + (anchors != nullptr ? " in one pass" : "");
        EXPECT_EQ(outcome.matches, told) << where;
        EXPECT_EQ(parting(testing::contents(output), with_line_ends(wanted)), "") << where;
        close_handle(input);
        close_handle(output);
      }
    }
  }
}

TEST(Search, FindsEveryMatchAtItsOffset) {
  const std::string block_edge = std::string(65534, 'x') + "ABCD" + std::string(10, 'x');
  const std::string two_blocks = testing::unrepeated(3 << 16, 7);
  struct Row {
    std::string pattern;
    std::string data;
    std::vector<std::uint64_t> offsets;
  };
  for (const Row& row : {
           Row{"AA AA", std::string(6, '\xAA'), {0, 1, 2, 3, 4}},
           Row{"41", "A", {0}},
           Row{"42 43", "ABC", {1}},
           Row{"41 42 43 44", block_edge, {65534}},
           Row{hex_of(two_blocks.substr(65530, 12)), two_blocks, {65530}},
           Row{"4?", "?@OP", {1, 2}},
           Row{"?F", "\x0F\x1E\xFF\xF0", {0, 2}},
           Row{R"("a\"")", R"(xa"a")", {1, 3}},
           Row{"00 ?? 00", std::string(5, '\0'), {0, 1, 2}},
           Row{"?? ??", "abc", {0, 1}},
           Row{"41 42", "", {}},
           Row{"41 42 43", "AB", {}},
       }) {
    ASSERT_EQ(testing::reference_matches(parsed(row.pattern), row.data), row.offsets)
        << row.pattern;
    const Searched got = searched(row.pattern, row.data, {.shown = Shown::offsets});
    EXPECT_EQ(got.out, with_line_ends(offsets_text(row.offsets))) << row.pattern;
    EXPECT_EQ(got.outcome.matches, row.offsets.size());
    for (const CpuPath path : paths()) {
      const Pattern pattern = parsed(row.pattern);
      EXPECT_EQ(found_on(prepare_finder(pattern, path), row.data), row.offsets)
          << row.pattern << " on path " << static_cast<int>(path);
    }
  }
}

// Each path finds what the plain reference finds: a pattern planted at
// every place of data of every length up to past two vectors, the
// fixed bytes found first sitting anywhere in the pattern.
TEST(Search, EveryPathFindsWhatTheReferenceFinds) {
  std::minstd_rand random(3);
  for (const std::string_view text : {"C3", "C3 5A", "01 ?? C3 ?? ?? 5A 7?", "\"quarnel-grep\"",
                                      "00 00", "?? ?? C?", "i\"Quarnel\"", "?? i\"zZ\" 5A"}) {
    const Pattern pattern = parsed(text);
    for (std::size_t size = 0; size <= 80; ++size) {
      for (std::size_t place = 0; place + pattern.size <= size; ++place) {
        std::string data(size, '\0');
        for (char& c : data) {
          c = static_cast<char>(random() % 4 == 0 ? 0xC3 : random());
        }
        for (std::size_t k = 0; k < pattern.size; ++k) {
          data[place + k] = static_cast<char>(pattern.value[k] | (~pattern.mask[k] & random()));
        }
        const std::vector<std::uint64_t> expected = testing::reference_matches(pattern, data);
        for (const CpuPath path : paths()) {
          ASSERT_EQ(found_on(prepare_finder(pattern, path), data), expected)
              << text << ", " << size << " bytes, planted at " << place << ", path "
              << static_cast<int>(path);
        }
      }
    }
  }
}

TEST(Search, CountsNamesAndStopsAfterTheMost) {
  const std::string data = "ABABABAB";
  struct Row {
    SearchSettings settings;
    std::string out;
    std::uint64_t matches;
  };
  for (const Row& row : {
           Row{{.shown = Shown::count}, "4\n", 4},
           Row{{.shown = Shown::count, .most = 2}, "2\n", 2},
           Row{{.shown = Shown::count, .name = "f", .named = true}, "f:4\n", 4},
           Row{{.shown = Shown::names, .name = "f"}, "f\n", 1},
           Row{{.shown = Shown::nothing}, "", 1},
           Row{{.shown = Shown::offsets, .most = 3, .name = "f", .named = true},
               "f:00000000\nf:00000002\nf:00000004\n",
               3},
       }) {
    const Searched got = searched("41 42", data, row.settings);
    EXPECT_EQ(got.out, with_line_ends(row.out));
    EXPECT_EQ(got.outcome.matches, row.matches);
  }
  EXPECT_EQ(searched("43", data, {.shown = Shown::names, .name = "f"}).out, "");
}

// The lines a search writes are quarnel's own: "0 1 -- 5" stands for lines
// 0 and 1 of the dump of the data, "--", then line 5.
std::string dump_lines(std::string_view data, std::string_view chosen) {
  const std::string dump = testing::dump_to_string(testing::memory_file(data), 0).text;
  const std::string end = with_line_ends("\n");
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < dump.size();) {
    const std::size_t next = dump.find(end, at) + end.size();
    lines.push_back(dump.substr(at, next - at));
    at = next;
  }
  std::string text;
  for (std::size_t at = 0; at < chosen.size(); at = chosen.find(' ', at) + 1) {
    const std::string word(chosen.substr(at, chosen.find(' ', at) - at));
    text += word == "--" ? with_line_ends("--\n") : lines.at(std::stoul(word));
    if (chosen.find(' ', at) == std::string_view::npos) {
      break;
    }
  }
  return text;
}

TEST(Search, WritesTheLinesOfEachMatchWithTheirContext) {
  std::string bytes(80, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(0x40 + i);
  }
  // Lines 0, 2 and 5 hold an "X"; line 6 is the end line.
  std::string dots(96, '.');
  for (const std::size_t at : {5U, 40U, 90U}) {
    dots[at] = 'X';
  }
  const std::string short_end = std::string(20, '.') + "X";
  // An X on line 4096, just past the first 64 KiB block, and on line 4095,
  // at its end.
  std::string blocks(70000, '.');
  blocks[65536 + 3] = 'X';
  std::string block_end(70000, '.');
  block_end[65534] = 'X';
  struct Row {
    std::string pattern;
    const std::string& data;
    SearchSettings settings;
    std::string lines;
  };
  for (const Row& row : {
           Row{"41", bytes, {}, "0"},
           Row{"4F 50", bytes, {}, "0 1"},
           Row{"41", bytes, {.after = 1}, "0 1"},
           Row{"61", bytes, {.before = 1}, "1 2"},
           Row{"8F", bytes, {.after = 3}, "4 5"},
           Row{"58", dots, {}, "0 2 5"},
           Row{"2E 2E", dots, {.parted = true}, "0 1 2 3 4 5"},
           Row{"58", dots, {.parted = true}, "0 -- 2 -- 5"},
           Row{"58", dots, {.after = 1, .parted = true}, "0 1 2 3 -- 5 6"},
           Row{"58", dots, {.before = 1, .parted = true}, "0 1 2 -- 4 5"},
           Row{"58", dots, {.before = 2, .parted = true}, "0 1 2 3 4 5"},
           Row{"58", dots, {.after = 1, .parted = true, .most = 2}, "0 1 2 3"},
           Row{"58", dots, {.before = 100, .after = 100, .parted = true}, "0 1 2 3 4 5 6"},
           Row{"2E 2E 58", short_end, {.before = 9, .after = 9}, "0 1"},
           Row{"58", blocks, {.before = 2}, "4094 4095 4096"},
           Row{"58", blocks, {.before = 2, .most = 1}, "4094 4095 4096"},
           Row{"58 2E", block_end, {.after = 2}, "4095 4096 4097"},
           Row{"2E 58", block_end, {.before = 1, .after = 1, .most = 1}, "4094 4095 4096"},
       }) {
    const Searched got = searched(row.pattern, row.data, row.settings);
    EXPECT_EQ(got.out, dump_lines(row.data, row.lines)) << row.pattern << " " << row.lines;
  }
}

TEST(Search, NamesAndColoursTheLines) {
  const std::string data = "ABC" + std::string(14, '.');  // a line and one byte
  const std::string line0 = "00000000  41 42 43 2E 2E 2E 2E 2E-2E 2E 2E 2E 2E 2E 2E 2E   ";
  const std::string line1 = "00000010  2E" + std::string(48, ' ') + ".\n";
  EXPECT_EQ(searched("42", data, {.after = 1, .name = "f", .named = true}).out,
            with_line_ends("f:" + line0 + "ABC.............\nf-" + line1));
  const std::string red = "\x1b[1;31m";
  const std::string plain = "\x1b[0m";
  EXPECT_EQ(searched("41 42", data, {.color = true, .name = "f", .named = true}).out,
            with_line_ends("\x1b[35mf" + plain + "\x1b[36m:" + plain + "00000000  " + red +
                           "41 42" + plain + " 43 2E 2E 2E 2E 2E-2E 2E 2E 2E 2E 2E 2E 2E   " + red +
                           "AB" + plain + "C.............\n"));
  // Matches one past another: their bytes marked as one run; a gap apart,
  // as two.
  EXPECT_EQ(searched("2E ?? 2E", "A.x.y.B", {.color = true}).out,
            with_line_ends("00000000  41 " + red + "2E 78 2E 79 2E" + plain + " 42" +
                           std::string(30, ' ') + "A" + red + ".x.y." + plain + "B\n"));
}

TEST(Search, GroupsOfTheNextInputArePartedFromThoseBefore) {
  SearchRun run;
  const SearchSettings settings{.parted = true, .name = "f", .named = true};
  const std::string line = "f:00000000  41" + std::string(48, ' ') + "A\n";
  EXPECT_EQ(searched("41", "A", settings, &run).out, with_line_ends(line));
  EXPECT_EQ(searched("41", "A", settings, &run).out, with_line_ends("--\n" + line));
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

TEST(Glob, MatchesNamesAsTheShellDoes) {
  struct Row {
    std::string_view glob;
    std::string_view name;
    bool matches;
  };
  for (const Row& row : {
           Row{"*.so", "libc.so", true},
           Row{"*.so", "libc.so.6", false},
           Row{"*.so*", "libc.so.6", true},
           Row{"*", ".hidden", true},
           Row{"", "", true},
           Row{"", "a", false},
           Row{"a*b*c", "aXbYbZc", true},
           Row{"a*b*c", "aXbYbZ", false},
           Row{"?.c", "a.c", true},
           Row{"?.c", ".c", false},
           Row{"[a-c].o", "b.o", true},
           Row{"[a-c].o", "d.o", false},
           Row{"[!a-c].o", "d.o", true},
           Row{"[^a-c].o", "a.o", false},
           Row{"[]x]", "]", true},
           Row{"[a-]", "-", true},
           Row{"[", "[", true},
           Row{"a[", "a[", true},
           Row{"\\*", "*", true},
           Row{"\\*", "a", false},
           Row{"[\\]]", "]", true},
           Row{"*.tar.gz", "x.tar.gz.tar.gz", true},
           Row{"**x", "x", true},
       }) {
    EXPECT_EQ(glob_matches(row.glob, row.name), row.matches) << row.glob << " " << row.name;
  }
}

}  // namespace
}  // namespace quarnel
