#include "stream/layout_stream.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/platform.h"
#include "quarnel/dump.h"

namespace quarnel {
namespace {

// One input at a time; static to keep the stack small.
std::array<std::uint8_t, input_block_size> block;

CharBuffer room(OutputWriter& out) {
  return {out.buffer.data() + out.used, out.buffer.size() - out.used};
}

// Reads the range's bytes in blocks and hands each run to take, which
// returns false when the output failed; then calls finish. Bytes before
// the start are skipped, by a seek where the input can.
template <class Take, class Finish>
LayoutResult read_range(int input, ByteRange range, OutputWriter& out, Take take, Finish finish) {
  std::uint64_t to_skip = range.start;
  if (to_skip > 0) {
    switch (skip_by_seeking(input, to_skip)) {
      case SkipResult::unsupported:
        break;
      case SkipResult::done:
        to_skip = 0;
        break;
      case SkipResult::too_short:
        return LayoutResult::past_end;
      case SkipResult::error:
        return LayoutResult::read_error;
    }
  }
  const bool may_block = may_wait(input);
  std::uint64_t left = range.length;
  while (left > 0) {
    // Lines already made reach the output before a wait for more input.
    if (may_block && out.used > 0 && !ready_to_read(input) && !flush_output(out)) {
      return LayoutResult::write_error;
    }
    const ReadResult got = read_block(input, block);
    if (got.status == ReadStatus::error) {
      return LayoutResult::read_error;
    }
    if (got.status == ReadStatus::end) {
      if (to_skip > 0) {
        return LayoutResult::past_end;
      }
      break;
    }
    const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(to_skip, got.count));
    to_skip -= skipped;
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(got.count - skipped, left));
    left -= size;
    if (!take(std::span(block).subspan(skipped, size))) {
      return LayoutResult::write_error;
    }
  }
  return finish() ? LayoutResult::ok : LayoutResult::write_error;
}

}  // namespace

LayoutResult write_layout(int input, LayoutStream& stream, ByteRange range, OutputWriter& out) {
  const std::size_t line = layout_line_size(stream.settings());
  // Pieces whose lines fit in the output's buffer at once, whatever the
  // layout's width.
  const std::size_t columns = std::max(1U, stream.settings().columns);
  const std::size_t piece = (out.buffer.size() / line - 3) * columns;
  const auto take = [&](std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
      const std::span<const std::uint8_t> part = bytes.first(std::min(piece, bytes.size()));
      if (!reserve_output(out, (part.size() / columns + 3) * line)) {
        return false;
      }
      out.used += layout_more(stream, part, room(out)).value_or(0);
      bytes = bytes.subspan(part.size());
    }
    return true;
  };
  const auto finish = [&] {
    if (!reserve_output(out, 3 * line)) {
      return false;
    }
    out.used += finish_layout(stream, room(out));
    return true;
  };
  return read_range(input, range, out, take, finish);
}

LayoutResult write_quarnel_layout(int input, ByteRange range, OutputWriter& out) {
  StreamDump dump(static_cast<std::uint32_t>(range.start), platform_line_end());
  const auto take = [&](std::span<const std::uint8_t> bytes) {
    if (!reserve_output(out, dump_more_size(dump, bytes.size()))) {
      return false;
    }
    out.used += dump_more(dump, bytes, room(out)).value_or(0);
    return true;
  };
  const auto finish = [&] {
    if (!reserve_output(out, finish_dump_size(dump))) {
      return false;
    }
    out.used += finish_dump(dump, room(out));
    return true;
  };
  return read_range(input, range, out, take, finish);
}

}  // namespace quarnel
