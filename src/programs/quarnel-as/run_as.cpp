#include "programs/quarnel-as/run_as.h"

#include <array>
#include <span>
#include <string_view>

#include "front/messages.h"
#include "front/progress.h"
#include "platform/platform.h"
#include "programs/quarnel-as/as_options.h"
#include "stream/layout_stream.h"

namespace quarnel {
namespace {

constexpr ProgramText program{"quarnel-as", "usage: quarnel-as LAYOUT [OPTIONS] [--] [FILE...]",
                              "       quarnel-as --help | --version",
                              "quarnel-as " QUARNEL_VERSION};

// Writes one open input; false after saying what went wrong.
bool write_input(int input, std::string_view name, const AsOptions& options, OutputWriter& out) {
  ByteRange range{options.start, options.length};
  if (options.from_end) {
    const std::int64_t size = may_wait(input) ? -1 : file_length(input);
    if (size < 0) {
      say(program, {name, ": a start from the end needs a file"});
      return false;
    }
    if (options.start > static_cast<std::uint64_t>(size)) {
      say(program, {name, ": the start is before the file's first byte"});
      return false;
    }
    range.start = static_cast<std::uint64_t>(size) - options.start;
  }
  LayoutResult result = LayoutResult::ok;
  if (options.quarnel) {
    result = write_quarnel_layout(input, range, out);
  } else {
    LayoutSettings settings = options.settings;
    settings.address = range.start + options.added;
    settings.color = colors_output(options.color);
    const bool typed_array =
        settings.layout == WrittenLayout::cpp || settings.layout == WrittenLayout::rust;
    if (!options.named && settings.layout == WrittenLayout::xxd_c) {
      settings.name = input == standard_input ? std::string_view() : name;
    } else if (!options.named && typed_array) {
      // A name made for Rust is in capitals, as its statics are.
      settings.name = input == standard_input ? "standard_input" : name;
      settings.capitals = settings.layout == WrittenLayout::rust;
    }
    if (check_layout(settings) == LayoutError::name) {
      say(program, {name, ": makes a name that is a keyword; give the array one with -n NAME"});
      return false;
    }
    if (typed_array) {
      result = write_array_layout(input, settings, range, out);
    } else {
      LayoutStream stream(settings);
      result = write_layout(input, stream, range, out);
    }
  }
  switch (result) {
    case LayoutResult::ok:
      return true;
    case LayoutResult::past_end:
      say(program, {name, ": the start is past the end"});
      return false;
    case LayoutResult::read_error:
      say_failed(program, {name, ": read error"}, last_error());
      return false;
    case LayoutResult::shrank:
      say(program, {name, ": changed while it was read; the array is not closed"});
      return false;
    case LayoutResult::grew:
      say(program, {name, ": grew while it was read; the array holds the bytes it had at first"});
      return false;
    case LayoutResult::spool_error:
      say_failed(program, {name, ": cannot be kept in ", spool_folder(), " to count its bytes"},
                 last_error());
      return false;
    case LayoutResult::write_error:
      break;
  }
  return false;
}

}  // namespace

int run_as(int argc, const char* const argv[]) {
  const AsOptions options = read_options(argc, argv, parse_as_options);
  if (const std::optional<int> status = answer(program, options.asked, 2)) {
    return *status;
  }
  static OutputWriter out{standard_output};
  int status = 0;
  const std::array<const char*, 1> standard{"-"};
  const ProgressLine progress(program.name, options.progress, length_of_files(options.files));
  for (const char* name :
       options.files.empty() ? std::span<const char* const>(standard) : options.files) {
    const bool is_standard = std::string_view(name) == "-";
    progress_file(name);
    const int input = is_standard ? standard_input : open_input(name);
    if (input < 0) {
      say_failed(program, {name, ": cannot open"}, last_error());
      status = 1;
      continue;
    }
    // Lines written into the file read would be read again.
    if (!flush_output(out)) {
      break;
    }
    if (is_own_output(input, standard_output)) {
      say(program, {name, ": is the output too"});
      status = 1;
    } else if (!write_input(input, is_standard ? "-" : name, options, out)) {
      status = 1;
    }
    if (!is_standard) {
      close_handle(input);
    }
    if (out.failed) {
      break;
    }
  }
  if (out.failed || !flush_output(out)) {
    say_failed(program, {"stdout: write error"}, out.error);
    return 1;
  }
  return status;
}

}  // namespace quarnel
