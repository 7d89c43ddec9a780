// The terminal the viewer draws on, through curses and terminfo alone:
// started, drawn from the screen's cells, read a key at a time, and put
// back as it was.
#pragma once

#include <cstddef>

#include "view/screen.h"

namespace quarnel {

// Takes the terminal over: keys from key_input (a terminal), the screen on
// standard output. colors: whether colours may be used, if the terminal has
// them. False when the terminal cannot be used.
[[nodiscard]] bool start_terminal(int key_input, bool colors);

// Whether the terminal shows colours.
[[nodiscard]] bool terminal_has_colors();

// The terminal's size.
void terminal_size(std::size_t& rows, std::size_t& columns);

// Puts the screen's cells on the terminal, changed cells only.
void show_screen(const Screen& screen);

// The next key, waiting at most wait milliseconds (forever when negative);
// key_none when none came.
[[nodiscard]] int read_key(int wait);

// Gives the terminal back as it was, on Ctrl-Z, and takes it again.
void suspend_terminal();

// Gives the terminal back as it was. Safe to call from a signal handler
// and more than once.
void stop_terminal();

}  // namespace quarnel
