#include "diff/write_diff.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <span>

#include "platform/platform.h"
#include "quarnel/dump.h"

namespace quarnel {
namespace {

using line_geometry::bytes_per_line;
using line_geometry::char_column;

// GNU diff's colours.
constexpr std::string_view header_color = "\x1b[1m";
constexpr std::string_view hunk_color = "\x1b[36m";
constexpr std::string_view deleted_color = "\x1b[31m";
constexpr std::string_view added_color = "\x1b[32m";
constexpr std::string_view plain_color = "\x1b[0m";
constexpr std::string_view reversed = "\x1b[7m";
constexpr std::string_view not_reversed = "\x1b[27m";

// The lines of a file's dump: its full lines, then a short or end line.
std::uint64_t lines_of(const DiffFile& file) { return file.size / bytes_per_line + 1; }

// Line by line access to a file, a block at a time.
struct LineReader {
  const DiffFile* file;
  std::uint64_t first = 0;  // the first line in the block
  std::size_t count = 0;    // lines in the block
  bool failed = false;
  int error = 0;  // the system's reason for a failed read
  std::array<std::uint8_t, 1 << 16> block{};

  // The bytes of line i: 16, fewer on the last line, none past it.
  std::span<const std::uint8_t> line(std::uint64_t i) {
    if (i < first || i >= first + count) {
      first = i;
      const std::uint64_t at = i * bytes_per_line;
      const std::uint64_t wanted =
          at >= file->size ? 0 : std::min<std::uint64_t>(block.size(), file->size - at);
      const ReadResult got =
          read_at(file->handle, at, std::span(block).first(static_cast<std::size_t>(wanted)));
      if (got.status == ReadStatus::error || got.count != wanted) {
        error = got.status == ReadStatus::error && !failed ? last_error() : error;
        failed = true;
      }
      count = static_cast<std::size_t>((wanted + bytes_per_line - 1) / bytes_per_line);
      count = std::max<std::size_t>(count, 1);
    }
    const std::uint64_t at = i * bytes_per_line;
    if (at >= file->size) {
      return {};
    }
    const auto offset = static_cast<std::size_t>((i - first) * bytes_per_line);
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes_per_line, file->size - at));
    return std::span(block).subspan(offset, size);
  }
};

struct Differ {
  const DiffFile& before;
  const DiffFile& after;
  const DiffSettings& settings;
  OutputWriter& out;
  LineReader old_lines{&before};
  LineReader new_lines{&after};

  void put(std::string_view text) { put_output(out, text); }

  bool equal(std::uint64_t i) {
    if (i >= lines_of(before) || i >= lines_of(after)) {
      return false;
    }
    const auto one = old_lines.line(i);
    const auto two = new_lines.line(i);
    return one.size() == two.size() && std::equal(one.begin(), one.end(), two.begin());
  }

  // Line i of a dump, with its mark in front; with colour, the bytes that
  // differ from other (the line at the same place of the other dump) shown
  // reversed.
  void put_line(char mark, std::uint64_t i, const DiffFile& file, LineReader& lines,
                LineReader* other) {
    const auto bytes = lines.line(i);
    std::array<char, line_geometry::longest_line_size> text{};
    // A full line, or the file's last line: its short line or end line.
    StreamDump dump(static_cast<std::uint32_t>(i * bytes_per_line), platform_line_end());
    std::size_t size = dump_more(dump, bytes, text).value_or(0);
    if (i + 1 == lines_of(file)) {
      size = finish_dump(dump, text);
    }
    const std::string_view line(text.data(), size);
    const std::string_view color = mark == '-' ? deleted_color : added_color;
    if (settings.color && mark != ' ') {
      put(color);
    }
    put(std::string_view(&mark, 1));
    const auto others = other != nullptr ? other->line(i) : std::span<const std::uint8_t>();
    if (!settings.color || mark == ' ' || others.empty()) {
      put(settings.color && mark != ' ' ? line.substr(0, line.size() - line_end.size()) : line);
    } else {
      // Puts the line from `from` up to each differing byte's width
      // characters at place(k), and those reversed; returns where it stopped.
      const auto put_marked = [&](std::size_t from, std::size_t (*place)(std::size_t),
                                  std::size_t width) {
        for (std::size_t k = 0; k < bytes.size(); ++k) {
          if (k >= others.size() || others[k] != bytes[k]) {
            put(line.substr(from, place(k) - from));
            put(reversed);
            put(line.substr(place(k), width));
            put(not_reversed);
            from = place(k) + width;
          }
        }
        return from;
      };
      std::size_t from = put_marked(0, line_geometry::hex_place, 2);
      put(line.substr(from, char_column - std::min(from, char_column)));
      from = put_marked(std::max(from, char_column), line_geometry::char_place, 1);
      put(line.substr(from, line.size() - line_end.size() - from));
    }
    if (settings.color && mark != ' ') {
      put(plain_color);
      put(line_end);
    }
  }

  void put_range(std::uint64_t start, std::uint64_t count) {
    std::array<char, 48> digits{};
    char* end = digits.data();
    end = std::to_chars(end, digits.data() + 20, count == 0 ? start : start + 1).ptr;
    if (count != 1) {
      *end++ = ',';
      end = std::to_chars(end, digits.data() + digits.size(), count).ptr;
    }
    put(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
  }

  // The hunk of lines start to end (not included) of either dump.
  void put_hunk(std::uint64_t start, std::uint64_t end) {
    const std::uint64_t old_end = std::min(end, lines_of(before));
    const std::uint64_t new_end = std::min(end, lines_of(after));
    if (settings.color) {
      put(hunk_color);
    }
    put("@@ -");
    put_range(start, old_end - std::min(start, old_end));
    put(" +");
    put_range(start, new_end - std::min(start, new_end));
    put(" @@");
    if (settings.color) {
      put(plain_color);
    }
    put(line_end);
    for (std::uint64_t i = start; i < end && !out.failed;) {
      if (equal(i)) {
        put_line(' ', i, before, old_lines, nullptr);
        ++i;
        continue;
      }
      // A change: the old lines, then the new ones, as diff writes them.
      const std::uint64_t first = i;
      while (i < end && !equal(i)) {
        ++i;
      }
      for (std::uint64_t j = first; j < std::min(i, old_end); ++j) {
        put_line('-', j, before, old_lines, j < new_end ? &new_lines : nullptr);
      }
      for (std::uint64_t j = first; j < std::min(i, new_end); ++j) {
        put_line('+', j, after, new_lines, j < old_end ? &old_lines : nullptr);
      }
    }
  }

  void put_header() {
    for (const auto& [mark, file] : {std::pair{"--- ", &before}, std::pair{"+++ ", &after}}) {
      if (settings.color) {
        put(header_color);
      }
      put(mark);
      put(file->name);
      put("\t");
      put(file->time);
      if (settings.color) {
        put(plain_color);
      }
      put(line_end);
    }
  }
};

// A read that failed, or gave less than asked: the file was cut meanwhile,
// and no call has a reason to give.
DiffOutcome read_failure(const ReadResult& got, int error) {
  return {DiffResult::read_error, got.status == ReadStatus::error ? error : 0};
}

}  // namespace

DiffOutcome write_dump_diff(const DiffFile& before, const DiffFile& after,
                            const DiffSettings& settings, OutputWriter& out) {
  Differ differ{before, after, settings, out};
  const std::uint64_t lines = std::max(lines_of(before), lines_of(after));
  const std::uint64_t context = settings.context;
  bool open = false;
  std::uint64_t start = 0;
  std::uint64_t change_end = 0;
  bool any = false;
  // Changes come in order; one within twice the context of the last joins
  // its hunk, as diff joins them.
  const auto change = [&](std::uint64_t from, std::uint64_t to) {
    if (!any) {
      differ.put_header();
      any = true;
    }
    if (open && from <= change_end + 2 * context) {
      change_end = to;
      return;
    }
    if (open) {
      differ.put_hunk(start, std::min(change_end + context, lines));
    }
    open = true;
    start = from > context ? from - context : 0;
    change_end = to;
  };
  // The full lines both files have, a block at a time; then the rest.
  const std::uint64_t common =
      std::min(before.size / bytes_per_line, after.size / bytes_per_line) * bytes_per_line;
  static std::array<std::uint8_t, 1 << 20> one;
  static std::array<std::uint8_t, 1 << 20> two;
  for (std::uint64_t at = 0; at < common && !out.failed;) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(one.size(), common - at));
    const ReadResult first = read_at(before.handle, at, std::span(one).first(size));
    if (first.status != ReadStatus::data) {
      return read_failure(first, last_error());
    }
    const ReadResult second = read_at(after.handle, at, std::span(two).first(size));
    if (second.status != ReadStatus::data) {
      return read_failure(second, last_error());
    }
    if (std::memcmp(one.data(), two.data(), size) != 0) {
      for (std::size_t line = 0; line < size; line += bytes_per_line) {
        if (std::memcmp(one.data() + line, two.data() + line, bytes_per_line) != 0) {
          const std::uint64_t index = (at + line) / bytes_per_line;
          change(index, index + 1);
        }
      }
    }
    at += size;
  }
  for (std::uint64_t i = common / bytes_per_line; i < lines && !out.failed; ++i) {
    if (!differ.equal(i)) {
      // Past the shorter dump's end, every line is a change.
      const bool beyond = i >= std::min(lines_of(before), lines_of(after));
      change(i, beyond ? lines : i + 1);
      if (beyond) {
        break;
      }
    }
  }
  if (open && !out.failed) {
    differ.put_hunk(start, std::min(change_end + context, lines));
  }
  if (differ.old_lines.failed || differ.new_lines.failed) {
    return {DiffResult::read_error,
            differ.old_lines.failed ? differ.old_lines.error : differ.new_lines.error};
  }
  if (out.failed || !flush_output(out)) {
    return {DiffResult::write_error};
  }
  return {any ? DiffResult::differ : DiffResult::same};
}

}  // namespace quarnel
