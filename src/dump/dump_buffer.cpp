// Dumps of bytes in memory, whole or in pieces, for the library's users.
#include <algorithm>
#include <cstddef>

#include "dump/line_format.h"
#include "quarnel/dump.h"

namespace quarnel {
namespace {

// The fastest formatter this CPU has, for each line end.
LineFormatter formatter(LineEnd end) {
  static const LineFormatter lf = line_formatter(fastest_format_path(), LineEnd::lf);
  static const LineFormatter crlf = line_formatter(fastest_format_path(), LineEnd::crlf);
  return end == LineEnd::lf ? lf : crlf;
}

}  // namespace

LineEnd platform_line_end() noexcept { return native_line_end; }

std::size_t dump_size(std::size_t size, LineEnd ending) noexcept {
  return size / bytes_per_line * line_length(ending) + char_column + size % bytes_per_line +
         line_end_text(ending).size();
}

std::size_t format_dump(std::span<const std::uint8_t> data, std::uint32_t address,
                        std::span<char> out, LineEnd ending) noexcept {
  const std::size_t size = dump_size(data.size(), ending);
  if (out.size() < size) {
    return 0;
  }
  const std::size_t whole = data.size() / bytes_per_line * bytes_per_line;
  char* end = formatter(ending)(out.data(), address, data.first(whole));
  format_last_line(end, address, data.subspan(whole), ending);
  return size;
}

std::string dump_string(std::span<const std::uint8_t> data, std::uint32_t address, LineEnd ending) {
  std::string text(dump_size(data.size(), ending), '\0');
  static_cast<void>(format_dump(data, address, text, ending));
  return text;
}

StreamDump start_stream_dump(std::uint32_t address, LineEnd ending) noexcept {
  return {.address = address, .line_end = ending};
}

std::size_t dump_more_size(const StreamDump& stream, std::size_t size) noexcept {
  return (stream.held + size) / bytes_per_line * line_length(stream.line_end);
}

std::optional<std::size_t> dump_more(StreamDump& stream, std::span<const std::uint8_t> data,
                                     std::span<char> out) noexcept {
  if (out.size() < dump_more_size(stream, data.size())) {
    return std::nullopt;
  }
  const LineFormatter format = formatter(stream.line_end);
  char* end = out.data();
  if (stream.held > 0) {
    const std::size_t taken = std::min(bytes_per_line - stream.held, data.size());
    std::copy_n(data.begin(), taken,
                stream.line.begin() + static_cast<std::ptrdiff_t>(stream.held));
    stream.held += taken;
    data = data.subspan(taken);
    if (stream.held < bytes_per_line) {
      return 0;
    }
    end = format(end, stream.address, stream.line);
    stream.held = 0;
  }
  const std::size_t whole = data.size() / bytes_per_line * bytes_per_line;
  end = format(end, stream.address, data.first(whole));
  stream.held = data.size() - whole;
  std::copy(data.begin() + static_cast<std::ptrdiff_t>(whole), data.end(), stream.line.begin());
  return static_cast<std::size_t>(end - out.data());
}

std::size_t finish_dump_size(const StreamDump& stream) noexcept {
  return line_length(stream.line_end);
}

std::size_t finish_dump(StreamDump& stream, std::span<char> out) noexcept {
  if (out.size() < finish_dump_size(stream)) {
    return 0;
  }
  const char* end = format_last_line(out.data(), stream.address,
                                     std::span(stream.line).first(stream.held), stream.line_end);
  stream.address += static_cast<std::uint32_t>(stream.held);
  stream.held = 0;
  return static_cast<std::size_t>(end - out.data());
}

}  // namespace quarnel
