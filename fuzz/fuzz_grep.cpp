// Reads up to four patterns from the fuzz input, a line each (its first
// byte says how long their text is, up to 127, and with its top bit that
// the text items' letters match in either case; the rest is the data
// searched), checks that every scan path finds exactly the matches the
// plain reference finds for each, and that one search of the data as a
// file for all of them finds them all, the same whether they are found one
// by one or in one pass.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "search/find.h"
#include "search/find_many.h"
#include "search/pattern.h"
#include "search/search_input.h"
#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  if (size == 0) {
    return 0;
  }
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const std::size_t text_size = std::min<std::size_t>(bytes[0] & 0x7FU, size - 1);
  const TextCase text_case = (bytes[0] & 0x80U) != 0 ? TextCase::either : TextCase::exact;
  std::string_view text = input.substr(1, text_size);
  const std::string_view data = input.substr(1 + text_size);
  // Up to four patterns, a line each.
  constexpr std::size_t most = 4;
  static std::array<Pattern, most> patterns;
  std::array<Finder, most> finders{};
  std::size_t count = 0;
  std::uint64_t all_expected = 0;
  const std::span data_bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  for (; count < most && !text.empty(); ++count) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    Pattern& pattern = patterns[count];
    PatternError error;
    if (parse_pattern(line, pattern, error, text_case) != PatternProblem::none) {
      // A refusal points inside the text, or just past it.
      if (error.problem == PatternProblem::none || error.column == 0 ||
          error.column > line.size() + 1) {
        std::abort();
      }
      return 0;
    }
    const std::vector<std::uint64_t> expected = testing::reference_matches(pattern, data);
    all_expected += expected.size();
    for (const CpuPath path : {CpuPath::portable, CpuPath::sse2, CpuPath::avx2, CpuPath::neon}) {
      if (match_scan(path) == nullptr) {
        continue;
      }
      const Finder finder = prepare_finder(pattern, path);
      std::vector<std::uint64_t> found;
      for (std::size_t at = find_match(finder, data_bytes, 0); at < data.size();
           at = find_match(finder, data_bytes, at + 1)) {
        found.push_back(at);
      }
      if (found != expected) {
        std::abort();
      }
    }
    finders[count] = prepare_finder(pattern);
  }
  if (count == 0) {
    return 0;
  }
  // All of them in one search of the data as a file, one by one and then
  // in one pass through their anchors: the same lines.
  static FinderGroup group;
  static_cast<void>(prepare_group(std::span(finders).first(count), group));
  std::string written[2];
  for (const FinderGroup* anchors : std::array<const FinderGroup*, 2>{nullptr, &group}) {
    const int file = testing::memory_file(data);
    const int output = testing::memory_file("");
    static OutputWriter out{-1};
    out = OutputWriter{output};
    SearchRun run;
    const SearchOutcome outcome = search_input(file, std::span(finders).first(count),
                                               {.shown = Shown::lines,
                                                .before = 1,
                                                .after = 1,
                                                .parted = true,
                                                .color = true,
                                                .group = anchors},
                                               run, out);
    if (outcome.result != SearchResult::done || outcome.matches != all_expected ||
        !flush_output(out)) {
      std::abort();
    }
    written[anchors != nullptr ? 1 : 0] = testing::contents(output);
    close_handle(file);
    close_handle(output);
  }
  if (written[0] != written[1]) {
    std::abort();
  }
  return 0;
}
