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

}  // namespace

UndumpResult undump_stream(int input, DumpReader& reader, const UndumpTarget& target) {
  // The front holds the part line carried between blocks.
  static std::array<std::uint8_t, longest_carry + block_size> buffer;
  // Bytes on their way to the patch's records.
  static std::array<std::uint8_t, longest_record> patched;
  const char* chars = reinterpret_cast<const char*>(buffer.data());
  reader.next_text();
  std::size_t carried = 0;
  const bool may_block = may_wait(input);
  bool started = false;
  bool is_diff = false;
  std::uint64_t number = 0;
  for (;;) {
    // Bytes already read back reach the output before a wait for more text.
    if (may_block && target.out != nullptr && target.out->used > 0 && !ready_to_read(input) &&
        !flush_output(*target.out)) {
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
      if (is_diff && target.diff == nullptr) {
        return {UndumpStatus::bad_line, ReadError::none, 1,
                "a diff applies to a file: use unquarnel --patch FILE"};
      }
      if (!is_diff && target.diff != nullptr && target.diff->reverse) {
        return {UndumpStatus::not_a_diff, ReadError::none, 0};
      }
    }
    if (is_diff) {
      const DiffStep step = read_diff(text, at_end, *target.diff, *target.patch, number);
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
    if (!started) {
      carried = text.size();
      continue;
    }
    for (;;) {
      OutputWriter* out = target.out;
      const ReadStep step = reader.read(
          text,
          out != nullptr
              ? WritableBytes(out->buffer.data() + out->used, out->buffer.size() - out->used)
              : WritableBytes(patched),
          at_end);
      text.remove_prefix(step.taken);
      if (out != nullptr) {
        out->used += step.size;
      } else if (step.size > 0 &&
                 !patch_bytes(*target.patch, step.address, std::span(patched).first(step.size))) {
        return {UndumpStatus::write_error, ReadError::none, 0};
      }
      if (step.stop == ReadStop::error) {
        return {UndumpStatus::bad_line, step.error, step.line, {}, step.readings, step.places_only};
      }
      if (step.stop == ReadStop::text) {
        break;
      }
      if (step.stop == ReadStop::room && out != nullptr && !flush_output(*out)) {
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

}  // namespace quarnel
