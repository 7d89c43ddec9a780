// Ctrl+C and Ctrl+Break while a file is patched, on Windows.
#include <csignal>

#include "platform/platform.h"

namespace quarnel {

namespace {

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void note_signal(int number) {
  if (caught_signal == 0) {
    caught_signal = number;
  }
  // The C runtime resets a handler once it has run.
  std::signal(number, note_signal);
}

}  // namespace

void catch_ending_signals() {
  for (const int number : {SIGINT, SIGTERM, SIGBREAK}) {
    if (std::signal(number, note_signal) == SIG_IGN) {
      std::signal(number, SIG_IGN);
    }
  }
}

int ending_signal() { return caught_signal; }

}  // namespace quarnel
