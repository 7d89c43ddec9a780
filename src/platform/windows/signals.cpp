// Ctrl+C and Ctrl+Break while a file is patched, on Windows.
#include <io.h>

#include <array>
#include <atomic>
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

namespace {

std::array<char, 16> last_words{};
volatile std::sig_atomic_t last_words_size = 0;

extern "C" void say_last_words_and_end(int number) {
  const auto size = static_cast<unsigned>(last_words_size);
  if (size > 0) {
    static_cast<void>(::_write(2, last_words.data(), size));
  }
  std::signal(number, SIG_DFL);
  std::raise(number);
}

}  // namespace

void set_last_words(std::string_view words) {
  static bool handled = false;
  if (!handled) {
    handled = true;
    for (const int number : {SIGINT, SIGTERM, SIGBREAK}) {
      if (const auto before = std::signal(number, say_last_words_and_end); before != SIG_DFL) {
        std::signal(number, before);
      }
    }
  }
  // Empty while the words change: a signal meanwhile says nothing.
  last_words_size = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t size = words.copy(last_words.data(), last_words.size());
  std::atomic_signal_fence(std::memory_order_seq_cst);
  last_words_size = static_cast<std::sig_atomic_t>(size);
}

}  // namespace quarnel
