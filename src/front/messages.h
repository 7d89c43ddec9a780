// The companion programs' messages, usage, help and version: each message a
// line on standard error that starts with the program's name, and a failed
// call's message ends with the system's reason.
#pragma once

#include <initializer_list>
#include <optional>
#include <string_view>

#include "front/options.h"

namespace quarnel {

struct ProgramText {
  std::string_view name;         // "unquarnel"
  std::string_view usage;        // "usage: unquarnel ..."
  std::string_view usage_other;  // the usage line of --help and --version
  std::string_view version;      // "unquarnel 1.2.3"
  std::string_view help_note{};  // a line --help adds, if any
};

// Writes "NAME: " and the pieces (at most 13) as one line to standard
// error. A message that cannot be written has nowhere else to go; the exit
// status still tells.
void say(const ProgramText& program, std::initializer_list<std::string_view> pieces);

// The same, for a call that failed with error: ": " and the system's
// reason follow, unless error is 0 (no call set one).
void say_failed(const ProgramText& program, std::initializer_list<std::string_view> pieces,
                int error);

// Answers what the command line asks besides a run: the usage lines or the
// version on standard output, or the usage error. Returns the exit status
// (failed when standard output cannot be written), or nothing for a run.
[[nodiscard]] std::optional<int> answer(const ProgramText& program, const Asked& asked, int failed);

}  // namespace quarnel
