#include "view/inspector.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <initializer_list>

namespace quarnel {
namespace {

struct LineOut {
  std::array<char, inspector_width>& text;
  std::size_t& size;

  void put(std::string_view piece) {
    const std::size_t take = std::min(piece.size(), text.size() - size);
    std::memcpy(text.data() + size, piece.data(), take);
    size += take;
  }
  template <typename Number>
  void number(Number value) {
    std::array<char, 32> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    put({digits.data(), static_cast<std::size_t>(result.ptr - digits.data())});
  }
  void two_digits(unsigned value) {
    const char digits[2] = {static_cast<char>('0' + value / 10),
                            static_cast<char>('0' + value % 10)};
    put({digits, 2});
  }
};

// The bytes as an unsigned number, little- or big-endian.
std::uint64_t unsigned_value(std::span<const std::uint8_t> bytes, bool little) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    const std::uint8_t byte = little ? bytes[bytes.size() - 1 - k] : bytes[k];
    value = value << 8 | byte;
  }
  return value;
}

std::int64_t signed_value(std::span<const std::uint8_t> bytes, bool little) {
  const std::uint64_t value = unsigned_value(bytes, little);
  const unsigned unused = 64 - 8 * static_cast<unsigned>(bytes.size());
  return static_cast<std::int64_t>(value << unused) >> unused;
}

// The integers of width bytes: unsigned, signed or both.
void put_integers(LineOut& out, std::span<const std::uint8_t> bytes, std::size_t width,
                  std::initializer_list<bool> signs) {
  const std::array<char, 4> bits = {static_cast<char>('0' + width * 8 / 10 % 10),
                                    static_cast<char>('0' + width * 8 % 10)};
  const std::string_view bits_text =
      width == 1 ? std::string_view("8") : std::string_view(bits.data(), 2);
  if (bytes.size() < width) {
    out.put("u");
    out.put(bits_text);
    out.put(" and i");
    out.put(bits_text);
    out.put(": past the end");
    return;
  }
  const std::span<const std::uint8_t> value = bytes.first(width);
  bool first = true;
  for (const bool is_signed : signs) {
    out.put(first ? "" : "   ");
    out.put(is_signed ? "i" : "u");
    first = false;
    out.put(bits_text);
    for (const bool little : {true, false}) {
      if (width > 1) {
        out.put(little ? " LE " : " BE ");
      } else if (!little) {
        break;
      } else {
        out.put(" ");
      }
      if (is_signed) {
        out.number(signed_value(value, little));
      } else {
        out.number(unsigned_value(value, little));
      }
    }
  }
}

void put_floats(LineOut& out, std::span<const std::uint8_t> bytes, std::size_t width) {
  out.put(width == 4 ? "f32" : "f64");
  if (bytes.size() < width) {
    out.put(": past the end");
    return;
  }
  for (const bool little : {true, false}) {
    out.put(little ? " LE " : " BE ");
    const std::uint64_t value = unsigned_value(bytes.first(width), little);
    if (width == 4) {
      out.number(std::bit_cast<float>(static_cast<std::uint32_t>(value)));
    } else {
      out.number(std::bit_cast<double>(value));
    }
  }
}

// The UTF-8 character that starts with the first byte, if one does.
void put_character(LineOut& out, std::span<const std::uint8_t> bytes) {
  out.put("UTF-8 ");
  if (bytes.empty()) {
    out.put("past the end");
    return;
  }
  const std::uint8_t lead = bytes[0];
  const std::size_t size = lead < 0x80                   ? 1
                           : lead >= 0xC2 && lead < 0xE0 ? 2
                           : lead >= 0xE0 && lead < 0xF0 ? 3
                           : lead >= 0xF0 && lead < 0xF5 ? 4
                                                         : 0;
  std::uint32_t point = size == 1   ? lead
                        : size == 2 ? lead & 0x1FU
                        : size == 3 ? lead & 0x0FU
                                    : lead & 0x07U;
  bool whole = size > 0 && bytes.size() >= size;
  for (std::size_t k = 1; whole && k < size; ++k) {
    whole = (bytes[k] & 0xC0) == 0x80;
    point = point << 6 | (bytes[k] & 0x3FU);
  }
  constexpr std::array<std::uint32_t, 5> least{0, 0, 0x80, 0x800, 0x10000};
  if (!whole || point < least[size] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) {
    out.put("none");
    return;
  }
  out.put("U+");
  std::array<char, 8> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), point, 16);
  for (auto k = result.ptr - digits.data(); k < 4; ++k) {
    out.put("0");
  }
  for (char* at = digits.data(); at < result.ptr; ++at) {
    *at = *at >= 'a' ? static_cast<char>(*at - 'a' + 'A') : *at;
  }
  out.put({digits.data(), static_cast<std::size_t>(result.ptr - digits.data())});
  if (point >= 0x20 && point != 0x7F && (point < 0x80 || point >= 0xA0)) {
    out.put(" \"");
    out.put({reinterpret_cast<const char*>(bytes.data()), size});
    out.put("\"");
  }
}

constexpr unsigned seconds_a_minute = 60;
constexpr unsigned seconds_an_hour = 60 * seconds_a_minute;
constexpr unsigned seconds_a_day = 24 * seconds_an_hour;

// Seconds since 1970 as a UTC date and time (the civil calendar from days).
void put_time(LineOut& out, std::uint64_t seconds) {
  const std::int64_t days = static_cast<std::int64_t>(seconds / seconds_a_day) + 719468;
  const std::int64_t era = days / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const std::int64_t year =
      static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0);
  const auto of_day = static_cast<unsigned>(seconds % seconds_a_day);
  out.number(year);
  out.put("-");
  out.two_digits(month);
  out.put("-");
  out.two_digits(day);
  out.put(" ");
  out.two_digits(of_day / seconds_an_hour);
  out.put(":");
  out.two_digits(of_day / seconds_a_minute % seconds_a_minute);
  out.put(":");
  out.two_digits(of_day % seconds_a_minute);
  out.put(" UTC");
}

}  // namespace

void inspect_bytes(std::span<const std::uint8_t> bytes, Inspection& inspection) {
  inspection = Inspection{};
  const auto line = [&](std::size_t k) { return LineOut{inspection.text[k], inspection.size[k]}; };
  LineOut first = line(0);
  put_integers(first, bytes, 1, {false, true});
  first.put("   ");
  put_character(first, bytes);
  LineOut words = line(1);
  put_integers(words, bytes, 2, {false, true});
  LineOut longs = line(2);
  put_integers(longs, bytes, 4, {false, true});
  LineOut unsigned_wide = line(3);
  put_integers(unsigned_wide, bytes, 8, {false});
  LineOut signed_wide = line(4);
  put_integers(signed_wide, bytes, 8, {true});
  LineOut floats = line(5);
  put_floats(floats, bytes, 4);
  floats.put("   ");
  put_floats(floats, bytes, 8);
  LineOut time = line(6);
  time.put("time");
  if (bytes.size() < 4) {
    time.put(": past the end");
    return;
  }
  for (const bool little : {true, false}) {
    time.put(little ? " LE " : "   BE ");
    put_time(time, unsigned_value(bytes.first(4), little));
  }
}

}  // namespace quarnel
