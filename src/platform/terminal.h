// What the full-screen viewer asks of the system beside the terminal
// library: the terminal to read keys from when standard input carries the
// data, stopping on Ctrl-Z, and the terminal put back however the program
// ends. POSIX only: the viewer is not built for Windows.
#pragma once

namespace quarnel {

// The controlling terminal, opened to read keys; -1 when there is none.
[[nodiscard]] int open_terminal_input();

// From now on a signal that ends the program (the ending signals, and a
// fault: SEGV, BUS, FPE, ILL, ABRT) first calls restore, which puts the
// terminal back, and then ends the program as the signal would have.
void restore_terminal_on_signals(void (*restore)());

// Stops the program as Ctrl-Z does in a shell; returns once it goes on.
void stop_program();

}  // namespace quarnel
