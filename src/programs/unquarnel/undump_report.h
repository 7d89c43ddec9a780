// What unquarnel says: its usage, and each failure of a dump, of a file
// patched or written, and of a recovery, with the file's state after it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "patch/patch_session.h"
#include "stream/undump_stream.h"

namespace quarnel {

inline constexpr ProgramText undump_program{
    "unquarnel",
    "usage: unquarnel [-p FILE | --patch FILE | --patch=FILE | -o FILE | --output FILE | "
    "--output=FILE] [--no-journal] [-R | --reverse] [--from=LAYOUT] [--progress[=WHEN]] [--] "
    "[DUMP...]",
    "       unquarnel --recover FILE | --help | --version", "unquarnel " QUARNEL_VERSION};

// The dumps named on the command line; none stands for standard input, and
// so does "-".
struct Dumps {
  std::span<const char* const> names;
  [[nodiscard]] std::size_t count() const { return names.empty() ? 1 : names.size(); }
  [[nodiscard]] bool is_stdin(std::size_t i) const {
    return names.empty() || std::string_view(names[i]) == "-";
  }
  [[nodiscard]] std::string_view name(std::size_t i) const {
    return is_stdin(i) ? "stdin" : names[i];
  }
};

void say_undump(std::initializer_list<std::string_view> pieces);
// A write that failed; the exit status.
int write_error(std::string_view name, int error);
// What kept a file from being opened, patched or replaced; the exit status.
int file_problem(const char* file, FileProblem problem, int error);
// What a dump's reading stopped at, after the bytes before it have gone
// out; the exit status, 0 for none, or -1 when the write failed.
int report_undump(std::string_view name, const UndumpResult& result);
// What a patch, or a look for an interrupted one, did or why it could
// not; the exit status.
int report_session(const Dumps& dumps, const char* file, const SessionResult& result, bool asked);

}  // namespace quarnel
