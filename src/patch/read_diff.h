// Reads a unified diff of dumps (quarnel-diff's, GNU diff's or git's; of
// quarnel's dumps or of any other layout whose lines carry addresses) into
// patch records, pushed into a record sink: its old side, context and removed lines, as bytes the
// file must hold, and its new side as bytes to write and, where a side ends its dump, the file's
// length. Reversed, the sides swap.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "patch/patch_writer.h"
#include "quarnel/undump.h"

namespace quarnel {

struct DiffReader {
  bool reverse = false;
  std::uint32_t input = 0;  // the text's place among the dumps, for messages
  bool in_hunk = false;
  bool hunks = false;          // a hunk has been read
  std::uint32_t files = 0;     // "--- " headers read
  std::uint64_t old_left = 0;  // lines of the hunk still to come on each side
  std::uint64_t new_left = 0;
  // Quarnel's lines, each side ('-' 0, '+' 1) of the text: the header's
  // first line and count, the byte its next line shows, where the lines
  // after the last hunk start (the file's lines run on from there 16 bytes
  // each), and whether its last line was short (the dump's end, unless
  // another line of the side follows).
  std::array<std::uint64_t, 2> first_line{};
  std::array<std::uint64_t, 2> lines{};
  std::array<std::uint64_t, 2> at{};
  std::array<std::uint64_t, 2> base_at{};
  std::array<std::uint64_t, 2> base_line{1, 1};
  std::array<bool, 2> short_line{};
  bool placed = false;  // the hunk's sides have their first bytes
  // Where the last move record put the old file's bytes, as the file to
  // patch sees the sides: old, new.
  std::array<std::uint64_t, 2> mapped{};
  // Another layout's lines: how they are read (--from), a reader for each
  // side, and where each side's bytes in the hunk end.
  DumpReading reading = DumpReading::any;
  bool layout_known = false;
  bool other_layout = false;
  DumpReader old_side{ReadMode::lines};
  DumpReader new_side{ReadMode::lines};
  std::array<std::uint64_t, 2> old_span{};  // the first byte and the end of its bytes
  std::array<std::uint64_t, 2> new_span{};
  bool old_fed = false;  // a line has gone to the side's reader
  bool new_fed = false;
};

// Whether text starts as a diff does.
[[nodiscard]] bool looks_like_diff(std::string_view text);

struct DiffStep {
  bool ok = true;
  bool write_failed = false;
  ReadError error = ReadError::none;  // a dump line that does not read
  std::string_view problem;           // or what else is wrong
  std::uint64_t line = 0;
  std::array<DumpReading, 2> readings{};  // with ambiguous
  bool places_only = false;
};

// Reads the whole lines at the front of text (and at its end, when at_end,
// a last one without its line end) and takes them off it. number counts
// the lines.
[[nodiscard]] DiffStep read_diff(std::string_view& text, bool at_end, DiffReader& diff,
                                 RecordSink& records, std::uint64_t& number);

}  // namespace quarnel
