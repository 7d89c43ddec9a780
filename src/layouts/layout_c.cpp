// layouts/: what each layout is, its reader and its writer side by side,
// and the one table of their names.
// xxd -i's C array: "unsigned char NAME[] = {", lines of "0xHH, " items (the
// last without its comma), "};" and "unsigned int NAME_len = N;", which
// must count the bytes. Read from standard input, xxd writes the items
// alone. Also the items of the C++ and Rust arrays, each "0xHH,".
#include <algorithm>

#include "layouts/line_reading.h"
#include "layouts/text_out.h"

namespace quarnel {

bool is_name(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) {
    return false;
  }
  return std::ranges::all_of(name, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

namespace {

constexpr std::string_view array_start = "unsigned char ";
constexpr std::string_view array_open = "[] = {";
constexpr std::string_view length_start = "unsigned int ";
constexpr std::string_view length_middle = "_len = ";
constexpr std::string_view upper_length_middle = "_LEN = ";  // xxd -C

}  // namespace

ReadError read_c_line(std::string_view text, Shape& shape, OtherLine& line,
                      std::span<unsigned char> bytes, std::size_t& column) {
  constexpr auto before = array_before;
  constexpr auto inside = array_inside;
  constexpr auto last_items = array_last_items;
  constexpr auto closed = array_closed;
  if (shape.c_part == before && text.starts_with(array_start) && text.ends_with(array_open) &&
      is_name(
          text.substr(array_start.size(), text.size() - array_start.size() - array_open.size()))) {
    shape.c_part = inside;
    shape.opened = true;
    return ReadError::none;
  }
  if (shape.c_part == closed) {
    // NAME_len = N; N is checked against the bytes by the reader.
    const std::size_t lower = text.find(length_middle);
    const std::size_t middle =
        lower != std::string_view::npos ? lower : text.find(upper_length_middle);
    if (!text.starts_with(length_start) || middle == std::string_view::npos ||
        !is_name(text.substr(length_start.size(), middle - length_start.size())) ||
        !text.ends_with(';')) {
      return failed_at(column, ReadError::bad_c_array, 0);
    }
    line.has_length = true;
    line.length = 0;
    for (std::size_t at = middle + length_middle.size(); at + 1 < text.size(); ++at) {
      const std::uint8_t digit = digit_value(text[at], 10);
      if (digit == 0xFF || line.length > (UINT64_MAX - 9) / 10) {
        return failed_at(column, ReadError::bad_c_array, at);
      }
      line.length = line.length * 10 + digit;
    }
    shape.c_part = before;
    return ReadError::none;
  }
  if (text == "};" && shape.c_part != closed) {
    shape.c_part = closed;
    return ReadError::none;
  }
  if (shape.c_part == last_items) {
    return failed_at(column, ReadError::bad_c_array, 0);  // items after the one without its comma
  }
  // Items: "  0xHH, 0xHH, ..." with a comma after each but the array's last.
  if (!text.starts_with("  ")) {
    return failed_at(column, ReadError::bad_c_array, 0);
  }
  line.kind = LineKind::bytes;
  std::size_t at = 2;
  while (at < text.size()) {
    if (text.size() - at < 4 || text[at] != '0' || text[at + 1] != 'x') {
      return failed_at(column, ReadError::bad_c_array, at);
    }
    if (const ReadError error = add_hex_byte(text, at + 2, at, line, bytes, column);
        error != ReadError::none) {
      return error;
    }
    at += 4;
    if (at == text.size()) {
      shape.c_part = last_items;
    } else if (text[at] != ',') {
      return failed_at(column, ReadError::bad_c_array, at);
    } else if (++at < text.size() && text[at++] != ' ') {
      return failed_at(column, ReadError::bad_c_array, at - 1);
    }
  }
  if (shape.c_part == before) {
    shape.c_part = inside;  // items alone, as xxd writes them for standard input
  }
  return check_items_width(shape, line, column);
}

ReadError check_items_width(Shape& shape, const OtherLine& line, std::size_t& column) {
  // Every items line but the last holds as many as the first.
  if (shape.lines == 0) {
    shape.columns = static_cast<std::uint16_t>(line.count);
  } else if (line.count > shape.columns || shape.ended) {
    return failed_at(column, ReadError::wrong_width, 0);
  }
  return ReadError::none;
}

ReadError open_typed_array(Shape& shape, bool proper, std::size_t& column) {
  if (!proper) {
    return failed_at(column, ReadError::bad_array, 0);
  }
  shape.c_part = array_inside;
  shape.opened = true;
  return ReadError::none;
}

ReadError read_typed_array_body(std::string_view text, std::string_view closing,
                                std::string_view indent, Shape& shape, OtherLine& line,
                                std::span<unsigned char> bytes, std::size_t& column) {
  if (text == closing) {
    shape.c_part = array_before;
    line.has_length = true;
    line.length = shape.array_length;
    return ReadError::none;
  }
  if (!text.starts_with(indent) || text.size() == indent.size()) {
    return failed_at(column, ReadError::bad_array, 0);
  }
  line.kind = LineKind::bytes;
  for (std::size_t at = indent.size(); at < text.size();) {
    if (text.size() - at < 5 || text[at] != '0' || text[at + 1] != 'x') {
      return failed_at(column, ReadError::bad_array, at);
    }
    if (const ReadError error = add_hex_byte(text, at + 2, at, line, bytes, column);
        error != ReadError::none) {
      return error;
    }
    if (text[at + 4] != ',') {
      return failed_at(column, ReadError::bad_array, at + 4);
    }
    at += 5;
    if (at < text.size() && (text[at] != ' ' || ++at == text.size())) {
      return failed_at(column, ReadError::bad_array, at);
    }
  }
  return check_items_width(shape, line, column);
}

void write_array_closing(TextOut& out, std::string_view closing) {
  out.put(closing);
  out.put('\n');
}

void write_array_items(TextOut& out, std::string_view indent,
                       std::span<const unsigned char> bytes) {
  out.put(indent);
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    out.put("0x");
    out.hex(bytes[k], false);
    out.put(',');
    if (k + 1 < bytes.size()) {
      out.put(' ');
    }
  }
  out.put('\n');
}

std::size_t c_array_name(const LayoutSettings& settings, std::span<char> out) {
  std::size_t size = 0;
  const std::string_view name = settings.name;
  // xxd makes a file's name an identifier: "__" before a leading digit,
  // "_" for every character but letters and digits.
  if (!settings.name_as_is && !name.empty() && name[0] >= '0' && name[0] <= '9') {
    out[size++] = '_';
    out[size++] = '_';
  }
  for (const char c : name) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    char shown = letter || (c >= '0' && c <= '9') || settings.name_as_is ? c : '_';
    if (settings.capitals && shown >= 'a' && shown <= 'z') {
      shown = static_cast<char>(shown - 'a' + 'A');
    }
    out[size++] = shown;
  }
  return size;
}

void put_array_name(TextOut& out, const LayoutSettings& settings) {
  out.at += c_array_name(settings, std::span(out.at, settings.name.size() + 2));
}

void write_c_opening(TextOut& out, const LayoutSettings& settings) {
  out.put(array_start);
  put_array_name(out, settings);
  out.put(array_open);
  out.put('\n');
}

void write_c_piece(TextOut& out, std::span<const unsigned char> bytes, bool starts, bool ends,
                   bool last) {
  if (starts) {
    out.put("  ");
  }
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    out.put("0x");
    out.hex(bytes[k], false);
    const bool line_end = ends && k + 1 == bytes.size();
    if (!(line_end && last)) {
      out.put(',');
    }
    if (!line_end) {
      out.put(' ');
    }
  }
  if (ends) {
    out.put('\n');
  }
}

void write_c_line(TextOut& out, const LayoutSettings& /*settings*/,
                  std::span<const unsigned char> bytes, bool last) {
  write_c_piece(out, bytes, true, true, last);
}

void write_c_closing(TextOut& out, const LayoutSettings& settings, std::uint64_t length) {
  out.put("};\n");
  out.put(length_start);
  put_array_name(out, settings);
  out.put(settings.capitals ? upper_length_middle : length_middle);
  out.number(length, 10, 1);
  out.put(";\n");
}

}  // namespace quarnel
