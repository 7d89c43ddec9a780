// The companion programs' messages, usage, help and version: each message a
// line on standard error that starts with the program's name, and a failed
// call's message ends with the system's reason.
#pragma once

#include <initializer_list>
#include <string_view>

namespace quarnel {

struct ProgramText {
  std::string_view name;         // "unquarnel"
  std::string_view usage;        // "usage: unquarnel ..."
  std::string_view usage_other;  // the usage line of --help and --version
  std::string_view version;      // "unquarnel 1.2.3"
};

// Writes "NAME: " and the pieces (at most 12) as one line to standard
// error. A message that cannot be written has nowhere else to go; the exit
// status still tells.
void say(const ProgramText& program, std::initializer_list<std::string_view> pieces);

// The same, for a call that failed with error: ": " and the system's
// reason follow, unless error is 0 (no call set one).
void say_failed(const ProgramText& program, std::initializer_list<std::string_view> pieces,
                int error);

// Says what is wrong with the command line, then the usage; returns 2.
[[nodiscard]] int usage_error(const ProgramText& program, std::string_view problem,
                              std::string_view culprit);

// Writes the usage lines, or the version, to standard output. Returns 0, or
// failed after saying that standard output could not be written.
[[nodiscard]] int write_help(const ProgramText& program, int failed);
[[nodiscard]] int write_version(const ProgramText& program, int failed);

}  // namespace quarnel
