#include "stream/layout_stream.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/platform.h"
#include "quarnel/dump.h"
#include "stream/read_range.h"

namespace quarnel {
namespace {

CharBuffer room(OutputWriter& out) {
  return {out.buffer.data() + out.used, out.buffer.size() - out.used};
}

// Reads the range's bytes and hands each run to take, which returns false
// when the output failed; then calls finish.
template <class Take, class Finish>
LayoutResult read_range(int input, ByteRange range, OutputWriter& out, Take take, Finish finish) {
  switch (read_range(input, range.start, range.length, out, take)) {
    case RangeStop::end:
      return finish() ? LayoutResult::ok : LayoutResult::write_error;
    case RangeStop::past_end:
      return LayoutResult::past_end;
    case RangeStop::read_error_skipping:
    case RangeStop::read_error:
      return LayoutResult::read_error;
    case RangeStop::write_error:
      break;
  }
  return LayoutResult::write_error;
}

}  // namespace

LayoutResult write_layout(int input, LayoutStream& stream, ByteRange range, OutputWriter& out) {
  const std::size_t line = layout_line_size(stream.settings());
  // Pieces whose lines fit in the output's buffer at once, whatever the
  // layout's width.
  const std::size_t columns =
      std::min<std::size_t>(layout_columns(stream.settings()), most_layout_columns);
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

namespace {

// Keeps the range's bytes of an input that has no length to tell in a
// temporary file, which stands at its first byte then. -1 after
// spool_error, or a read error, past_end or write_error in result.
int spool_input(int input, ByteRange range, OutputWriter& out, std::uint64_t& length,
                LayoutResult& result) {
  const int spool = create_spool_file();
  if (spool < 0) {
    result = LayoutResult::spool_error;
    return -1;
  }
  length = 0;
  bool kept = true;
  const auto take = [&](std::span<const std::uint8_t> bytes) {
    kept = write_at(spool, length, bytes) == bytes.size();
    length += bytes.size();
    return kept;
  };
  result = read_range(input, range, out, take, [] { return true; });
  if (!kept || (result == LayoutResult::ok && !rewind_file(spool))) {
    result = LayoutResult::spool_error;
  }
  if (result != LayoutResult::ok) {
    close_handle(spool);
    return -1;
  }
  return spool;
}

}  // namespace

LayoutResult write_array_layout(int input, LayoutSettings settings, ByteRange range,
                                OutputWriter& out) {
  const std::int64_t size = is_regular_file(input) ? file_length(input) : 0;
  // A file that says it is empty may not be: proc files say so.
  if (size > 0) {
    if (range.start > static_cast<std::uint64_t>(size)) {
      return LayoutResult::past_end;
    }
    settings.length = std::min(static_cast<std::uint64_t>(size) - range.start, range.length);
    LayoutStream stream(settings);
    const LayoutResult result = write_layout(input, stream, {range.start, settings.length}, out);
    if (result != LayoutResult::ok) {
      return result;
    }
    // Cut short, or grown past its end: either way not the file it was. The
    // bytes read past the array's were dropped: look where it ended.
    std::array<std::uint8_t, 1> more{};
    const bool grew = settings.length < range.length &&
                      (file_length(input) != size ||
                       read_at(input, range.start + settings.length, more).count > 0);
    return stream.taken() != settings.length ? LayoutResult::shrank
           : grew                            ? LayoutResult::grew
                                             : LayoutResult::ok;
  }
  LayoutResult result = LayoutResult::ok;
  const int spool = spool_input(input, range, out, settings.length, result);
  if (spool < 0) {
    return result;
  }
  LayoutStream stream(settings);
  result = write_layout(spool, stream, {0, settings.length}, out);
  close_handle(spool);
  return result == LayoutResult::ok && stream.taken() != settings.length ? LayoutResult::shrank
                                                                         : result;
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
