// The byte patterns quarnel-grep looks for: two hex digits are a byte
// (either case, blanks between bytes optional), "??" any byte, "4?" or "?F"
// a byte with one nibble fixed, "text" in double quotes the bytes of the
// text (\" and \\ inside), and i"text" the same with its ASCII letters in
// either case; items mix freely.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarnel {

inline constexpr std::size_t longest_pattern = 4096;

// Byte k matches b when (b & mask[k]) == value[k]. Past size the masks are
// 0, so that eight bytes at a time can be compared.
struct Pattern {
  std::size_t size = 0;
  std::array<std::uint8_t, longest_pattern + 8> value{};
  std::array<std::uint8_t, longest_pattern + 8> mask{};
};

enum class PatternProblem {
  none,
  empty,       // no bytes to find
  not_hex,     // culprit is not a hex digit, "?" or a quote
  lone_digit,  // culprit is a hex digit without its second
  open_text,   // the text that starts at column has no closing quote
  bad_escape,  // culprit, a backslash and what follows, is neither escape a text takes
  too_long,    // the item at column takes the pattern past longest_pattern bytes
};

struct PatternError {
  PatternProblem problem = PatternProblem::none;
  std::size_t column = 0;  // counted in characters from 1
  // The characters at fault, as a message shows them: themselves, a
  // control character as \xNN; none for empty, open_text and too_long.
  std::array<char, 8> culprit{};
  std::size_t culprit_size = 0;
};

// Whether the ASCII letters of every text item match in either case, as
// an i"text" item's do (hex items stay exact).
enum class TextCase { exact, either };

// Reads text into pattern. Returns none, or the problem with error set.
[[nodiscard]] PatternProblem parse_pattern(std::string_view text, Pattern& pattern,
                                           PatternError& error,
                                           TextCase text_case = TextCase::exact);

// What a message says of a problem after "pattern:COLUMN: " and the culprit
// (in double quotes, where there is one).
[[nodiscard]] std::string_view problem_text(PatternProblem problem);

}  // namespace quarnel
