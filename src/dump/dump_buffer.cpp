// dump/: writing dumps, quarnel's lines and the other layouts', with the
// vector paths that fill them.
// Dumps of bytes in memory, whole or in pieces, for the library's users.
#include <algorithm>
#include <cstddef>
#include <span>

#include "dump/line_format.h"
#include "quarnel/dump.h"

namespace quarnel {
inline namespace v1 {
namespace {

// The fastest formatter this CPU has, for each line end.
LineFormatter formatter(LineEnd end) {
  static const LineFormatter lf = line_formatter(fastest_format_path(), LineEnd::lf);
  static const LineFormatter crlf = line_formatter(fastest_format_path(), LineEnd::crlf);
  return end == LineEnd::lf ? lf : crlf;
}

std::span<const std::uint8_t> bytes_of(ByteView data) { return {data.data(), data.size()}; }

}  // namespace

LineEnd platform_line_end() noexcept { return native_line_end; }

std::size_t format_dump(ByteView data, std::uint32_t address, CharBuffer out,
                        LineEnd ending) noexcept {
  const std::size_t size = dump_size(data.size(), ending);
  // A dump that would not fit a size_t fits no buffer either.
  if (size == SIZE_MAX || out.size() < size) {
    return 0;
  }
  const auto bytes = bytes_of(data);
  const std::size_t whole = bytes.size() / bytes_per_line * bytes_per_line;
  char* end = formatter(ending)(out.data(), address, bytes.first(whole));
  format_last_line(end, address, bytes.subspan(whole), ending);
  return size;
}

void append_dump(std::string& text, ByteView data, std::uint32_t address, LineEnd ending) {
  const std::size_t before = text.size();
  // Past what a string can hold, resize throws as it would for any string.
  text.resize(before + dump_size(data.size(), ending));
  static_cast<void>(
      format_dump(data, address, CharBuffer(text.data() + before, text.size() - before), ending));
}

std::string dump_string(ByteView data, std::uint32_t address, LineEnd ending) {
  std::string text;
  append_dump(text, data, address, ending);
  return text;
}

std::optional<std::size_t> dump_more(StreamDump& stream, ByteView data, CharBuffer out) noexcept {
  if (out.size() < dump_more_size(stream, data.size())) {
    return std::nullopt;
  }
  auto bytes = bytes_of(data);
  const LineFormatter format = formatter(stream.line_end_);
  char* end = out.data();
  if (stream.held_ > 0) {
    const std::size_t taken = std::min(bytes_per_line - stream.held_, bytes.size());
    std::copy_n(bytes.begin(), taken,
                stream.line_.begin() + static_cast<std::ptrdiff_t>(stream.held_));
    stream.held_ += taken;
    bytes = bytes.subspan(taken);
    if (stream.held_ < bytes_per_line) {
      return 0;
    }
    end = format(end, stream.address_, stream.line_);
    stream.held_ = 0;
  }
  const std::size_t whole = bytes.size() / bytes_per_line * bytes_per_line;
  end = format(end, stream.address_, bytes.first(whole));
  stream.held_ = bytes.size() - whole;
  std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end(), stream.line_.begin());
  return static_cast<std::size_t>(end - out.data());
}

std::size_t finish_dump(StreamDump& stream, CharBuffer out) noexcept {
  if (out.size() < finish_dump_size(stream)) {
    return 0;
  }
  const char* end = format_last_line(out.data(), stream.address_,
                                     std::span(stream.line_).first(stream.held_), stream.line_end_);
  stream.address_ += static_cast<std::uint32_t>(stream.held_);
  stream.held_ = 0;
  return static_cast<std::size_t>(end - out.data());
}

}  // namespace v1
}  // namespace quarnel
