// The viewer's terminal on POSIX systems.
#include "platform/terminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "platform/posix/posix_files.h"

namespace quarnel {
namespace {

void (*restorer)() = nullptr;

extern "C" void restore_and_end(int number) {
  if (restorer != nullptr) {
    restorer();
  }
  posix::end_by_signal(number);
}

}  // namespace

int open_terminal_input() { return ::open("/dev/tty", O_RDONLY | O_CLOEXEC); }

void restore_terminal_on_signals(void (*restore)()) {
  restorer = restore;
  // The handler runs once; the signal it raises again then ends the program.
  constexpr auto once = static_cast<int>(SA_RESETHAND);
  posix::handle_ending_signals(restore_and_end, once);
  struct sigaction action {};
  action.sa_handler = restore_and_end;
  action.sa_flags = once;
  sigemptyset(&action.sa_mask);
  for (const int number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    ::sigaction(number, &action, nullptr);
  }
}

void stop_program() { ::raise(SIGTSTP); }

}  // namespace quarnel
