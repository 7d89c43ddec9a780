// Reading hex dumps back into bytes: quarnel's, with every line checked as
// the unquarnel program checks it (the address, the two blanks after it,
// each byte's two hex digits and its separator, at most 16 bytes a line,
// each line 16 past the one before until a short line or an end line ends
// a dump; the next line may start another, at an address of its own), and
// xxd's (also its plain hex, C arrays and bits), hexdump -C's and od -t
// x1's, each as strictly. The first lines of each dump tell its layout. The
// character column is not read, but its delimiters are. Lines end in LF or
// CR LF; a text may start with a UTF-8 byte order mark, or be UTF-16 with
// one. Nothing here throws or allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "quarnel/bytes.h"
#include "quarnel/export.h"
#include "quarnel/line_geometry.h"

namespace quarnel {
inline namespace v1 {

// What can be wrong with a text.
enum class ReadError {
  none,
  no_room,      // the bytes do not fit in the room given
  no_dump,      // the text holds no line
  bad_address,  // of a line
  missing_blanks,
  bad_hex_digit,
  bad_separator,
  stray_character,
  too_many_bytes,
  too_long,
  lone_return,
  unmarked_utf16,
  misplaced_mark,     // a byte order mark after the start of the text
  cut_short,          // the text ends inside its last line
  out_of_sequence,    // the address is not 16 past a full line before
  after_short,        // the address goes on where a short line before ended
  wraps,              // lines that stand alone run past FFFFFFFF
  unfinished,         // the text ends after a full line, or before the dump's closing line
  unknown_layout,     // the text is in no layout that is read
  word_layout,        // words whose byte order was the writing machine's
  bad_shape,          // a line not laid out as the dump's first line is
  bad_bits,           // a byte of xxd -b is not 8 binary digits
  wrong_width,        // a line holds more bytes than the first, or a short line is not last
  bad_squeeze,        // a * line with no full line before it, or a gap of no whole lines
  bad_c_array,        // a line that is no part of an xxd -i array
  wrong_length,       // an array's NAME_len is not its number of bytes
  ambiguous,          // two readings of the text give different bytes or places
  uncounted_squeeze,  // a * line in a dump without addresses: its count is lost
  missing_line_end,   // a lone line of another layout without its line end
  bits_or_hex,        // xxd groups of binary digits with no character column to tell
  no_closing_line,    // a hexdump -C or od dump ends after its short last line
  bad_array,          // a line of a C++ or Rust array that is not as quarnel-as writes it
  wrong_count,        // a C++ or Rust array holds other than the bytes its type names
  column_fits_none,   // the character column shows the bytes in none of the readings still open
  group_separator,    // a -- line, as grep writes between groups, outside a patch
  named_line,         // a line of quarnel's after an input's name, as quarnel-grep writes them
};

// The layouts of dumps: any is the first lines' choice.
enum class DumpLayout { any, quarnel, xxd, xxd_plain, xxd_c, hexdump, od, hex, cpp, rust };

// "quarnel", "xxd", "xxd-plain", "xxd-c", "hexdump", "od", "hex", "cpp",
// "rust" ("any" for any).
[[nodiscard]] QUARNEL_API std::string_view layout_name(DumpLayout layout) noexcept;

// A layout read one way: what a writer's flags change that a text may not
// show. xxd's -e writes each group's bytes in reverse; xxd -d's and od's
// addresses may be decimal, octal or hex.
enum class DumpReading {
  any,
  quarnel,
  xxd,        // hex addresses, groups as written (xxd, xxd -b)
  xxd_e,      // xxd -e: little-endian groups
  xxd_d,      // xxd -d: decimal addresses
  xxd_e_d,    // xxd -e -d
  xxd_plain,  // xxd -p
  xxd_c,      // xxd -i
  hexdump,    // hexdump -C
  od,         // od -t x1: octal addresses, od's own (or hex, or none, as their width shows)
  od_d,       // od -A d
  od_x,       // od -A x
  hex,        // bytes typed as hex pairs parted by blanks, or as \xHH escapes
  cpp,        // quarnel-as cpp: a C++ std::array
  rust,       // quarnel-as rust: a Rust array
};

// The layout a reading is of.
[[nodiscard]] QUARNEL_API DumpLayout reading_layout(DumpReading reading) noexcept;

// A line longer than this, without its line end, is no line of any layout.
inline constexpr std::size_t longest_dump_line = 8192;

// The reading's --from name: "xxd-e", "od-d" and so on ("any" for any).
[[nodiscard]] QUARNEL_API std::string_view reading_name(DumpReading reading) noexcept;

// The reading a --from name stands for; any when name is none of them.
[[nodiscard]] QUARNEL_API DumpReading reading_named(std::string_view name) noexcept;

namespace detail {

// The most bytes a line of any layout holds.
inline constexpr std::size_t max_line_bytes = 4096;
// The most bytes, and lines, a reader holds back while two readings of a
// dump are still open.
inline constexpr std::size_t max_held_bytes = 4096;
inline constexpr std::size_t max_held_lines = 256;

// The readings still open for a dump: bits of Variant.
enum Variant : std::uint8_t {
  big_endian = 1,
  little_endian = 2,
  hex_addresses = 4,
  decimal_addresses = 8,
  octal_addresses = 16,
};

// What the first line of a dump says of the lines after it.
struct LayoutShape {
  DumpLayout layout = DumpLayout::any;  // of the dump being read; any until its first line
  std::uint32_t lines = 0;              // lines of bytes read in the dump
  std::uint16_t columns = 0;            // bytes of a full line
  std::uint16_t group = 0;              // xxd: bytes a group
  std::uint16_t width = 0;              // where the character column starts; xxd -p: a full line
  bool addresses = true;                // od -A n writes none
  bool bits = false;                    // xxd -b
  bool chars = false;                   // od's character column
  bool ended = false;                   // a short line came: only a closing line may follow
  std::uint8_t c_part = 0;              // the arrays: before, in and after the array
  bool opened = false;                  // the arrays: the array's first line came
  std::uint64_t array_length = 0;       // cpp, rust: the bytes the array's type names
  std::uint8_t open = 0;                // Variant bits of the readings not yet ruled out
};

// The lines of a dump held back until its reading is settled: their bytes
// as the groups are written, and each one's address in every radix.
struct HeldLines {
  std::uint16_t lines = 0;
  std::uint16_t emitted = 0;  // lines of them already handed on
  std::uint16_t size = 0;     // bytes
  // The byte orders and character sets that the character columns of the
  // lines whose groups read differently in each order show alike.
  std::uint8_t fits = 0;
  bool orders_differ = false;
  bool places_differ = false;
  std::array<std::uint16_t, max_held_lines> counts{};
  std::array<std::array<std::uint64_t, 3>, max_held_lines> addresses{};  // hex, decimal, octal
  std::array<unsigned char, max_held_bytes> bytes{};
};

// A dump in another layout than quarnel's, being read: its shape, where its
// next bytes go in each radix still open, the lines held back, and the last
// line's bytes, for a * line to repeat.
struct OtherDump {
  LayoutShape shape;
  bool over = true;  // the dump has ended: the next line starts another
  bool squeezed = false;
  std::array<std::uint64_t, 3> next{};  // hex, decimal, octal
  std::uint64_t repeats = 0;            // copies of the last line due
  std::uint64_t repeat_at = 0;          // where the next of them goes
  // A * line's copies while the radices left count them differently: how
  // many in each, and from where, until the addresses after it tell.
  bool repeats_open = false;
  std::array<std::uint64_t, 3> open_repeats{};
  std::array<std::uint64_t, 3> repeats_from{};
  std::uint64_t array_bytes = 0;
  std::uint16_t last_size = 0;
  std::array<unsigned char, max_line_bytes> last_bytes{};
  // What a * line's copies repeat: the last line's bytes as they were
  // when the * came, in the reading taken; the lines after it may be read
  // before the copies go out.
  std::array<unsigned char, max_line_bytes> repeat_bytes{};  // as written
  std::uint16_t repeat_size = 0;
  std::uint16_t repeats_after = 0;  // held lines that go out before the copies
  std::array<unsigned char, max_line_bytes> line_bytes{};
  HeldLines held;
};

}  // namespace detail

// The unquarnel program's words for an error.
[[nodiscard]] QUARNEL_API std::string_view message(ReadError error) noexcept;

// One line of quarnel's dump, read on its own, as a diff of dumps holds it.
struct DumpLine {
  std::uint32_t address = 0;
  std::size_t count = 0;  // bytes on the line, 0 to 16; fewer than 16 ends a dump
  std::array<unsigned char, line_geometry::bytes_per_line> bytes{};
};

// Reads a line of quarnel's dump without its line end, checked as in a
// dump. Trailing blanks may be missing; the character column is not read.
// With an error, column is where it is, from 1.
[[nodiscard]] QUARNEL_API ReadError read_dump_line(std::string_view text, DumpLine& line,
                                                   std::size_t& column) noexcept;

// The layout that a single line of a dump is written in, when the line
// tells it: a line of bytes does; an address alone, a * line and a line of
// no layout do not (any).
[[nodiscard]] QUARNEL_API DumpLayout line_layout(std::string_view line) noexcept;

struct ReadBack {
  ReadError error = ReadError::none;
  std::size_t size = 0;                   // bytes written to out, up to the first bad line
  std::uint64_t address = 0;              // of the first line
  std::uint64_t line = 0;                 // with an error, the bad line's number, from 1
  std::size_t column = 0;                 // with an error in a line, where, from 1
  std::array<DumpReading, 2> readings{};  // with ambiguous, two readings that differ
  [[nodiscard]] constexpr bool ok() const noexcept { return error == ReadError::none; }
};

// Room enough for the bytes of any text of text_size characters: a byte
// takes at least three of them.
[[nodiscard]] constexpr std::size_t read_dump_size(std::size_t text_size) noexcept {
  return text_size / 3 + 16;
}

// Reads the dumps in text, one after another, into out. On the first bad
// line it stops; the bytes of the lines before it are in out.
[[nodiscard]] QUARNEL_API ReadBack read_dump(std::string_view text, WritableBytes out) noexcept;

// How lines go together: as dumps (each line 16 past the one before, until
// a short line or an end line) or standing alone, each at its own address,
// as in a patch.
enum class ReadMode { dumps, lines };

// Why a step of a DumpReader ended.
enum class ReadStop {
  text,   // every whole line was read: more text, or the next text, is wanted
  room,   // the next line's bytes do not fit in what is left of out
  jump,   // the next line's bytes go elsewhere: a new dump, or a line on its own
  error,  // see error
};

struct ReadStep {
  ReadStop stop = ReadStop::text;
  std::size_t taken = 0;      // characters of text read; the rest is to come again
  std::size_t size = 0;       // bytes written to the start of out
  std::uint64_t address = 0;  // where the first of them goes
  ReadError error = ReadError::none;
  std::uint64_t line = 0;  // with an error, the bad line's number in its text, from 1
  std::size_t column = 0;  // with an error in a line, where, from 1
  std::array<DumpReading, 2> readings{};  // with ambiguous, two readings that differ
  bool places_only = false;               // with ambiguous, they differ in the bytes' places alone
};

// Reads dumps that arrive in pieces, from one text or several (files read
// as one), a run of bytes at a time: the bytes of each step go to one
// address and the ones after it.
class DumpReader {
 public:
  // With a layout other than any, every dump must be in it.
  constexpr explicit DumpReader(ReadMode mode = ReadMode::dumps,
                                DumpLayout layout = DumpLayout::any) noexcept
      : mode_(mode), forced_(layout) {}
  // With a reading other than any, every dump must be read that way.
  constexpr DumpReader(ReadMode mode, DumpReading reading) noexcept
      : mode_(mode), forced_(DumpLayout::any), reading_(reading) {}

  // Reads the whole lines at the front of text, writing their bytes into
  // out, up to the end of the text, of the room, or of the run. With
  // text_ends, text is all there is of this text: a last line may lack its
  // line end, and a text without a line is an error.
  [[nodiscard]] QUARNEL_API ReadStep read(std::string_view text, WritableBytes out,
                                          bool text_ends) noexcept;

  // Starts the next text: its lines are counted from 1, and it may start
  // with a byte order mark. Dumps go on from one text to the next.
  QUARNEL_API void next_text() noexcept;

  // After the last text: an error if the dumps did not end as they must.
  [[nodiscard]] QUARNEL_API ReadStep finish() const noexcept;

  // The address of the first line read.
  [[nodiscard]] constexpr std::uint64_t first_address() const noexcept { return first_address_; }

 private:
  friend struct ReaderSteps;  // the pieces of read, in the library
  [[nodiscard]] DumpLayout forced() const noexcept;
  ReadMode mode_;
  bool started_ = false;        // a line has been read
  bool in_dump_ = false;        // the last line was full: the dump goes on
  bool after_quarnel_ = false;  // the last dump was quarnel's
  bool at_start_ = true;        // of a text: a byte order mark may come
  bool utf16_ = false;
  bool big_endian_ = false;
  std::uint8_t last_count_ = 0;  // bytes of the last line
  std::uint32_t last_address_ = 0;
  std::uint64_t first_address_ = 0;
  std::uint64_t line_ = 0;        // lines of this text read
  std::uint64_t text_lines_ = 0;  // of them, those that hold an address
  DumpLayout forced_;
  DumpReading reading_ = DumpReading::any;
  detail::OtherDump other_;
  std::array<char, 2 * detail::max_line_bytes + 2> decoded_{};  // a UTF-16 line, a unit a character
};

}  // namespace v1
}  // namespace quarnel
