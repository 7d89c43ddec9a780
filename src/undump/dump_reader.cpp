// undump/: reading dumps back: the line loop, the text's encoding, the
// contest between readings, the line parsers.
// Reads dump text back into runs of bytes, a step at a time: the line loop
// behind read_dump and the unquarnel program. A text is split into lines
// (after its byte order mark, from UTF-16 if it is that); each dump's first
// line chooses how the dump is read; quarnel's lines are read here, the
// other layouts' through the readings their first lines leave open
// (reading_contest.h), whose held lines and * copies go out as they fall due.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "layouts/layout_names.h"
#include "layouts/line_reading.h"
#include "quarnel/undump.h"
#include "undump/line_parse.h"
#include "undump/reading_contest.h"
#include "undump/text_decode.h"

namespace quarnel {
inline namespace v1 {
namespace {

using line_geometry::bytes_per_line;

// A line end of either kind follows a full line here.
constexpr std::size_t full_line_end = line_text;

// Where a character that has no place in a line stands in it, if anywhere:
// a carriage return alone, or a byte order mark, which each have their own
// message.
ReadError misplaced(std::string_view content, ReadError error, std::size_t& column) {
  const std::string_view start = content.substr(0, line_text + 1);
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

// Whether a line is one of quarnel's after a name and ":" or "-", as
// quarnel-grep writes the lines of several inputs.
bool named_line(std::string_view content) {
  content = content.substr(0, content.find('\n'));
  if (content.ends_with('\r')) {
    content.remove_suffix(1);
  }
  for (std::size_t at = content.find_first_of(":-"); at != std::string_view::npos;
       at = content.find_first_of(":-", at + 1)) {
    DumpLine line;
    std::size_t column = 0;
    if (at > 0 && parse_line(content.substr(at + 1), line, column) == ReadError::none) {
      return true;
    }
  }
  return false;
}

bool all_digits(std::string_view line) {
  return !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
    return digit_values[static_cast<unsigned char>(c)] != 0xFF;
  });
}

// The bytes of a step: they go on from one address, into out.
struct StepBytes {
  ReadStep& step;
  WritableBytes out;
  std::size_t used = 0;
  bool running = false;  // a line of this step has been taken

  // Whether bytes at address go on from this step's, and fit; the step
  // stops where they do not.
  bool take(std::uint64_t address, std::size_t count, bool joins) {
    joins = joins && (!running || step.address + used == address);
    if (!joins || out.size() - used < count) {
      step.stop = joins ? ReadStop::room : ReadStop::jump;
      return false;
    }
    if (!running) {
      running = true;
      step.address = address;
    }
    return true;
  }
  void put(const void* bytes, std::size_t count) {
    std::memcpy(out.data() + used, bytes, count);
    used += count;
  }
};

// What became of a line that is not a full line of quarnel's.
struct LineRead {
  Settled settled;
  bool again = false;    // what fell due goes first: read the line anew after it
  bool quarnel = false;  // a line of quarnel's, in the DumpLine
};

// One line of a text, split off its front.
struct SplitLine {
  std::string_view content;  // without its line end
  std::size_t length = 0;    // characters of text it takes, its line end included
  bool ended = true;         // by a line feed
  bool fast = false;         // a full line of quarnel's, read already
  bool more = false;         // the rest of the line comes with the next piece
};

}  // namespace

// The pieces of DumpReader::read.
struct ReaderSteps {
  static ReadStep fail(DumpReader& reader, ReadStep& step, const StepBytes& bytes, std::size_t at,
                       ReadError error, std::size_t column) {
    step.stop = ReadStop::error;
    step.error = error;
    step.line = reader.line_;
    step.column = column;
    step.taken = at;
    step.size = bytes.used;
    return step;
  }

  // Passes over a byte order mark at the start of a text, or sees that it
  // is UTF-16; false when the text is too short to tell yet.
  static bool start_text(DumpReader& reader, std::string_view text, bool text_ends, std::size_t& at,
                         ReadError& error) {
    TextStart start;
    if (!read_text_start(text, text_ends, start)) {
      return false;
    }
    reader.at_start_ = false;
    at = start.skip;
    reader.utf16_ = start.utf16;
    reader.big_endian_ = start.big_endian;
    if (start.unmarked_utf16) {
      reader.line_ = 1;
      error = ReadError::unmarked_utf16;
    }
    return true;
  }

  // What another layout's lines have made due: held lines whose reading is
  // settled, then the copies a * line stands for. False when the step must
  // stop, with error where it is one.
  static bool emit_due(DumpReader& reader, StepBytes& bytes, bool text_done, Settled& settled) {
    OtherDump& other = reader.other_;
    if ((has_held(other) || other.repeats_open) && !can_release(other, reader.mode_) && text_done) {
      settled = settle(other, reader.mode_, true);
      if (settled.error != ReadError::none) {
        return false;
      }
    }
    std::array<unsigned char, detail::max_line_bytes> scratch;
    for (;;) {
      // A * line's copies go between the lines held before and after it.
      if (copies_due(other)) {
        const std::span<const unsigned char> copy = take_copies(other, scratch);
        if (copy.empty()) {
          return true;
        }
        for (; other.repeats > 0; --other.repeats) {
          if (!bytes.take(other.repeat_at, copy.size(), true)) {
            return false;
          }
          started(reader, other.repeat_at);
          bytes.put(copy.data(), copy.size());
          other.repeat_at += copy.size();
        }
        continue;
      }
      if (!has_held(other) || !can_release(other, reader.mode_)) {
        return true;
      }
      const HeldLine held = next_held(other, scratch);
      if (!bytes.take(held.address, held.bytes.size(), true)) {
        return false;
      }
      started(reader, held.address);
      bytes.put(held.bytes.data(), held.bytes.size());
      release_held(other);
    }
  }

  static void started(DumpReader& reader, std::uint64_t address) {
    if (!reader.started_) {
      reader.started_ = true;
      reader.first_address_ = address;
    }
  }

  // Splits the next line off rest: a full line of quarnel's straight into
  // line, as most lines are, anything else as text.
  static SplitLine split_line(DumpReader& reader, std::string_view rest, bool text_ends,
                              bool quarnel_allowed, DumpLine& line) {
    static const FullLineParser parse_full = fastest_full_line_parser();
    const bool quarnel_dump = reader.in_dump_ || reader.forced() == DumpLayout::quarnel;
    const std::size_t limit = (quarnel_dump ? line_text : longest_dump_line) + 2;
    SplitLine split;
    if (reader.utf16_) {
      const Utf16Line line16 =
          split_utf16_line(rest, reader.big_endian_, text_ends, limit, reader.decoded_);
      return {.content = line16.content,
              .length = line16.length,
              .ended = line16.ended,
              .more = line16.more};
    }
    const std::size_t end_size = rest.size() > full_line_end && rest[full_line_end] == '\n' ? 1
                                 : rest.size() > full_line_end + 1 && rest[full_line_end] == '\r' &&
                                         rest[full_line_end + 1] == '\n'
                                     ? 2
                                     : 0;
    if (end_size > 0 && reader.other_.over && quarnel_allowed && parse_full(rest.data(), line)) {
      split.fast = true;
      split.length = full_line_end + end_size;
      return split;
    }
    const std::size_t newline = rest.substr(0, limit).find('\n');
    if (newline == std::string_view::npos && rest.size() < limit && !text_ends) {
      split.more = true;
      return split;
    }
    split.content = rest.substr(0, newline);
    split.ended = newline != std::string_view::npos;
    split.length = split.ended ? newline + 1 : split.content.size();
    split.content = fold_latin1(split.content, reader.decoded_);
    return split;
  }

  // The first line of a dump, when it is not quarnel's: its layout, and the
  // readings it leaves open; an error when the text cannot tell.
  static Settled start_other(DumpReader& reader, std::string_view content, bool ended,
                             ReadError quarnel_error, std::size_t& column) {
    const DumpLayout forced = reader.forced();
    ReadError refused = ReadError::none;
    const DumpLayout layout = forced != DumpLayout::any ? forced : detect_layout(content, refused);
    if (layout == DumpLayout::any) {
      const ReadError why = refused != ReadError::none ? refused
                            : column > 1               ? quarnel_error
                                                       : ReadError::unknown_layout;
      column = why == quarnel_error ? column : 1;
      return {misplaced(content, why, column)};
    }
    // Only a whole first line tells: one cut short may look like a line of
    // another layout.
    if (!ended && forced == DumpLayout::any) {
      column = content.size() + 1;
      return {misplaced(content, ReadError::missing_line_end, column)};
    }
    column = 1;
    // Six digits alone are an empty file's od -A x, or xxd -p's bytes.
    if (layout == DumpLayout::xxd_plain && forced == DumpLayout::any && content.size() == 6 &&
        all_digits(content)) {
      return {ReadError::ambiguous, {DumpReading::od, DumpReading::xxd_plain}};
    }
    Shape shape;
    const std::uint8_t allowed = variants_of(reader.reading_);
    if (const ReadError wrong = first_shape(layout, content, allowed, shape);
        wrong != ReadError::none) {
      return {wrong};
    }
    start_other_dump(reader.other_, shape);
    reader.other_.over = false;
    reader.after_quarnel_ = false;
    return {};
  }

  // Reads a line that is not a full line of quarnel's: quarnel's, unless a
  // dump of another layout goes on or starts with it.
  static LineRead read_line(DumpReader& reader, std::string_view content, bool ended,
                            DumpLine& line, std::size_t& column) {
    const DumpLayout forced = reader.forced();
    const bool quarnel_dump = reader.in_dump_ || forced == DumpLayout::quarnel;
    if (reader.other_.over) {
      const bool quarnel_allowed = forced == DumpLayout::any || forced == DumpLayout::quarnel;
      ReadError error =
          quarnel_allowed ? parse_line(content, line, column) : ReadError::bad_address;
      // A short line of hexdump -C reads as one of quarnel's, but for its
      // bars around the characters.
      if (error == ReadError::none && !quarnel_dump &&
          content.size() == char_column + line.count + 2 && content[char_column] == '|' &&
          content.back() == '|') {
        error = ReadError::bad_shape;
      }
      // An address alone, as the first line of a dump, is xxd -p's bytes
      // too, unless its digits are in lower case, as quarnel never writes.
      if (error == ReadError::none && !quarnel_dump && line.count == 0 &&
          content.size() == address_digits && forced == DumpLayout::any) {
        if (content.find_first_of("abcdef") == std::string_view::npos) {
          column = 1;
          return {{ReadError::ambiguous, {DumpReading::quarnel, DumpReading::xxd_plain}}};
        }
        error = ReadError::bad_address;
      }
      if (error != ReadError::none && quarnel_dump) {
        return {{misplaced(content, error, column)}};
      }
      if (error == ReadError::none) {
        return {{}, false, true};
      }
      if (const Settled started = start_other(reader, content, ended, error, column);
          started.error != ReadError::none) {
        return {started};
      }
    }
    const OtherOutcome outcome = read_other_dump_line(reader.other_, content, ended, reader.mode_);
    column = outcome.column;
    if (outcome.settled.error == ReadError::none) {
      return {{}, outcome.again};
    }
    // The lines before a bad one go out first, where their reading is
    // settled: the line is read again after them.
    if (has_held(reader.other_) &&
        settle(reader.other_, reader.mode_, true).error == ReadError::none) {
      return {{}, true};
    }
    Settled settled = outcome.settled;
    std::size_t where = column;
    if (misplaced(content, settled.error, where) != settled.error) {
      settled.error = misplaced(content, settled.error, column);
    }
    return {settled};
  }

  // A full line of xxd's or hexdump -C's, read by a vector reader straight
  // to the step; false to read it the long way.
  static bool take_vector_line(DumpReader& reader, std::string_view rest, StepBytes& bytes,
                               std::size_t& length) {
    static const std::array<FullLineParser, full_layouts> parsers = [] {
      std::array<FullLineParser, full_layouts> fastest{};
      for (std::size_t layout = 0; layout < full_layouts; ++layout) {
        fastest[layout] = fastest_full_line_parser(static_cast<FullLayout>(layout));
      }
      return fastest;
    }();
    OtherDump& other = reader.other_;
    FullLayout layout = FullLayout::quarnel;
    std::uint64_t address = 0;
    std::uint64_t next = next_address(other);
    DumpLine line;
    std::size_t lines = 0;
    // The readers look at 64 characters, wherever the line ends. The lines
    // go on while each is full and where the last one ended.
    length = 0;
    while (rest.size() - length >= 64 &&
           full_lines_read_fast(other, rest.substr(length), layout, address)) {
      const std::size_t size = full_line_size(layout);
      const char* text = rest.data() + length;
      const std::size_t end_size =
          rest.size() - length > size && text[size] == '\n'                                 ? 1
          : rest.size() - length > size + 1 && text[size] == '\r' && text[size + 1] == '\n' ? 2
                                                                                            : 0;
      const bool own_address = layout == FullLayout::xxd || layout == FullLayout::hexdump;
      if (end_size == 0 || bytes.out.size() - bytes.used < bytes_per_line ||
          (bytes.running && bytes.step.address + bytes.used != next) ||
          !parsers[static_cast<std::size_t>(layout)](text, line) ||
          (own_address ? line.address : address) != next) {
        break;
      }
      static_cast<void>(bytes.take(next, bytes_per_line, true));
      started(reader, next);
      bytes.put(line.bytes.data(), bytes_per_line);
      next += bytes_per_line;
      ++lines;
      length += size + end_size;
      if (own_address) {
        // Nothing but the line's bytes changes what decides the next.
        while (rest.size() - length >= 64 && bytes.out.size() - bytes.used >= bytes_per_line) {
          text = rest.data() + length;
          if (!(rest.size() - length > size && text[size] == '\n') ||
              !parsers[static_cast<std::size_t>(layout)](text, line) || line.address != next) {
            break;
          }
          bytes.put(line.bytes.data(), bytes_per_line);
          next += bytes_per_line;
          ++lines;
          length += size + 1;
        }
      }
      // The bytes a * line repeats are those of the last line taken, as it
      // stands in the step: a line the readers failed on may have left
      // anything in theirs.
      took_full_lines(
          other, std::span(bytes.out.data() + bytes.used - bytes_per_line, bytes_per_line), lines);
      reader.text_lines_ += lines;
      reader.line_ += lines;
      lines = 0;
    }
    return length > 0;
  }

  // A full line of another layout's dump whose reading is settled, its
  // bytes straight to the step; false to read it the long way.
  static bool take_full_other_line(DumpReader& reader, const SplitLine& split, StepBytes& bytes) {
    std::string_view content = split.content;
    if (content.ends_with('\r')) {
      content.remove_suffix(1);
    }
    OtherDump& other = reader.other_;
    const std::uint64_t address = next_address(other);
    const std::size_t count = other.shape.columns;
    if (count == 0 || bytes.out.size() - bytes.used < count ||
        (bytes.running && bytes.step.address + bytes.used != address) ||
        !read_full_other_line(other, content)) {
      return false;
    }
    static_cast<void>(bytes.take(address, count, true));
    started(reader, address);
    bytes.put(other.line_bytes.data(), count);
    ++reader.text_lines_;
    return true;
  }

  // A line that is not a full line of quarnel's, split off the text: an
  // empty line passes, a line of another layout is read, and one of
  // quarnel's is checked before its bytes are taken.
  static LineRead read_split_line(DumpReader& reader, const SplitLine& split, DumpLine& line,
                                  std::size_t& column) {
    std::string_view content = split.content;
    column = (reader.in_dump_ || reader.forced() == DumpLayout::quarnel ? line_text
                                                                        : longest_dump_line) +
             2;
    if (!split.ended && content.size() > column - 1) {
      return {{misplaced(content, named_line(content) ? ReadError::named_line : ReadError::too_long,
                         column)}};
    }
    if (content.ends_with('\r')) {
      content.remove_suffix(1);
    }
    if (content.empty()) {
      return {};
    }
    // grep's -- between groups: in a patch, where each line has its own
    // address, a gap; anywhere else the bytes around it would join.
    if (content == "--") {
      if (reader.mode_ == ReadMode::dumps) {
        column = 1;
        return {{ReadError::group_separator}};
      }
      reader.in_dump_ = false;
      return {};
    }
    LineRead read = read_line(reader, content, split.ended, line, column);
    if (read.settled.error != ReadError::none && read.settled.error != ReadError::ambiguous &&
        named_line(content)) {
      column = 1;
      return {{ReadError::named_line}};
    }
    if (read.settled.error != ReadError::none || read.again || !read.quarnel) {
      reader.text_lines_ += read.settled.error == ReadError::none && !read.again ? 1 : 0;
      return read;
    }
    // A last line without its line end may have been cut: it must be
    // whole, its character column as long as its bytes, and an address
    // alone may be the start of any line. A line written by hand for a
    // patch has no character column and stands alone.
    const bool whole = line.count > 0 && content.size() == char_column + line.count;
    if (!split.ended && !whole &&
        (reader.mode_ == ReadMode::dumps || content.size() > char_column)) {
      column = content.size() + 1;
      return {{ReadError::cut_short}};
    }
    return read;
  }

  // The full lines of quarnel's that follow a full one, in a run: the
  // characters they take. Any other line, or one that wraps past FFFFFFFF,
  // is left to the line loop.
  static std::size_t take_quarnel_run(DumpReader& reader, std::string_view rest, StepBytes& bytes) {
    static const FullLineParser parse_full = fastest_full_line_parser();
    std::size_t length = 0;
    DumpLine line;
    while (reader.in_dump_ && rest.size() - length > full_line_end + 1 &&
           bytes.out.size() - bytes.used >= bytes_per_line) {
      const char* text = rest.data() + length;
      const std::size_t end = text[full_line_end] == '\n'                                      ? 1
                              : text[full_line_end] == '\r' && text[full_line_end + 1] == '\n' ? 2
                                                                                               : 0;
      const std::uint32_t next = reader.last_address_ + bytes_per_line;
      if (end == 0 || next == 0 || !parse_full(text, line) || line.address != next ||
          (reader.mode_ == ReadMode::lines && bytes.step.address + bytes.used != next)) {
        break;
      }
      bytes.put(line.bytes.data(), bytes_per_line);
      reader.last_address_ = next;
      ++reader.text_lines_;
      ++reader.line_;
      length += full_line_end + end;
    }
    return length;
  }

  // Checks a line of quarnel's against the one before it and takes its
  // bytes; false when the step stops before it, or at an error.
  static bool take_quarnel_line(DumpReader& reader, const DumpLine& line, StepBytes& bytes,
                                ReadError& error) {
    const std::uint32_t next_address = reader.last_address_ + bytes_per_line;
    if (reader.mode_ == ReadMode::lines) {
      // A line that runs past FFFFFFFF, or a dump that goes on past it; an
      // end line holds no byte and goes nowhere.
      if (line.address + std::uint64_t{line.count} > (std::uint64_t{1} << 32) ||
          (reader.in_dump_ && next_address == 0 && line.address == 0 && line.count > 0)) {
        error = ReadError::wraps;
        return false;
      }
    } else if (reader.in_dump_ && line.address != next_address) {
      error = ReadError::out_of_sequence;
      return false;
    } else if (reader.after_quarnel_ && !reader.in_dump_ &&
               (line.address == next_address ||
                (reader.last_count_ > 0 &&
                 line.address == reader.last_address_ + reader.last_count_))) {
      // A new dump starts at its own offset, never where the short line
      // before would have gone on: there a byte was lost or a line cut.
      error = ReadError::after_short;
      return false;
    }
    // In dumps, a line's bytes follow the step's whatever its address.
    const bool joins = reader.mode_ == ReadMode::lines || !bytes.running || reader.in_dump_;
    if (!bytes.take(reader.mode_ == ReadMode::lines || !bytes.running
                        ? line.address
                        : bytes.step.address + bytes.used,
                    line.count, joins)) {
      return false;
    }
    started(reader, line.address);
    reader.after_quarnel_ = true;
    reader.in_dump_ = line.count == bytes_per_line;
    reader.last_address_ = line.address;
    reader.last_count_ = static_cast<std::uint8_t>(line.count);
    ++reader.text_lines_;
    // A full line's copy of fixed size compiles to a move, not a call.
    if (line.count == bytes_per_line) {
      bytes.put(line.bytes.data(), bytes_per_line);
    } else {
      bytes.put(line.bytes.data(), line.count);
    }
    return true;
  }
};

DumpLayout DumpReader::forced() const noexcept { return forced_; }

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
  const bool array = shape.layout == DumpLayout::xxd_c || shape.layout == DumpLayout::cpp ||
                     shape.layout == DumpLayout::rust;
  const bool array_open =
      open && array &&
      (shape.c_part == array_closed || (shape.opened && shape.c_part != array_before));
  const ReadError error =
      other_.squeezed || other_.repeats > 0 || other_.repeats_open ? ReadError::bad_squeeze
      : mode_ == ReadMode::dumps && closing_due && shape.ended     ? ReadError::no_closing_line
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
  ReadStep step;
  StepBytes bytes{step, out};
  std::size_t at = 0;  // characters of text read
  const auto fail = [&](ReadError error, std::size_t column) {
    return ReaderSteps::fail(*this, step, bytes, at, error, column);
  };
  const auto fail_settled = [&](const Settled& settled, std::size_t column) {
    step.readings = settled.readings;
    step.places_only = settled.places_only;
    return fail(settled.error, column);
  };
  ReadError error = ReadError::none;
  // The layout a reading names, found once.
  if (reading_ != DumpReading::any && forced_ == DumpLayout::any) {
    forced_ = reading_layout(reading_);
  }
  if (at_start_ && !ReaderSteps::start_text(*this, text, text_ends, at, error)) {
    return step;
  }
  if (error != ReadError::none) {
    return fail(error, 1);
  }
  const bool quarnel_allowed = forced() == DumpLayout::any || forced() == DumpLayout::quarnel;
  DumpLine line;
  for (;;) {
    Settled settled;
    if ((has_held(other_) || other_.repeats > 0 || other_.repeats_open) &&
        !ReaderSteps::emit_due(*this, bytes, at == text.size() && text_ends, settled)) {
      if (settled.error != ReadError::none) {
        return fail_settled(settled, 1);
      }
      break;
    }
    if (at == text.size()) {
      break;
    }
    std::size_t length = 0;
    if (!other_.over && !utf16_ &&
        ReaderSteps::take_vector_line(*this, text.substr(at), bytes, length)) {
      at += length;
      continue;
    }
    const SplitLine split =
        ReaderSteps::split_line(*this, text.substr(at), text_ends, quarnel_allowed, line);
    if (split.more) {
      break;
    }
    ++line_;
    if (!other_.over && split.ended && !utf16_ &&
        ReaderSteps::take_full_other_line(*this, split, bytes)) {
      at += split.length;
      continue;
    }
    if (!split.fast) {
      std::size_t column = 0;
      const LineRead read = ReaderSteps::read_split_line(*this, split, line, column);
      if (read.settled.error != ReadError::none) {
        return fail_settled(read.settled, column);
      }
      if (read.again) {
        --line_;
        continue;
      }
      if (!read.quarnel) {
        at += split.length;
        continue;
      }
    }
    if (!ReaderSteps::take_quarnel_line(*this, line, bytes, error)) {
      if (error != ReadError::none) {
        return fail(error, 1);
      }
      --line_;
      step.line = line_ + 1;
      break;
    }
    at += split.length;
    at += ReaderSteps::take_quarnel_run(*this, text.substr(at), bytes);
  }
  step.taken = at;
  step.size = bytes.used;
  if (step.stop == ReadStop::text && at == text.size() && text_ends && text_lines_ == 0) {
    step.stop = ReadStop::error;
    step.error = ReadError::no_dump;
  }
  return step;
}

}  // namespace v1
}  // namespace quarnel
