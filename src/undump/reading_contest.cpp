#include "undump/reading_contest.h"

#include <algorithm>
#include <cstring>

namespace quarnel {
namespace {

// The first radix still open: the one the bytes' places are read in.
std::size_t radix_index(std::uint8_t open) {
  std::size_t index = 0;
  while (index + 1 < radix_variants.size() && (open & radix_variants[index]) == 0) {
    ++index;
  }
  return index;
}

// A line's bytes with each group's reversed, as xxd -e writes them.
void reverse_groups(std::span<const unsigned char> bytes, std::size_t group, unsigned char* out) {
  for (std::size_t first = 0; first < bytes.size(); first += group) {
    const std::size_t size = std::min(group, bytes.size() - first);
    std::reverse_copy(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                      bytes.begin() + static_cast<std::ptrdiff_t>(first + size), out + first);
  }
}

std::uint8_t rule_out(std::uint8_t open, std::uint8_t variants, std::uint8_t kind) {
  return static_cast<std::uint8_t>((open & ~kind) | (open & kind & variants));
}

std::uint8_t lowest(std::uint8_t bits) { return static_cast<std::uint8_t>(bits & (~bits + 1U)); }

// The two readings of kind (orders or radices) still open, the other kind
// as it stands.
Settled ambiguous(const OtherDump& dump, std::uint8_t kind, bool places_only) {
  const std::uint8_t open = dump.shape.open;
  const std::uint8_t first = lowest(open & kind);
  const std::uint8_t second = lowest(static_cast<std::uint8_t>(open & kind & ~first));
  const std::uint8_t other = lowest(open & (kind == orders ? radices : orders));
  return {
      ReadError::ambiguous,
      {reading_of(dump.shape.layout, first | other), reading_of(dump.shape.layout, second | other)},
      places_only};
}

}  // namespace

void start_other_dump(OtherDump& dump, const Shape& shape) {
  dump.shape = shape;
  dump.squeezed = false;
  dump.next = {};
  dump.array_bytes = 0;
  dump.held.lines = 0;
  dump.held.emitted = 0;
  dump.held.size = 0;
  dump.held.fits = every_column_reading;
  dump.held.orders_differ = false;
  dump.repeats = 0;
  dump.repeats_open = false;
  dump.held.places_differ = false;
}

bool room_to_hold(const OtherDump& dump, std::size_t count) {
  return dump.held.lines < detail::max_held_lines &&
         dump.held.size + count <= detail::max_held_bytes;
}

ReadError hold_line(OtherDump& dump, const OtherLine& line, std::span<const unsigned char> bytes,
                    ReadMode mode) {
  Shape& shape = dump.shape;
  std::array<std::uint64_t, 3> addresses = dump.next;
  if (line.has_address) {
    // The radices the digits are no number in, and, where the lines follow
    // one another, those in which this one does not go on from the last.
    std::uint8_t valid = 0;
    std::uint8_t follows = 0;
    for (std::size_t r = 0; r < radix_values.size(); ++r) {
      if ((shape.open & radix_variants[r]) != 0 &&
          address_value(line.address, radix_values[r], addresses[r])) {
        valid |= radix_variants[r];
        follows = static_cast<std::uint8_t>(follows |
                                            (addresses[r] == dump.next[r] ? radix_variants[r] : 0));
      }
    }
    if (valid == 0) {
      return ReadError::bad_shape;
    }
    const bool sequence = shape.lines > 0 && (mode == ReadMode::dumps || (follows & valid) != 0);
    if (sequence && (follows & valid) == 0) {
      return ReadError::out_of_sequence;
    }
    shape.open = rule_out(shape.open, sequence ? follows & valid : valid, radices);
  }
  if (line.last_group != Alignment::none) {
    shape.open = rule_out(
        shape.open,
        line.last_group == Alignment::left ? Variant::big_endian : Variant::little_endian, orders);
    if ((shape.open & orders) == 0) {
      return ReadError::bad_shape;
    }
  }
  detail::HeldLines& held = dump.held;
  std::memcpy(held.bytes.data() + held.size, bytes.data(), bytes.size());
  if ((shape.open & orders) == orders && shape.group > 1) {
    std::array<unsigned char, detail::max_line_bytes> reversed{};
    reverse_groups(bytes, shape.group, reversed.data());
    if (!std::equal(bytes.begin(), bytes.end(), reversed.begin())) {
      held.orders_differ = true;
      held.fits &= line.column_read ? line.fits : column_fits(bytes, shape.group, line.chars);
    }
  }
  const std::size_t first = radix_index(shape.open);
  for (std::size_t r = first + 1; r < radix_variants.size(); ++r) {
    if ((shape.open & radix_variants[r]) != 0 && addresses[r] != addresses[first]) {
      held.places_differ = held.places_differ || mode == ReadMode::lines;
    }
  }
  held.counts[held.lines] = static_cast<std::uint16_t>(bytes.size());
  held.addresses[held.lines] = addresses;
  ++held.lines;
  held.size = static_cast<std::uint16_t>(held.size + bytes.size());
  for (std::size_t r = 0; r < radix_variants.size(); ++r) {
    dump.next[r] = addresses[r] + bytes.size();
  }
  return ReadError::none;
}

Settled settle(OtherDump& dump, ReadMode mode, bool force) {
  Shape& shape = dump.shape;
  detail::HeldLines& held = dump.held;
  if ((shape.open & orders) == orders && held.orders_differ) {
    // A byte order is taken only where the characters contradict the
    // other, in every character set, and show this one in some set. A
    // column that shows neither (an edited line, say) settles nothing.
    const bool big = (held.fits & big_column_readings) != 0;
    const bool little = (held.fits & little_column_readings) != 0;
    if (big && !little) {
      shape.open = rule_out(shape.open, Variant::big_endian, orders);
    } else if (little && !big) {
      shape.open = rule_out(shape.open, Variant::little_endian, orders);
    } else if (!big) {
      Settled settled = ambiguous(dump, orders, false);
      settled.error = ReadError::column_fits_none;
      return settled;
    } else if (force) {
      return ambiguous(dump, orders, false);
    }
  }
  const std::uint8_t open_radices = shape.open & radices;
  const bool radices_open = (open_radices & (open_radices - 1)) != 0;
  if (force && radices_open && dump.repeats_open) {
    return ambiguous(dump, radices, false);
  }
  if (force && mode == ReadMode::lines && held.places_differ && radices_open) {
    return ambiguous(dump, radices, true);
  }
  return {};
}

bool can_release(const OtherDump& dump, ReadMode mode) {
  const std::uint8_t open_radices = dump.shape.open & radices;
  const bool radices_open = (open_radices & (open_radices - 1)) != 0;
  return !((dump.shape.open & orders) == orders && dump.held.orders_differ) &&
         !(radices_open &&
           (dump.repeats_open || (mode == ReadMode::lines && dump.held.places_differ)));
}

bool copies_due(const OtherDump& dump) {
  return (dump.repeats_open || dump.repeats > 0) && dump.held.emitted == dump.repeats_after;
}

std::span<const unsigned char> take_copies(OtherDump& dump, std::span<unsigned char> scratch) {
  const std::uint8_t open_radices = dump.shape.open & radices;
  const std::span<const unsigned char> written(dump.repeat_bytes.data(), dump.repeat_size);
  const bool reversed = (dump.shape.open & Variant::big_endian) == 0 && dump.shape.group > 1;
  if (reversed || (dump.shape.open & orders) == orders) {
    reverse_groups(written, std::max<std::size_t>(dump.shape.group, 1), scratch.data());
  }
  const bool orders_differ = (dump.shape.open & orders) == orders && dump.shape.group > 1 &&
                             !std::equal(written.begin(), written.end(), scratch.begin());
  if (orders_differ || (dump.repeats_open && (open_radices & (open_radices - 1)) != 0)) {
    return {};
  }
  if (dump.repeats_open) {
    const std::size_t radix = radix_index(dump.shape.open);
    dump.repeats = dump.open_repeats[radix];
    dump.repeat_at = dump.repeats_from[radix];
    dump.repeats_open = false;
  }
  return reversed ? scratch.first(written.size()) : written;
}

HeldLine next_held(const OtherDump& dump, std::span<unsigned char> scratch) {
  const detail::HeldLines& held = dump.held;
  std::size_t offset = 0;
  for (std::size_t i = 0; i < held.emitted; ++i) {
    offset += held.counts[i];
  }
  const std::span<const unsigned char> bytes(held.bytes.data() + offset, held.counts[held.emitted]);
  HeldLine line{held.addresses[held.emitted][radix_index(dump.shape.open)], bytes};
  if ((dump.shape.open & Variant::big_endian) == 0 && dump.shape.group > 1) {
    reverse_groups(bytes, dump.shape.group, scratch.data());
    line.bytes = scratch.first(bytes.size());
  }
  return line;
}

void release_held(OtherDump& dump) {
  detail::HeldLines& held = dump.held;
  if (++held.emitted == held.lines) {
    held.lines = 0;
    held.emitted = 0;
    held.size = 0;
    held.fits = every_column_reading;
    held.orders_differ = false;
    held.places_differ = false;
    // Copies still due come after all the lines that were held.
    dump.repeats_after = 0;
  }
}

std::uint64_t next_address(const OtherDump& dump) {
  return dump.next[radix_index(dump.shape.open)];
}

namespace {

// Nothing stands between the dump's next full line and its bytes: the
// reading is settled, no line is held, no copies are due.
bool settled_and_clear(const OtherDump& dump) {
  const std::uint8_t open_radices = dump.shape.open & radices;
  return dump.shape.lines > 0 && !dump.shape.ended && !dump.squeezed && !dump.repeats_open &&
         dump.repeats == 0 && !has_held(dump) &&
         (dump.shape.open & orders) == Variant::big_endian &&
         (open_radices & (open_radices - 1)) == 0;
}

}  // namespace

bool full_lines_read_fast(const OtherDump& dump, std::string_view text, FullLayout& layout,
                          std::uint64_t& address) {
  const Shape& shape = dump.shape;
  if (!settled_and_clear(dump) || shape.columns != 16) {
    return false;
  }
  switch (shape.layout) {
    case DumpLayout::xxd:
      layout = FullLayout::xxd;
      return !shape.bits && shape.group == 2 && shape.width == 41 &&
             (shape.open & Variant::hex_addresses) != 0;
    case DumpLayout::hexdump:
      layout = FullLayout::hexdump;
      return true;
    case DumpLayout::od: {
      // The address widens as the data goes on: its digits pick the plan.
      const std::size_t digits = text.size() > 8 ? text.find(' ') : 0;
      if (!shape.addresses || (digits != 6 && digits != 7) || (shape.chars && shape.width != 51) ||
          !address_value(text.substr(0, digits), radix_values[radix_index(shape.open)], address)) {
        return false;
      }
      layout = digits == 6 ? (shape.chars ? FullLayout::od6z : FullLayout::od6)
                           : (shape.chars ? FullLayout::od7z : FullLayout::od7);
      return true;
    }
    default:
      return false;
  }
}

void took_full_lines(OtherDump& dump, std::span<const unsigned char> last, std::size_t lines) {
  std::memcpy(dump.last_bytes.data(), last.data(), last.size());
  dump.last_size = static_cast<std::uint16_t>(last.size());
  dump.next[radix_index(dump.shape.open)] += lines * last.size();
  dump.array_bytes += lines * last.size();
  dump.shape.lines += static_cast<std::uint32_t>(lines);
}

bool read_full_other_line(OtherDump& dump, std::string_view text) {
  Shape& shape = dump.shape;
  if (!settled_and_clear(dump) ||
      !(shape.layout == DumpLayout::xxd || shape.layout == DumpLayout::hexdump ||
        shape.layout == DumpLayout::od)) {
    return false;
  }
  OtherLine line;
  std::size_t column = 0;
  std::uint64_t address = 0;
  const std::size_t radix = radix_index(shape.open);
  if (read_other_line(text, shape, line, dump.line_bytes, column) != ReadError::none ||
      line.kind != LineKind::bytes || line.count != shape.columns || line.ends ||
      line.chars.size() != line.count ||
      !address_value(line.address, radix_values[radix], address) || address != dump.next[radix]) {
    return false;
  }
  took_full_lines(dump, std::span(dump.line_bytes).first(line.count), 1);
  return true;
}

namespace {

OtherOutcome failed(ReadError error, std::size_t column = 1) {
  OtherOutcome outcome;
  outcome.settled.error = error;
  outcome.column = column;
  return outcome;
}

// A * line stands for copies of the line before it, up to the next
// address: in each radix left, as many as fill the gap.
OtherOutcome make_copies(OtherDump& dump, const OtherLine& line) {
  std::uint8_t fits = 0;
  std::array<std::uint64_t, 3> copies{};
  for (std::size_t r = 0; r < radix_values.size(); ++r) {
    std::uint64_t address = 0;
    if ((dump.shape.open & radix_variants[r]) != 0 &&
        address_value(line.address, radix_values[r], address) && address > dump.next[r] &&
        dump.last_size == dump.shape.columns && (address - dump.next[r]) % dump.last_size == 0) {
      fits |= radix_variants[r];
      copies[r] = (address - dump.next[r]) / dump.last_size;
    }
  }
  if (fits == 0) {
    return failed(ReadError::bad_squeeze);
  }
  dump.shape.open = rule_out(dump.shape.open, fits, radices);
  const std::size_t first = radix_index(dump.shape.open);
  bool counts_differ = false;
  for (std::size_t r = first + 1; r < radix_variants.size(); ++r) {
    counts_differ =
        counts_differ || ((fits & radix_variants[r]) != 0 && copies[r] != copies[first]);
  }
  // Where the radices count the copies differently, the lines after the *
  // tell which holds, as lines elsewhere do; the lines held before it go
  // out first.
  dump.repeats_open = counts_differ;
  dump.repeats_after = dump.held.lines;
  dump.open_repeats = copies;
  dump.repeats_from = dump.next;
  dump.repeats = counts_differ ? 0 : copies[first];
  dump.repeat_at = dump.next[first];
  for (std::size_t r = 0; r < radix_variants.size(); ++r) {
    dump.next[r] += copies[r] * dump.last_size;
  }
  dump.squeezed = false;
  // The line as written: the copies are read in the byte order the lines
  // around them settle.
  std::copy_n(dump.last_bytes.begin(), dump.last_size, dump.repeat_bytes.begin());
  dump.repeat_size = dump.last_size;
  OtherOutcome outcome;
  outcome.again = true;
  return outcome;
}

// A line that holds no byte: a closing line's address must be where the
// data ended, and it ends the dump, as an array's length does.
OtherOutcome read_end(OtherDump& dump, const OtherLine& line, ReadMode mode) {
  if (line.has_length && line.length != dump.array_bytes) {
    return failed(dump.shape.layout == DumpLayout::xxd_c ? ReadError::wrong_length
                                                         : ReadError::wrong_count);
  }
  if (line.kind == LineKind::closing && dump.shape.lines > 0) {
    std::uint8_t follows = 0;
    for (std::size_t r = 0; r < radix_values.size(); ++r) {
      std::uint64_t address = 0;
      if ((dump.shape.open & radix_variants[r]) != 0 &&
          address_value(line.address, radix_values[r], address) && address == dump.next[r]) {
        follows = static_cast<std::uint8_t>(follows | radix_variants[r]);
      }
    }
    if (follows == 0 && mode == ReadMode::dumps) {
      return failed(ReadError::out_of_sequence);
    }
    dump.shape.open = rule_out(dump.shape.open, follows == 0 ? radices : follows, radices);
  }
  OtherOutcome outcome;
  if (line.kind == LineKind::closing || line.has_length) {
    outcome.settled = settle(dump, mode, true);
    dump.over = true;
  }
  return outcome;
}

}  // namespace

OtherOutcome read_other_dump_line(OtherDump& dump, std::string_view text, bool ended,
                                  ReadMode mode) {
  const Shape before = dump.shape;
  OtherLine line;
  std::size_t column = 0;
  const std::span<unsigned char> bytes(dump.line_bytes);
  if (const ReadError error = read_other_line(text, dump.shape, line, bytes, column);
      error != ReadError::none) {
    OtherOutcome outcome = failed(error, column);
    if (error == ReadError::ambiguous) {
      outcome.settled = ambiguous(dump, orders, false);
    }
    return outcome;
  }
  if (line.has_address && dump.squeezed) {
    OtherOutcome outcome = make_copies(dump, line);
    const std::uint8_t open = dump.shape.open;
    dump.shape = before;
    dump.shape.open = open;
    return outcome;
  }
  if (line.kind == LineKind::squeeze) {
    const bool repeats = dump.shape.layout == DumpLayout::xxd ||
                         dump.shape.layout == DumpLayout::hexdump ||
                         dump.shape.layout == DumpLayout::od;
    if (!before.addresses && before.lines > 0) {
      return failed(ReadError::uncounted_squeeze);
    }
    if (before.lines == 0 || dump.squeezed || before.ended || !repeats) {
      return failed(ReadError::bad_squeeze);
    }
    // The copies are of the line before, in the reading the lines around
    // them settle; those of a * before must be settled first.
    OtherOutcome outcome;
    outcome.settled = settle(dump, mode, dump.repeats_open || dump.repeats > 0);
    dump.squeezed = true;
    return outcome;
  }
  if (line.kind != LineKind::bytes) {
    return read_end(dump, line, mode);
  }
  if (before.ended) {
    return failed(ReadError::wrong_width);  // a short line was not the last
  }
  if (!ended && line.chars.size() != line.count) {
    return failed(ReadError::cut_short, text.size() + 1);
  }
  if (!room_to_hold(dump, line.count)) {
    dump.shape = before;
    OtherOutcome outcome;
    outcome.settled = settle(dump, mode, true);
    outcome.again = true;
    return outcome;
  }
  const std::span<const unsigned char> taken = bytes.first(line.count);
  if (const ReadError error = hold_line(dump, line, taken, mode); error != ReadError::none) {
    return failed(error);
  }
  OtherOutcome outcome;
  outcome.held = true;
  outcome.settled = settle(dump, mode, false);
  std::copy(taken.begin(), taken.end(), dump.last_bytes.begin());
  dump.last_size = static_cast<std::uint16_t>(line.count);
  dump.array_bytes += line.count;
  ++dump.shape.lines;
  dump.shape.ended = line.count < dump.shape.columns || line.ends;
  // xxd writes no closing line: its short line ends the dump.
  if (dump.shape.ended && dump.shape.layout == DumpLayout::xxd) {
    outcome.settled = settle(dump, mode, true);
    dump.over = true;
  }
  return outcome;
}

}  // namespace quarnel
