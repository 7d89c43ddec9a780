#include "patch/diff_reader.h"

#include <charconv>
#include <span>

#include "undump/line_parse.h"

namespace quarnel {
namespace {

constexpr std::size_t longest_diff_line = 4096;

// "-a,b" or "+a" of a hunk header: the first line and the count.
bool read_range(std::string_view& text, char sign, std::uint64_t& first, std::uint64_t& count) {
  if (text.empty() || text[0] != sign) {
    return false;
  }
  const char* end = text.data() + text.size();
  std::from_chars_result got = std::from_chars(text.data() + 1, end, first);
  count = 1;
  if (got.ec == std::errc() && got.ptr != end && *got.ptr == ',') {
    got = std::from_chars(got.ptr + 1, end, count);
  }
  text.remove_prefix(static_cast<std::size_t>(got.ptr - text.data()));
  return got.ec == std::errc();
}

}  // namespace

bool looks_like_diff(std::string_view text) {
  return text.starts_with("--- ") || text.starts_with("diff ") || text.starts_with("@@ ") ||
         text.starts_with("Index: ");
}

DiffStep read_diff(std::string_view& text, bool at_end, DiffReader& diff, PatchWriter& patch,
                   std::uint64_t& number) {
  DiffStep step;
  const auto fail = [&](std::string_view problem) {
    step.ok = false;
    step.problem = problem;
    step.line = number;
    return step;
  };
  while (!text.empty()) {
    const std::size_t newline = text.substr(0, longest_diff_line + 2).find('\n');
    if (newline == std::string_view::npos && text.size() <= longest_diff_line && !at_end) {
      break;
    }
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? line.size() : newline + 1);
    ++number;
    if (line.size() > longest_diff_line) {
      return fail("the line is longer than a diff of dumps holds");
    }
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!diff.in_hunk) {
      if (line.starts_with("@@ ")) {
        std::string_view rest = line.substr(3);
        std::uint64_t old_first = 0;
        std::uint64_t new_first = 0;
        if (!read_range(rest, '-', old_first, diff.old_left) || !rest.starts_with(' ') ||
            (rest.remove_prefix(1), !read_range(rest, '+', new_first, diff.new_left)) ||
            !rest.starts_with(" @@") || (diff.old_left > 0 && old_first == 0) ||
            (diff.new_left > 0 && new_first == 0)) {
          return fail("the hunk header is not \"@@ -LINE,COUNT +LINE,COUNT @@\"");
        }
        diff.old_next = diff.old_left == 0 ? old_first : old_first - 1;
        diff.new_next = diff.new_left == 0 ? new_first : new_first - 1;
        diff.in_hunk = diff.old_left + diff.new_left > 0;
        diff.hunks = true;
      } else if (line.starts_with("--- ") && ++diff.files > 1) {
        return fail("the diff changes more than one file: give it one file's part");
      }
      // Headers, and text around the diff, as patch passes them over.
      continue;
    }
    if (line.starts_with('\\')) {
      continue;  // "\ No newline at end of file"
    }
    const char mark = line.empty() ? '?' : line[0];
    const bool old_side = mark == ' ' || mark == (diff.reverse ? '+' : '-');
    const bool new_side = mark == ' ' || mark == (diff.reverse ? '-' : '+');
    if (!old_side && !new_side) {
      return fail("a line of a hunk starts with neither a blank, - nor +");
    }
    const bool old_line = mark == ' ' || mark == '-';
    const bool new_line = mark == ' ' || mark == '+';
    if ((old_line && diff.old_left == 0) || (new_line && diff.new_left == 0)) {
      return fail("the hunk holds more lines than its header says");
    }
    DumpLine dump;
    std::size_t column = 0;
    if (const ReadError error = parse_line(line.substr(1), dump, column);
        error != ReadError::none) {
      step.ok = false;
      step.error = error;
      step.line = number;
      return step;
    }
    // Each line stands where the hunk header puts it: line n shows bytes
    // from 16n.
    const std::uint64_t line_of_dump = old_line ? diff.old_next : diff.new_next;
    if (dump.address != static_cast<std::uint32_t>(line_of_dump * 16) ||
        (old_line && new_line && diff.old_next != diff.new_next)) {
      return fail("the line is not where its hunk header puts it");
    }
    const std::uint64_t address = line_of_dump * 16;
    const auto bytes = std::span<const std::uint8_t>(dump.bytes).first(dump.count);
    const bool ends_dump = dump.count < 16;
    bool written = true;
    if (old_side) {
      written = patch_record(patch, {address, dump.count, RecordKind::expect, diff.input, number},
                             bytes) &&
                (!ends_dump ||
                 patch_record(
                     patch,
                     {address + dump.count, 0, RecordKind::expect_length, diff.input, number}, {}));
    }
    if (new_side) {
      written =
          written && (mark == ' ' || patch_bytes(patch, address, bytes)) &&
          (!ends_dump ||
           patch_record(patch,
                        {address + dump.count, 0, RecordKind::set_length, diff.input, number}, {}));
    }
    if (!written) {
      step.ok = false;
      step.write_failed = true;
      return step;
    }
    diff.old_left -= old_line ? 1 : 0;
    diff.new_left -= new_line ? 1 : 0;
    diff.old_next += old_line ? 1 : 0;
    diff.new_next += new_line ? 1 : 0;
    diff.in_hunk = diff.old_left + diff.new_left > 0;
  }
  if (at_end && text.empty() && (diff.in_hunk || !diff.hunks)) {
    return fail(diff.in_hunk ? "the diff ends inside a hunk" : "the diff holds no hunk");
  }
  return step;
}

}  // namespace quarnel
