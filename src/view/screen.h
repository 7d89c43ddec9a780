// The screen as cells, drawn from the view's state and the bytes, apart
// from any terminal: the terminal puts the cells on the glass, and the
// tests read them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "view/document.h"
#include "view/view.h"

namespace quarnel {

inline constexpr std::size_t widest_screen = 400;
inline constexpr std::size_t tallest_screen = 200;

enum class Paint : std::uint8_t {
  plain,
  zero,  // the byte classes, as coloured output shows them
  printable,
  space,
  other_ascii,
  high,
  address,
  status,
  message,
  picture_zero,  // the picture's cells: what a stretch mostly holds
  picture_text,
  picture_other,
  picture_high,
  entropy_low,  // or how random it is, in four steps
  entropy_some,
  entropy_much,
  entropy_high,
};

// Marks laid over a cell's paint.
enum CellMark : std::uint8_t {
  mark_cursor = 1,
  mark_match = 2,
  mark_selected = 4,
  mark_changed = 8,
  mark_here = 16,  // on the picture: the stretch the screen shows
};

struct Cell {
  char ch = ' ';
  Paint paint = Paint::plain;
  std::uint8_t marks = 0;
};

// What the picture column shows, kept between draws: it reads a sample of
// every stretch, which a key that only moves need not read again.
struct Picture {
  bool valid = false;
  bool entropy = false;
  std::size_t cells = 0;
  std::uint64_t length = 0;
  std::array<Paint, tallest_screen> paints{};
};

struct Screen {
  std::size_t rows = 0;
  std::size_t columns = 0;
  std::size_t cursor_row = 0;  // where the terminal's cursor goes
  std::size_t cursor_column = 0;
  std::array<Cell, widest_screen * tallest_screen> cells{};
};

[[nodiscard]] inline Cell& cell_at(Screen& screen, std::size_t row, std::size_t column) {
  return screen.cells[row * widest_screen + column];
}
[[nodiscard]] inline const Cell& cell_at(const Screen& screen, std::size_t row,
                                         std::size_t column) {
  return screen.cells[row * widest_screen + column];
}

// Sizes the screen for the terminal, as far as it can hold, and blanks it.
void clear_screen(Screen& screen, std::size_t rows, std::size_t columns);

// Draws the whole screen for the state (settled first).
void draw_screen(const ViewState& state, Document& document, Picture& picture, Screen& screen);

// Samples every stretch of the file for the picture of cells cells.
void draw_picture(Document& document, std::size_t cells, bool entropy, Picture& picture);

}  // namespace quarnel
