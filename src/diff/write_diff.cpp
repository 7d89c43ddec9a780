#include "diff/write_diff.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>

#include "diff/align.h"
#include "diff/diff_colors.h"
#include "diff/moves.h"
#include "io/block_sum.h"
#include "io/dump_line.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

using line_geometry::bytes_per_line;
using line_geometry::char_column;

constexpr std::string_view header_color = diff_colors::header;
constexpr std::string_view hunk_color = diff_colors::hunk;
constexpr std::string_view deleted_color = diff_colors::deleted;
constexpr std::string_view added_color = diff_colors::added;
constexpr std::string_view plain_color = diff_colors::plain;
constexpr std::string_view reversed = "\x1b[7m";
constexpr std::string_view not_reversed = "\x1b[27m";

constexpr std::uint64_t unknown_end = ~std::uint64_t{0};
// A hunk holds this many spans at most; past that, the last ones are
// shown as one change.
constexpr std::size_t most_spans = 4096;

std::uint64_t lines_for(std::uint64_t bytes) {
  return (bytes + bytes_per_line - 1) / bytes_per_line;
}

// What a hunk shows: lines of a stretch of equal shift (a grid, whose
// line k shows 16 bytes from origin + 16k on each side, some of them
// changed), or the bytes a change inserted, deleted or replaced.
struct Span {
  bool moved = false;                  // an insertion, deletion or replacement of another length
  std::array<std::uint64_t, 2> at{};   // a grid's origin, or a change's first byte
  std::array<std::uint64_t, 2> end{};  // where the grid or the change ends on each side
  bool last = false;                   // the grid runs to the files' ends, and their end lines
  std::uint64_t first = 0;             // a grid's lines first to until, not included
  std::uint64_t until = 0;
  std::array<std::uint64_t, 2> number{};  // the dump line (from 0) of its first line on each side
  // A change's block that moved: out of its old side, into its new side.
  std::array<Move, 2> block{};

  // The lines of a side: a grid's last line may be short; the files' last
  // grid has a short line or an end line.
  [[nodiscard]] std::uint64_t lines(std::size_t side) const {
    if (end[side] == unknown_end) {
      return unknown_end;
    }
    const std::uint64_t bytes = end[side] - at[side];
    return last ? bytes / bytes_per_line + 1 : lines_for(bytes);
  }
  // The lines a grid shows of a side.
  [[nodiscard]] std::uint64_t grid_shown(std::size_t side) const {
    return std::min(until, lines(side)) - std::min(first, lines(side));
  }
};

// Where a block starts on a side, and where on the other.
std::uint64_t block_start(const Move& block, std::size_t side) {
  return side == 0 ? block.old_at : block.new_at;
}

// What a block that moved shows on each side, in the same lines on both:
// the bytes that moved unchanged, a line each that says where to or from,
// and 16 bytes from each changed byte, on lines of their own.
struct BlockPiece {
  bool moved;
  std::uint64_t from;  // in the block
  std::uint64_t size;
};

// Bytes of a file, through a block read at the first byte wanted.
struct ByteCache {
  const DiffFile* file;
  std::uint64_t first = 0;
  std::size_t count = 0;
  bool failed = false;
  int error = 0;
  std::array<std::uint8_t, 1 << 16> block{};

  // Up to 16 bytes from at, fewer at the file's end.
  std::span<const std::uint8_t> line(std::uint64_t at, std::uint64_t end) {
    return bytes(at, end, bytes_per_line);
  }

  // Up to most bytes from at (a block's at most), fewer at the file's end.
  std::span<const std::uint8_t> bytes(std::uint64_t at, std::uint64_t end, std::uint64_t most) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(
        {most, end - std::min(at, end), file->size - std::min(at, file->size)}));
    if (at < first || at + size > first + count) {
      first = at;
      count = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), file->size - at));
      const ReadResult got = read_at(file->handle, at, std::span(block).first(count));
      if (got.status != ReadStatus::data || got.count != count) {
        error = got.status == ReadStatus::error && !failed ? last_error() : error;
        failed = true;
        count = 0;
        return {};
      }
    }
    return std::span(block).subspan(static_cast<std::size_t>(at - first), size);
  }
};

// At namespace scope: too large for a thread's stack.
std::array<ByteCache, 2> byte_caches{};
std::array<Span, most_spans> hunk_spans{};

struct Differ {
  const DiffFile& before;
  const DiffFile& after;
  const DiffSettings& settings;
  OutputWriter& out;
  // A side's bytes stay valid while the other side's are read.
  std::span<ByteCache, 2> cache{byte_caches};
  std::span<Span, most_spans> spans{hunk_spans};
  bool any = false;
  bool open = false;
  // Once bytes have moved, every hunk keeps a line of context at least: a
  // side that ends a hunk with a short line then ends its file.
  std::uint64_t context = settings.context;
  std::uint64_t change_end = 0;  // the line after the last changed one of the grid
  std::size_t count = 0;
  Span grid{.end = {unknown_end, unknown_end}};  // the stretch the changes have reached

  void put(std::string_view text) { put_output(out, text); }

  // A line of a side with its mark in front; with colour, the bytes that
  // differ from others (the other side's line of a grid) or all of them
  // (a moved change's) shown reversed.
  void put_line(char mark, std::uint64_t address, std::span<const std::uint8_t> bytes,
                std::span<const std::uint8_t> others, bool all_differ) {
    static FormattedLine line;
    make_dump_line(address, bytes, line);
    const std::string_view whole = line.text;
    const std::size_t shift = line.shift;
    const std::string_view color = mark == '-' ? deleted_color : added_color;
    if (settings.color && mark != ' ') {
      put(color);
    }
    put(std::string_view(&mark, 1));
    if (!settings.color || mark == ' ' || (others.empty() && !all_differ)) {
      put(settings.color && mark != ' ' ? whole.substr(0, whole.size() - line_end.size()) : whole);
    } else {
      const auto differs = [&](std::size_t k) {
        return all_differ || k >= others.size() || others[k] != bytes[k];
      };
      // Puts the line from `from` up to each differing byte's width
      // characters at place(k), and those reversed; returns where it stopped.
      const auto put_marked = [&](std::size_t start, std::size_t (*place)(std::size_t),
                                  std::size_t size_of) {
        for (std::size_t k = 0; k < bytes.size(); ++k) {
          if (differs(k)) {
            const std::size_t at = place(k) + shift;
            put(whole.substr(start, at - start));
            put(reversed);
            put(whole.substr(at, size_of));
            put(not_reversed);
            start = at + size_of;
          }
        }
        return start;
      };
      const std::size_t chars = char_column + shift;
      std::size_t start = put_marked(0, line_geometry::hex_place, 2);
      put(whole.substr(start, chars - std::min(start, chars)));
      start = put_marked(std::max(start, chars), line_geometry::char_place, 1);
      put(whole.substr(start, whole.size() - line_end.size() - start));
    }
    if (settings.color && mark != ' ') {
      put(plain_color);
      put(line_end);
    }
  }

  // Line k of a grid on a side: its bytes, none when the side has no such line.
  static std::span<const std::uint8_t> grid_line(const Span& span, std::size_t side,
                                                 std::uint64_t k, ByteCache& bytes) {
    if (k >= span.lines(side)) {
      return {};
    }
    const std::uint64_t at = span.at[side] + k * bytes_per_line;
    return bytes.line(at, span.end[side]);
  }

  [[nodiscard]] bool equal_lines(const Span& span, std::uint64_t k) const {
    if (k >= span.lines(0) || k >= span.lines(1)) {
      return false;
    }
    const auto one = grid_line(span, 0, k, cache[0]);
    const auto two = grid_line(span, 1, k, cache[1]);
    return one.size() == two.size() && std::equal(one.begin(), one.end(), two.begin());
  }

  void put_grid(const Span& span) {
    for (std::uint64_t k = span.first; k < span.until && !out.failed;) {
      if (equal_lines(span, k)) {
        put_line(' ', span.at[0] + k * bytes_per_line, grid_line(span, 0, k, cache[0]), {}, false);
        ++k;
        continue;
      }
      // A change: the old lines, then the new ones, as diff writes them.
      const std::uint64_t start = k;
      while (k < span.until && !equal_lines(span, k)) {
        ++k;
      }
      for (std::size_t side = 0; side < 2; ++side) {
        const char mark = side == 0 ? '-' : '+';
        for (std::uint64_t j = start; j < std::min(k, span.lines(side)); ++j) {
          put_line(mark, span.at[side] + j * bytes_per_line, grid_line(span, side, j, cache[side]),
                   grid_line(span, 1 - side, j, cache[1 - side]), false);
        }
      }
    }
  }

  // Where the bytes of a block first differ on its two sides, from `from`
  // on; its size when nowhere.
  [[nodiscard]] std::uint64_t block_difference(const Move& block, std::uint64_t from) const {
    for (; from < block.size; from += bytes_per_line) {
      const std::uint64_t end = block.size;
      const auto one = cache[0].line(block.old_at + from, block.old_at + end);
      const auto two = cache[1].line(block.new_at + from, block.new_at + end);
      if (one.empty() || two.size() != one.size()) {
        return block.size;
      }
      const auto differ = std::mismatch(one.begin(), one.end(), two.begin());
      if (differ.first != one.end()) {
        return from + static_cast<std::uint64_t>(differ.first - one.begin());
      }
    }
    return block.size;
  }

  template <typename Put>
  void walk_block(const Move& block, Put&& put_piece) {
    std::uint64_t from = 0;
    while (from < block.size && !out.failed) {
      const std::uint64_t differ = block_difference(block, from);
      if (differ - from >= bytes_per_line || differ == block.size) {
        put_piece(BlockPiece{true, from, differ - from});
        from = differ;
      }
      if (from < block.size) {
        const std::uint64_t size = std::min<std::uint64_t>(bytes_per_line, block.size - from);
        put_piece(BlockPiece{false, from, size});
        from += size;
      }
    }
  }

  std::uint64_t block_lines(const Move& block) {
    std::uint64_t lines = 0;
    walk_block(block, [&](const BlockPiece&) { ++lines; });
    return lines;
  }

  // The lines a span shows of a side.
  std::uint64_t shown(const Span& span, std::size_t side) {
    if (!span.moved) {
      return span.grid_shown(side);
    }
    const Move& block = span.block[side];
    if (block.size == 0) {
      return lines_for(span.end[side] - span.at[side]);
    }
    const std::uint64_t start = block_start(block, side);
    return lines_for(start - span.at[side]) + block_lines(block) +
           lines_for(span.end[side] - (start + block.size));
  }

  // The sum of a side's bytes from `from` on.
  [[nodiscard]] std::uint32_t sum_of(std::size_t side, std::uint64_t from,
                                     std::uint64_t size) const {
    std::uint32_t sum = 0;
    for (std::uint64_t at = from; at < from + size;) {
      const auto bytes = cache[side].bytes(at, from + size, cache[side].block.size());
      if (bytes.empty()) {
        break;  // a read failed, which the diff ends with
      }
      sum = block_sum(sum, bytes);
      at += bytes.size();
    }
    return sum;
  }

  // A line that stands for bytes that moved: where they went, or where
  // they came from, and their sum, which the patch checks.
  void put_move_line(char mark, std::size_t side, std::uint64_t address, std::uint64_t size,
                     std::uint64_t other) {
    if (settings.color) {
      put(mark == '-' ? deleted_color : added_color);
    }
    put(std::string_view(&mark, 1));
    put_address(address);
    put("  ");
    put_bytes(size);
    put(mark == '-' ? " moved to " : " moved from ");
    put_address(other);
    put(", crc32 ");
    put_address(sum_of(side, address, size));  // eight digits, as an address of 32 bits
    if (settings.color) {
      put(plain_color);
    }
    put(line_end);
  }

  void put_side_bytes(char mark, std::size_t side, std::uint64_t from, std::uint64_t end) {
    for (std::uint64_t at = from; at < end && !out.failed; at += bytes_per_line) {
      put_line(mark, at, cache[side].line(at, end), {}, true);
    }
  }

  void put_moved(const Span& span) {
    for (std::size_t side = 0; side < 2; ++side) {
      const char mark = side == 0 ? '-' : '+';
      const Move& block = span.block[side];
      if (block.size == 0) {
        put_side_bytes(mark, side, span.at[side], span.end[side]);
        continue;
      }
      const std::uint64_t start = block_start(block, side);
      const std::uint64_t other = block_start(block, 1 - side);
      put_side_bytes(mark, side, span.at[side], start);
      walk_block(block, [&](const BlockPiece& piece) {
        if (piece.moved) {
          put_move_line(mark, side, start + piece.from, piece.size, other + piece.from);
          return;
        }
        const std::uint64_t end = piece.from + piece.size;
        put_line(mark, start + piece.from, cache[side].line(start + piece.from, start + end),
                 cache[1 - side].line(other + piece.from, other + end), false);
      });
      put_side_bytes(mark, side, start + block.size, span.end[side]);
    }
  }

  void put_number(std::uint64_t start, std::uint64_t lines) {
    std::array<char, 48> digits{};
    char* end = digits.data();
    end = std::to_chars(end, digits.data() + 20, lines == 0 ? start : start + 1).ptr;
    if (lines != 1) {
      *end++ = ',';
      end = std::to_chars(end, digits.data() + digits.size(), lines).ptr;
    }
    put(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
  }

  void put_address(std::uint64_t address) {
    std::array<char, 16> digits{};
    put(std::string_view(digits.data(), address_text(address, digits)));
  }

  void put_count(std::uint64_t count_of, std::string_view one, std::string_view many) {
    std::array<char, 24> digits{};
    const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), count_of).ptr;
    put(std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
    put(count_of == 1 ? one : many);
  }

  void put_bytes(std::uint64_t bytes) { put_count(bytes, " byte", " bytes"); }

  // After the header's ranges: what the hunk's first moved change did, or
  // where a hunk whose bytes have moved stands in each file.
  void put_summary() {
    const auto moved =
        std::find_if(spans.begin(), spans.begin() + static_cast<std::ptrdiff_t>(count),
                     [](const Span& span) { return span.moved; });
    const Span& first = spans[0];
    if (moved == spans.begin() + static_cast<std::ptrdiff_t>(count)) {
      if (first.at[0] != first.at[1]) {
        put(" at ");
        put_address(first.at[0] + first.first * bytes_per_line);
        put(" in the old file, ");
        put_address(first.at[1] + first.first * bytes_per_line);
        put(" in the new");
      }
      return;
    }
    const std::uint64_t deleted = moved->end[0] - moved->at[0];
    const std::uint64_t inserted = moved->end[1] - moved->at[1];
    const Move& block = moved->block[0].size != 0 ? moved->block[0] : moved->block[1];
    put(" ");
    put_bytes(block.size != 0 ? block.size : deleted == 0 ? inserted : deleted);
    if (block.size != 0) {
      put(" moved from ");
      put_address(block.old_at);
      put(" to ");
      put_address(block.new_at);
    } else if (deleted == 0) {
      put(" inserted at ");
      put_address(moved->at[1]);
    } else if (inserted == 0) {
      put(" deleted at ");
      put_address(moved->at[0]);
    } else {
      put(" replaced by ");
      put_bytes(inserted);
      put(" at ");
      put_address(moved->at[0]);
    }
    const auto others = std::count_if(moved + 1, spans.begin() + static_cast<std::ptrdiff_t>(count),
                                      [](const Span& span) { return span.moved; });
    if (others > 0) {
      put(", and ");
      put_count(static_cast<std::uint64_t>(others), " more change", " more changes");
    }
  }

  void put_hunk() {
    std::array<std::uint64_t, 2> lines{};
    for (std::size_t i = 0; i < count; ++i) {
      lines[0] += shown(spans[i], 0);
      lines[1] += shown(spans[i], 1);
    }
    const Span& first = spans[0];
    const std::uint64_t skipped = first.moved ? 0 : first.first;
    if (settings.color) {
      put(hunk_color);
    }
    put("@@ -");
    put_number(first.number[0] + skipped, lines[0]);
    put(" +");
    put_number(first.number[1] + skipped, lines[1]);
    put(" @@");
    put_summary();
    if (settings.color) {
      put(plain_color);
    }
    put(line_end);
    for (std::size_t i = 0; i < count && !out.failed; ++i) {
      if (spans[i].moved) {
        put_moved(spans[i]);
      } else {
        put_grid(spans[i]);
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

  // Lines from to until of the grid changed. A change within twice the
  // context of the last joins its hunk, as diff joins them.
  void change(std::uint64_t from, std::uint64_t until) {
    if (!any) {
      put_header();
      any = true;
    }
    if (open && from <= change_end + 2 * context) {
      change_end = std::max(change_end, until);
      spans[count - 1].until = change_end;
      return;
    }
    if (open) {
      spans[count - 1].until =
          std::min(change_end + context, std::max(grid.lines(0), grid.lines(1)));
      put_hunk();
    }
    open = true;
    count = 1;
    spans[0] = grid;
    spans[0].first = from > context ? from - context : 0;
    spans[0].until = until;
    change_end = until;
  }

  // A change that moves the bytes after it: the grid ends before it, and
  // a new one starts after it.
  // The hunk's last span is the grid's: it learns where the grid ends.
  void grid_ends(std::array<std::uint64_t, 2> end, bool last) {
    grid.end = end;
    grid.last = last;
    if (open) {
      spans[count - 1].end = end;
      spans[count - 1].last = last;
    }
  }

  void moved(const PairedChange& paired) {
    const Change& moved_change = paired.change;
    context = std::max<std::uint64_t>(context, 1);
    grid_ends({moved_change.old_at, moved_change.new_at}, false);
    const std::uint64_t lines = grid.lines(0);
    change(lines, lines);
    Span span{.moved = true,
              .at = {moved_change.old_at, moved_change.new_at},
              .end = {moved_change.old_at + moved_change.old_size,
                      moved_change.new_at + moved_change.new_size},
              .number = {grid.number[0] + lines, grid.number[1] + lines},
              .block = {paired.out, paired.in}};
    // A hunk too long to hold: its last grid joins the changes around it.
    if (count + 2 > spans.size()) {
      const Span& before_grid = spans[count - 2];
      span.at = before_grid.at;
      span.number = before_grid.number;
      count -= 2;
    }
    spans[count++] = span;
    grid = Span{.at = span.end,
                .end = {unknown_end, unknown_end},
                .number = {span.number[0] + shown(span, 0), span.number[1] + shown(span, 1)}};
    spans[count++] = grid;
    change_end = 0;
  }

  // The files' ends: the last grid runs to both, and lines past the
  // bytes they share differ.
  void finish(const AlignedEnd& end) {
    grid_ends({before.size, after.size}, true);
    const std::uint64_t lines = std::max(grid.lines(0), grid.lines(1));
    if (end.old_at != before.size || end.new_at != after.size) {
      change((end.old_at - grid.at[0]) / bytes_per_line, lines);
    }
    if (open && !out.failed) {
      spans[count - 1].until = std::min(change_end + context, lines);
      put_hunk();
    }
  }
};

}  // namespace

DiffOutcome write_dump_diff(const DiffFile& before, const DiffFile& after,
                            const DiffSettings& settings, OutputWriter& out) {
  byte_caches = {ByteCache{&before}, ByteCache{&after}};
  Differ differ{before, after, settings, out};
  Aligner& aligner = start_alignment({before.handle, before.size}, {after.handle, after.size},
                                     settings.same_offsets);
  MoveFinder& moves =
      start_moves(aligner, {before.handle, before.size}, {after.handle, after.size});
  PairedChange paired;
  const Change& change = paired.change;
  AlignStep step = AlignStep::change;
  while (!out.failed && (step = next_paired_change(moves, paired)) == AlignStep::change) {
    if (change.old_size == change.new_size) {
      const std::uint64_t origin = differ.grid.at[0];
      differ.change((change.old_at - origin) / bytes_per_line,
                    lines_for(change.old_at + change.old_size - origin));
    } else {
      differ.moved(paired);
    }
  }
  if (step == AlignStep::read_error) {
    return {DiffResult::read_error, align_error(aligner)};
  }
  if (!out.failed) {
    differ.finish(aligned_end(aligner));
  }
  for (const ByteCache& cache : byte_caches) {
    if (cache.failed) {
      return {DiffResult::read_error, cache.error};
    }
  }
  if (out.failed || !flush_output(out)) {
    return {DiffResult::write_error};
  }
  return {differ.any ? DiffResult::differ : DiffResult::same};
}

}  // namespace quarnel
