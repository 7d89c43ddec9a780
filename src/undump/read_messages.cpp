// The words for what can be wrong with a dump.
#include "quarnel/undump.h"

namespace quarnel {
inline namespace v1 {

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
      return "the text is no dump that unquarnel reads: quarnel's, xxd's (also -p, -i, -b, -e, "
             "-d), hexdump -C's, od -t x1's, or hex bytes parted by blanks or as \\xHH";
    case ReadError::word_layout:
      return "the dump shows words, numbers or characters, not each byte's two hex digits: "
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
    case ReadError::wrong_count:
      return "the array's type names another number of bytes than it holds";
    case ReadError::bad_array:
      return "the line is no part of a C++ or Rust array as quarnel-as writes it";
    case ReadError::column_fits_none:
      return "the character column shows the bytes in none of the ways the text reads (was a "
             "byte edited?): name its layout with --from=LAYOUT";
    case ReadError::group_separator:
      return "a -- line parts groups of lines at addresses of their own, as quarnel-grep -A, -B "
             "and -C write them: apply them to the file with --patch";
    case ReadError::named_line:
      return "the line starts with an input's name, as quarnel-grep writes lines of several "
             "files: search with -h (--no-filename) for lines without it";
    case ReadError::ambiguous:
      return "the text reads in two ways that give different bytes: name its layout with "
             "--from=LAYOUT";
    case ReadError::uncounted_squeeze:
      return "a * line in a dump without addresses: nothing tells how many lines it stands for";
    case ReadError::missing_line_end:
      return "the line has no line end, and a line cut short may read as another: end it with "
             "one, or name its layout with --from=LAYOUT";
    case ReadError::bits_or_hex:
      return "the groups read as xxd -b's bits or as hex digits, and no character column tells "
             "which";
    case ReadError::no_closing_line:
      return "the dump ends after its short last line without its closing line (the address "
             "past its data)";
  }
  return "";
}

}  // namespace v1
}  // namespace quarnel
