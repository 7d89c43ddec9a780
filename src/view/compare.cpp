#include "view/compare.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "diff/align.h"
#include "io/dump_line.h"
#include "layouts/byte_classes.h"

namespace quarnel {
namespace {

void add_stretch(Comparison& comparison, const Stretch& stretch) {
  if (stretch.old_size == 0 && stretch.new_size == 0) {
    return;
  }
  const std::lock_guard<std::mutex> held(comparison.lock);
  comparison.stretches.push_back(stretch);
}

void align_files(Comparison& comparison) {
  const std::uint64_t old_size = comparison.old_file->table.file_length;
  const std::uint64_t new_size = comparison.new_file->table.file_length;
  Aligner& aligner = start_alignment({comparison.old_file->handle, old_size},
                                     {comparison.new_file->handle, new_size}, false);
  std::uint64_t old_at = 0;
  std::uint64_t new_at = 0;
  Change change;
  AlignStep step = AlignStep::change;
  while ((step = next_change(aligner, change)) == AlignStep::change) {
    add_stretch(comparison, {old_at, change.old_at - old_at, new_at, change.new_at - new_at, true});
    add_stretch(comparison,
                {change.old_at, change.old_size, change.new_at, change.new_size, false});
    old_at = change.old_at + change.old_size;
    new_at = change.new_at + change.new_size;
  }
  if (step == AlignStep::end) {
    const AlignedEnd end = aligned_end(aligner);
    add_stretch(comparison, {old_at, end.old_at - old_at, new_at, end.new_at - new_at, true});
    add_stretch(comparison,
                {end.old_at, old_size - end.old_at, end.new_at, new_size - end.new_at, false});
  } else {
    comparison.error = align_error(aligner);
  }
  comparison.done = true;
}

// The bytes a row holds on each side: 16 where the screen is wide enough
// for two whole lines, else 8.
std::size_t row_bytes(const Comparison& comparison) {
  return comparison.columns >= 2 * (line_geometry::line_text - 1) + 3 ? 16 : 8;
}

std::uint64_t rows_of(const Stretch& stretch, std::size_t bytes) {
  return (std::max(stretch.old_size, stretch.new_size) + bytes - 1) / bytes;
}

// The row each stretch starts at, and the rows in all; under the lock.
std::uint64_t first_rows(const Comparison& comparison, std::vector<std::uint64_t>& firsts) {
  firsts.clear();
  std::uint64_t row = 0;
  for (const Stretch& stretch : comparison.stretches) {
    firsts.push_back(row);
    row += rows_of(stretch, row_bytes(comparison));
  }
  return row;
}

void tell_compare(Comparison& comparison, std::string_view text) {
  comparison.message_size = std::min(text.size(), comparison.message.size());
  std::memcpy(comparison.message.data(), text.data(), comparison.message_size);
}

// Moves to the next change after the top row, or the one before it.
void to_change(Comparison& comparison, bool forwards) {
  std::vector<std::uint64_t> firsts;
  const std::lock_guard<std::mutex> held(comparison.lock);
  first_rows(comparison, firsts);
  const std::size_t count = comparison.stretches.size();
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t index = forwards ? k : count - 1 - k;
    if (comparison.stretches[index].equal) {
      continue;
    }
    if (forwards ? firsts[index] > comparison.top : firsts[index] < comparison.top) {
      comparison.top = firsts[index];
      return;
    }
  }
  tell_compare(comparison, forwards ? "no change after this one" : "no change before this one");
}

struct Side {
  std::size_t column;
  std::uint64_t at;   // the first byte's offset
  std::size_t count;  // bytes in this row
  std::array<std::uint8_t, 16> bytes{};
  std::array<bool, 16> changed{};
};

void draw_side(Screen& screen, std::size_t row, const Side& side, std::size_t bytes,
               std::size_t digits, bool chars) {
  if (side.count == 0) {
    return;
  }
  std::array<char, 16> address{};
  const std::size_t size = address_text(side.at, address);
  std::size_t column = side.column + digits - size;
  for (std::size_t k = 0; k < size && column < screen.columns; ++k) {
    cell_at(screen, row, column++) = {address[k], Paint::address, 0};
  }
  constexpr std::string_view digits_of = "0123456789ABCDEF";
  constexpr std::array<Paint, 5> paints{Paint::zero, Paint::printable, Paint::space,
                                        Paint::other_ascii, Paint::high};
  for (std::size_t k = 0; k < side.count; ++k) {
    const std::uint8_t byte = side.bytes[k];
    const Paint paint = paints[byte_class(byte)];
    const std::uint8_t marks = side.changed[k] ? mark_changed | mark_selected : 0;
    const std::size_t hex = side.column + digits + 2 + 3 * k;
    const std::size_t shown = side.column + digits + 2 + 3 * bytes + 1 + k;
    for (const auto& [at, ch] :
         {std::pair{hex, digits_of[byte >> 4]}, std::pair{hex + 1, digits_of[byte & 0x0F]},
          std::pair{shown, byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.'}}) {
      if (at < screen.columns && (chars || at != shown)) {
        cell_at(screen, row, at) = {ch, paint, marks};
      }
    }
    if (k + 1 == 8 && k + 1 < side.count && bytes == 16 && hex + 2 < screen.columns) {
      cell_at(screen, row, hex + 2).ch = '-';
    }
  }
}

// Where each side's columns are.
struct Sides {
  std::size_t bytes = 16;  // in a row, on each side
  std::size_t digits = 8;  // of the widest address
  bool chars = true;       // the character columns fit
  std::size_t second = 0;  // where the new file's side starts
};

Sides sides_for(const Comparison& comparison, const Screen& screen) {
  Sides sides;
  sides.bytes = row_bytes(comparison);
  std::array<char, 16> widest{};
  sides.digits = address_text(
      std::max(comparison.old_file->table.file_length, comparison.new_file->table.file_length),
      widest);
  const std::size_t hex_end = sides.digits + 2 + 3 * sides.bytes;
  const std::size_t side_width = hex_end + 1 + sides.bytes;
  sides.chars = 2 * side_width + 3 <= screen.columns;
  sides.second = sides.chars ? side_width + 3 : hex_end + 2;
  return sides;
}

// The stretches on the screen, and where the top row stands among the
// changes.
struct Shown {
  std::vector<Stretch> stretches;
  std::vector<std::uint64_t> firsts;
  std::size_t changes = 0;
  std::size_t change_at = 0;  // changes that start at or above the top row
  std::uint64_t all_rows = 0;
  // The picture of the whole comparison: which of its cells hold a change.
  std::array<bool, tallest_screen> changed{};
};

Shown shown_stretches(Comparison& comparison, std::size_t rows, std::size_t bytes) {
  Shown shown;
  std::vector<std::uint64_t> firsts;
  const std::lock_guard<std::mutex> held(comparison.lock);
  const std::uint64_t all_rows = first_rows(comparison, firsts);
  shown.all_rows = all_rows;
  const std::uint64_t last_top = all_rows > rows ? all_rows - rows : 0;
  comparison.top = std::min(comparison.top, comparison.done ? last_top : all_rows);
  for (std::size_t k = 0; k < comparison.stretches.size(); ++k) {
    const Stretch& stretch = comparison.stretches[k];
    shown.changes += stretch.equal ? 0 : 1;
    shown.change_at += !stretch.equal && firsts[k] <= comparison.top ? 1 : 0;
    const std::uint64_t end = firsts[k] + rows_of(stretch, bytes);
    if (!stretch.equal && all_rows > 0) {
      // The cells of the picture the change's rows fall in.
      for (std::uint64_t cell = firsts[k] * rows / all_rows;
           cell < rows && cell * all_rows < std::max(end, firsts[k] + 1) * rows; ++cell) {
        shown.changed[cell] = true;
      }
    }
    if (end > comparison.top && firsts[k] < comparison.top + rows) {
      shown.stretches.push_back(stretch);
      shown.firsts.push_back(firsts[k]);
    }
  }
  return shown;
}

// The rows of a stretch that are on the screen.
void draw_stretch(Comparison& comparison, Screen& screen, const Sides& sides,
                  const Stretch& stretch, std::uint64_t first) {
  const std::size_t bytes = sides.bytes;
  const std::uint64_t bottom = comparison.top + screen.rows - 1;
  for (std::uint64_t row = std::max(first, comparison.top);
       row < first + rows_of(stretch, bytes) && row < bottom; ++row) {
    const std::uint64_t into = (row - first) * bytes;
    Side old_side{0, stretch.old_at + into, 0};
    Side new_side{sides.second, stretch.new_at + into, 0};
    old_side.count = static_cast<std::size_t>(
        stretch.old_size > into ? std::min<std::uint64_t>(bytes, stretch.old_size - into) : 0);
    new_side.count = static_cast<std::size_t>(
        stretch.new_size > into ? std::min<std::uint64_t>(bytes, stretch.new_size - into) : 0);
    old_side.count = read_document(*comparison.old_file, old_side.at,
                                   std::span(old_side.bytes).first(old_side.count));
    new_side.count = read_document(*comparison.new_file, new_side.at,
                                   std::span(new_side.bytes).first(new_side.count));
    if (!stretch.equal) {
      // A change that keeps the length marks the bytes that differ; any
      // other marks all its bytes.
      const bool same_length = stretch.old_size == stretch.new_size;
      for (std::size_t n = 0; n < bytes; ++n) {
        const bool differ = !same_length || n >= old_side.count || n >= new_side.count ||
                            old_side.bytes[n] != new_side.bytes[n];
        old_side.changed[n] = differ;
        new_side.changed[n] = differ;
      }
    }
    const auto screen_row = static_cast<std::size_t>(row - comparison.top);
    draw_side(screen, screen_row, old_side, bytes, sides.digits, sides.chars);
    if (sides.second - 2 < screen.columns) {
      cell_at(screen, screen_row, sides.second - 2) = {'|', Paint::plain, 0};
    }
    draw_side(screen, screen_row, new_side, bytes, sides.digits, sides.chars);
  }
}

// The picture at the right edge, where the sides leave room: ! where a
// change is, | where the screen is.
void draw_compare_picture(const Comparison& comparison, Screen& screen, const Sides& sides,
                          const Shown& shown) {
  const std::size_t used = sides.second + (sides.second - 3);
  const std::size_t rows = screen.rows - 1;
  if (screen.columns < used + 2 || shown.all_rows == 0) {
    return;
  }
  const std::size_t column = screen.columns - 1;
  for (std::size_t cell = 0; cell < rows; ++cell) {
    const std::uint64_t first = cell * shown.all_rows / rows;
    const std::uint64_t end = std::max((cell + 1) * shown.all_rows / rows, first + 1);
    const bool here = first < comparison.top + rows && end > comparison.top;
    Cell& shown_cell = cell_at(screen, cell, column);
    shown_cell = {shown.changed[cell] ? '!' : here ? '|' : ' ', Paint::plain, 0};
    shown_cell.marks = static_cast<std::uint8_t>((shown.changed[cell] ? mark_changed : 0) |
                                                 (here ? mark_here | mark_selected : 0));
  }
}

// The status line: the names, the change at the top, the alignment's
// progress.
void draw_compare_status(const Comparison& comparison, Screen& screen, const Shown& shown) {
  const std::size_t status = screen.rows - 1;
  std::size_t column = 0;
  const auto put = [&](std::string_view text, Paint paint) {
    for (const char ch : text) {
      if (column < screen.columns) {
        cell_at(screen, status, column++) = {ch, paint, 0};
      }
    }
  };
  const auto number = [&](std::size_t value) {
    std::array<char, 24> text{};
    auto* const end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    put({text.data(), static_cast<std::size_t>(end - text.data())}, Paint::status);
  };
  for (std::size_t at = 0; at < screen.columns; ++at) {
    cell_at(screen, status, at) = {' ', Paint::status, 0};
  }
  if (comparison.message_size > 0) {
    put({comparison.message.data(), comparison.message_size}, Paint::message);
    return;
  }
  put(comparison.old_file->name, Paint::status);
  put(" | ", Paint::status);
  put(comparison.new_file->name, Paint::status);
  if (shown.changes == 0 && comparison.done) {
    put(comparison.error != 0 ? "  a read failed" : "  the same", Paint::status);
  } else if (shown.change_at == 0) {
    put("  ", Paint::status);
    number(shown.changes);
    put(shown.changes == 1 ? " change" : " changes", Paint::status);
  } else {
    put("  change ", Paint::status);
    number(shown.change_at);
    put(" of ", Paint::status);
    number(shown.changes);
  }
  if (!comparison.done) {
    put("  aligning...", Paint::status);
  }
}

}  // namespace

void start_comparison(Comparison& comparison, Document& old_file, Document& new_file) {
  comparison.old_file = &old_file;
  comparison.new_file = &new_file;
  comparison.worker = std::thread(align_files, std::ref(comparison));
}

void leave_comparison(Comparison& comparison) {
  if (comparison.worker.joinable()) {
    if (comparison.done) {
      comparison.worker.join();
    } else {
      comparison.worker.detach();
    }
  }
}

bool press_compare_key(Comparison& comparison, int key) {
  comparison.message_size = 0;
  const std::uint64_t page = comparison.rows > 2 ? comparison.rows - 1 : 1;
  std::uint64_t& top = comparison.top;
  switch (key) {
    case 'q':
      return false;
    case key_up:
    case 'k':
      top -= top > 0 ? 1 : 0;
      break;
    case key_down:
    case 'j':
    case key_enter:
      top += 1;
      break;
    case key_page_up:
    case 'b':
      top -= std::min(top, page);
      break;
    case key_page_down:
    case ' ':
    case 'f':
      top += page;
      break;
    case key_wheel_up:
      top -= std::min<std::uint64_t>(top, 3);
      break;
    case key_wheel_down:
      top += 3;
      break;
    case 'g':
    case key_home:
      top = 0;
      break;
    case 'G':
    case key_end:
      top = ~std::uint64_t{0};
      break;
    case ']':
    case 'n':
      to_change(comparison, true);
      break;
    case '[':
    case 'N':
      to_change(comparison, false);
      break;
    case '?':
    case key_help:
      tell_compare(comparison,
                   "j k arrows PgUp PgDn g G move, ] [ or n N next or previous change, q quits");
      break;
    default:
      break;
  }
  return true;
}

void draw_comparison(Comparison& comparison, Screen& screen) {
  clear_screen(screen, comparison.rows, comparison.columns);
  if (screen.rows < 2 || screen.columns == 0) {
    return;
  }
  const Sides sides = sides_for(comparison, screen);
  const Shown shown = shown_stretches(comparison, screen.rows - 1, sides.bytes);
  for (std::size_t k = 0; k < shown.stretches.size(); ++k) {
    draw_stretch(comparison, screen, sides, shown.stretches[k], shown.firsts[k]);
  }
  draw_compare_picture(comparison, screen, sides, shown);
  draw_compare_status(comparison, screen, shown);
}

}  // namespace quarnel
