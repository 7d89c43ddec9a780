#include "stream/dump_stream.h"

#include <array>
#include <cstring>

#include "dump/line_format.h"
#include "platform/platform.h"

namespace quarnel {

DumpResult dump_stream(int input_fd, std::int32_t start_offset, OutputWriter& out) {
  // One dump runs at a time; a static block keeps the stack small. The
  // first bytes_per_line bytes hold the part line carried between blocks.
  static std::array<std::uint8_t, bytes_per_line + input_block_size> block;

  auto address = static_cast<std::uint32_t>(start_offset);
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
  std::size_t carried = 0;
  const bool may_block = may_wait(input_fd);
  const LineFormatter format_lines = line_formatter(fastest_format_path());

  for (;;) {
    // Lines already formatted reach the output before a wait for more input,
    // so a slow source is shown as it arrives.
    if (may_block && out.used > 0 && !ready_to_read(input_fd) && !flush_output(out)) {
      return DumpResult::write_error;
    }
    const ReadResult got =
        read_block(input_fd, std::span(block).subspan(carried, input_block_size));
    if (got.status != ReadStatus::data) {
      if (to_skip > 0) {
        return got.status == ReadStatus::end ? DumpResult::too_short : DumpResult::read_error;
      }
      // The input ended or failed: what was read so far makes the last line.
      if (!reserve_output(out, full_line_length)) {
        return DumpResult::write_error;
      }
      char* end =
          format_last_line(out.buffer.data() + out.used, address, std::span(block).first(carried));
      out.used = static_cast<std::size_t>(end - out.buffer.data());
      return got.status == ReadStatus::end ? DumpResult::ok : DumpResult::read_error;
    }

    // Bytes still to be skipped are never shown; while skipping, nothing is
    // carried, so the skipped bytes lie at the front of what was read.
    const std::size_t skipped = std::min<std::size_t>(to_skip, got.count);
    to_skip -= static_cast<std::uint32_t>(skipped);
    const auto fresh = std::span(block).subspan(skipped, carried + got.count - skipped);
    const std::size_t whole = fresh.size() / bytes_per_line * bytes_per_line;

    if (!reserve_output(out, whole / bytes_per_line * full_line_length)) {
      return DumpResult::write_error;
    }
    char* end = format_lines(out.buffer.data() + out.used, address, fresh.first(whole));
    out.used = static_cast<std::size_t>(end - out.buffer.data());

    carried = fresh.size() - whole;
    std::memmove(block.data(), fresh.data() + whole, carried);
  }
}

}  // namespace quarnel
