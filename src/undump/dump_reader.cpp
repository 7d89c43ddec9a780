// Reads dump text back into runs of bytes, a step at a time: the line loop
// behind read_dump and the unquarnel program.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "quarnel/undump.h"
#include "undump/layouts.h"
#include "undump/line_parse.h"

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

}  // namespace

std::string_view message(ReadError error) noexcept {
  switch (error) {
    case ReadError::none:
      break;
    case ReadError::no_room:
      return "the bytes do not fit in the space given for them";
    case ReadError::no_dump:
      return "no dump in it";
    case ReadError::bad_address:
      return "the address is not 8 hex digits";
    case ReadError::missing_blanks:
      return "two blanks must follow the address";
    case ReadError::bad_hex_digit:
      return "a byte is not two hex digits";
    case ReadError::bad_separator:
      return "a byte is not followed by its separator (a blank; a dash after the eighth)";
    case ReadError::stray_character:
      return "a stray character stands in the hex columns";
    case ReadError::too_many_bytes:
      return "more than 16 bytes on a line";
    case ReadError::too_long:
      return "the line is longer than a dump line";
    case ReadError::lone_return:
      return "a carriage return without a line feed: lines must end in LF or CR LF";
    case ReadError::unmarked_utf16:
      return "the text looks like UTF-16 without a byte order mark: save it as UTF-8, or as "
             "UTF-16 with one";
    case ReadError::misplaced_mark:
      return "a byte order mark inside the text: only the start of a text may hold one";
    case ReadError::cut_short:
      return "the dump ends inside a line";
    case ReadError::out_of_sequence:
      return "the address is not 16 past the line before: a line is lost or doubled";
    case ReadError::after_short:
      return "the line before is short: a byte is lost, or a line was cut";
    case ReadError::wraps:
      return "the addresses wrap past FFFFFFFF: the bytes have no place in a file";
    case ReadError::unfinished:
      return "the dump ends after a full line: its last line is missing";
    case ReadError::unknown_layout:
      return "the text is no dump that unquarnel reads: quarnel's, xxd's (also -p, -i, -b), "
             "hexdump -C's or od -t x1's";
    case ReadError::word_layout:
      return "the dump shows words of 2 or more bytes, whose order was the writing machine's: "
             "dump with hexdump -C, od -t x1 or xxd";
    case ReadError::bad_shape:
      return "the line is not laid out as the dump's first line is (address, blanks, groups, "
             "character column)";
    case ReadError::bad_bits:
      return "a byte is not 8 binary digits";
    case ReadError::wrong_width:
      return "the line holds more bytes than the dump's first, or follows a short line";
    case ReadError::bad_squeeze:
      return "a * line must follow a full line and come before an address a whole number of "
             "lines further on";
    case ReadError::bad_c_array:
      return "the line is no part of an xxd -i array";
    case ReadError::wrong_length:
      return "the array's _len is not the number of its bytes";
  }
  return "";
}

void DumpReader::next_text() noexcept {
  at_start_ = true;
  utf16_ = false;
  line_ = 0;
  text_lines_ = 0;
}

ReadStep DumpReader::finish() const noexcept {
  ReadStep step;
  const bool closing_due =
      shape_.lines > 0 && (shape_.layout == DumpLayout::hexdump ||
                           (shape_.layout == DumpLayout::od && shape_.radix != 0));
  const bool array_open = shape_.layout == DumpLayout::xxd_c &&
                          (shape_.c_part == 3 || (shape_.opened && shape_.c_part != 0));
  const ReadError error = squeezed_ || repeats_ > 0 ? ReadError::bad_squeeze
                          : mode_ == ReadMode::dumps && (in_dump_ || closing_due || array_open)
                              ? ReadError::unfinished
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
    return true;
  };
  while (at < text.size() || repeats_ > 0) {
    // The copies of the line a * line stands for.
    if (repeats_ > 0) {
      if (!take(next_, last_size_)) {
        break;
      }
      std::memcpy(out.data() + used, last_bytes_.data(), last_size_);
      used += last_size_;
      next_ += last_size_;
      --repeats_;
      continue;
    }
    const std::string_view rest = text.substr(at);
    const bool other_dump = shape_.layout != DumpLayout::any;
    const bool quarnel_dump = in_dump_ || forced_ == DumpLayout::quarnel;
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
          (forced_ == DumpLayout::any || forced_ == DumpLayout::quarnel) &&
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
        ReadError error = parse_line(content, line, column);
        // A short line of hexdump -C reads as one of quarnel's, but for its
        // bars around the characters.
        if (error == ReadError::none && !quarnel_dump &&
            content.size() == character_column + line.count + 2 &&
            content[character_column] == '|' && content.back() == '|') {
          error = ReadError::bad_shape;
        }
        if (error != ReadError::none && quarnel_dump) {
          return fail(misplaced(content, error, column), column);
        }
        if (error != ReadError::none) {
          // Not quarnel's: the layout of a new dump, from its first line.
          // Only a whole first line tells: one cut short may look like a
          // line of another layout.
          ReadError refused = ReadError::none;
          const DumpLayout layout = forced_ != DumpLayout::any ? forced_
                                    : ended                    ? detect_layout(content, refused)
                                                               : DumpLayout::any;
          if (layout == DumpLayout::any) {
            const ReadError why = refused != ReadError::none ? refused
                                  : column > 1               ? error
                                                             : ReadError::unknown_layout;
            return fail(misplaced(content, why, column), why == error ? column : 1);
          }
          shape_ = detail::LayoutShape{};
          shape_.layout = layout;
          shape_.bits = layout == DumpLayout::xxd && xxd_bits(content);
          if (layout == DumpLayout::od) {
            const std::size_t digits = content.find(' ');
            shape_.radix = content.starts_with(' ') ? 0 : digits == 6 ? 16 : 8;
            shape_.radix_known = shape_.radix != 8;
          }
          squeezed_ = false;
          array_bytes_ = 0;
          next_ = 0;
        }
      }
      if (shape_.layout != DumpLayout::any) {
        // A line of another layout.
        const detail::LayoutShape before = shape_;
        OtherLine other;
        const std::span<unsigned char> bytes(line_bytes_);
        ReadError error = ReadError::none;
        switch (shape_.layout) {
          case DumpLayout::xxd:
            error = read_xxd_line(content, shape_, other, bytes, column);
            break;
          case DumpLayout::xxd_plain:
            error = read_plain_line(content, shape_, other, bytes, column);
            break;
          case DumpLayout::xxd_c:
            error = read_c_line(content, shape_, other, bytes, column);
            break;
          case DumpLayout::hexdump:
            error = read_hexdump_line(content, shape_, other, bytes, column);
            break;
          default:
            error = read_od_line(content, shape_, other, bytes, column);
            break;
        }
        if (error != ReadError::none) {
          return fail(misplaced(content, error, column), column);
        }
        ++text_lines_;
        // A * line stands for copies of the line before it, up to the next
        // address: they come first, then that line is read again.
        if (other.has_address && squeezed_) {
          const std::uint64_t gap = other.address - next_;
          if (other.address <= next_ || last_size_ != shape_.columns || gap % last_size_ != 0) {
            return fail(ReadError::bad_squeeze, 1);
          }
          repeats_ = gap / last_size_;
          squeezed_ = false;
          shape_ = before;
          --line_;
          --text_lines_;
          continue;
        }
        if (other.kind == LineKind::squeeze) {
          if (shape_.lines == 0 || squeezed_ || shape_.ended || shape_.radix == 0 ||
              !(shape_.layout == DumpLayout::xxd || shape_.layout == DumpLayout::hexdump ||
                shape_.layout == DumpLayout::od)) {
            return fail(ReadError::bad_squeeze, 1);
          }
          squeezed_ = true;
          at += length;
          continue;
        }
        if (other.has_address && mode_ == ReadMode::dumps && shape_.lines > 0 &&
            other.address != next_) {
          return fail(ReadError::out_of_sequence, 1);
        }
        if (other.kind != LineKind::bytes) {
          if (other.has_length && other.length != array_bytes_) {
            return fail(ReadError::wrong_length, 1);
          }
          // A closing line, or an array's length, ends the dump.
          if (other.kind == LineKind::closing || other.has_length) {
            shape_ = detail::LayoutShape{};
          }
          at += length;
          continue;
        }
        if (before.ended) {
          return fail(ReadError::wrong_width, 1);  // a short line was not the last
        }
        if (!ended && shape_.layout == DumpLayout::xxd &&
            content.size() != content.find(": ") + 2 + shape_.width + other.count) {
          return fail(ReadError::cut_short, content.size() + 1);
        }
        const std::uint64_t address = other.has_address ? other.address : next_;
        if (!take(address, other.count)) {
          shape_ = before;
          --line_;
          --text_lines_;
          step.line = line_ + 1;
          break;
        }
        if (!started_) {
          started_ = true;
          first_address_ = address;
        }
        std::memcpy(out.data() + used, line_bytes_.data(), other.count);
        std::memcpy(last_bytes_.data(), line_bytes_.data(), other.count);
        last_size_ = static_cast<std::uint16_t>(other.count);
        used += other.count;
        next_ = address + other.count;
        array_bytes_ += other.count;
        ++shape_.lines;
        shape_.ended = other.count < shape_.columns;
        // xxd writes no closing line: its short line ends the dump.
        if (shape_.ended && shape_.layout == DumpLayout::xxd) {
          shape_ = detail::LayoutShape{};
        }
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
