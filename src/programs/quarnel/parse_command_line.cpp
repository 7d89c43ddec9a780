#include "programs/quarnel/parse_command_line.h"

namespace quarnel {
namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

int hex_digit_value(char c) {
  if (is_decimal_digit(c)) {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Reads the hexadecimal number after -x: leading white space, an optional
// sign, an optional 0x, then hex digits, wrapping modulo 2^32. Without a
// digit there is no number and the offset is 0.
std::int32_t read_hex_offset(const char* text) {
  while (is_space(*text)) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') {
    ++text;
  }
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text += 2;
  }
  std::uint32_t value = 0;
  for (int digit = hex_digit_value(*text); digit >= 0; digit = hex_digit_value(*++text)) {
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(negative ? 0U - value : value);
}

// Reads the run of decimal digits at text, wrapping modulo 2^32.
std::int32_t read_decimal_offset(const char* text) {
  std::uint32_t value = 0;
  for (; is_decimal_digit(*text); ++text) {
    value = value * 10 + static_cast<std::uint32_t>(*text - '0');
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

bool parse_command_line(int argc, const char* const argv[], RunSettings& settings) {
  settings = RunSettings{};
  int index = 1;
  for (; index < argc && argv[index][0] == '-'; ++index) {
    const char* arg = argv[index];
    if (arg[1] == 'x' || arg[1] == 'X') {
      settings.start_offset = read_hex_offset(arg + 2);
    } else if (is_decimal_digit(arg[1])) {
      settings.start_offset = read_decimal_offset(arg + 1);
    } else if ((arg[1] == 'h' || arg[1] == 'H') && arg[2] == '\0') {
      settings.help_requested = true;
      return true;
    }
  }
  for (; index < argc; ++index) {
    if (settings.input_count == max_inputs) {
      settings.first_dropped_name = argv[index];
      break;
    }
    settings.input_names[settings.input_count++] = argv[index];
  }
  return false;
}

}  // namespace quarnel
