// Reads dump text back into bytes: one open input in, its lines' bytes out.
#pragma once

#include <cstdint>

#include "patch/patch_writer.h"
#include "quarnel/undump.h"
#include "stream/output_writer.h"

namespace quarnel {

// Where the bytes go: in order to out, or with their addresses to patch.
struct UndumpTarget {
  OutputWriter* out = nullptr;
  PatchWriter* patch = nullptr;
};

enum class UndumpStatus { ok, bad_line, read_error, write_error };

struct UndumpResult {
  UndumpStatus status;
  ReadError error;     // with bad_line
  std::uint64_t line;  // the bad line's number
};

// Reads the input to its end, or to its first bad line, as the reader's
// next text. The bytes of the lines before a bad line have gone to the
// target.
[[nodiscard]] UndumpResult undump_stream(int input, DumpReader& reader, const UndumpTarget& target);

}  // namespace quarnel
