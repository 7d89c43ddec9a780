#include "unquarnel/undump_options.h"

namespace quarnel {
namespace {

// The file name an option takes: glued on (-pFILE, --patch=FILE), or the
// next argument. Null with what is wrong in problem otherwise.
const char* file_of(std::string_view arg, std::string_view short_name, std::string_view long_name,
                    int argc, const char* const argv[], int& index, std::string_view& problem) {
  const char* file = nullptr;
  if (arg.starts_with(long_name) && arg.size() > long_name.size() && arg[long_name.size()] == '=') {
    file = argv[index] + long_name.size() + 1;
  } else if (arg.starts_with(short_name) && arg.size() > 2) {
    file = argv[index] + 2;
  } else if (arg == short_name || arg == long_name) {
    if (index + 1 < argc) {
      file = argv[++index];
    }
  } else {
    return nullptr;
  }
  if (file == nullptr || *file == '\0') {
    problem = "option needs a file name: ";
    return nullptr;
  }
  return file;
}

}  // namespace

UndumpOptions parse_undump_options(int argc, const char* const argv[]) {
  UndumpOptions options;
  const auto fail = [&](std::string_view problem, const char* culprit) {
    options.request = UndumpRequest::usage_error;
    options.problem = problem;
    options.culprit = culprit;
    return options;
  };
  int index = 1;
  for (; index < argc; ++index) {
    const std::string_view arg = argv[index];
    if (arg == "--") {
      ++index;
      break;
    }
    if (!arg.starts_with('-') || arg == "-") {
      break;
    }
    if (arg == "--help" || arg == "--version") {
      options.request = arg == "--help" ? UndumpRequest::help : UndumpRequest::version;
      return options;
    }
    const int at = index;
    if (arg == "-R" || arg == "--reverse") {
      options.reverse = true;
      continue;
    }
    if (arg.starts_with("--from=")) {
      options.reading = reading_named(arg.substr(7));
      if (options.reading == DumpReading::any) {
        return fail(
            "unknown layout (quarnel, xxd, xxd-e, xxd-d, xxd-e-d, xxd-plain, xxd-c, "
            "hexdump, od, od-d, od-x, hex): ",
            argv[at]);
      }
      continue;
    }
    if (arg == "--from") {
      return fail("--from and its layout are one word: write --from=",
                  index + 1 < argc ? argv[index + 1] : "LAYOUT");
    }
    std::string_view problem;
    if (const char* file = file_of(arg, "-p", "--patch", argc, argv, index, problem)) {
      if (options.patch_file != nullptr) {
        return fail("one file to patch, not two: ", argv[at]);
      }
      options.patch_file = file;
    } else if (const char* out = problem.empty()
                                     ? file_of(arg, "-o", "--output", argc, argv, index, problem)
                                     : nullptr) {
      if (options.output_file != nullptr) {
        return fail("one output file, not two: ", argv[at]);
      }
      options.output_file = out;
    } else {
      return fail(problem.empty() ? "unknown option: " : problem, argv[at]);
    }
    if (options.patch_file != nullptr && options.output_file != nullptr) {
      return fail("--patch and --output do not go together: ", argv[at]);
    }
  }
  if (options.reverse && options.patch_file == nullptr) {
    return fail("--reverse applies a diff to a file: it needs --patch: ", "-R");
  }
  options.first_dump = index;
  return options;
}

}  // namespace quarnel
