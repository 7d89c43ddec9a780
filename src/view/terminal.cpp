#include "view/terminal.h"

#include <curses.h>

#include <array>
#include <cstdio>

#include "platform/terminal.h"
#include "view/view.h"

namespace quarnel {
namespace {

SCREEN* terminal = nullptr;
std::FILE* keys = nullptr;
bool colored = false;

// Each paint's colour pair (foreground, background) and attributes.
struct Look {
  short foreground;
  short background;
  attr_t attributes;
};

// The dim colour of zeros: grey where the terminal has 16 colours, else
// white drawn dim.
constexpr short dim = -2;

// Each paint's look, in the order of Paint.
constexpr std::array<Look, 17> looks{{
    {-1, -1, A_NORMAL},                      // plain
    {dim, -1, A_NORMAL},                     // zero
    {COLOR_CYAN, -1, A_NORMAL},              // printable
    {COLOR_GREEN, -1, A_NORMAL},             // space
    {COLOR_MAGENTA, -1, A_NORMAL},           // other_ascii
    {COLOR_YELLOW, -1, A_NORMAL},            // high
    {-1, -1, A_NORMAL},                      // address
    {-1, -1, A_REVERSE},                     // status
    {-1, -1, A_REVERSE | A_BOLD},            // message
    {COLOR_BLACK, dim, A_NORMAL},            // picture_zero
    {COLOR_BLACK, COLOR_CYAN, A_NORMAL},     // picture_text
    {COLOR_BLACK, COLOR_MAGENTA, A_NORMAL},  // picture_other
    {COLOR_BLACK, COLOR_YELLOW, A_NORMAL},   // picture_high
    {COLOR_WHITE, COLOR_BLUE, A_NORMAL},     // entropy_low
    {COLOR_BLACK, COLOR_GREEN, A_NORMAL},    // entropy_some
    {COLOR_BLACK, COLOR_YELLOW, A_NORMAL},   // entropy_much
    {COLOR_WHITE, COLOR_RED, A_NORMAL},      // entropy_high
}};
static_assert(looks.size() == static_cast<std::size_t>(Paint::entropy_high) + 1);

// A paint's look on this terminal.
Look look_of(Paint paint) {
  Look look = looks[static_cast<std::size_t>(paint)];
  const bool grey = COLORS >= 16;
  for (short* color : {&look.foreground, &look.background}) {
    *color = *color == dim ? (grey ? short{8} : short{COLOR_WHITE}) : *color;
  }
  look.attributes |= paint == Paint::zero && !grey ? A_DIM : A_NORMAL;
  return look;
}

constexpr std::size_t paint_count = static_cast<std::size_t>(Paint::entropy_high) + 1;

chtype attributes_of(const Cell& cell) {
  chtype attributes = A_NORMAL;
  const auto paint = static_cast<std::size_t>(cell.paint);
  if (colored) {
    attributes |= COLOR_PAIR(static_cast<int>(paint + 1)) | look_of(cell.paint).attributes;
  } else if (cell.paint == Paint::status || cell.paint == Paint::message) {
    attributes |= look_of(cell.paint).attributes;
  }
  if ((cell.marks & (mark_cursor | mark_selected)) != 0) {
    attributes |= A_REVERSE;
  }
  if ((cell.marks & mark_match) != 0) {
    attributes |= A_UNDERLINE | A_BOLD;
  }
  if ((cell.marks & mark_changed) != 0) {
    attributes |= A_BOLD;
  }
  if ((cell.marks & mark_here) != 0) {
    attributes |= A_BOLD;
  }
  return attributes;
}

int key_from_curses(int key) {
  switch (key) {
    case KEY_UP:
      return key_up;
    case KEY_DOWN:
      return key_down;
    case KEY_LEFT:
      return key_left;
    case KEY_RIGHT:
      return key_right;
    case KEY_PPAGE:
      return key_page_up;
    case KEY_NPAGE:
      return key_page_down;
    case KEY_HOME:
      return key_home;
    case KEY_END:
      return key_end;
    case KEY_IC:
      return key_insert;
    case KEY_DC:
      return key_delete;
    case KEY_BACKSPACE:
      return key_backspace;
    case KEY_ENTER:
    case '\n':
      return key_enter;
    case KEY_RESIZE:
      return key_resize;
    case KEY_F(1):
      return key_help;
    case KEY_MOUSE: {
      MEVENT event{};
      if (getmouse(&event) == OK) {
        if ((event.bstate & BUTTON4_PRESSED) != 0) {
          return key_wheel_up;
        }
        if ((event.bstate & BUTTON5_PRESSED) != 0) {
          return key_wheel_down;
        }
      }
      return key_none;
    }
    default:
      break;
  }
  return key >= 0 && key < 0x100 ? key : key_none;
}

}  // namespace

bool start_terminal(int key_input, bool colors) {
  keys = fdopen(key_input, "r");
  if (keys == nullptr) {
    return false;
  }
  terminal = newterm(nullptr, stdout, keys);
  if (terminal == nullptr) {
    std::fclose(keys);
    keys = nullptr;
    return false;
  }
  set_term(terminal);
  restore_terminal_on_signals(stop_terminal);
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  mousemask(BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
  mouseinterval(0);
  colored = colors && has_colors() && start_color() == OK;
  if (colored) {
    use_default_colors();
    for (std::size_t paint = 0; paint < paint_count; ++paint) {
      const Look look = look_of(static_cast<Paint>(paint));
      init_pair(static_cast<short>(paint + 1), look.foreground, look.background);
    }
  }
  return true;
}

bool terminal_has_colors() { return colored; }

void terminal_size(std::size_t& rows, std::size_t& columns) {
  int height = 0;
  int width = 0;
  getmaxyx(stdscr, height, width);
  rows = height > 0 ? static_cast<std::size_t>(height) : 0;
  columns = width > 0 ? static_cast<std::size_t>(width) : 0;
}

void show_screen(const Screen& screen) {
  for (std::size_t row = 0; row < screen.rows; ++row) {
    for (std::size_t column = 0; column < screen.columns; ++column) {
      // The bottom right corner scrolls some terminals: it stays blank.
      if (row + 1 == screen.rows && column + 1 == screen.columns) {
        break;
      }
      const Cell& cell = cell_at(screen, row, column);
      mvaddch(static_cast<int>(row), static_cast<int>(column),
              static_cast<chtype>(static_cast<unsigned char>(cell.ch)) | attributes_of(cell));
    }
  }
  move(static_cast<int>(screen.cursor_row), static_cast<int>(screen.cursor_column));
  refresh();
}

int read_key(int wait) {
  timeout(wait);
  const int key = getch();
  return key == ERR ? key_none : key_from_curses(key);
}

void suspend_terminal() {
  endwin();
  stop_program();
  clearok(curscr, TRUE);
  refresh();
}

void stop_terminal() {
  if (terminal != nullptr && !isendwin()) {
    endwin();
  }
}

}  // namespace quarnel
