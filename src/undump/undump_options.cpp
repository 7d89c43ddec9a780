#include "undump/undump_options.h"

namespace quarnel {

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
    const char* file = nullptr;
    if (arg.starts_with("--patch=")) {
      file = argv[index] + 8;
    } else if (arg.starts_with("-p") && arg.size() > 2) {
      file = argv[index] + 2;
    } else if (arg == "-p" || arg == "--patch") {
      if (++index == argc) {
        return fail("option needs a file name: ", argv[index - 1]);
      }
      file = argv[index];
    } else {
      return fail("unknown option: ", argv[index]);
    }
    if (*file == '\0') {
      return fail("option needs a file name: ",
                  file == argv[index] ? argv[index - 1] : argv[index]);
    }
    if (options.patch_file != nullptr) {
      return fail("one file to patch, not two: ", argv[index]);
    }
    options.patch_file = file;
  }
  options.first_dump = index;
  return options;
}

}  // namespace quarnel
