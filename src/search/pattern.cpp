#include "search/pattern.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>

namespace quarnel {
namespace {

// The value of a hex digit, either case, or -1.
int hex_value(char c) {
  int value = -1;
  static_cast<void>(std::from_chars(&c, &c + 1, value, 16));
  return value;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Whether byte c starts a character of UTF-8 text (columns count those).
bool starts_character(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// The column of text[at], counted in characters from 1.
std::size_t column_of(std::string_view text, std::size_t at) {
  return 1 + static_cast<std::size_t>(std::count_if(
                 text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), starts_character));
}

// The bytes of the character that starts at text[at].
std::size_t character_size(std::string_view text, std::size_t at) {
  std::size_t size = 1;
  while (at + size < text.size() && !starts_character(text[at + size])) {
    ++size;
  }
  return size;
}

struct Reader {
  std::string_view text;
  Pattern& pattern;
  PatternError& error;
  std::size_t at = 0;

  // Refuses at text[from], with the `size` bytes there as the culprit.
  PatternProblem refuse(PatternProblem problem, std::size_t from, std::size_t size) {
    error.problem = problem;
    error.column = column_of(text, from);
    error.culprit_size = 0;
    for (const char c : text.substr(from, size)) {
      const auto byte = static_cast<unsigned char>(c);
      constexpr std::string_view digits = "0123456789ABCDEF";
      const std::array<char, 4> escaped{'\\', 'x', digits[byte >> 4], digits[byte & 15]};
      const bool control = byte < 0x20 || byte == 0x7F;
      for (const char shown : std::span(escaped).subspan(control ? 0 : 3)) {
        if (error.culprit_size < error.culprit.size()) {
          error.culprit[error.culprit_size++] = control ? shown : c;
        }
      }
    }
    return problem;
  }

  bool add(std::uint8_t value, std::uint8_t mask) {
    if (pattern.size == longest_pattern) {
      return false;
    }
    pattern.value[pattern.size] = value;
    pattern.mask[pattern.size] = mask;
    ++pattern.size;
    return true;
  }

  // A quoted text, from its opening quote: its bytes as they stand, or
  // its ASCII letters in either case: a letter's two cases differ in bit
  // 0x20 alone, which the mask leaves out.
  PatternProblem read_text(TextCase text_case) {
    const std::size_t open_at = at++;
    for (;;) {
      if (at >= text.size()) {
        return refuse(PatternProblem::open_text, open_at, 0);
      }
      if (text[at] == '"') {
        ++at;
        return PatternProblem::none;
      }
      if (text[at] == '\\') {
        if (at + 1 >= text.size() || (text[at + 1] != '"' && text[at + 1] != '\\')) {
          const std::size_t size =
              at + 1 < text.size() ? 1 + character_size(text, at + 1) : std::size_t{1};
          return refuse(PatternProblem::bad_escape, at, size);
        }
        ++at;
      }
      const auto byte = static_cast<std::uint8_t>(text[at]);
      const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
      const bool caseless = text_case == TextCase::either && letter;
      if (!add(caseless ? static_cast<std::uint8_t>(byte & 0xDFU) : byte,
               caseless ? std::uint8_t{0xDF} : std::uint8_t{0xFF})) {
        return refuse(PatternProblem::too_long, open_at, 0);
      }
      ++at;
    }
  }

  // A byte: two characters, each a hex digit or "?".
  PatternProblem read_byte() {
    const std::size_t first_at = at;
    std::array<int, 2> nibbles{};
    for (int& nibble : nibbles) {
      if (at >= text.size() || is_blank(text[at]) || text[at] == '"') {
        return refuse(PatternProblem::lone_digit, first_at, 1);
      }
      nibble = text[at] == '?' ? 16 : hex_value(text[at]);
      if (nibble < 0) {
        return refuse(PatternProblem::not_hex, at, character_size(text, at));
      }
      ++at;
    }
    const auto part = [](int nibble, int shift) {
      return nibble == 16 ? 0U : static_cast<unsigned>(nibble) << shift;
    };
    const auto value = static_cast<std::uint8_t>(part(nibbles[0], 4) | part(nibbles[1], 0));
    const auto mask =
        static_cast<std::uint8_t>((nibbles[0] == 16 ? 0 : 0xF0) | (nibbles[1] == 16 ? 0 : 0x0F));
    if (!add(value, mask)) {
      return refuse(PatternProblem::too_long, first_at, 0);
    }
    return PatternProblem::none;
  }
};

}  // namespace

PatternProblem parse_pattern(std::string_view text, Pattern& pattern, PatternError& error,
                             TextCase text_case) {
  pattern = Pattern{};
  error = PatternError{};
  Reader reader{text, pattern, error};
  while (reader.at < text.size()) {
    const char c = text[reader.at];
    PatternProblem problem = PatternProblem::none;
    if (is_blank(c)) {
      ++reader.at;
    } else if (c == '"') {
      problem = reader.read_text(text_case);
    } else if (c == 'i' && reader.at + 1 < text.size() && text[reader.at + 1] == '"') {
      ++reader.at;
      problem = reader.read_text(TextCase::either);
    } else if (c == '?' || hex_value(c) >= 0) {
      problem = reader.read_byte();
    } else {
      problem = reader.refuse(PatternProblem::not_hex, reader.at, character_size(text, reader.at));
    }
    if (problem != PatternProblem::none) {
      return problem;
    }
  }
  if (pattern.size == 0) {
    return reader.refuse(PatternProblem::empty, 0, 0);
  }
  return PatternProblem::none;
}

std::string_view problem_text(PatternProblem problem) {
  static_assert(longest_pattern == 4096);
  // In the order of PatternProblem; none has no words.
  constexpr std::array<std::string_view, 7> words{
      "",
      "no bytes to find",
      "is not a hex digit",
      "is one hex digit; a byte has two",
      "a text opened here has no closing quote",
      R"(is not an escape: a text takes \" and \\)",
      "the pattern runs past 4096 bytes here",
  };
  const auto at = static_cast<std::size_t>(problem);
  return at < words.size() ? words[at] : "";
}

}  // namespace quarnel
