#include "stream/dump_stream.h"

#include <algorithm>
#include <array>

#include "platform/platform.h"
#include "quarnel/dump.h"

namespace quarnel {

DumpResult dump_stream(int input_fd, std::int32_t start_offset, OutputWriter& out) {
  // One dump runs at a time; a static block keeps the stack small.
  static std::array<std::uint8_t, input_block_size> block;

  const auto address = static_cast<std::uint32_t>(start_offset);
  std::uint32_t to_skip = start_offset > 0 ? address : 0;
  // A file reaches a far offset at once; other inputs read their way there.
  if (to_skip > 0) {
    switch (skip_by_seeking(input_fd, to_skip)) {
      case SkipResult::unsupported:
        break;
      case SkipResult::done:
        to_skip = 0;
        break;
      case SkipResult::too_short:
        return DumpResult::too_short;
      case SkipResult::error:
        return DumpResult::read_error;
    }
  }
  // The dump keeps the part line carried between blocks.
  StreamDump dump(address, platform_line_end());
  const bool may_block = may_wait(input_fd);
  const auto room = [&out] {
    return CharBuffer(out.buffer.data() + out.used, out.buffer.size() - out.used);
  };

  for (;;) {
    // Lines already formatted reach the output before a wait for more input,
    // so a slow source is shown as it arrives.
    if (may_block && out.used > 0 && !ready_to_read(input_fd) && !flush_output(out)) {
      return DumpResult::write_error;
    }
    const ReadResult got = read_block(input_fd, block);
    if (got.status != ReadStatus::data) {
      if (to_skip > 0) {
        return got.status == ReadStatus::end ? DumpResult::too_short : DumpResult::read_error;
      }
      // The input ended or failed: what was read so far makes the last line.
      if (!reserve_output(out, finish_dump_size(dump))) {
        return DumpResult::write_error;
      }
      out.used += finish_dump(dump, room());
      return got.status == ReadStatus::end ? DumpResult::ok : DumpResult::read_error;
    }

    // Bytes still to be skipped are never shown.
    const std::size_t skipped = std::min<std::size_t>(to_skip, got.count);
    to_skip -= static_cast<std::uint32_t>(skipped);
    const auto fresh = std::span(block).subspan(skipped, got.count - skipped);
    if (!reserve_output(out, dump_more_size(dump, fresh.size()))) {
      return DumpResult::write_error;
    }
    out.used += dump_more(dump, fresh, room()).value_or(0);
  }
}

}  // namespace quarnel
