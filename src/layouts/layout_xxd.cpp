// xxd's lines: "ADDRESS: " (8 digits or more: hex, or decimal with -d), the
// bytes in groups of two hex digits a byte (eight binary digits with -b)
// parted by single blanks, two blanks, and the character column where the
// first line puts it; a short last line is padded to it. With -e each
// group's bytes stand in reverse order, and a short last group stands at
// the right of its place. "*" stands for repeated lines.
#include <algorithm>
#include <array>

#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {
namespace {

struct Digits {
  unsigned per_byte;
  unsigned base;
};

std::size_t skip_blanks(std::string_view text, std::size_t at) {
  while (at < text.size() && text[at] == ' ') {
    ++at;
  }
  return at;
}

// Reads the bytes of a run of digits into out, as written; the place of a
// digit that is none, or npos.
std::size_t read_digits(std::string_view run, Digits digits, unsigned char* out) {
  for (std::size_t at = 0; at < run.size(); at += digits.per_byte) {
    unsigned value = 0;
    for (unsigned i = 0; i < digits.per_byte; ++i) {
      const std::uint8_t digit = digit_value(run[at + i], digits.base);
      if (digit == 0xFF) {
        return at + i;
      }
      value = value * digits.base + digit;
    }
    *out++ = static_cast<unsigned char>(value);
  }
  return std::string_view::npos;
}

struct Parsed {
  ReadError error = ReadError::none;
  std::size_t at = 0;  // where, with an error
};

// Where the character column of a line of columns bytes stands, from its
// first digit: each group's digits (with -e, a whole group's place even
// when it is short), a blank after each, and one more.
std::size_t column_place(std::size_t columns, std::size_t group, std::size_t per_byte,
                         bool little) {
  const std::size_t groups = (columns + group - 1) / group;
  return (little ? groups * group : columns) * per_byte + groups + 1;
}

// Whether a line longer than count bytes, padded, puts its character
// column at place (from its first digit): in groups of group bytes, or,
// with any_group, of any size from group up.
bool padded_column_at(std::size_t place, std::size_t count, std::size_t group, bool any_group,
                      std::size_t per_byte, bool little) {
  for (std::size_t columns = count + 1; columns <= most_layout_columns; ++columns) {
    const std::size_t digits = columns * per_byte;
    const bool fits =
        any_group ? place >= digits + 2 && place <= digits + (columns + group - 1) / group + 1
                  : place == column_place(columns, group, per_byte, little);
    if (fits) {
      return true;
    }
  }
  return false;
}

// A first line read one way: whether its column stands where a line of its
// bytes, full or short, puts it, and what it shows of them.
struct Hypothesis {
  bool valid = false;
  bool full = false;            // the column stands where a full line puts it
  std::size_t full_column = 0;  // where that is
  std::size_t at = 0;           // where the line goes wrong, when it is not valid
  std::string_view chars;
  std::uint8_t fits = 0;  // ColumnReading bits, of every place the column may stand
};

// The character column of a first line of line.count bytes whose digits
// end at hex_end: at the place of a full line, or, padded, of any longer
// line, wherever blanks lead up to it and the characters there are no
// more than the bytes (an editor may have taken blanks off the end). A
// line of one group does not tell how large a group is.
Hypothesis read_column(std::string_view text, std::size_t hex_start, std::size_t hex_end,
                       const Shape& shape, const OtherLine& line,
                       std::span<const unsigned char> line_bytes, bool one_group, bool tail) {
  Hypothesis hypothesis;
  const std::size_t per_byte = shape.bits ? 8 : 2;
  const std::size_t group = std::max<std::size_t>(shape.group, 1);
  const std::size_t first_shown = skip_blanks(text, hex_end);
  const std::span<const unsigned char> bytes = line_bytes.first(line.count);
  hypothesis.full_column = hex_end + 2;
  hypothesis.at = first_shown < hex_end + 2 ? first_shown : hex_end + 2 + line.count;
  if (line.count == 0 || (first_shown < hex_end + 2 && first_shown < text.size())) {
    return hypothesis;
  }
  for (const bool little : {false, true}) {
    const std::uint8_t order = little ? Variant::little_endian : Variant::big_endian;
    // A short group at the left of its place is no -e group, and one at
    // the right no plain one.
    if ((shape.open & order) == 0 || (little && line.last_group == Alignment::left) ||
        (!little && tail)) {
      continue;
    }
    const std::uint8_t readings = little ? little_column_readings : big_column_readings;
    if (first_shown == text.size()) {
      // No character shows: a column an editor took away, or none.
      hypothesis.valid = hypothesis.full = true;
      hypothesis.fits = static_cast<std::uint8_t>(hypothesis.fits | readings);
      continue;
    }
    for (std::size_t place = hex_end + 2; place <= first_shown; ++place) {
      const bool full = place == hex_end + 2;
      if (text.size() - place > line.count ||
          !(full || padded_column_at(place - hex_start, line.count, group, one_group && !little,
                                     per_byte, little))) {
        continue;
      }
      const std::string_view chars = text.substr(place);
      hypothesis.valid = true;
      hypothesis.full = hypothesis.full || full;
      if (full || (!hypothesis.full && chars.size() == line.count)) {
        hypothesis.chars = chars;
      }
      hypothesis.fits = static_cast<std::uint8_t>(hypothesis.fits |
                                                  (column_fits(bytes, group, chars) & readings));
    }
  }
  return hypothesis;
}

// The last group of a first line at the right of its place, as xxd -e
// writes a short one: the blanks before it are its separator and the
// digits it lacks.
Hypothesis read_tail(std::string_view text, std::size_t hex_start, std::size_t hex_end,
                     const Shape& shape, OtherLine& line, std::span<unsigned char> bytes) {
  const Digits digits{shape.bits ? 8U : 2U, shape.bits ? 2U : 16U};
  const std::size_t group_digits = std::size_t{shape.group} * digits.per_byte;
  const std::size_t tail = skip_blanks(text, hex_end);
  const std::size_t tail_size = std::min(text.find(' ', tail), text.size()) - tail;
  const std::size_t lead = tail - hex_end - (line.count > 0 ? 1 : 0);
  if (tail == text.size() || tail_size == 0 || tail_size >= group_digits ||
      lead != group_digits - tail_size || tail_size % digits.per_byte != 0 ||
      line.count + tail_size / digits.per_byte > bytes.size() ||
      read_digits(text.substr(tail, tail_size), digits, &bytes[line.count]) !=
          std::string_view::npos) {
    return {};
  }
  line.count += tail_size / digits.per_byte;
  line.last_group = Alignment::right;
  return read_column(text, hex_start, tail + tail_size, shape, line, bytes, false, true);
}

// The first line of a dump: its groups set the group's size, and, if the
// line is full, the bytes of a line and where the character column stands.
Parsed read_first(std::string_view text, std::size_t hex_start, Shape& shape, OtherLine& line,
                  std::span<unsigned char> bytes) {
  const Digits digits{shape.bits ? 8U : 2U, shape.bits ? 2U : 16U};
  const ReadError bad_digit = shape.bits ? ReadError::bad_bits : ReadError::bad_hex_digit;
  std::size_t at = hex_start;
  std::size_t group_digits = 0;
  std::size_t last_digits = 0;
  std::size_t hex_end = at;
  std::size_t groups = 0;
  // Groups of digits parted by single blanks, up to two blanks or more.
  while (at < text.size() && text[at] != ' ') {
    const std::size_t start = at;
    at = std::min(text.find(' ', at), text.size());
    const std::size_t size = at - start;
    if (group_digits != 0 && last_digits != group_digits) {
      return {ReadError::bad_shape, start};  // a short group that is not the last
    }
    group_digits = group_digits == 0 ? size : group_digits;
    if (size > group_digits) {
      return {ReadError::bad_shape, start + group_digits};
    }
    if (size % digits.per_byte != 0 || line.count + size / digits.per_byte > bytes.size()) {
      return {size % digits.per_byte != 0 ? bad_digit : ReadError::wrong_width, at};
    }
    if (const std::size_t bad = read_digits(text.substr(start, size), digits, &bytes[line.count]);
        bad != std::string_view::npos) {
      return {bad_digit, start + bad};
    }
    line.count += size / digits.per_byte;
    last_digits = size;
    hex_end = at;
    ++groups;
    if (at + 1 < text.size() && text[at] == ' ' && text[at + 1] != ' ') {
      ++at;
    } else {
      break;
    }
  }
  if (line.count == 0) {
    // A line of one group, at the right of its place: its blanks tell the
    // group's size.
    const std::size_t tail = skip_blanks(text, hex_end);
    group_digits = tail - hex_end + std::min(text.find(' ', tail), text.size()) - tail;
    last_digits = group_digits;
  }
  line.last_group = last_digits < group_digits ? Alignment::left : Alignment::none;
  shape.group = static_cast<std::uint16_t>(group_digits / digits.per_byte);
  // xxd -e takes only groups of a power of two bytes, though a line of
  // fewer bytes than a group holds them all in one.
  if (((shape.group & (shape.group - 1)) != 0 && groups > 1) ||
      group_digits % digits.per_byte != 0) {
    shape.open = static_cast<std::uint8_t>(shape.open & ~Variant::little_endian);
    if ((shape.open & orders) == 0) {
      return {ReadError::bad_shape, hex_start};
    }
  }
  const Hypothesis plain =
      read_column(text, hex_start, hex_end, shape, line, bytes, groups == 1, false);
  Hypothesis tail;
  OtherLine tailed = line;
  if ((shape.open & Variant::little_endian) != 0 && last_digits == group_digits) {
    tail = read_tail(text, hex_start, hex_end, shape, tailed, bytes);
  }
  const bool both_open = (shape.open & orders) == orders;
  // A line whose last group may stand at the right of its place (xxd -e)
  // or be the first characters of the column: the column must tell.
  if (tail.valid && plain.valid && (tail.fits == 0) == (plain.fits == 0)) {
    return {both_open ? ReadError::ambiguous : ReadError::bad_shape, hex_end};
  }
  const bool take_tail = tail.valid && (!plain.valid || tail.fits != 0);
  const Hypothesis& taken = take_tail ? tail : plain;
  if (!taken.valid) {
    return {ReadError::bad_shape, plain.at};
  }
  if (take_tail) {
    line = tailed;
  }
  if (line.count == 0) {
    return {ReadError::bad_shape, hex_start};
  }
  shape.columns = static_cast<std::uint16_t>(line.count);
  shape.width = static_cast<std::uint16_t>(taken.full_column - hex_start);
  line.chars = taken.chars;
  line.ends = !taken.full;
  line.column_read = true;
  line.fits = taken.fits;
  return {};
}

// A full line of hex digits, the most common line, at the places the first
// line set.
bool read_full_groups(std::string_view text, std::size_t hex_start, const Shape& shape,
                      OtherLine& line, std::span<unsigned char> bytes) {
  const std::size_t group = shape.group == 0 ? shape.columns : shape.group;
  if (!shape.bits && text.size() >= hex_start + shape.width &&
      text.size() <= hex_start + shape.width + shape.columns) {
    unsigned invalid = 0;
    bool blanks =
        text[hex_start + shape.width - 1] == ' ' && text[hex_start + shape.width - 2] == ' ';
    std::size_t place = hex_start;
    for (std::size_t k = 0, in_group = 0; k < shape.columns; ++k) {
      const std::uint8_t high = digit_values[static_cast<unsigned char>(text[place])];
      const std::uint8_t low = digit_values[static_cast<unsigned char>(text[place + 1])];
      invalid |= high | low;
      bytes[k] = static_cast<unsigned char>(high << 4U | low);
      place += 2;
      if (++in_group == group && k + 1 < shape.columns) {
        blanks = blanks && text[place] == ' ';
        ++place;
        in_group = 0;
      }
    }
    if (invalid <= 15 && blanks) {
      line.count = shape.columns;
      line.chars = text.substr(hex_start + shape.width);
      return true;
    }
  }
  return false;
}

// A line after the first: each group at its place, as the first line set
// them; the last one may be short, and the groups after it blank.
Parsed read_next(std::string_view text, std::size_t hex_start, const Shape& shape, OtherLine& line,
                 std::span<unsigned char> bytes) {
  const Digits digits{shape.bits ? 8U : 2U, shape.bits ? 2U : 16U};
  const ReadError bad_digit = shape.bits ? ReadError::bad_bits : ReadError::bad_hex_digit;
  const std::size_t group = shape.group == 0 ? shape.columns : shape.group;
  if (read_full_groups(text, hex_start, shape, line, bytes)) {
    return {};
  }
  const auto blank = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < std::min(to, text.size()); ++i) {
      if (text[i] != ' ') {
        return i;
      }
    }
    return std::string_view::npos;
  };
  std::size_t place = hex_start;
  bool done = false;
  // xxd -e gives a line's last group a whole group's place, however few
  // bytes it holds.
  const bool whole_places = (shape.open & orders) == Variant::little_endian;
  for (std::size_t first = 0; first < shape.columns; first += group) {
    const std::size_t size =
        digits.per_byte * (whole_places ? group : std::min(group, shape.columns - first));
    if (first > 0 && place - 1 < text.size() && text[place - 1] != ' ') {
      return {ReadError::bad_shape, place - 1};
    }
    const std::string_view slot =
        place < text.size() ? text.substr(place, size) : std::string_view();
    const std::size_t lead = std::min(slot.find_first_not_of(' '), slot.size());
    const std::size_t end = std::min(slot.find(' ', lead), slot.size());
    if (done || lead == slot.size()) {
      if (const std::size_t stray = blank(place, place + size); stray != std::string_view::npos) {
        return {ReadError::bad_shape, stray};
      }
      done = true;
    } else {
      if (slot.find_first_not_of(' ', end) != std::string_view::npos) {
        return {ReadError::bad_shape, place + end};
      }
      const std::size_t count = end - lead;
      if (count % digits.per_byte != 0) {
        return {bad_digit, place + end};
      }
      if (const std::size_t bad = read_digits(slot.substr(lead, count), digits, &bytes[line.count]);
          bad != std::string_view::npos) {
        return {bad_digit, place + lead + bad};
      }
      line.count += count / digits.per_byte;
      if (count < size) {
        done = true;
        line.last_group = lead > 0 ? Alignment::right : Alignment::left;
        if (lead > 0 && end < slot.size()) {
          return {ReadError::bad_shape, place + end};
        }
      }
    }
    place += size + 1;
  }
  if (line.count == 0) {
    return {ReadError::bad_shape, hex_start};
  }
  // Blanks up to the character column, which holds no more characters than
  // the line has bytes (an editor may have taken trailing blanks away).
  const std::size_t chars = hex_start + shape.width;
  if (const std::size_t stray = blank(place - 1, chars); stray != std::string_view::npos) {
    return {line.count == shape.columns ? ReadError::wrong_width : ReadError::bad_shape, stray};
  }
  line.chars = chars < text.size() ? text.substr(chars) : std::string_view();
  if (line.chars.size() > line.count) {
    return {ReadError::bad_shape, chars + line.count};
  }
  return {};
}

}  // namespace

ReadError read_xxd_line(std::string_view text, Shape& shape, OtherLine& line,
                        std::span<unsigned char> bytes, std::size_t& column) {
  // Past FFFFFFFF the address widens, and the columns after it move.
  const std::size_t address_end = leading_hex_digits(text, 17);
  if (address_end < 8 || address_end > 16 || address_end + 1 >= text.size() ||
      text[address_end] != ':' || text[address_end + 1] != ' ') {
    column = address_end + 1;
    return ReadError::bad_shape;
  }
  line.kind = LineKind::bytes;
  line.has_address = true;
  line.address = text.substr(0, address_end);
  line.count = 0;
  const Parsed parsed = shape.lines == 0 ? read_first(text, address_end + 2, shape, line, bytes)
                                         : read_next(text, address_end + 2, shape, line, bytes);
  column = parsed.at + 1;
  return parsed.error;
}

XxdDigits xxd_digits(std::string_view line) {
  // Eight binary digits a byte look like hex digits too; the character
  // column, one character a byte, tells them apart, unless the bytes it
  // lacks were blanks that an editor took off the end.
  const std::size_t start = line.find(": ");
  if (start == std::string_view::npos) {
    return XxdDigits::hex;
  }
  const std::size_t end = std::min(line.find("  ", start + 2), line.size());
  std::array<unsigned char, detail::max_line_bytes> bits{};
  std::size_t digits = 0;
  for (std::size_t at = start + 2; at < end;) {
    const std::size_t group_end = std::min(line.find(' ', at), end);
    const std::string_view group = line.substr(at, group_end - at);
    if (group.size() % 8 != 0 || group.find_first_not_of("01") != std::string_view::npos ||
        digits + group.size() > 8 * bits.size()) {
      return XxdDigits::hex;
    }
    static_cast<void>(read_digits(group, {8, 2}, &bits[digits / 8]));
    digits += group.size();
    at = group_end + 1;
  }
  const std::size_t chars = line.size() - skip_blanks(line, end);
  if (digits == 0 || chars == digits / 2) {
    return XxdDigits::hex;
  }
  // A blank is 0x20, or 0x40 in an EBCDIC column (xxd -E).
  const bool blanks_lost =
      std::all_of(bits.begin() + static_cast<std::ptrdiff_t>(std::min(chars, digits / 8)),
                  bits.begin() + static_cast<std::ptrdiff_t>(digits / 8),
                  [](unsigned char byte) { return byte == ' ' || byte == 0x40; });
  if (chars > digits / 8) {
    return XxdDigits::hex;
  }
  return blanks_lost ? XxdDigits::bits : chars == 0 ? XxdDigits::either : XxdDigits::bits;
}

void write_xxd_line(TextOut& out, const LayoutSettings& settings,
                    std::span<const unsigned char> bytes, bool /*last*/) {
  const std::size_t columns = settings.columns;
  const auto group = static_cast<std::size_t>(settings.group);
  out.put(": ");
  const std::size_t width = settings.bits ? 8 : 2;
  // With -e every group has a whole group's place, the line's last one too
  // (xxd lets the characters run into it there; they are kept apart here),
  // and shows its bytes in reverse at the right of it.
  const std::size_t places =
      settings.little_endian ? (columns + group - 1) / group * group : columns;
  for (std::size_t i = 0; i < places; ++i) {
    std::size_t k = i;
    if (settings.little_endian) {
      const std::size_t start = i / group * group;
      const std::size_t held = std::min(start + group, std::max(bytes.size(), start)) - start;
      k = i < start + group - held ? columns : start + (start + group - 1 - i);
    }
    if (k >= bytes.size()) {
      out.blanks(width);
    } else if (settings.bits) {
      out.bits(bytes[k]);
    } else {
      out.hex(bytes[k], settings.upper);
    }
    if ((i + 1) % group == 0 || i + 1 == places) {
      out.put(' ');
    }
  }
  out.put(' ');
  for (const unsigned char byte : bytes) {
    out.character(byte);
  }
  out.put('\n');
}

}  // namespace quarnel
