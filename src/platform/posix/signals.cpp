// The signals that end the program, on POSIX systems: caught while a file
// is patched, held while a temporary name is made.
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "platform/platform.h"
#include "platform/posix/posix_files.h"

namespace quarnel {

namespace posix {
namespace {

// The signals whose default action ends the program and that come from
// outside it: Ctrl-C and Ctrl-\\, kill, a closed terminal, timers, limits, a
// closed pipe. Those a fault raises (SEGV, BUS, FPE, ILL) are not among
// them: the program cannot go on after one.
constexpr std::array fixed_ending_signals {
  SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPIPE,
#if defined(SIGPOLL)
      SIGPOLL,
#endif
#if defined(SIGPWR)
      SIGPWR,
#endif
#if defined(SIGSTKFLT)
      SIGSTKFLT,
#endif
};

// Calls action with the number of every signal that ends the program.
template <typename Action>
void for_each_ending_signal(Action action) {
  for (const int number : fixed_ending_signals) {
    action(number);
  }
#if defined(SIGRTMIN)
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
    action(number);
  }
#endif
}

}  // namespace

sigset_t ending_signal_set() {
  sigset_t set{};
  sigemptyset(&set);
  for_each_ending_signal([&](int number) { sigaddset(&set, number); });
  return set;
}

void handle_ending_signals(void (*handler)(int), int flags, bool only_default) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = ending_signal_set();
  action.sa_flags = flags;
  for_each_ending_signal([&](int number) {
    struct sigaction before {};
    if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN &&
        (!only_default || before.sa_handler == SIG_DFL)) {
      ::sigaction(number, &action, nullptr);
    }
  });
}

namespace {

std::array<char, 16> last_words{};
volatile std::sig_atomic_t last_words_size = 0;

extern "C" void say_last_words_and_end(int number) { end_by_signal(number); }

}  // namespace

void end_by_signal(int number) {
  const auto size = static_cast<std::size_t>(last_words_size);
  if (size > 0) {
    static_cast<void>(::write(STDERR_FILENO, last_words.data(), size));
  }
  ::signal(number, SIG_DFL);
  ::raise(number);
}

SignalsHeld::SignalsHeld() {
  const sigset_t ending = ending_signal_set();
  ::sigprocmask(SIG_BLOCK, &ending, &before);
}

SignalsHeld::~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &before, nullptr); }

}  // namespace posix

namespace {

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void note_signal(int number) {
  if (caught_signal == 0) {
    caught_signal = number;
  }
}

}  // namespace

void catch_ending_signals() {
  // Restarted calls: the writing loop looks at the flag between writes.
  posix::handle_ending_signals(note_signal, SA_RESTART);
}

int ending_signal() { return caught_signal; }

void set_last_words(std::string_view words) {
  static bool handled = false;
  if (!handled) {
    handled = true;
    posix::handle_ending_signals(posix::say_last_words_and_end, static_cast<int>(SA_RESETHAND),
                                 true);
  }
  // Empty while the words change: a signal meanwhile says nothing.
  posix::last_words_size = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t size = words.copy(posix::last_words.data(), posix::last_words.size());
  std::atomic_signal_fence(std::memory_order_seq_cst);
  posix::last_words_size = static_cast<std::sig_atomic_t>(size);
}

}  // namespace quarnel
