#include "front/progress.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/folders.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

using Clock = std::chrono::steady_clock;

// The line is first drawn after this, then redrawn at this pace.
constexpr auto first_draw = std::chrono::seconds(1);
constexpr auto redraw = std::chrono::milliseconds(250);
// The columns the line takes at most: a terminal of 80 does not wrap it.
constexpr std::size_t widest = 79;
// Takes the line off the terminal: back to its start, then clear to the end.
constexpr std::string_view erasing = "\r\x1b[K";

struct State {
  std::mutex mutex;
  std::condition_variable stop;
  bool running = false;
  bool shown = false;  // the line is on the terminal
  std::string_view program;
  std::uint64_t total = 0;
  std::uint64_t read_before = 0;  // what was read before the work began
  Clock::time_point start;
  std::array<char, 4096> file{};
  std::size_t file_size = 0;
  std::thread drawer;
};

State state;

// "1.5 GiB", "312 KiB", "17 B".
std::string_view amount(std::uint64_t bytes, std::array<char, 24>& text) {
  constexpr std::array<std::string_view, 5> units{" B", " KiB", " MiB", " GiB", " TiB"};
  std::size_t unit = 0;
  std::uint64_t tenths = bytes * 10;
  while (unit + 1 < units.size() && tenths >= 10240) {
    tenths /= 1024;
    ++unit;
  }
  char* at = std::to_chars(text.data(), text.data() + 16, tenths / 10).ptr;
  if (unit > 0 && tenths < 100) {
    *at++ = '.';
    *at++ = static_cast<char>('0' + tenths % 10);
  }
  at = std::copy(units[unit].begin(), units[unit].end(), at);
  return {text.data(), static_cast<std::size_t>(at - text.data())};
}

// Writes the line over the last, the state locked.
void draw() {
  const std::uint64_t done = bytes_read_so_far() - state.read_before;
  const double seconds = std::chrono::duration<double>(Clock::now() - state.start).count();
  const auto rate =
      static_cast<std::uint64_t>(static_cast<double>(done) / std::max(seconds, 0.001));
  std::array<char, widest + 8> line{};
  std::size_t size = 0;
  const auto add = [&](std::string_view piece) {
    const std::size_t room = widest - std::min(widest, size);
    size += piece.copy(line.data() + size, std::min(room, piece.size()));
  };
  std::array<char, 24> a{};
  std::array<char, 24> b{};
  std::array<char, 24> c{};
  add(state.program);
  add(": ");
  add(amount(done, a));
  // Work that reads more than its inputs (a patch reads the file too)
  // says what it has read.
  if (state.total >= done) {
    add(" of ");
    add(amount(state.total, b));
  }
  add(", ");
  add(amount(rate, c));
  add("/s");
  if (state.total > done && rate > 0) {
    std::array<char, 24> left{};
    const char* end = std::to_chars(left.data(), left.data() + left.size(),
                                    (state.total - done + rate - 1) / rate)
                          .ptr;
    add(", ");
    add(std::string_view(left.data(), static_cast<std::size_t>(end - left.data())));
    add(" s left");
  }
  if (state.file_size > 0) {
    // The name's end is kept: it tells files apart.
    add(", ");
    const std::size_t room = widest - std::min(widest, size);
    const std::string_view name(state.file.data(), state.file_size);
    add(name.size() <= room ? name : name.substr(name.size() - room));
  }
  const std::array<std::string_view, 3> pieces{"\r", std::string_view(line.data(), size), "\x1b[K"};
  if (!state.shown) {
    set_last_words(erasing);
  }
  state.shown = write_all(standard_error, pieces);
}

void erase() {
  if (state.shown) {
    set_last_words("");
    const std::array<std::string_view, 1> pieces{erasing};
    static_cast<void>(write_all(standard_error, pieces));
    state.shown = false;
  }
}

void draw_until_stopped() {
  std::unique_lock<std::mutex> lock(state.mutex);
  const Clock::time_point first = state.start + first_draw;
  state.stop.wait_until(lock, first, [] { return !state.running; });
  while (state.running) {
    draw();
    state.stop.wait_for(lock, redraw, [] { return !state.running; });
  }
  erase();
}

}  // namespace

bool read_progress_option(std::string_view arg, ProgressWhen& when) {
  if (arg == "--progress" || arg == "--progress=always") {
    when = ProgressWhen::always;
  } else if (arg == "--progress=auto") {
    when = ProgressWhen::automatic;
  } else if (arg == "--progress=never") {
    when = ProgressWhen::never;
  } else {
    return false;
  }
  return true;
}

ProgressLine::ProgressLine(std::string_view program, ProgressWhen when, std::uint64_t total) {
  const bool shown = when == ProgressWhen::always ||
                     (when == ProgressWhen::automatic && is_terminal(standard_error) &&
                      !is_terminal(standard_output));
  if (!shown) {
    return;
  }
  const std::lock_guard<std::mutex> lock(state.mutex);
  state.program = program;
  state.total = total;
  state.read_before = bytes_read_so_far();
  state.start = Clock::now();
  state.running = true;
  state.drawer = std::thread(draw_until_stopped);
}

ProgressLine::~ProgressLine() {
  if (!state.drawer.joinable()) {
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.running = false;
  }
  state.stop.notify_all();
  state.drawer.join();
}

std::uint64_t length_of_files(std::span<const char* const> names) {
  std::uint64_t total = 0;
  for (const char* name : names) {
    if (std::string_view(name) == "-") {
      continue;
    }
    total += regular_file_length(name);
  }
  return total;
}

void progress_file(std::string_view name) {
  const std::lock_guard<std::mutex> lock(state.mutex);
  state.file_size = name.copy(state.file.data(), state.file.size());
}

ProgressPause::ProgressPause() {
  state.mutex.lock();
  erase();
}

ProgressPause::~ProgressPause() { state.mutex.unlock(); }

}  // namespace quarnel
