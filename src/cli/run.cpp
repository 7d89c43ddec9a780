#include "cli/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string_view>

#include "cli/parse_command_line.h"
#include "dump/dump_stream.h"
#include "dump/output_writer.h"

namespace quarnel {
namespace {

constexpr std::string_view help_text =
    "Talvex like dump program. <Presented by Pendrask>\n"
    "Usage : quarnel [-<offset>|-x<hex-offset>] [file...]\n";

void write_message(std::string_view what, std::string_view name) {
  const std::array<std::string_view, 3> pieces{what, name, "\n"};
  // A message that cannot be written has nowhere else to go; the exit
  // status still says the run failed.
  static_cast<void>(write_all(STDERR_FILENO, pieces));
}

int write_error() {
  write_message("write error:", "stdout");
  return 1;
}

// Reports a failure and gives the exit status. What was dumped so far goes
// out first, so that merged output and messages keep their order.
int fail(OutputWriter& out, std::string_view what, std::string_view name) {
  if (!flush_output(out)) {
    write_error();
  }
  write_message(what, name);
  return 1;
}

// Writes out what is left; output that could not be written fails the run.
int finish(OutputWriter& out) { return flush_output(out) ? 0 : write_error(); }

// Turns the outcome of one dump into a message and exit status, or 0.
int report(OutputWriter& out, DumpResult result, std::string_view name) {
  switch (result) {
    case DumpResult::ok:
      return 0;
    case DumpResult::too_short:
      return fail(out, "dump error:", name);
    case DumpResult::read_error:
      return fail(out, "read error:", name);
    case DumpResult::write_error:
      return write_error();
  }
  return 1;
}

// Opens a named input for reading; a directory cannot be dumped and counts
// as an input that cannot be opened. Returns -1 on failure.
int open_input(const char* name) {
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  struct stat info {};
  if (fd >= 0 && (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int run(int argc, const char* const argv[]) {
  static RunSettings settings;
  static OutputWriter out{STDOUT_FILENO};

  if (parse_command_line(argc, argv, settings)) {
    return append_output(out, help_text) ? finish(out) : write_error();
  }

  widen_pipe(STDOUT_FILENO);

  // Standard input needs no binary mode here: POSIX makes no text/binary
  // distinction.
  if (settings.input_count == 0) {
    const int status = report(out, dump_stream(STDIN_FILENO, settings.start_offset, out), "stdin");
    return status != 0 ? status : finish(out);
  }

  for (const char* name : std::span(settings.input_names).first(settings.input_count)) {
    const int fd = open_input(name);
    if (fd < 0) {
      return fail(out, "cannot open file:", name);
    }
    const DumpResult result = dump_stream(fd, settings.start_offset, out);
    ::close(fd);
    if (const int status = report(out, result, name); status != 0) {
      return status;
    }
  }
  if (settings.first_dropped_name != nullptr) {
    return fail(out, "too many files:", settings.first_dropped_name);
  }
  return finish(out);
}

}  // namespace quarnel
