// The dump engine: one open input in, dump lines out.
#pragma once

#include <cstdint>

#include "io/output_writer.h"

namespace quarnel {

enum class DumpResult {
  ok,
  too_short,    // the input ended before the start offset; nothing was written
  read_error,   // reading failed; the lines before the failure were written
  write_error,  // the output failed; reading stopped at once
};

// Skips the first start_offset bytes of the input (none when it is 0 or
// less), by seeking where the input can seek, then formats the rest into
// out, with addresses starting at the offset's bit pattern. Once past its
// end the input is never read again. Lines may be left in out's buffer; the
// caller flushes.
[[nodiscard]] DumpResult dump_stream(int input_fd, std::int32_t start_offset, OutputWriter& out);

}  // namespace quarnel
