#include "undump/undump_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace quarnel {
namespace {

constexpr std::size_t block_size = std::size_t{1} << 16;
// A line end of either kind follows a full line here.
constexpr std::size_t full_line_end = longest_line;

// Checks a read line against the lines before it and sends its bytes on.
UndumpStatus take_line(const DumpLine& line, UndumpState& state, const UndumpTarget& target,
                       LineError& error) {
  if (state.patching) {
    // A line that runs past FFFFFFFF, or a dump that goes on past it; an
    // end line holds no byte and goes nowhere.
    if (line.address + std::uint64_t{line.count} > (std::uint64_t{1} << 32) ||
        (state.in_dump && state.next_address == 0 && line.address == 0 && line.count > 0)) {
      error = LineError::wraps;
      return UndumpStatus::bad_line;
    }
  } else if (state.in_dump && line.address != state.next_address) {
    error = LineError::out_of_sequence;
    return UndumpStatus::bad_line;
  } else if (state.started && !state.in_dump &&
             (line.address == state.last_address + 16 ||
              (state.last_count > 0 && line.address == state.last_address + state.last_count))) {
    // A new dump starts at its own offset, never where the short line
    // before would have gone on: there a byte was lost or a line cut.
    error = LineError::after_short;
    return UndumpStatus::bad_line;
  }
  if (!state.started) {
    state.started = true;
    state.first_address = line.address;
  }
  state.in_dump = line.count == 16;
  state.next_address = line.address + 16;
  state.last_address = line.address;
  state.last_count = line.count;
  ++state.lines;
  const auto bytes = std::span(line.bytes).first(line.count);
  if (target.out != nullptr) {
    OutputWriter& out = *target.out;
    if (out.buffer.size() - out.used < bytes.size() && !flush_output(out)) {
      return UndumpStatus::write_error;
    }
    // A full line's copy of fixed size compiles to a move, not a call.
    if (bytes.size() == 16) {
      std::memcpy(out.buffer.data() + out.used, bytes.data(), 16);
    } else {
      std::memcpy(out.buffer.data() + out.used, bytes.data(), bytes.size());
    }
    out.used += bytes.size();
  } else if (target.patch != nullptr && !patch_bytes(*target.patch, line.address, bytes)) {
    return UndumpStatus::write_error;
  } else if (target.memory != nullptr) {
    MemoryOutput& memory = *target.memory;
    if (memory.bytes.size() - memory.used < bytes.size()) {
      error = LineError::no_room;
      return UndumpStatus::bad_line;
    }
    std::memcpy(memory.bytes.data() + memory.used, bytes.data(), bytes.size());
    memory.used += bytes.size();
  }
  return UndumpStatus::ok;
}

// Text saved as UTF-16 (by PowerShell 5.1's redirections, or Notepad) is
// read a code unit a character: ASCII as itself, anything else as a byte
// that has no place in a dump line, so that it is refused where it matters.
struct Utf16 {
  bool active = false;
  bool big_endian = false;
  bool odd = false;  // held waits for the other half of its unit
  std::uint8_t held = 0;
};

// Decodes bytes in place, the characters never outrunning the bytes they
// come from; returns how many there are.
std::size_t decode_utf16(Utf16& utf16, std::span<std::uint8_t> bytes) {
  std::size_t count = 0;
  for (const std::uint8_t byte : bytes) {
    if (!utf16.odd) {
      utf16.held = byte;
      utf16.odd = true;
      continue;
    }
    const unsigned unit =
        utf16.big_endian ? unsigned{utf16.held} << 8 | byte : unsigned{byte} << 8 | utf16.held;
    bytes[count++] = unit < 0x80 ? static_cast<std::uint8_t>(unit) : 0xFF;
    utf16.odd = false;
  }
  return count;
}

}  // namespace

UndumpResult undump_text(std::string_view& rest, bool at_end, UndumpState& state,
                         const UndumpTarget& target, std::uint64_t& number) {
  static const FullLineParser parse_full = fastest_full_line_parser();
  DumpLine line;
  std::string_view text = rest;  // a local copy stays in registers
  while (!text.empty()) {
    // Most lines are full lines of quarnel's own making.
    const std::size_t end_size = text.size() > full_line_end && text[full_line_end] == '\n' ? 1
                                 : text.size() > full_line_end + 1 && text[full_line_end] == '\r' &&
                                         text[full_line_end + 1] == '\n'
                                     ? 2
                                     : 0;
    std::size_t taken = 0;
    if (end_size > 0 && parse_full(text.data(), line)) {
      taken = full_line_end + end_size;
      ++number;
    } else {
      const std::size_t newline = text.substr(0, longest_line + 2).find('\n');
      if (newline == std::string_view::npos && text.size() <= longest_line + 1 && !at_end) {
        break;  // the rest of the line comes with the next block
      }
      std::string_view content = text.substr(0, newline);
      taken = newline == std::string_view::npos ? content.size() : newline + 1;
      ++number;
      // A carriage return alone ends no line; one inside a line that
      // does not read says why it does not.
      const auto bad = [&](LineError error) -> UndumpResult {
        const std::string_view start = content.substr(0, longest_line + 1);
        const bool lone_return = start.find('\r') != std::string_view::npos;
        const bool mark = start.find("\xEF\xBB\xBF") != std::string_view::npos;
        return {UndumpStatus::bad_line,
                lone_return ? LineError::lone_return
                : mark      ? LineError::stray_mark
                            : error,
                number};
      };
      if (newline == std::string_view::npos && content.size() > longest_line + 1) {
        return bad(LineError::too_long);
      }
      if (content.ends_with('\r')) {
        content.remove_suffix(1);
      }
      if (content.empty()) {
        text.remove_prefix(taken);
        continue;
      }
      if (const LineError error = parse_line(content, line); error != LineError::none) {
        return bad(error);
      }
      // A last line without its line end may have been cut: it must be
      // whole, its character column as long as its bytes, and an address
      // alone may be the start of any line. A line written by hand for a
      // patch has no character column and stands alone.
      const bool whole = line.count > 0 && content.size() == character_column + line.count;
      if (newline == std::string_view::npos && !whole &&
          (!state.patching || content.size() > character_column)) {
        return bad(LineError::cut_short);
      }
    }
    LineError error = LineError::none;
    if (const UndumpStatus status = take_line(line, state, target, error);
        status != UndumpStatus::ok) {
      return {status, error, number};
    }
    text.remove_prefix(taken);
  }
  rest = text;
  return {UndumpStatus::ok, LineError::none, number};
}

UndumpResult undump_stream(int input, UndumpState& state, const UndumpTarget& target) {
  // One input is read at a time; the front holds the part line carried
  // between blocks.
  static std::array<std::uint8_t, longest_line + 2 + block_size> buffer;
  const char* chars = reinterpret_cast<const char*>(buffer.data());
  std::size_t carried = 0;
  std::uint64_t number = 0;
  const bool may_block = may_wait(input);
  bool at_start = true;
  Utf16 utf16;
  for (;;) {
    // Bytes already read back reach the output before a wait for more text.
    if (may_block && target.out != nullptr && target.out->used > 0 && !ready_to_read(input) &&
        !flush_output(*target.out)) {
      return {UndumpStatus::write_error, LineError::none, number};
    }
    const ReadResult got = read_block(input, std::span(buffer).subspan(carried, block_size));
    if (got.status == ReadStatus::error) {
      return {UndumpStatus::read_error, LineError::none, number};
    }
    const bool at_end = got.status == ReadStatus::end;
    std::size_t count = got.count;
    if (utf16.active) {
      count = decode_utf16(utf16, std::span(buffer).subspan(carried, count));
      if (at_end && utf16.odd) {
        buffer[carried + count++] = 0xFF;  // half a unit
      }
    }
    std::string_view text(chars, carried + count);
    if (at_start) {
      // Editors on Windows start text with a byte order mark: UTF-8's is
      // passed over, UTF-16's says how to read the rest.
      constexpr std::array<std::string_view, 3> marks{"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
      if (!at_end && text.size() < 3 && std::any_of(marks.begin(), marks.end(), [&](auto mark) {
            return mark.starts_with(text);
          })) {
        carried = text.size();
        continue;
      }
      if (text.starts_with(marks[0])) {
        text.remove_prefix(marks[0].size());
      } else if (text.starts_with(marks[1]) || text.starts_with(marks[2])) {
        utf16 = {.active = true, .big_endian = text.starts_with(marks[2])};
        const std::size_t decoded =
            decode_utf16(utf16, std::span(buffer).subspan(2, text.size() - 2));
        if (at_end && utf16.odd) {
          buffer[2 + decoded] = 0xFF;
        }
        text = std::string_view(chars + 2, decoded + (at_end && utf16.odd ? 1 : 0));
      } else if (text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0')) {
        return {UndumpStatus::bad_line, LineError::unmarked_utf16, 1};
      }
      at_start = false;
    }
    if (const UndumpResult result = undump_text(text, at_end, state, target, number);
        result.status != UndumpStatus::ok) {
      return result;
    }
    if (at_end) {
      return {UndumpStatus::ok, LineError::none, number};
    }
    carried = text.size();
    std::memmove(buffer.data(), text.data(), carried);
  }
}

}  // namespace quarnel
