#include "patch/read_diff.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>

namespace quarnel {
namespace {

constexpr std::size_t longest_diff_line = 4096;

// "-a,b" or "+a" of a hunk header: the first line and the count.
bool read_range(std::string_view& text, char sign, std::uint64_t& first, std::uint64_t& count) {
  if (text.empty() || text[0] != sign) {
    return false;
  }
  const char* end = text.data() + text.size();
  std::from_chars_result got = std::from_chars(text.data() + 1, end, first);
  count = 1;
  if (got.ec == std::errc() && got.ptr != end && *got.ptr == ',') {
    got = std::from_chars(got.ptr + 1, end, count);
  }
  text.remove_prefix(static_cast<std::size_t>(got.ptr - text.data()));
  return got.ec == std::errc();
}

// A side's reader takes a line of another layout's dump; its bytes go to
// the patch as bytes the file must hold (the old side) or bytes to write
// (the new side). span is where the first of them starts and the last
// ends, both 0 until one comes.
DiffStep feed_side(DumpReader& reader, std::string_view text, bool at_end, bool old_side,
                   DiffReader& diff, RecordSink& records, std::uint64_t number,
                   std::array<std::uint64_t, 2>& span) {
  static std::array<std::uint8_t, detail::max_line_bytes> room;
  DiffStep result;
  for (;;) {
    const ReadStep step = reader.read(text, room, at_end);
    text.remove_prefix(step.taken);
    const auto bytes = std::span<const std::uint8_t>(room).first(step.size);
    if (step.size > 0) {
      span[0] = span[1] == 0 ? step.address : span[0];
      span[1] = step.address + step.size;
      const bool written =
          old_side ? records.put({step.address, step.size, RecordKind::expect, diff.input, number},
                                 bytes)
                   : records.put({step.address, bytes.size()}, bytes);
      if (!written) {
        result.ok = false;
        result.write_failed = true;
        return result;
      }
    }
    if (step.stop == ReadStop::error) {
      result.ok = false;
      result.error = step.error;
      result.line = number;
      result.readings = step.readings;
      result.places_only = step.places_only;
      return result;
    }
    if (step.stop == ReadStop::text) {
      return result;
    }
  }
}

// The address of a quarnel line: eight hex digits, or more past FFFFFFFF,
// where the lines of a diff widen it. Takes the digits beyond eight off
// the line, for the line's reader; wide is whether there were any.
std::uint64_t high_address(std::string_view& line, bool& wide) {
  wide = false;
  if (line.size() > line_geometry::address_digits && line[line_geometry::address_digits] == ' ') {
    return 0;  // most lines: no digit past the eighth
  }
  std::size_t digits = 0;
  const auto hex_digit = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  };
  while (digits < line.size() && digits < 17 && hex_digit(line[digits])) {
    ++digits;
  }
  wide = digits > line_geometry::address_digits && digits <= 16 && line[0] != '0';
  if (!wide) {
    return 0;
  }
  const std::size_t extra = digits - line_geometry::address_digits;
  std::uint64_t high = 0;
  static_cast<void>(std::from_chars(line.data(), line.data() + extra, high, 16));
  line.remove_prefix(extra);
  return high << 32U;
}

// The hunks' first line that tells the dumps' layout, in what is read of
// the diff (rest, from the line at hand): quarnel's lines are read where the
// hunk header puts them, another layout's at their own addresses; a layout
// without addresses gives its bytes no place. False to wait for more text.
bool choose_layout(std::string_view rest, bool at_end, DiffReader& diff,
                   std::string_view& problem) {
  DumpLayout layout = reading_layout(diff.reading);
  bool addresses = true;  // od -A n has none
  while (layout == DumpLayout::any && !rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!line.empty() && (line[0] == ' ' || line[0] == '-' || line[0] == '+') &&
        !line.starts_with("--- ") && !line.starts_with("+++ ")) {
      std::string_view text = line.substr(1);
      bool wide = false;
      static_cast<void>(high_address(text, wide));
      layout = line_layout(text);
      addresses = !text.starts_with(' ');
    }
  }
  if (layout == DumpLayout::any && !at_end) {
    return false;
  }
  diff.layout_known = true;
  if (layout == DumpLayout::any) {
    problem = "no line of the diff's hunks tells the dumps' layout: name it with --from=LAYOUT";
  } else if (layout == DumpLayout::xxd_plain || layout == DumpLayout::xxd_c ||
             layout == DumpLayout::hex || layout == DumpLayout::cpp || layout == DumpLayout::rust ||
             !addresses) {
    problem = "the diff is of dumps without addresses: nothing says where their bytes go";
  } else if (layout != DumpLayout::quarnel) {
    // The sides' lines are read in the layout told, even those that alone
    // could be another's.
    diff.other_layout = true;
    diff.old_side = diff.reading != DumpReading::any ? DumpReader(ReadMode::lines, diff.reading)
                                                     : DumpReader(ReadMode::lines, layout);
    diff.new_side = diff.old_side;
  }
  return true;
}

// At the end of a hunk of another layout's lines: the lines each side
// held back go, and where the sides end apart the hunk reaches the end of
// both files (a line after it would stand at two addresses): the old file
// must end where the old side does, and the new one ends where the new side
// does.
DiffStep end_other_hunk(DiffReader& diff, RecordSink& records, std::uint64_t number) {
  DiffStep step;
  if (diff.old_fed) {
    step = feed_side(diff.old_side, {}, true, true, diff, records, number, diff.old_span);
  }
  if (step.ok && diff.new_fed) {
    step = feed_side(diff.new_side, {}, true, false, diff, records, number, diff.new_span);
  }
  // A side without a byte in the hunk ends where the other's start.
  const std::uint64_t old_end = diff.old_span[1] != 0 ? diff.old_span[1] : diff.new_span[0];
  const std::uint64_t new_end = diff.new_span[1] != 0 ? diff.new_span[1] : diff.old_span[0];
  if (step.ok && old_end != new_end &&
      (!records.put({old_end, 0, RecordKind::expect_length, diff.input, number}, {}) ||
       !records.put({new_end, 0, RecordKind::set_length, diff.input, number}, {}))) {
    step.ok = false;
    step.write_failed = true;
  }
  return step;
}

// "-a,b +c,d @@" of a hunk header: where the hunk stands in each file.
bool read_header(std::string_view rest, DiffReader& diff) {
  std::uint64_t old_first = 0;
  std::uint64_t new_first = 0;
  if (!read_range(rest, '-', old_first, diff.old_left) || !rest.starts_with(' ') ||
      (rest.remove_prefix(1), !read_range(rest, '+', new_first, diff.new_left)) ||
      !rest.starts_with(" @@") || (diff.old_left > 0 && old_first == 0) ||
      (diff.new_left > 0 && new_first == 0)) {
    return false;
  }
  // A side without lines stands after its line first: at the next one.
  diff.first_line = {diff.old_left == 0 ? old_first + 1 : old_first,
                     diff.new_left == 0 ? new_first + 1 : new_first};
  diff.lines = {diff.old_left, diff.new_left};
  diff.short_line = {};
  diff.placed = false;
  diff.in_hunk = diff.old_left + diff.new_left > 0;
  diff.hunks = true;
  diff.old_span = {};
  diff.new_span = {};
  return true;
}

// A hunk's line of another layout's dump, with a line end, to the readers
// of its sides; at the hunk's end, what they hold goes.
DiffStep read_other_line(std::string_view line, bool old_side, bool new_side, DiffReader& diff,
                         RecordSink& records, std::uint64_t number) {
  static std::array<char, longest_diff_line + 1> fed;
  const std::size_t size = line.size() - 1;
  std::copy(line.begin() + 1, line.end(), fed.begin());
  fed[size] = '\n';
  const std::string_view whole(fed.data(), size + 1);
  DiffStep step;
  for (const bool side_old : {true, false}) {
    if (side_old ? old_side : new_side) {
      (side_old ? diff.old_fed : diff.new_fed) = true;
      step = feed_side(side_old ? diff.old_side : diff.new_side, whole, false, side_old, diff,
                       records, number, side_old ? diff.old_span : diff.new_span);
      if (!step.ok) {
        return step;
      }
    }
  }
  const char mark = line[0];
  diff.old_left -= mark == ' ' || mark == '-' ? 1 : 0;
  diff.new_left -= mark == ' ' || mark == '+' ? 1 : 0;
  diff.in_hunk = diff.old_left + diff.new_left > 0;
  return diff.in_hunk ? step : end_other_hunk(diff, records, number);
}

// Where each side of the hunk starts: its first line is the header's,
// counted from the end of the last hunk in lines of 16 bytes; both sides
// have as many lines since.
bool place_hunk(DiffReader& diff) {
  constexpr std::uint64_t farthest = std::uint64_t{1} << 59U;
  const std::uint64_t old_lines = diff.first_line[0] - diff.base_line[0];
  const std::uint64_t new_lines = diff.first_line[1] - diff.base_line[1];
  if (diff.first_line[0] < diff.base_line[0] || diff.first_line[1] < diff.base_line[1] ||
      old_lines != new_lines || old_lines >= farthest) {
    return false;
  }
  for (std::size_t side = 0; side < 2; ++side) {
    diff.at[side] = diff.base_at[side] + old_lines * line_geometry::bytes_per_line;
  }
  diff.placed = true;
  return true;
}

// Before a line both files hold: where the bytes moved since the last
// move record, a new one says to where.
bool note_move(DiffReader& diff, RecordSink& records, std::uint64_t number) {
  const std::size_t old_side = diff.reverse ? 1 : 0;
  const std::uint64_t old_at = diff.at[old_side];
  const std::uint64_t new_at = diff.at[1 - old_side];
  if (new_at - old_at == diff.mapped[1] - diff.mapped[0]) {
    return true;
  }
  diff.mapped = {old_at, new_at};
  return records.put({old_at, 0, RecordKind::move, diff.input, number, new_at}, {});
}

// A step that stops the reading at a hunk's line: a dump line that does
// not read (error), or another problem.
DiffStep refused_line(std::uint64_t number, ReadError error, std::string_view problem) {
  DiffStep step;
  step.ok = false;
  step.error = error;
  step.problem = problem;
  step.line = number;
  return step;
}

// A line that stands for a block of bytes that moved, as quarnel-diff
// writes it: "ADDRESS  N bytes moved to OTHER, crc32 SUM" on the old side,
// "... moved from OTHER, crc32 SUM" on the new one, its address's low eight
// digits in front.
struct MoveLine {
  std::uint32_t address = 0;
  std::uint64_t size = 0;
  std::uint64_t other = 0;
  bool to = false;
  std::uint32_t sum = 0;
};

bool read_move_line(std::string_view text, MoveLine& move) {
  const auto hex_digits = [](std::string_view digits) {
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
  };
  constexpr std::size_t digits = line_geometry::address_digits;
  if (text.size() < digits + 2 || !hex_digits(text.substr(0, digits)) ||
      text.substr(digits, 2) != "  ") {
    return false;
  }
  static_cast<void>(std::from_chars(text.data(), text.data() + digits, move.address, 16));
  text.remove_prefix(digits + 2);
  const std::from_chars_result size =
      std::from_chars(text.data(), text.data() + text.size(), move.size);
  if (size.ec != std::errc() || text[0] == '0') {
    return false;
  }
  text.remove_prefix(static_cast<std::size_t>(size.ptr - text.data()));
  const std::string_view words = move.size == 1 ? " byte moved " : " bytes moved ";
  if (!text.starts_with(words)) {
    return false;
  }
  text.remove_prefix(words.size());
  move.to = text.starts_with("to ");
  if (!move.to && !text.starts_with("from ")) {
    return false;
  }
  text.remove_prefix(move.to ? 3 : 5);
  // The other address as a dump line writes it: eight digits or more, no
  // 0 in front of more.
  constexpr std::string_view sum_words = ", crc32 ";
  const std::size_t other_end = text.find(',');
  const std::string_view other = text.substr(0, other_end);
  if (other.size() < digits || other.size() > 16 || !hex_digits(other) ||
      (other.size() > digits && other[0] == '0')) {
    return false;
  }
  static_cast<void>(std::from_chars(other.data(), other.data() + other.size(), move.other, 16));
  text.remove_prefix(other.size());
  if (!text.starts_with(sum_words) || text.size() != sum_words.size() + 8 ||
      !hex_digits(text.substr(sum_words.size()))) {
    return false;
  }
  static_cast<void>(
      std::from_chars(text.data() + sum_words.size(), text.data() + text.size(), move.sum, 16));
  return true;
}

// At the end of a hunk of quarnel's lines: a side whose last line is short
// ends its dump there; the lines of the others run on after it.
bool end_quarnel_hunk(DiffReader& diff, RecordSink& records, std::uint64_t number) {
  const std::size_t old_side = diff.reverse ? 1 : 0;
  bool written = true;
  for (std::size_t side = 0; side < 2; ++side) {
    if (diff.short_line[side]) {
      const RecordKind kind = side == old_side ? RecordKind::expect_length : RecordKind::set_length;
      written = written && records.put({diff.at[side], 0, kind, diff.input, number}, {});
    }
    diff.base_at[side] = diff.at[side];
    diff.base_line[side] = diff.first_line[side] + diff.lines[side];
  }
  return written && (diff.short_line[0] || diff.short_line[1] || note_move(diff, records, number));
}

// Counts a hunk's line of a side off its header's count; at the hunk's
// end, where the dumps stand.
bool count_line(bool old_line, bool new_line, DiffReader& diff, RecordSink& records,
                std::uint64_t number) {
  diff.old_left -= old_line ? 1 : 0;
  diff.new_left -= new_line ? 1 : 0;
  diff.in_hunk = diff.old_left + diff.new_left > 0;
  return diff.in_hunk || end_quarnel_hunk(diff, records, number);
}

// A side's line for a block that moved. On the side that the file has
// (the old one, or the new one reversed), the block's bytes are passed
// over; on the other, they are the file's bytes from the other address.
DiffStep read_move(const MoveLine& move, std::uint64_t high, bool wide, std::size_t side,
                   DiffReader& diff, RecordSink& records, std::uint64_t number) {
  DiffStep step;
  const auto fail = [&](std::string_view problem) {
    return refused_line(number, ReadError::none, problem);
  };
  if (!diff.placed && !place_hunk(diff)) {
    return fail("the hunk is not where the hunks before it leave the dumps");
  }
  const std::uint64_t place = diff.at[side];
  if ((high | move.address) != place &&
      (wide || move.address != static_cast<std::uint32_t>(place))) {
    return fail("the line is not where its hunk header puts it");
  }
  if (move.to != (side == 0)) {
    return fail(R"(a block's line says "moved to" on the - side and "moved from" on the +)");
  }
  // The bytes the line stands for are the file's: where the line stands
  // on the file's side, where they move from on the other.
  const std::size_t file_old = diff.reverse ? 1 : 0;
  const std::uint64_t source = side == file_old ? place : move.other;
  const std::array<std::uint8_t, 4> sum{
      static_cast<std::uint8_t>(move.sum), static_cast<std::uint8_t>(move.sum >> 8),
      static_cast<std::uint8_t>(move.sum >> 16), static_cast<std::uint8_t>(move.sum >> 24)};
  bool written =
      records.put({source, sum.size(), RecordKind::expect_sum, diff.input, number, move.size}, sum);
  if (side != file_old) {
    diff.mapped = {move.other, place};
    written =
        written && records.put({move.other, 0, RecordKind::move, diff.input, number, place}, {});
  }
  diff.at[side] += move.size;
  diff.short_line[side] = false;
  if (!written || !count_line(side == 0, side == 1, diff, records, number)) {
    step.ok = false;
    step.write_failed = true;
  }
  return step;
}

// A hunk's line of a quarnel dump: each side's lines follow one another
// from where the header puts the first, and a context line shows the '-'
// side's address.
DiffStep read_quarnel_line(std::string_view line, bool old_side, bool new_side, DiffReader& diff,
                           RecordSink& records, std::uint64_t number) {
  DiffStep step;
  const auto fail = [&](ReadError error, std::string_view problem) {
    return refused_line(number, error, problem);
  };
  const char mark = line[0];
  const bool old_line = mark == ' ' || mark == '-';
  const bool new_line = mark == ' ' || mark == '+';
  std::string_view text = line.substr(1);
  bool wide = false;
  const std::uint64_t high = high_address(text, wide);
  if (MoveLine move; mark != ' ' && read_move_line(text, move)) {
    return read_move(move, high, wide, new_line ? 1 : 0, diff, records, number);
  }
  DumpLine dump;
  std::size_t column = 0;
  if (const ReadError error = read_dump_line(text, dump, column); error != ReadError::none) {
    return fail(error, {});
  }
  if (!diff.placed && !place_hunk(diff)) {
    return fail(ReadError::none, "the hunk is not where the hunks before it leave the dumps");
  }
  const std::size_t shown_side = old_line ? 0 : 1;
  const std::uint64_t place = diff.at[shown_side];
  // A quarnel dump's own address wraps past FFFFFFFF; a diff's widens.
  if ((high | dump.address) != place &&
      (wide || dump.address != static_cast<std::uint32_t>(place))) {
    return fail(ReadError::none, "the line is not where its hunk header puts it");
  }
  const auto bytes = std::span<const std::uint8_t>(dump.bytes).first(dump.count);
  const std::size_t file_old = diff.reverse ? 1 : 0;
  bool written = mark != ' ' || note_move(diff, records, number);
  if (old_side) {
    written =
        written &&
        records.put({diff.at[file_old], dump.count, RecordKind::expect, diff.input, number}, bytes);
  }
  if (new_side && mark != ' ') {
    written = written && records.put({diff.at[1 - file_old], bytes.size()}, bytes);
  }
  const bool short_line = dump.count < line_geometry::bytes_per_line;
  for (const std::size_t side : {std::size_t{0}, std::size_t{1}}) {
    if (side == 0 ? old_line : new_line) {
      diff.at[side] += dump.count;
      diff.short_line[side] = short_line;
    }
  }
  written = written && count_line(old_line, new_line, diff, records, number);
  if (!written) {
    step.ok = false;
    step.write_failed = true;
  }
  return step;
}

}  // namespace

bool looks_like_diff(std::string_view text) {
  return text.starts_with("--- ") || text.starts_with("diff ") || text.starts_with("@@ ") ||
         text.starts_with("Index: ");
}

DiffStep read_diff(std::string_view& text, bool at_end, DiffReader& diff, RecordSink& records,
                   std::uint64_t& number) {
  DiffStep step;
  const auto fail = [&](std::string_view problem) {
    step.ok = false;
    step.problem = problem;
    step.line = number;
    return step;
  };
  while (!text.empty()) {
    const std::size_t newline = text.substr(0, longest_diff_line + 2).find('\n');
    if (newline == std::string_view::npos && text.size() <= longest_diff_line && !at_end) {
      break;
    }
    std::string_view line = text.substr(0, newline);
    const std::string_view whole_line = text;
    text.remove_prefix(newline == std::string_view::npos ? line.size() : newline + 1);
    ++number;
    if (line.size() > longest_diff_line) {
      return fail("the line is longer than a diff of dumps holds");
    }
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!diff.in_hunk) {
      if (line.starts_with("@@ ")) {
        if (!read_header(line.substr(3), diff)) {
          return fail("the hunk header is not \"@@ -LINE,COUNT +LINE,COUNT @@\"");
        }
      } else if (line.starts_with("--- ") && ++diff.files > 1) {
        return fail("the diff changes more than one file: give it one file's part");
      }
      // Headers, and text around the diff, as patch passes them over.
      continue;
    }
    if (line.starts_with('\\')) {
      continue;  // "\ No newline at end of file"
    }
    const char mark = line.empty() ? '?' : line[0];
    const bool old_side = mark == ' ' || mark == (diff.reverse ? '+' : '-');
    const bool new_side = mark == ' ' || mark == (diff.reverse ? '-' : '+');
    if (!old_side && !new_side) {
      return fail("a line of a hunk starts with neither a blank, - nor +");
    }
    const bool old_line = mark == ' ' || mark == '-';
    const bool new_line = mark == ' ' || mark == '+';
    if ((old_line && diff.old_left == 0) || (new_line && diff.new_left == 0)) {
      return fail("the hunk holds more lines than its header says");
    }
    if (!diff.layout_known) {
      std::string_view problem;
      if (!choose_layout(whole_line, at_end, diff, problem)) {
        text = whole_line;  // read it again with more of the diff
        --number;
        break;
      }
      if (!problem.empty()) {
        return fail(problem);
      }
    }
    if (diff.other_layout) {
      if (step = read_other_line(line, old_side, new_side, diff, records, number); !step.ok) {
        return step;
      }
      continue;
    }
    if (step = read_quarnel_line(line, old_side, new_side, diff, records, number); !step.ok) {
      return step;
    }
  }
  if (at_end && text.empty() && (diff.in_hunk || !diff.hunks)) {
    return fail(diff.in_hunk ? "the diff ends inside a hunk" : "the diff holds no hunk");
  }
  return step;
}

}  // namespace quarnel
