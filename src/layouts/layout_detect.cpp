// Which layout a dump is in, from its first line (quarnel's own is tried
// before this).
#include <algorithm>
#include <utility>

#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {
namespace {

// The number of characters at the front of text that are digits in base.
std::size_t digits_at(std::string_view text, std::size_t at, unsigned base) {
  std::size_t end = at;
  while (end < text.size() && digit_value(text[end], base) != 0xFF) {
    ++end;
  }
  return end - at;
}

}  // namespace

DumpLayout detect_layout(std::string_view line, ReadError& refused) {
  refused = ReadError::none;
  if (line.starts_with("unsigned char ") || line.starts_with("  0x")) {
    return DumpLayout::xxd_c;
  }
  if (line == "#pragma once" || line.starts_with("inline constexpr std::array<")) {
    return DumpLayout::cpp;
  }
  if (line.starts_with("pub static ")) {
    return DumpLayout::rust;
  }
  const std::size_t address = digits_at(line, 0, 16);
  // Typed bytes: a pair of digits and a blank, or an escape.
  if ((address == 2 && line.size() > 2 && line[2] == ' ') || line.starts_with("\\x")) {
    return DumpLayout::hex;
  }
  if (address >= 8 && address < line.size() && line[address] == ':') {
    return DumpLayout::xxd;
  }
  if (address == line.size() && address % 2 == 0) {
    return DumpLayout::xxd_plain;
  }
  // hexdump -C's lines end in a bar, quarnel's never do.
  if (address >= 8 && line.substr(address, 2) == "  " && line.ends_with('|')) {
    return DumpLayout::hexdump;
  }
  // od: an address of 6 digits (hex) or 7 (octal or decimal), or none,
  // then a blank before each group; groups of two digits are bytes, longer
  // ones words.
  const std::size_t start = line.starts_with(' ') ? 0 : address;
  if ((start == 0 || start == 6 || start == 7) && start < line.size() && line[start] == ' ') {
    const std::size_t group = digits_at(line, start + 1, 16);
    if (group == 2 && (start + 3 == line.size() || line[start + 3] == ' ')) {
      return DumpLayout::od;
    }
    // od's and hexdump's other forms: words, numbers in decimal or octal,
    // characters.
    if (start > 0 || group == 4 || group == 6 || group == 8) {
      refused = ReadError::word_layout;
    }
  }
  if ((address == 6 || address == 7) && address == line.size()) {
    return DumpLayout::od;  // the closing line alone: an empty file's dump
  }
  return DumpLayout::any;
}

ReadError first_shape(DumpLayout layout, std::string_view line, std::uint8_t allowed,
                      Shape& shape) {
  shape = Shape{};
  shape.layout = layout;
  const std::size_t digits = digits_at(line, 0, 16);
  const bool decimal = digits_at(line, 0, 10) == digits;
  std::uint8_t open = Variant::big_endian;
  switch (layout) {
    case DumpLayout::xxd: {
      const XxdDigits kind = xxd_digits(line);
      if (kind == XxdDigits::either) {
        return ReadError::bits_or_hex;
      }
      shape.bits = kind == XxdDigits::bits;
      open |= (shape.bits ? 0 : Variant::little_endian) | Variant::hex_addresses |
              (decimal ? Variant::decimal_addresses : 0);
      break;
    }
    case DumpLayout::od:
      // od -A x writes six digits, -A o (its own) and -A d seven; the
      // address widens past them.
      shape.addresses = !line.starts_with(' ');
      if (!shape.addresses) {
        open |= radices;
      } else if (digits == 6 &&
                 (allowed & (Variant::octal_addresses | Variant::hex_addresses)) != 0) {
        open |= Variant::hex_addresses;
        allowed |= Variant::hex_addresses;
      } else {
        open |= Variant::octal_addresses | (decimal ? Variant::decimal_addresses : 0);
        open |= (allowed & (Variant::octal_addresses | Variant::decimal_addresses)) == 0
                    ? Variant::hex_addresses
                    : 0;
      }
      break;
    case DumpLayout::hexdump:
      open |= Variant::hex_addresses;
      break;
    default:
      open |= radices;
      break;
  }
  shape.open = open & allowed;
  if ((shape.open & orders) == 0 || (shape.open & radices) == 0) {
    return ReadError::bad_shape;
  }
  return ReadError::none;
}

ReadError read_other_line(std::string_view text, Shape& shape, OtherLine& line,
                          std::span<unsigned char> bytes, std::size_t& column) {
  line = OtherLine{};
  const bool squeezes = shape.layout == DumpLayout::xxd || shape.layout == DumpLayout::hexdump ||
                        shape.layout == DumpLayout::od;
  if (squeezes && text == "*") {
    line.kind = LineKind::squeeze;
    return ReadError::none;
  }
  constexpr std::array<std::pair<DumpLayout, LineReader*>, 7> readers{{
      {DumpLayout::xxd, read_xxd_line},
      {DumpLayout::xxd_plain, read_plain_line},
      {DumpLayout::xxd_c, read_c_line},
      {DumpLayout::hexdump, read_hexdump_line},
      {DumpLayout::hex, read_hex_line},
      {DumpLayout::cpp, read_cpp_line},
      {DumpLayout::rust, read_rust_line},
  }};
  const auto* found = std::find_if(readers.begin(), readers.end(),
                                   [&](const auto& entry) { return entry.first == shape.layout; });
  return (found != readers.end() ? found->second : read_od_line)(text, shape, line, bytes, column);
}

std::uint8_t column_fits(std::span<const unsigned char> bytes, std::size_t group,
                         std::string_view chars) {
  if (chars.empty()) {
    return every_column_reading;
  }
  std::uint8_t fits = every_column_reading;
  const std::size_t step = std::max<std::size_t>(group, 1);
  for (std::size_t k = 0; k < bytes.size() && fits != 0; ++k) {
    const auto shown = static_cast<unsigned char>(k < chars.size() ? chars[k] : ' ');
    // The byte that stands at k when each group is read in reverse.
    const std::size_t first = k / step * step;
    const std::size_t last = std::min(first + step, bytes.size()) - 1;
    const std::array<unsigned char, 2> read{bytes[k], bytes[first + (last - k)]};
    for (std::size_t order = 0; order < 2; ++order) {
      const unsigned char byte = read[order];
      const bool ascii = byte >= 0x20 && byte < 0x7F;
      const std::array<unsigned char, 3> expected{
          ascii ? byte : static_cast<unsigned char>('.'),
          ascii || shows_latin1(byte) ? byte : static_cast<unsigned char>('.'),
          static_cast<unsigned char>(ebcdic_shown[byte])};
      for (std::size_t set = 0; set < 3; ++set) {
        if (expected[set] != shown) {
          fits = static_cast<std::uint8_t>(fits & ~(1U << (3 * order + set)));
        }
      }
    }
  }
  return fits;
}

bool address_value(std::string_view digits, unsigned radix, std::uint64_t& value) {
  // The most digits of each radix that always fit in 64 bits.
  const std::size_t most = radix == 16 ? 16 : radix == 10 ? 19 : 21;
  value = 0;
  if (digits.size() > most) {
    return false;
  }
  for (const char c : digits) {
    const std::uint8_t digit = digit_value(c, radix);
    if (digit == 0xFF) {
      return false;
    }
    value = value * radix + digit;
  }
  return true;
}

}  // namespace quarnel
