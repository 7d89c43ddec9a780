#include "undump/run_undump.h"

#include <array>
#include <charconv>
#include <initializer_list>
#include <span>
#include <string_view>

#include "platform/platform.h"
#include "undump/undump_options.h"
#include "undump/undump_stream.h"

namespace quarnel {
namespace {

constexpr std::string_view usage =
    "usage: unquarnel [-p FILE | --patch FILE | --patch=FILE] [--] [DUMP...]";
constexpr std::string_view usage_other = "       unquarnel --help | --version";
constexpr std::string_view version = "unquarnel " QUARNEL_VERSION;

// Writes "unquarnel: " and the pieces as one line to standard error. A
// message that cannot be written has nowhere else to go; the exit status
// still tells.
void say(std::initializer_list<std::string_view> pieces) {
  std::array<std::string_view, 8> line{"unquarnel: "};
  std::size_t count = 1;
  for (const std::string_view piece : pieces) {
    line[count++] = piece;
  }
  line[count++] = line_end;
  static_cast<void>(write_all(standard_error, std::span(line).first(count)));
}

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

// Reads every dump in turn, standard input from stdin_source; a copy of it
// goes to spool unless that is -1. Returns the exit status after any
// message, or -1 when the target failed.
int undump_all(const Dumps& dumps, UndumpState& state, UndumpTarget target, int stdin_source,
               int spool) {
  for (std::size_t i = 0; i < dumps.count(); ++i) {
    const std::string_view name = dumps.name(i);
    const int input = dumps.is_stdin(i) ? stdin_source : open_input(dumps.names[i]);
    // The bytes of the lines before a failure go out before its message.
    const auto fail = [&](std::initializer_list<std::string_view> pieces) {
      if (target.out != nullptr && !flush_output(*target.out)) {
        return -1;
      }
      say(pieces);
      return 1;
    };
    if (input < 0) {
      return fail({name, ": cannot open"});
    }
    target.spool = dumps.is_stdin(i) ? spool : -1;
    const UndumpResult result = undump_stream(input, state, target);
    if (!dumps.is_stdin(i)) {
      close_handle(input);
    }
    // A dump must end with its last line, unless lines stand alone.
    const bool unfinished = result.status == UndumpStatus::ok && i + 1 == dumps.count() &&
                            state.in_dump && !state.patching;
    std::array<char, 24> digits{};
    const char* end =
        std::to_chars(digits.begin(), digits.end(), result.line + (unfinished ? 1 : 0)).ptr;
    const std::string_view line(digits.data(), static_cast<std::size_t>(end - digits.data()));
    switch (result.status) {
      case UndumpStatus::ok:
        if (unfinished) {
          return fail({name, ":", line, ": ", line_error_text(LineError::unfinished)});
        }
        break;
      case UndumpStatus::bad_line:
        return fail({name, ":", line, ": ", line_error_text(result.error)});
      case UndumpStatus::read_error:
        return fail({name, ": read error"});
      case UndumpStatus::spool_error:
        return fail({"temporary file: write error"});
      case UndumpStatus::write_error:
        return -1;
    }
  }
  return 0;
}

// Checks the whole text, then writes the bytes into the file; a text with
// any error leaves the file as it was.
int patch_file(const Dumps& dumps, const char* file) {
  int spool = -1;
  for (std::size_t i = 0; i < dumps.count() && spool < 0; ++i) {
    // Standard input is read once: a spool keeps it for the second pass.
    if (dumps.is_stdin(i) && (spool = create_spool_file()) < 0) {
      say({"temporary file: cannot create"});
      return 1;
    }
  }
  UndumpState state{.patching = true};
  int status = undump_all(dumps, state, {}, standard_input, spool);
  if (status == 0) {
    static PatchWriter patch{-1};
    patch.fd = open_patch_file(file);
    if (patch.fd < 0 || (spool >= 0 && !rewind_file(spool))) {
      say({patch.fd < 0 ? file : "temporary file",
           patch.fd < 0 ? ": cannot open" : ": read error"});
      return 1;
    }
    state = UndumpState{.patching = true};
    status = undump_all(dumps, state, {.patch = &patch}, spool, -1);
    if (!flush_patch(patch) || status < 0) {
      say({file, ": write error"});
      status = 1;
    }
    close_handle(patch.fd);
  }
  if (spool >= 0) {
    close_handle(spool);
  }
  return status;
}

}  // namespace

int run_undump(int argc, const char* const argv[]) {
  prepare_standard_streams();
  const UndumpOptions options = parse_undump_options(argc, argv);
  switch (options.request) {
    case UndumpRequest::usage_error:
      say({options.problem, options.culprit});
      static_cast<void>(write_all(standard_error, std::array{usage, line_end}));
      return 2;
    case UndumpRequest::help:
      return write_all(standard_output, std::array{usage, line_end, usage_other, line_end}) ? 0 : 1;
    case UndumpRequest::version:
      return write_all(standard_output, std::array{version, line_end}) ? 0 : 1;
    case UndumpRequest::undump:
      break;
  }
  const Dumps dumps{std::span(argv + options.first_dump, argv + argc)};
  if (options.patch_file != nullptr) {
    return patch_file(dumps, options.patch_file);
  }
  static OutputWriter out{standard_output};
  UndumpState state;
  const int status = undump_all(dumps, state, {.out = &out}, standard_input, -1);
  if (status < 0 || !flush_output(out)) {
    say({"stdout: write error"});
    return 1;
  }
  return status;
}

}  // namespace quarnel
