// The line that shows how far long work has got, on standard error when it
// is a terminal: bytes read and in all, the rate, the time left and the
// file at hand, redrawn in place from the first second on, and erased
// before any message and at the end.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quarnel {

enum class ProgressWhen { automatic, always, never };

// Whether arg is --progress (always), --progress=auto, --progress=always or
// --progress=never; sets when if it is.
[[nodiscard]] bool read_progress_option(std::string_view arg, ProgressWhen& when);

// Shows the line while it lives: automatically when standard error is a
// terminal and standard output is not (where the output itself shows the
// work going on), always, or never. total is the bytes the work reads in
// all, 0 when it cannot be told.
class ProgressLine {
 public:
  ProgressLine(std::string_view program, ProgressWhen when, std::uint64_t total);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
};

// The bytes in all of the regular files named ("-" and others count 0),
// for the line's total.
[[nodiscard]] std::uint64_t length_of_files(std::span<const char* const> names);

// The file the line names; the name is copied.
void progress_file(std::string_view name);

// Erases the line, if it is shown, and keeps it from being drawn until the
// pause ends: a message written meanwhile stands alone on its line.
class ProgressPause {
 public:
  ProgressPause();
  ~ProgressPause();
  ProgressPause(const ProgressPause&) = delete;
  ProgressPause& operator=(const ProgressPause&) = delete;
};

}  // namespace quarnel
