// Two files side by side, aligned as quarnel-diff aligns them: the bytes
// both hold face each other, inserted bytes face a gap, changed bytes are
// marked, and both sides scroll together. The alignment runs beside the
// screen, so the first rows show at once whatever the files' sizes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "view/document.h"
#include "view/screen.h"
#include "view/view.h"

namespace quarnel {

// A stretch of the two files: equal bytes, or a change from old_size bytes
// to new_size.
struct Stretch {
  std::uint64_t old_at = 0;
  std::uint64_t old_size = 0;
  std::uint64_t new_at = 0;
  std::uint64_t new_size = 0;
  bool equal = false;
};

struct Comparison {
  Document* old_file = nullptr;
  Document* new_file = nullptr;
  // Filled by the aligner's thread; read under lock.
  std::mutex lock;
  std::vector<Stretch> stretches;
  std::atomic<bool> done{false};
  int error = 0;  // the system's reason the alignment stopped, or 0
  std::thread worker;
  // What the screen shows.
  std::uint64_t top = 0;  // the first row shown
  std::size_t rows = 24;
  std::size_t columns = 80;
  std::array<char, 256> message{};
  std::size_t message_size = 0;
};

// Starts aligning the two documents' files.
void start_comparison(Comparison& comparison, Document& old_file, Document& new_file);

// Does what key asks; false when the user quits.
[[nodiscard]] bool press_compare_key(Comparison& comparison, int key);

void draw_comparison(Comparison& comparison, Screen& screen);

// Lets the aligner's thread end with the program.
void leave_comparison(Comparison& comparison);

}  // namespace quarnel
