#include "stream/undump_stream.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {
namespace {

constexpr std::size_t block_size = std::size_t{1} << 16;
// The most text of a line that can wait for the next block: the longest
// line of any layout, in UTF-16, two bytes a character.
constexpr std::size_t longest_carry = 2 * (longest_dump_line + 2) + 2;

// The bytes go in order into an output's buffer, which is written out when
// full and before a wait for more text.
struct ToOutput {
  OutputWriter& out;
  static constexpr bool takes_diffs = false;
  [[nodiscard]] WritableBytes room() const {
    return {out.buffer.data() + out.used, out.buffer.size() - out.used};
  }
  [[nodiscard]] bool take(const ReadStep& step) const {
    out.used += step.size;
    return true;
  }
  [[nodiscard]] bool holds_bytes() const { return out.used > 0; }
  [[nodiscard]] bool flush() const { return flush_output(out); }
};

// The bytes go with their addresses into records; a diff's records too.
struct ToRecords {
  RecordSink& records;
  DiffReader& diff;
  static constexpr bool takes_diffs = true;
  // Bytes on their way to the records.
  static inline std::array<std::uint8_t, longest_record> held;
  [[nodiscard]] static WritableBytes room() { return held; }
  [[nodiscard]] bool take(const ReadStep& step) const {
    return step.size == 0 ||
           records.put({step.address, step.size}, std::span(held).first(step.size));
  }
  [[nodiscard]] static bool holds_bytes() { return false; }
  [[nodiscard]] static bool flush() { return true; }
};

template <class Sink>
UndumpResult stream_into(int input, DumpReader& reader, const Sink& sink) {
  // The front holds the part line carried between blocks.
  static std::array<std::uint8_t, longest_carry + block_size> buffer;
  const char* chars = reinterpret_cast<const char*>(buffer.data());
  reader.next_text();
  std::size_t carried = 0;
  const bool may_block = may_wait(input);
  bool started = false;
  bool is_diff = false;
  std::uint64_t number = 0;
  for (;;) {
    // Bytes already read back reach the output before a wait for more text.
    if (may_block && sink.holds_bytes() && !ready_to_read(input) && !sink.flush()) {
      return {UndumpStatus::write_error, ReadError::none, 0};
    }
    const ReadResult got = read_block(input, std::span(buffer).subspan(carried, block_size));
    if (got.status == ReadStatus::error) {
      return {.status = UndumpStatus::read_error,
              .error = ReadError::none,
              .line = 0,
              .system_error = last_error()};
    }
    const bool at_end = got.status == ReadStatus::end;
    std::string_view text(chars, carried + got.count);
    if (!started && (text.size() >= 8 || at_end)) {
      started = true;
      is_diff = looks_like_diff(text);
      if constexpr (!Sink::takes_diffs) {
        if (is_diff) {
          return {UndumpStatus::bad_line, ReadError::none, 1,
                  "a diff applies to a file: use unquarnel --patch FILE"};
        }
      } else if (!is_diff && sink.diff.reverse) {
        return {UndumpStatus::not_a_diff, ReadError::none, 0};
      }
    }
    if constexpr (Sink::takes_diffs) {
      if (is_diff) {
        const DiffStep step = read_diff(text, at_end, sink.diff, sink.records, number);
        if (step.write_failed) {
          return {UndumpStatus::write_error, ReadError::none, 0};
        }
        if (!step.ok) {
          return {UndumpStatus::bad_line, step.error,    step.line,
                  step.problem,           step.readings, step.places_only};
        }
        if (at_end) {
          return {UndumpStatus::ok, ReadError::none, 0};
        }
        carried = text.size();
        std::memmove(buffer.data(), text.data(), carried);
        continue;
      }
    }
    if (!started) {
      carried = text.size();
      continue;
    }
    for (;;) {
      const ReadStep step = reader.read(text, sink.room(), at_end);
      text.remove_prefix(step.taken);
      if (!sink.take(step)) {
        return {UndumpStatus::write_error, ReadError::none, 0};
      }
      if (step.stop == ReadStop::error) {
        return {UndumpStatus::bad_line, step.error, step.line, {}, step.readings, step.places_only};
      }
      if (step.stop == ReadStop::text) {
        break;
      }
      if (step.stop == ReadStop::room && !sink.flush()) {
        return {UndumpStatus::write_error, ReadError::none, 0};
      }
    }
    if (at_end) {
      return {UndumpStatus::ok, ReadError::none, 0};
    }
    carried = text.size();
    std::memmove(buffer.data(), text.data(), carried);
  }
}

}  // namespace

UndumpResult undump_stream(int input, DumpReader& reader, OutputWriter& out) {
  return stream_into(input, reader, ToOutput{out});
}

UndumpResult undump_stream(int input, DumpReader& reader, RecordSink& records, DiffReader& diff) {
  return stream_into(input, reader, ToRecords{records, diff});
}

}  // namespace quarnel
