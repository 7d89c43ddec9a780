// The layouts' writers' side: the plan of a full line, the text a writer
// puts its bytes into, with their colours and character sets, and each
// layout's writer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "layouts/byte_classes.h"
#include "quarnel/write_layout.h"

namespace quarnel {

// A full line of a layout after its address, planned once for all its
// lines: its text as the layout's writer writes it, and where each byte's
// digits and character stand in it, which the writer marks when it writes
// the bytes 0, 1, 2 ... into a plan.
struct WritePlan {
  bool bits = false;   // eight binary digits a byte, not two hex digits
  bool upper = false;  // hex digits in upper case
  bool chars = false;  // a character column
  std::size_t size = 0;
  std::array<char, 4096> text{};
  std::array<std::uint16_t, most_layout_columns> digits{};  // where byte k's digits start
  std::array<std::uint16_t, most_layout_columns> places{};  // where byte k's character stands
};
// The plan of a full line of the settings' layout (not an array's last).
void plan_full_line(const LayoutSettings& settings, WritePlan& plan);
// Writes a full line's text after its address from its plan, a byte at a
// time; returns its size.
std::size_t fill_planned(const WritePlan& plan, CharacterSet charset,
                         std::span<const unsigned char> bytes, char* text);

// Text written by the layouts' writers into room that layout_line_size
// promises; into a plan, where each byte goes is marked too.
// Whether a Latin-1 character column shows the byte as itself: its
// printable characters but the no-break space and the soft hyphen, which
// look like none.
[[nodiscard]] constexpr bool shows_latin1(unsigned byte) { return byte > 0xA0 && byte != 0xAD; }

// The character xxd -E shows for each byte read as EBCDIC.
inline constexpr std::string_view ebcdic_shown =
    "................................................................"
    " ...........<(+|&.........!$*);~-/.........,%_>?.........`:#@'=\""
    ".abcdefghi.......jklmnopqr^.......stuvwxyz...[...............].."
    "{ABCDEFGHI......}JKLMNOPQR......\\.STUVWXYZ......0123456789......";
static_assert(ebcdic_shown.size() == 256);

struct TextOut {
  char* at;
  WritePlan* plan = nullptr;
  CharacterSet charset = CharacterSet::ascii;
  bool color = false;
  std::uint8_t painted = 0xFF;  // the class whose colour is on, if any

  // A byte's digits or character in the colour of its class, which stays
  // on over blanks, up to any other text.
  void paint(unsigned char byte) {
    if (color && byte_class(byte) != painted) {
      painted = byte_class(byte);
      put_text(byte_colors[painted]);
    }
  }
  void unpaint() {
    if (painted != 0xFF) {
      painted = 0xFF;
      put_text(plain_color);
    }
  }
  void put_text(std::string_view text) {
    std::copy(text.begin(), text.end(), at);
    at += text.size();
  }

  void put(std::string_view text) {
    if (text.find_first_not_of(' ') != std::string_view::npos) {
      unpaint();
    }
    put_text(text);
  }
  void put(char c) {
    if (c != ' ') {
      unpaint();
    }
    *at++ = c;
  }
  void blanks(std::size_t count) {
    std::fill_n(at, count, ' ');
    at += count;
  }
  void mark(std::array<std::uint16_t, most_layout_columns>& places, unsigned char byte) const {
    if (plan != nullptr) {
      places[byte] = static_cast<std::uint16_t>(at - plan->text.data());
    }
  }
  // The two hex digits of a byte.
  void hex(unsigned char byte, bool upper) {
    if (plan != nullptr) {
      plan->upper = upper;
      mark(plan->digits, byte);
    }
    paint(byte);
    const std::string_view digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    *at++ = digits[byte >> 4];
    *at++ = digits[byte & 15];
  }
  // The eight binary digits of a byte.
  void bits(unsigned char byte) {
    if (plan != nullptr) {
      plan->bits = true;
      mark(plan->digits, byte);
    }
    paint(byte);
    for (int bit = 7; bit >= 0; --bit) {
      *at++ = static_cast<char>('0' + (byte >> bit & 1));
    }
  }
  // The character the peers show for a byte: printable ASCII as itself,
  // anything else as a dot; Latin-1's in UTF-8.
  void character(unsigned char byte) {
    if (plan != nullptr) {
      plan->chars = true;
      mark(plan->places, byte);
    }
    paint(byte);
    if (charset == CharacterSet::ebcdic) {
      *at++ = ebcdic_shown[byte];
    } else if (charset == CharacterSet::latin1 && shows_latin1(byte)) {
      *at++ = static_cast<char>(0xC0 | byte >> 6);
      *at++ = static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      *at++ = byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    }
  }
  // A number in base 8, 10 or 16, at least `least` digits, zeros in front.
  void number(std::uint64_t value, unsigned base, std::size_t least, bool upper = false) {
    std::array<char, 24> digits{};
    std::size_t size = 0;
    const std::string_view names = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    // Hex, the common case, by shifts: one line's address each time.
    const unsigned shift = base == 16 ? 4 : base == 8 ? 3 : 0;
    do {
      digits[size++] =
          names[static_cast<std::size_t>(shift != 0 ? value & (base - 1) : value % base)];
      value = shift != 0 ? value >> shift : value / base;
    } while (value != 0);
    for (; size < least; ++size) {
      digits[size] = '0';
    }
    while (size > 0) {
      *at++ = digits[--size];
    }
  }
};

// The writers of the layouts, each beside its reader: a line of bytes at
// its address, and what opens and closes a dump. The settings are checked
// and their defaults filled in (columns, group).
// A line after its address (the driver writes the address); last says
// that no line follows.
using LineWriter = void(TextOut& out, const LayoutSettings& settings,
                        std::span<const unsigned char> bytes, bool last);
LineWriter write_xxd_line, write_plain_line, write_c_line, write_hexdump_line, write_od_line,
    write_hex_line;
// A piece of a line of xxd -p or xxd -i: whether it starts the line, ends
// it, and ends the bytes. A whole line is a piece that starts and ends it.
void write_plain_piece(TextOut& out, std::span<const unsigned char> bytes, bool ends);
void write_c_piece(TextOut& out, std::span<const unsigned char> bytes, bool starts, bool ends,
                   bool last);
void write_c_opening(TextOut& out, const LayoutSettings& settings);
void write_c_closing(TextOut& out, const LayoutSettings& settings, std::uint64_t length);
// The array's name, as xxd makes it of a file name; room for name.size() + 2.
std::size_t c_array_name(const LayoutSettings& settings, std::span<char> out);
void put_array_name(TextOut& out, const LayoutSettings& settings);
void write_array_items(TextOut& out, std::string_view indent, std::span<const unsigned char> bytes);
void write_array_closing(TextOut& out, std::string_view closing);
// The lines of the arrays whose type names their count, C++'s and Rust's:
// the indent of their items and their closing line.
struct ArrayLines {
  std::string_view indent;
  std::string_view closing;
};
extern const ArrayLines cpp_array_lines;
extern const ArrayLines rust_array_lines;
template <const ArrayLines& lines>
void write_typed_array_line(TextOut& out, const LayoutSettings& /*settings*/,
                            std::span<const unsigned char> bytes, bool /*last*/) {
  write_array_items(out, lines.indent, bytes);
}
void write_cpp_opening(TextOut& out, const LayoutSettings& settings);
void write_rust_opening(TextOut& out, const LayoutSettings& settings);
// od's address in its radix; false, writing nothing, with none.
bool write_od_address(TextOut& out, const LayoutSettings& settings, std::uint64_t address);

}  // namespace quarnel
