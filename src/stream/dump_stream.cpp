// stream/: an open input through an engine: dumped, written in a layout,
// or read back into a sink.
#include "stream/dump_stream.h"

#include <algorithm>
#include <array>

#include "platform/platform.h"
#include "quarnel/dump.h"
#include "stream/read_range.h"

namespace quarnel {

DumpResult dump_stream(int input_fd, std::int32_t start_offset, OutputWriter& out) {
  const auto address = static_cast<std::uint32_t>(start_offset);
  // The dump keeps the part line carried between blocks.
  StreamDump dump(address, platform_line_end());
  const auto room = [&out] {
    return CharBuffer(out.buffer.data() + out.used, out.buffer.size() - out.used);
  };
  const auto take = [&](std::span<const std::uint8_t> bytes) {
    if (!reserve_output(out, dump_more_size(dump, bytes.size()))) {
      return false;
    }
    out.used += dump_more(dump, bytes, room()).value_or(0);
    return true;
  };
  const RangeStop stop =
      read_range(input_fd, start_offset > 0 ? address : 0, ~std::uint64_t{0}, out, take);
  switch (stop) {
    case RangeStop::past_end:
      return DumpResult::too_short;
    case RangeStop::read_error_skipping:
      return DumpResult::read_error;
    case RangeStop::write_error:
      return DumpResult::write_error;
    case RangeStop::end:
    case RangeStop::read_error:
      break;
  }
  // The input ended or failed: what was read so far makes the last line.
  if (!reserve_output(out, finish_dump_size(dump))) {
    return DumpResult::write_error;
  }
  out.used += finish_dump(dump, room());
  return stop == RangeStop::end ? DumpResult::ok : DumpResult::read_error;
}

}  // namespace quarnel
