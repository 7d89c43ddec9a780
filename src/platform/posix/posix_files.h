// What the POSIX files of the platform layer share: the signals that end
// the program, finding a file's folder, flushing a folder, locks.
#pragma once

#include <sys/stat.h>
#include <csignal>

#include <array>

namespace quarnel::posix {

// The set of signals that end the program.
[[nodiscard]] sigset_t ending_signal_set();

// Sets handler for every signal that ends the program, except those
// ignored from the start (SIGHUP under nohup, SIGINT in a background job),
// which stay ignored, and, when only_default, those handled already.
void handle_ending_signals(void (*handler)(int), int flags, bool only_default = false);

// Ends the program as the signal would have, after the last words set:
// the end of a handler of a signal that ends the program.
void end_by_signal(int number);

// Blocks the signals that end the program while a temporary name exists
// without its handler, or the other way round.
struct SignalsHeld {
  sigset_t before{};
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// Whether a read or write that failed is to be made again: a signal
// interrupted it, or a non-blocking descriptor was not ready, and now is
// (waited for, for events).
[[nodiscard]] bool call_again(int handle, short events);

// A pipe, socket or terminal: handle is that of info, or -1 when there is
// none to ask whether a character device is a terminal.
[[nodiscard]] bool is_stream(const struct stat& info, int handle);

using PathText = std::array<char, 4096>;

// Finds the file that name stands for as opening it would, links followed
// with the kernel's own rules (a link another user left in a sticky folder,
// a loop, a folder that cannot be searched all fail as they do for >): the
// folder that holds it, opened, and its name there. Returns 0 or the reason
// it failed; a missing file is no failure.
[[nodiscard]] int find_place(const char* name, int& folder, PathText& leaf, PathText& folder_name);

// Closes a folder that find_place opened, if any.
void close_folder(int& folder);

// Flushes a folder's entries to disk, so that a file created, renamed into
// it or removed stays so after a power loss. A folder that cannot be opened
// for reading cannot be flushed, which is no failure of the write.
[[nodiscard]] bool flush_folder(int folder);

// Takes the lock that one run of unquarnel holds on the file it writes.
// False only when another process holds it: a file system that has no such
// locks is written unlocked, as any other program would write it.
[[nodiscard]] bool lock_file(int handle);

}  // namespace quarnel::posix
