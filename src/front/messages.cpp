#include "front/messages.h"

#include <array>
#include <span>

#include "front/progress.h"
#include "platform/platform.h"

namespace quarnel {
namespace {

void say_line(const ProgramText& program, std::initializer_list<std::string_view> pieces,
              std::string_view reason) {
  std::array<std::string_view, 18> line{program.name, ": "};
  std::size_t count = 2;
  for (const std::string_view piece : pieces) {
    if (count + 3 < line.size()) {
      line[count++] = piece;
    }
  }
  if (!reason.empty()) {
    line[count++] = ": ";
    line[count++] = reason;
  }
  line[count++] = line_end;
  const ProgressPause pause;
  static_cast<void>(write_all(standard_error, std::span(line).first(count)));
}

// Writes the lines to standard output; on failure says so.
int write_out(const ProgramText& program, std::span<const std::string_view> lines, int failed) {
  if (write_all(standard_output, lines)) {
    return 0;
  }
  const int error = last_error();
  say_failed(program, {"stdout: write error"}, error);
  return failed;
}

// Says what is wrong with the command line, then the usage; returns 2.
int usage_error(const ProgramText& program, std::string_view problem, std::string_view culprit) {
  say(program, {problem, culprit});
  static_cast<void>(write_all(standard_error, std::array{program.usage, line_end}));
  return 2;
}

}  // namespace

void say(const ProgramText& program, std::initializer_list<std::string_view> pieces) {
  say_line(program, pieces, {});
}

void say_failed(const ProgramText& program, std::initializer_list<std::string_view> pieces,
                int error) {
  say_line(program, pieces, error != 0 ? error_text(error) : std::string_view());
}

std::optional<int> answer(const ProgramText& program, const Asked& asked, int failed) {
  switch (asked.request) {
    case Request::run:
      break;
    case Request::help:
      return write_out(
          program,
          std::array{program.usage, line_end, program.usage_other, line_end, program.help_note,
                     program.help_note.empty() ? std::string_view() : line_end},
          failed);
    case Request::version:
      return write_out(program, std::array{program.version, line_end}, failed);
    case Request::usage_error:
      return usage_error(program, asked.problem, asked.culprit);
  }
  return std::nullopt;
}

}  // namespace quarnel
