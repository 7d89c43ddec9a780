#include "undump/text_decode.h"

#include <algorithm>
#include <array>

#include "layouts/text_out.h"

namespace quarnel {
namespace {

constexpr std::string_view little_endian_mark = "\xFF\xFE";
constexpr std::string_view big_endian_mark = "\xFE\xFF";

}  // namespace

bool read_text_start(std::string_view text, bool text_ends, TextStart& start) {
  // Editors on Windows start text with a byte order mark.
  constexpr std::array marks{utf8_mark, little_endian_mark, big_endian_mark};
  if (!text_ends && text.size() < utf8_mark.size() &&
      std::any_of(marks.begin(), marks.end(),
                  [&](std::string_view mark) { return mark.starts_with(text); })) {
    return false;
  }
  start = TextStart{};
  if (text.starts_with(utf8_mark)) {
    start.skip = utf8_mark.size();
  } else if (text.starts_with(little_endian_mark) || text.starts_with(big_endian_mark)) {
    start.utf16 = true;
    start.big_endian = text.starts_with(big_endian_mark);
    start.skip = little_endian_mark.size();
  } else if (text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0')) {
    start.unmarked_utf16 = true;
  }
  return true;
}

Utf16Line split_utf16_line(std::string_view rest, bool big_endian, bool text_ends,
                           std::size_t limit, std::span<char> decoded) {
  Utf16Line split;
  const std::size_t units = std::min({rest.size() / 2, limit, decoded.size()});
  std::size_t count = 0;
  for (; count < units; ++count) {
    const unsigned first = static_cast<unsigned char>(rest[2 * count]);
    const unsigned second = static_cast<unsigned char>(rest[2 * count + 1]);
    const unsigned unit = big_endian ? first << 8U | second : second << 8U | first;
    if (unit == '\n') {
      break;
    }
    decoded[count] = unit < 0x80 ? static_cast<char>(unit) : '\xFF';
  }
  split.ended = count < units;
  if (!split.ended && rest.size() / 2 < limit && !text_ends) {
    split.more = true;
    return split;
  }
  if (!split.ended && rest.size() % 2 == 1 && count == rest.size() / 2 && count < decoded.size()) {
    decoded[count++] = '\xFF';  // half a unit
  }
  split.content = std::string_view(decoded.data(), count);
  split.length = split.ended ? 2 * (count + 1) : rest.size();
  return split;
}

std::string_view fold_latin1(std::string_view content, std::span<char> decoded) {
  std::size_t at = 0;
  while (at < content.size() && static_cast<unsigned char>(content[at]) < 0x80) {
    ++at;
  }
  if (at == content.size() || content.size() > decoded.size()) {
    return content;
  }
  content.copy(decoded.data(), at);
  std::size_t size = at;
  for (; at < content.size(); ++at) {
    const auto lead = static_cast<unsigned char>(content[at]);
    const auto next = at + 1 < content.size() ? static_cast<unsigned char>(content[at + 1]) : 0U;
    const unsigned value = (lead & 3U) << 6U | (next & 0x3FU);
    if ((lead == 0xC2 || lead == 0xC3) && (next & 0xC0U) == 0x80 && shows_latin1(value)) {
      decoded[size++] = static_cast<char>(value);
      ++at;
    } else {
      decoded[size++] = content[at];
    }
  }
  return {decoded.data(), size};
}

}  // namespace quarnel
