// What changed between two files, as a unified diff of their quarnel dumps.
// Where no bytes moved, the hunks are byte for byte those that diff -u
// writes for the two dumps, made without the dumps. Where bytes were
// inserted or deleted, the lines of each stretch the files share start
// where the stretch starts, in each file at its own address: a context line
// shows the old file's, and the lines of each side follow one another
// without a gap, so the hunk tells where every byte is in both files.
#pragma once

#include <cstdint>
#include <string_view>

#include "io/output_writer.h"

namespace quarnel {

// A file to compare: open for reading at any offset, and its length.
struct DiffFile {
  int handle;
  std::uint64_t size;
  std::string_view name;  // as the header names it
  std::string_view time;  // its modification time, as the header gives it
};

struct DiffSettings {
  std::uint64_t context = 3;  // lines around each change
  bool color = false;         // as diff --color, and the changed bytes shown reversed
  bool same_offsets = false;  // compare the bytes at the same offsets only: nothing moves
};

enum class DiffResult { same, differ, read_error, write_error };

struct DiffOutcome {
  DiffResult result;
  int error = 0;  // with read_error, the system's reason, where a call gave one
};

// Writes the diff of the dumps of before and after (nothing when they are
// the same) to out.
[[nodiscard]] DiffOutcome write_dump_diff(const DiffFile& before, const DiffFile& after,
                                          const DiffSettings& settings, OutputWriter& out);

}  // namespace quarnel
