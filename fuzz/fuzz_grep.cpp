// Reads a pattern from the fuzz input (its first byte says how long the
// pattern's text is; the rest is the data searched) and checks that every
// scan path finds exactly the matches the plain reference finds, and that a
// search of the data as a file writes their offsets.
#include <algorithm>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "search/find.h"
#include "search/pattern.h"
#include "search/search_input.h"
#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  if (size == 0) {
    return 0;
  }
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const std::size_t text_size = std::min<std::size_t>(bytes[0], size - 1);
  const std::string_view text = input.substr(1, text_size);
  const std::string_view data = input.substr(1 + text_size);
  static Pattern pattern;
  PatternError error;
  if (parse_pattern(text, pattern, error) != PatternProblem::none) {
    // A refusal points inside the text, or just past it.
    if (error.problem == PatternProblem::none || error.column == 0 ||
        error.column > text.size() + 1) {
      std::abort();
    }
    return 0;
  }
  const std::vector<std::uint64_t> expected = testing::reference_matches(pattern, data);
  const std::span data_bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
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
  const int file = testing::memory_file(data);
  const int output = testing::memory_file("");
  static OutputWriter out{-1};
  out = OutputWriter{output};
  SearchRun run;
  const SearchOutcome outcome = search_input(
      file, prepare_finder(pattern),
      {.shown = Shown::lines, .before = 1, .after = 1, .parted = true, .color = true}, run, out);
  if (outcome.result != SearchResult::done || outcome.matches != expected.size() ||
      !flush_output(out)) {
    std::abort();
  }
  close_handle(file);
  close_handle(output);
  return 0;
}
