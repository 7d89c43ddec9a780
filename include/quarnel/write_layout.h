// The dump layouts of other tools, written as those tools write them: xxd's
// (with its widths, groups, byte orders, bits and decimal addresses), its
// plain hex and its C array, hexdump -C's and od -t x1z's, byte for byte,
// so that what reads their output reads this too; and the bytes as a C++
// or Rust array to build into a program. Lines end in LF. Nothing here
// throws or allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "quarnel/bytes.h"
#include "quarnel/export.h"

namespace quarnel {
inline namespace v1 {

enum class WrittenLayout : std::uint8_t {
  xxd,        // xxd
  xxd_plain,  // xxd -p
  xxd_c,      // xxd -i
  hexdump,    // hexdump -C
  od,         // od -t x1z
  // #include-able C++17: inline constexpr std::array<std::uint8_t, N> NAME{...};
  cpp,
  rust,  // pub static NAME: [u8; N] = [...];
  hex,   // bytes as hex pairs parted by blanks, as people type them
};

enum class AddressRadix : std::uint8_t { hex, decimal, octal, none };

// How the character column shows a byte: ASCII's printable characters;
// those and Latin-1's (in UTF-8); or the bytes read as EBCDIC (xxd -E).
// Anything else is a dot.
enum class CharacterSet : std::uint8_t { ascii, latin1, ebcdic };

struct LayoutSettings {
  WrittenLayout layout = WrittenLayout::xxd;
  // Bytes a line: 1 to most_layout_columns, any for xxd_plain and xxd_c,
  // and whole_line for xxd_plain; 0 for the layout's own.
  unsigned columns = 0;
  int group = -1;              // xxd: bytes a group, 0 for none; -1 for xxd's own
  bool upper = false;          // xxd: hex digits in upper case (-u)
  bool little_endian = false;  // xxd: each group's bytes in reverse (-e)
  bool bits = false;           // xxd: bits instead of hex digits (-b)
  // xxd: hex or decimal (-d); od: any (-A); the others write hex.
  AddressRadix radix = AddressRadix::hex;
  // xxd: a "*" for each run of lines of zeros (-a); hexdump and od: for
  // each run of lines that repeat the one before (as they do unless -v).
  bool squeeze = false;
  CharacterSet charset = CharacterSet::ascii;  // xxd, hexdump, od: the character column's
  // All but the arrays: each byte's digits and character in the colour of
  // its class (zero, printable ASCII, ASCII whitespace, other ASCII,
  // non-ASCII), by ANSI escapes; without them the text is the same.
  bool color = false;
  bool capitals = false;  // the arrays: the array's name in capitals (xxd -C)
  // The arrays: the file name the array's name is made of (xxd -i: none
  // writes the items alone; cpp and rust need one).
  std::string_view name = {};
  bool name_as_is = false;    // the arrays: the name is the array's own (-n), not a file's
  std::uint64_t address = 0;  // of the first byte
  // cpp, rust: the bytes the array holds, which its type names before
  // them. Bytes past it are not taken, and an array that did not take all
  // of them is not closed, so that it cannot compile.
  std::uint64_t length = 0;
};

enum class LayoutError : std::uint8_t {
  none,
  columns,      // the layout takes no such number of bytes a line
  group,        // the layout takes no such group
  combination,  // the layout takes not all of these settings
  name,         // the array's name is not an identifier of its language, or is a keyword
};

// Whether the settings make a layout that can be written.
[[nodiscard]] QUARNEL_API LayoutError check_layout(const LayoutSettings& settings) noexcept;
[[nodiscard]] QUARNEL_API std::string_view message(LayoutError error) noexcept;

// The bytes a line: the settings' columns, or the layout's own for 0.
[[nodiscard]] QUARNEL_API unsigned layout_columns(const LayoutSettings& settings) noexcept;

// The longest text written for a line, its line end included; what
// layout_more needs for each line, besides one line more. A line of more
// than most_layout_columns bytes counts as a line for each
// most_layout_columns of its bytes: it is written in such pieces.
[[nodiscard]] QUARNEL_API std::size_t layout_line_size(const LayoutSettings& settings) noexcept;

// A layout written as the bytes arrive, in pieces cut anywhere. Only the
// calls below change it.
class LayoutStream;

// Writes into out the lines that data completes (a name line first), and
// keeps the rest for the next piece. Returns the number of characters
// written; nothing, with data not taken, when out has not room for
// (data.size() / min(columns, most_layout_columns) + 2) lines of
// layout_line_size.
[[nodiscard]] QUARNEL_API std::optional<std::size_t> layout_more(LayoutStream& stream,
                                                                 ByteView data,
                                                                 CharBuffer out) noexcept;

// Writes what ends the layout: the last, short line, the closing address,
// the array's last lines. Returns the number of characters written; 0, writing
// nothing, when out has not room for three lines of layout_line_size.
[[nodiscard]] QUARNEL_API std::size_t finish_layout(LayoutStream& stream, CharBuffer out) noexcept;

inline constexpr std::size_t most_layout_columns = 256;
// columns for xxd_plain: all the bytes on one line, as xxd -p -c 0 writes
// them (with a line end even when there are none).
inline constexpr unsigned whole_line = ~0U;

class LayoutStream {
 public:
  // Settings that check_layout refuses write nothing.
  constexpr explicit LayoutStream(const LayoutSettings& settings) noexcept
      : settings_(settings), address_(settings.address) {}

  [[nodiscard]] constexpr const LayoutSettings& settings() const noexcept { return settings_; }
  // The bytes taken so far.
  [[nodiscard]] constexpr std::uint64_t taken() const noexcept { return taken_; }

 private:
  friend struct LayoutSteps;  // the pieces of layout_more and finish_layout, in the library
  friend std::optional<std::size_t> layout_more(LayoutStream& stream, ByteView data,
                                                CharBuffer out) noexcept;
  friend std::size_t finish_layout(LayoutStream& stream, CharBuffer out) noexcept;
  LayoutSettings settings_;
  std::uint64_t address_;  // of the unfinished line
  std::uint64_t taken_ = 0;
  bool started_ = false;    // the name lines are written
  bool squeezing_ = false;  // lines are left out for a "*" already written
  bool last_full_ = false;  // a full line came before
  // Of a line longer than line_: the bytes written, and the colour its
  // last piece left on.
  std::uint64_t line_done_ = 0;
  std::uint8_t painted_ = 0xFF;
  // xxd -a: lines of zeros after one that was written: a "*" stands for two
  // or more; one alone is written when the next line shows it was alone.
  std::uint64_t zero_lines_ = 0;
  std::uint64_t zeros_at_ = 0;  // the address of the first of them
  std::size_t held_ = 0;
  std::array<unsigned char, most_layout_columns> line_{};
  std::array<unsigned char, most_layout_columns> last_{};  // the line before, for the squeeze
};

}  // namespace v1
}  // namespace quarnel
