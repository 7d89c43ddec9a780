// Reads dump text back into bytes: one open input in, its lines' bytes out.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "dump/output_writer.h"
#include "undump/line_parse.h"
#include "undump/patch_writer.h"

namespace quarnel {

// What the lines read so far leave for the next, across the inputs, which
// read as one text.
struct UndumpState {
  bool patching = false;  // lines stand alone, but must fit below 2^32
  bool in_dump = false;   // the last line was full: the dump goes on
  std::uint32_t next_address = 0;
  bool started = false;  // a line has been read, at first_address
  std::uint32_t first_address = 0;
  std::uint32_t last_address = 0;  // of the last line read
  std::size_t last_count = 0;      // its bytes
  std::uint64_t lines = 0;         // dump lines read, blank lines aside
};

// Bytes read back into memory.
struct MemoryOutput {
  std::span<std::uint8_t> bytes;
  std::size_t used = 0;
};

// Where the bytes go: in order to out or to memory, or with their
// addresses to patch.
struct UndumpTarget {
  OutputWriter* out = nullptr;
  PatchWriter* patch = nullptr;
  MemoryOutput* memory = nullptr;
};

enum class UndumpStatus { ok, bad_line, read_error, write_error };

struct UndumpResult {
  UndumpStatus status;
  LineError error;     // with bad_line
  std::uint64_t line;  // the bad line's number; with ok, the lines read
};

// Reads the whole lines at the front of text (and at its end, when at_end, a
// last line without its line end) and takes them off it: what is left is
// the start of a line whose rest is still to come. number counts the lines.
[[nodiscard]] UndumpResult undump_text(std::string_view& rest, bool at_end, UndumpState& state,
                                       const UndumpTarget& target, std::uint64_t& number);

// Reads the input to its end, or to its first bad line. A UTF-8 byte order
// mark at its start is passed over. The bytes of the
// lines before a bad line have gone to the target.
[[nodiscard]] UndumpResult undump_stream(int input, UndumpState& state, const UndumpTarget& target);

}  // namespace quarnel
