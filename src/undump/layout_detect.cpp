// Which layout a dump is in, from its first line (quarnel's own is tried
// before this).
#include <algorithm>

#include "undump/layouts.h"

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
  const std::size_t address = digits_at(line, 0, 16);
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
    if (group == 2) {
      return DumpLayout::od;
    }
    if (group == 4 || group == 6 || group == 8) {
      refused = ReadError::word_layout;
    }
  }
  if ((address == 6 || address == 7) && address == line.size()) {
    return DumpLayout::od;  // the closing line alone: an empty file's dump
  }
  return DumpLayout::any;
}

bool xxd_bits(std::string_view line) {
  // Eight binary digits a byte look like hex digits too; the character
  // column, one character a byte, tells them apart.
  const std::size_t start = line.find(": ");
  const std::size_t end = line.find("  ", start + 2);
  if (start == std::string_view::npos || end == std::string_view::npos) {
    return false;
  }
  std::size_t digits = 0;
  for (std::size_t i = start + 2; i < end; ++i) {
    if (line[i] != ' ' && line[i] != '0' && line[i] != '1') {
      return false;
    }
    digits += line[i] != ' ' ? 1 : 0;
  }
  return digits == 8 * (line.size() - end - 2);
}

inline namespace v1 {

std::string_view layout_name(DumpLayout layout) noexcept {
  switch (layout) {
    case DumpLayout::any:
      break;
    case DumpLayout::quarnel:
      return "quarnel";
    case DumpLayout::xxd:
      return "xxd";
    case DumpLayout::xxd_plain:
      return "xxd-plain";
    case DumpLayout::xxd_c:
      return "xxd-c";
    case DumpLayout::hexdump:
      return "hexdump";
    case DumpLayout::od:
      return "od";
  }
  return "any";
}

}  // namespace v1
}  // namespace quarnel
