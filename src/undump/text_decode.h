// What a dump's text is written in, before its lines are read: a byte
// order mark at its start (UTF-8's passed over, UTF-16's telling how to
// read the rest), UTF-16's code units a character each, and Latin-1's
// characters that a column shows in UTF-8 folded to their bytes.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace quarnel {

inline constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

struct TextStart {
  std::size_t skip = 0;         // the mark's bytes, passed over
  bool utf16 = false;           // the text is UTF-16
  bool big_endian = false;      // in that byte order
  bool unmarked_utf16 = false;  // it looks like UTF-16 without a mark
};

// Reads the start of a text into start; false when it is too short to tell
// yet (text_ends says no more comes).
[[nodiscard]] bool read_text_start(std::string_view text, bool text_ends, TextStart& start);

// A line of UTF-16 text, its code units a character each into decoded:
// ASCII as itself, anything else as a byte that has no place in a dump
// line, so that it is refused where it matters.
struct Utf16Line {
  std::string_view content;  // in decoded, without its line end
  std::size_t length = 0;    // bytes of text it takes, its line end included
  bool ended = false;        // by a line feed
  bool more = false;         // the rest of the line comes with the next piece
};
[[nodiscard]] Utf16Line split_utf16_line(std::string_view rest, bool big_endian, bool text_ends,
                                         std::size_t limit, std::span<char> decoded);

// content with Latin-1's printable characters in UTF-8 read as their own
// bytes, a character a byte as in the other dumps: in decoded where there
// are any, content itself otherwise (or when it does not fit).
[[nodiscard]] std::string_view fold_latin1(std::string_view content, std::span<char> decoded);

}  // namespace quarnel
