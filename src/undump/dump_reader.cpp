// Reads dump text back into runs of bytes, a step at a time: the line loop
// behind read_dump and the unquarnel program. Quarnel's lines are read here;
// the other layouts' dumps go through the readings their first lines leave
// open (other_dump.h).
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "quarnel/undump.h"
#include "undump/layouts.h"
#include "undump/line_parse.h"
#include "undump/other_dump.h"

namespace quarnel {
inline namespace v1 {
namespace {

// A line end of either kind follows a full line here.
constexpr std::size_t full_line_end = longest_line;
constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";
constexpr std::string_view little_endian_mark = "\xFF\xFE";
constexpr std::string_view big_endian_mark = "\xFE\xFF";

// Where a character that has no place in a line stands in it, if anywhere:
// a carriage return alone, or a byte order mark, which each have their own
// message.
ReadError misplaced(std::string_view content, ReadError error, std::size_t& column) {
  const std::string_view start = content.substr(0, longest_line + 1);
  if (const std::size_t at = start.find('\r'); at != std::string_view::npos) {
    column = at + 1;
    return ReadError::lone_return;
  }
  if (const std::size_t at = start.find(utf8_mark); at != std::string_view::npos) {
    column = at + 1;
    return ReadError::misplaced_mark;
  }
  return error;
}

// A line of hex digits alone is an address alone to quarnel, a closing line
// to od and bytes to xxd -p: the readings a dump's first line of them may
// have, unless its digits tell (xxd -p writes lower case, quarnel upper, od
// -A x six of them).
bool digits_alone(std::string_view line) {
  return !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
    return digit_values[static_cast<unsigned char>(c)] != 0xFF;
  });
}

}  // namespace

void DumpReader::next_text() noexcept {
  at_start_ = true;
  utf16_ = false;
  line_ = 0;
  text_lines_ = 0;
}

ReadStep DumpReader::finish() const noexcept {
  ReadStep step;
  const detail::LayoutShape& shape = other_.shape;
  const bool open = !other_.over;
  const bool closing_due =
      open && shape.lines > 0 &&
      (shape.layout == DumpLayout::hexdump || (shape.layout == DumpLayout::od && shape.addresses));
  const bool array_open = open && shape.layout == DumpLayout::xxd_c &&
                          (shape.c_part == 3 || (shape.opened && shape.c_part != 0));
  const ReadError error =
      other_.squeezed || other_.repeats > 0                    ? ReadError::bad_squeeze
      : mode_ == ReadMode::dumps && closing_due && shape.ended ? ReadError::no_closing_line
      : mode_ == ReadMode::dumps && (in_dump_ || closing_due || array_open) ? ReadError::unfinished
                                                                            : ReadError::none;
  if (error != ReadError::none) {
    step.stop = ReadStop::error;
    step.error = error;
    step.line = line_ + 1;
  }
  return step;
}

ReadStep DumpReader::read(std::string_view text, WritableBytes out, bool text_ends) noexcept {
  static const FullLineParser parse_full = fastest_full_line_parser();
  ReadStep step;
  std::size_t at = 0;  // characters of text read
  std::size_t used = 0;
  const auto fail = [&](ReadError error, std::size_t column) {
    step.stop = ReadStop::error;
    step.error = error;
    step.line = line_;
    step.column = column;
    step.taken = at;
    step.size = used;
    return step;
  };
  const auto fail_settled = [&](const Settled& settled, std::size_t column) {
    step.readings = settled.readings;
    step.places_only = settled.places_only;
    return fail(settled.error, column);
  };
  if (at_start_) {
    // Editors on Windows start text with a byte order mark: UTF-8's is
    // passed over, UTF-16's says how to read the rest.
    constexpr std::array marks{utf8_mark, little_endian_mark, big_endian_mark};
    if (!text_ends && text.size() < utf8_mark.size() &&
        std::any_of(marks.begin(), marks.end(),
                    [&](std::string_view mark) { return mark.starts_with(text); })) {
      return step;
    }
    at_start_ = false;
    if (text.starts_with(utf8_mark)) {
      at = utf8_mark.size();
    } else if (text.starts_with(little_endian_mark) || text.starts_with(big_endian_mark)) {
      utf16_ = true;
      big_endian_ = text.starts_with(big_endian_mark);
      at = little_endian_mark.size();
    } else if (text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0')) {
      line_ = 1;
      return fail(ReadError::unmarked_utf16, 1);
    }
  }
  const DumpLayout forced = reading_ != DumpReading::any ? layout_of(reading_) : forced_;
  DumpLine line;
  bool running = false;  // a line of this step has been taken
  // Whether bytes at address go on from this step's, and room for count.
  const auto take = [&](std::uint64_t address, std::size_t count) {
    const bool joins = !running || step.address + used == address;
    if (!joins || out.size() - used < count) {
      step.stop = joins ? ReadStop::room : ReadStop::jump;
      return false;
    }
    if (!running) {
      running = true;
      step.address = address;
    }
    if (!started_) {
      started_ = true;
      first_address_ = address;
    }
    return true;
  };
  for (;;) {
    // What another layout's lines have made due: held lines whose reading
    // is settled, then the copies a * line stands for.
    if (has_held(other_) && !can_release(other_, mode_) && at == text.size() && text_ends) {
      if (const Settled settled = settle(other_, mode_, true); settled.error != ReadError::none) {
        return fail_settled(settled, 1);
      }
    }
    if (has_held(other_) && can_release(other_, mode_)) {
      std::array<unsigned char, detail::max_line_bytes> scratch;
      const HeldLine held = next_held(other_, scratch);
      if (!take(held.address, held.bytes.size())) {
        break;
      }
      std::memcpy(out.data() + used, held.bytes.data(), held.bytes.size());
      used += held.bytes.size();
      release_held(other_);
      continue;
    }
    if (other_.repeats > 0) {
      if (!take(next_address(other_), other_.last_size)) {
        break;
      }
      std::memcpy(out.data() + used, other_.last_bytes.data(), other_.last_size);
      used += other_.last_size;
      advance(other_, other_.last_size);
      --other_.repeats;
      continue;
    }
    if (at == text.size()) {
      break;
    }
    const std::string_view rest = text.substr(at);
    const bool other_dump = !other_.over;
    const bool quarnel_dump = in_dump_ || forced == DumpLayout::quarnel;
    const std::size_t limit = (quarnel_dump ? longest_line : longest_other_line) + 2;
    std::size_t length = 0;  // characters of text the line takes, its end included
    std::string_view content;
    bool ended = true;  // by a line feed
    bool fast = false;
    if (!utf16_) {
      // Most lines are full lines of quarnel's own making.
      const std::size_t end_size = rest.size() > full_line_end && rest[full_line_end] == '\n' ? 1
                                   : rest.size() > full_line_end + 1 &&
                                           rest[full_line_end] == '\r' &&
                                           rest[full_line_end + 1] == '\n'
                                       ? 2
                                       : 0;
      if (end_size > 0 && !other_dump &&
          (forced == DumpLayout::any || forced == DumpLayout::quarnel) &&
          parse_full(rest.data(), line)) {
        fast = true;
        length = full_line_end + end_size;
      } else {
        const std::size_t newline = rest.substr(0, limit).find('\n');
        if (newline == std::string_view::npos && rest.size() < limit && !text_ends) {
          break;  // the rest of the line comes with the next piece
        }
        content = rest.substr(0, newline);
        ended = newline != std::string_view::npos;
        length = ended ? newline + 1 : content.size();
      }
    } else {
      // A code unit a character: ASCII as itself, anything else as a byte
      // that has no place in a dump line, so that it is refused where it
      // matters.
      const std::size_t units = std::min(rest.size() / 2, limit);
      std::size_t count = 0;
      for (; count < units; ++count) {
        const unsigned first = static_cast<unsigned char>(rest[2 * count]);
        const unsigned second = static_cast<unsigned char>(rest[2 * count + 1]);
        const unsigned unit = big_endian_ ? first << 8U | second : second << 8U | first;
        if (unit == '\n') {
          break;
        }
        decoded_[count] = unit < 0x80 ? static_cast<char>(unit) : '\xFF';
      }
      ended = count < units;
      if (!ended && rest.size() / 2 < limit && !text_ends) {
        break;
      }
      if (!ended && rest.size() % 2 == 1 && count == rest.size() / 2 && count < decoded_.size()) {
        decoded_[count++] = '\xFF';  // half a unit
      }
      content = std::string_view(decoded_.data(), count);
      length = ended ? 2 * (count + 1) : rest.size();
    }
    ++line_;
    if (!fast) {
      std::size_t column = limit;
      if (!ended && content.size() > limit - 1) {
        return fail(misplaced(content, ReadError::too_long, column), column);
      }
      if (content.ends_with('\r')) {
        content.remove_suffix(1);
      }
      if (content.empty()) {
        at += length;
        continue;
      }
      if (!other_dump) {
        const bool quarnel_allowed = forced == DumpLayout::any || forced == DumpLayout::quarnel;
        ReadError error =
            quarnel_allowed ? parse_line(content, line, column) : ReadError::bad_address;
        // A short line of hexdump -C reads as one of quarnel's, but for its
        // bars around the characters.
        if (error == ReadError::none && !quarnel_dump &&
            content.size() == character_column + line.count + 2 &&
            content[character_column] == '|' && content.back() == '|') {
          error = ReadError::bad_shape;
        }
        // An address alone, as the first line of a dump, is xxd -p's bytes
        // too.
        if (error == ReadError::none && !quarnel_dump && line.count == 0 &&
            content.size() == address_digits && forced == DumpLayout::any) {
          if (content.find_first_of("abcdef") == std::string_view::npos) {
            return fail_settled(
                {ReadError::ambiguous, {DumpReading::quarnel, DumpReading::xxd_plain}, false}, 1);
          }
          error = ReadError::bad_address;
        }
        if (error != ReadError::none && quarnel_dump) {
          return fail(misplaced(content, error, column), column);
        }
        if (error != ReadError::none) {
          // Not quarnel's: the layout of a new dump, from its first line.
          // Only a whole first line tells: one cut short may look like a
          // line of another layout.
          ReadError refused = ReadError::none;
          const DumpLayout layout =
              forced != DumpLayout::any ? forced : detect_layout(content, refused);
          if (layout == DumpLayout::any) {
            const ReadError why = refused != ReadError::none ? refused
                                  : column > 1               ? error
                                                             : ReadError::unknown_layout;
            return fail(misplaced(content, why, column), why == error ? column : 1);
          }
          if (!ended && forced == DumpLayout::any) {
            return fail(misplaced(content, ReadError::missing_line_end, column),
                        content.size() + 1);
          }
          if (layout == DumpLayout::xxd_plain && forced == DumpLayout::any &&
              digits_alone(content) && content.size() == 6) {
            return fail_settled(
                {ReadError::ambiguous, {DumpReading::od, DumpReading::xxd_plain}, false}, 1);
          }
          Shape shape;
          const std::uint8_t allowed =
              reading_ != DumpReading::any ? variants_of(reading_) : variants_of(DumpReading::any);
          if (const ReadError wrong = first_shape(layout, content, allowed, shape);
              wrong != ReadError::none) {
            return fail(wrong, 1);
          }
          start_other_dump(other_, shape);
          other_.over = false;
        }
      }
      if (!other_.over) {
        const OtherOutcome outcome = read_other_dump_line(other_, content, ended, mode_);
        // The lines before a bad one go out first, where their reading is
        // settled.
        if (outcome.settled.error != ReadError::none && has_held(other_) &&
            settle(other_, mode_, true).error == ReadError::none) {
          --line_;
          continue;
        }
        if (outcome.settled.error != ReadError::none) {
          return fail_settled(outcome.settled, misplaced(content, outcome.settled.error, column) ==
                                                       outcome.settled.error
                                                   ? outcome.column
                                                   : column);
        }
        if (outcome.again) {
          --line_;
          continue;
        }
        ++text_lines_;
        at += length;
        continue;
      }
      // A last line without its line end may have been cut: it must be
      // whole, its character column as long as its bytes, and an address
      // alone may be the start of any line. A line written by hand for a
      // patch has no character column and stands alone.
      const bool whole = line.count > 0 && content.size() == character_column + line.count;
      if (!ended && !whole && (mode_ == ReadMode::dumps || content.size() > character_column)) {
        return fail(ReadError::cut_short, content.size() + 1);
      }
    }
    const std::uint32_t next_address = last_address_ + 16;
    if (mode_ == ReadMode::lines) {
      // A line that runs past FFFFFFFF, or a dump that goes on past it; an
      // end line holds no byte and goes nowhere.
      if (line.address + std::uint64_t{line.count} > (std::uint64_t{1} << 32) ||
          (in_dump_ && next_address == 0 && line.address == 0 && line.count > 0)) {
        return fail(ReadError::wraps, 1);
      }
    } else if (in_dump_ && line.address != next_address) {
      return fail(ReadError::out_of_sequence, 1);
    } else if (started_ && !in_dump_ &&
               (line.address == next_address ||
                (last_count_ > 0 && line.address == last_address_ + last_count_))) {
      // A new dump starts at its own offset, never where the short line
      // before would have gone on: there a byte was lost or a line cut.
      return fail(ReadError::after_short, 1);
    }
    const bool joins =
        !running || (mode_ == ReadMode::dumps ? in_dump_ : line.address == step.address + used);
    if (!joins || out.size() - used < line.count) {
      --line_;
      step.stop = joins ? ReadStop::room : ReadStop::jump;
      step.line = line_ + 1;
      break;
    }
    if (!running) {
      running = true;
      step.address = line.address;
    }
    if (!started_) {
      started_ = true;
      first_address_ = line.address;
    }
    in_dump_ = line.count == 16;
    last_address_ = line.address;
    last_count_ = static_cast<std::uint8_t>(line.count);
    ++text_lines_;
    // A full line's copy of fixed size compiles to a move, not a call.
    if (line.count == 16) {
      std::memcpy(out.data() + used, line.bytes.data(), 16);
    } else {
      std::memcpy(out.data() + used, line.bytes.data(), line.count);
    }
    used += line.count;
    at += length;
  }
  step.taken = at;
  step.size = used;
  if (step.stop == ReadStop::text && at == text.size() && text_ends && text_lines_ == 0) {
    step.stop = ReadStop::error;
    step.error = ReadError::no_dump;
  }
  return step;
}

}  // namespace v1
}  // namespace quarnel
