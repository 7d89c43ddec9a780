#include "programs/quarnel/run.h"

#include <array>
#include <string_view>

#include "io/output_writer.h"
#include "platform/platform.h"
#include "programs/quarnel/parse_command_line.h"
#include "stream/dump_stream.h"

namespace quarnel {
namespace {

constexpr std::string_view banner = "Talvex like dump program. <Presented by Pendrask>";
constexpr std::string_view usage = "Usage : quarnel [-<offset>|-x<hex-offset>] [file...]";

void write_message(std::string_view what, std::string_view name) {
  const std::array<std::string_view, 3> pieces{what, name, line_end};
  // A message that cannot be written has nowhere else to go; the exit
  // status still says the run failed.
  static_cast<void>(write_all(standard_error, pieces));
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

// Dumps one open input, unless it is the file that standard output appends
// to. Returns 0, or the exit status after reporting.
int dump_input(OutputWriter& out, int input, std::int32_t start_offset, std::string_view name) {
  // Output written so far may have made the input grow: flush it first.
  if (!flush_output(out)) {
    return write_error();
  }
  if (is_own_output(input, standard_output)) {
    return fail(out, "input is output:", name);
  }
  return report(out, dump_stream(input, start_offset, out), name);
}

}  // namespace

int run(int argc, const char* const argv[]) {
  static RunSettings settings;
  static OutputWriter out{standard_output};

  prepare_standard_streams();
  const std::span<const char* const> arguments = program_arguments(argc, argv);
  if (parse_command_line(static_cast<int>(arguments.size()), arguments.data(), settings)) {
    const std::array<std::string_view, 4> help{banner, line_end, usage, line_end};
    return write_all(standard_output, help) ? 0 : write_error();
  }

  if (settings.input_count == 0) {
    const int status = dump_input(out, standard_input, settings.start_offset, "stdin");
    return status != 0 ? status : finish(out);
  }

  for (const char* name : std::span(settings.input_names).first(settings.input_count)) {
    const int fd = open_input(name);
    if (fd < 0) {
      return fail(out, "cannot open file:", name);
    }
    const int status = dump_input(out, fd, settings.start_offset, name);
    close_handle(fd);
    if (status != 0) {
      return status;
    }
  }
  if (settings.first_dropped_name != nullptr) {
    return fail(out, "too many files:", settings.first_dropped_name);
  }
  return finish(out);
}

}  // namespace quarnel
