// A dump in another layout than quarnel's: which of the readings its first
// line leaves open holds, told by the lines' addresses, the place of a short
// last group and the character column; and its lines held back while the
// readings left would give different bytes or places.
#pragma once

#include <span>

#include "layouts/layout_names.h"
#include "layouts/line_reading.h"
#include "undump/line_parse.h"

namespace quarnel {

using detail::OtherDump;

struct Settled {
  ReadError error = ReadError::none;
  std::array<DumpReading, 2> readings{};  // with ambiguous
  bool places_only = false;               // with ambiguous
};

// Starts a dump with the shape of its first line.
void start_other_dump(OtherDump& dump, const Shape& shape);

// Whether a line of count bytes fits among the held lines.
[[nodiscard]] bool room_to_hold(const OtherDump& dump, std::size_t count);

// Takes a line of bytes in, ruling out the readings it cannot be; the
// error when it is none of them.
[[nodiscard]] ReadError hold_line(OtherDump& dump, const OtherLine& line,
                                  std::span<const unsigned char> bytes, ReadMode mode);

// Rules out the readings the held lines tell against. With force, where
// they cannot tell and two readings would give different bytes or places,
// the dump is ambiguous.
[[nodiscard]] Settled settle(OtherDump& dump, ReadMode mode, bool force);

// Whether the held lines may go: every reading left gives them alike.
[[nodiscard]] bool can_release(const OtherDump& dump, ReadMode mode);

struct HeldLine {
  std::uint64_t address = 0;
  std::span<const unsigned char> bytes;
};

// The next held line, in the reading left, its bytes in scratch; the held
// lines are cleared once all have gone.
[[nodiscard]] HeldLine next_held(const OtherDump& dump, std::span<unsigned char> scratch);
void release_held(OtherDump& dump);

[[nodiscard]] inline bool has_held(const OtherDump& dump) {
  return dump.held.emitted < dump.held.lines;
}

// Where the next line's bytes go in the reading taken.
[[nodiscard]] std::uint64_t next_address(const OtherDump& dump);

// Whether a * line's copies are next to go out: the lines held before it
// have gone.
[[nodiscard]] bool copies_due(const OtherDump& dump);
// The bytes a * line's copies repeat, in the reading taken, once the radix
// that counts them and the byte order are settled, their count made due;
// empty while they are not.
[[nodiscard]] std::span<const unsigned char> take_copies(OtherDump& dump,
                                                         std::span<unsigned char> scratch);

// Reads a full line of bytes that goes on where the last one ended, when
// the dump's reading is settled and nothing is due: most lines of a dump,
// read without the contest. Its bytes are in dump.line_bytes; false when the
// line is any other (read_other_dump_line then says what it is).
[[nodiscard]] bool read_full_other_line(OtherDump& dump, std::string_view text);

// The layout of the dump's full line at the front of text when a vector
// reader reads it: the reading settled, nothing due, xxd's default shape,
// hexdump -C's or od's of 16 bytes; for od, its address too, which its
// reader leaves to the caller.
[[nodiscard]] bool full_lines_read_fast(const OtherDump& dump, std::string_view text,
                                        FullLayout& layout, std::uint64_t& address);

// Full lines read outside the contest, taken into the dump: how many, and
// the last one's bytes.
void took_full_lines(OtherDump& dump, std::span<const unsigned char> last, std::size_t lines);

// What became of a line of the dump.
struct OtherOutcome {
  Settled settled;  // an error, with its column
  std::size_t column = 0;
  bool again = false;  // what is due goes first: read the line anew after it
  bool held = false;   // its bytes are among the held lines
};

// Reads a line of the dump, without its line end (ended: it had one): its
// bytes are held, a * line's copies made due, a closing line ends the dump.
[[nodiscard]] OtherOutcome read_other_dump_line(OtherDump& dump, std::string_view text, bool ended,
                                                ReadMode mode);

}  // namespace quarnel
