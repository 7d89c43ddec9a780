// Reads dump text back into bytes: one open input in, its lines' bytes out.
#pragma once

#include <array>
#include <cstdint>

#include "io/output_writer.h"
#include "patch/patch_writer.h"
#include "patch/read_diff.h"
#include "quarnel/undump.h"

namespace quarnel {

enum class UndumpStatus { ok, bad_line, read_error, write_error, not_a_diff };

struct UndumpResult {
  UndumpStatus status;
  ReadError error;                           // with bad_line
  std::uint64_t line;                        // the bad line's number
  std::string_view problem = {};             // with bad_line, what is wrong when error does not say
  std::array<DumpReading, 2> readings = {};  // with ambiguous, two readings that differ
  bool places_only = false;                  // with ambiguous, in the bytes' places alone
  int system_error = 0;                      // with read_error, the system's reason
};

// Reads the input to its end, or to its first bad line, as the reader's
// next text, and puts the bytes it reads into a sink that the program
// chose: the bytes of the lines before a bad line have gone there.
// Into out in order (standard output, a file written anew); a diff is
// refused.
[[nodiscard]] UndumpResult undump_stream(int input, DumpReader& reader, OutputWriter& out);
// Into records with their addresses (a patch); a text that is a diff of
// dumps is read by diff into the same records.
[[nodiscard]] UndumpResult undump_stream(int input, DumpReader& reader, RecordSink& records,
                                         DiffReader& diff);

}  // namespace quarnel
