// The layouts quarnel-as writes, from one open input: its bytes from a
// start, up to a length, written as they are read.
#pragma once

#include <cstdint>

#include "io/output_writer.h"
#include "quarnel/write_layout.h"

namespace quarnel {

enum class LayoutResult {
  ok,
  past_end,     // the input ends before the start; nothing was written
  read_error,   // reading failed; the lines before it were written
  write_error,  // the output failed; reading stopped at once
  shrank,       // the file held fewer bytes than its size said; the array is left unclosed
  grew,         // the file grew while it was read; the array holds the bytes it had at first
  spool_error,  // the input could not be kept in a temporary file; nothing was written
};

// Where to start and how much to write.
struct ByteRange {
  std::uint64_t start = 0;
  std::uint64_t length = ~std::uint64_t{0};
};

// Skips to range.start (a seek where the input can), then writes the
// layout of up to range.length bytes to out. Lines may be left in out's
// buffer; the caller flushes.
[[nodiscard]] LayoutResult write_layout(int input, LayoutStream& stream, ByteRange range,
                                        OutputWriter& out);

// The same for the arrays whose type names their length (cpp, rust): a
// regular file's length is its size; any other input is first kept in a
// temporary file, to count it. The settings' length is set here.
[[nodiscard]] LayoutResult write_array_layout(int input, LayoutSettings settings, ByteRange range,
                                              OutputWriter& out);

// The same for quarnel's own dump, its first line at the start's address
// (which wraps past FFFFFFFF, as quarnel's does).
[[nodiscard]] LayoutResult write_quarnel_layout(int input, ByteRange range, OutputWriter& out);

}  // namespace quarnel
