#include "support/layout_texts.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace quarnel::testing {

std::string written_layout(const LayoutSettings& settings, std::string_view data,
                           std::size_t piece) {
  LayoutStream stream(settings);
  std::string text;
  std::vector<char> room((data.size() / layout_columns(settings) + 64) *
                         layout_line_size(settings));
  for (std::size_t at = 0; at < data.size(); at += piece) {
    const std::optional<std::size_t> size = layout_more(stream, data.substr(at, piece), room);
    if (!size.has_value()) {
      std::abort();
    }
    text.append(room.data(), *size);
  }
  text.append(room.data(), finish_layout(stream, room));
  return text;
}

DumpReading settings_reading(const LayoutSettings& settings) {
  const bool decimal = settings.radix == AddressRadix::decimal;
  switch (settings.layout) {
    case WrittenLayout::xxd:
      return settings.little_endian ? (decimal ? DumpReading::xxd_e_d : DumpReading::xxd_e)
                                    : (decimal ? DumpReading::xxd_d : DumpReading::xxd);
    case WrittenLayout::xxd_plain:
      return DumpReading::xxd_plain;
    case WrittenLayout::xxd_c:
      return DumpReading::xxd_c;
    case WrittenLayout::hexdump:
      return DumpReading::hexdump;
    case WrittenLayout::od:
      return settings.radix == AddressRadix::none && settings.squeeze ? DumpReading::any
             : decimal                                                ? DumpReading::od_d
             : settings.radix == AddressRadix::hex                    ? DumpReading::od_x
                                                                      : DumpReading::od;
    case WrittenLayout::cpp:
      return DumpReading::cpp;
    case WrittenLayout::rust:
      return DumpReading::rust;
    case WrittenLayout::hex:
      return DumpReading::hex;
  }
  return DumpReading::any;
}

ReadAll read_all(std::string_view text, ReadMode mode, DumpReading reading, std::string file) {
  DumpReader reader(mode, reading);
  std::vector<std::uint8_t> room(text.size() + 64);
  ReadAll got;
  for (;;) {
    const ReadStep step = reader.read(text, room, true);
    const std::string bytes(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(step.size));
    if (mode == ReadMode::dumps) {
      got.bytes += bytes;
    } else if (step.size > 0) {
      // The texts here are small: their addresses fit any size_t.
      const auto address = static_cast<std::size_t>(step.address);
      file.resize(std::max(file.size(), address + step.size));
      file.replace(address, step.size, bytes);
    }
    text.remove_prefix(step.taken);
    if (step.stop == ReadStop::error) {
      got.stop = step;
      break;
    }
    if (step.stop == ReadStop::text) {
      got.stop = reader.finish();
      break;
    }
  }
  if (mode == ReadMode::lines) {
    got.bytes = file;
  }
  return got;
}

std::string file_shaped(std::span<const std::uint8_t> source, std::size_t most) {
  std::string data;
  if (source.empty()) {
    return data;
  }
  const std::uint8_t kind = source[0] % 7;
  source = source.subspan(1);
  const auto at = [&](std::size_t i) -> std::uint8_t {
    return source.empty() ? 0 : source[i % source.size()];
  };
  const auto put = [&](auto byte) { data.push_back(static_cast<char>(byte)); };
  switch (kind) {
    case 0:  // as it came
      data.assign(source.begin(), source.end());
      break;
    case 1:  // text led by blanks, in indented lines
      data.append(at(0) % 17, ' ');
      for (std::size_t i = 1; i < source.size(); ++i) {
        const std::uint8_t b = source[i];
        if (b % 13 == 0) {
          put('\n');
          data.append(std::size_t{b} / 13 % 5 * 4, ' ');
        } else {
          put(b % 5 == 0 ? ' ' : 'a' + b % 26);
        }
      }
      break;
    case 2:  // a printable run, starting anywhere
      for (std::size_t i = 0; i < source.size(); ++i) {
        put(i < at(0) % 24 ? source[i] : 0x20 + source[i] % 95);
      }
      break;
    case 3: {  // records repeated with a few bytes changed
      const std::size_t size = 8 + at(0) % 41;
      const std::size_t copies = 2 + at(1) % 30;
      for (std::size_t copy = 0; copy < copies; ++copy) {
        const std::size_t start = data.size();
        for (std::size_t i = 0; i < size; ++i) {
          put(at(2 + i));
        }
        for (std::size_t change = 0; change < at(copy) % 4; ++change) {
          data[start + at(copy + change + 3) % size] = static_cast<char>(at(copy + change));
        }
      }
      break;
    }
    case 4: {  // a header, a run of padding, the rest
      constexpr std::array<char, 4> padding{'\0', '\xFF', ' ', '.'};
      const std::size_t header = std::min<std::size_t>(at(0) % 48, source.size());
      data.assign(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(header));
      data.append(16 + std::size_t{at(1)} * 4, padding[at(2) % 4]);
      data.append(source.begin() + static_cast<std::ptrdiff_t>(header), source.end());
      break;
    }
    case 5:  // blanks and dots
      for (const std::uint8_t b : source) {
        put((b & 1) != 0 ? ' ' : '.');
      }
      break;
    default:  // stretches of each
      for (std::size_t i = 0; i < source.size(); i += 8) {
        for (std::size_t j = i; j < std::min(i + 8, source.size()); ++j) {
          const std::uint8_t b = source[j];
          put(at(i) % 3 == 0 ? b : at(i) % 3 == 1 ? 0x20 + b % 95 : ' ');
        }
      }
      break;
  }
  data.resize(std::min(data.size(), most));
  return data;
}

std::string pasted(std::string_view text, int way) {
  if (way == 3) {
    return std::string(text.substr(0, text.ends_with('\n') ? text.size() - 1 : text.size()));
  }
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (way == 2) {
      line = line.substr(0, line.find_last_not_of(' ') + 1);
    }
    out += line;
    if (end < text.size()) {
      out += way == 1 ? "\r\n" : "\n";
    }
    at = end + 1;
  }
  return out;
}

}  // namespace quarnel::testing
