#include "programs/unquarnel/undump_options.h"

#include "front/options.h"
#include "layouts/layout_names.h"

namespace quarnel {

UndumpOptions parse_undump_options(int argc, const char* const argv[]) {
  UndumpOptions options;
  OptionWalk walk{argc, argv};
  for (std::string_view arg; next_option(walk, arg, options.asked);) {
    const char* const option = argv[walk.at];
    if (arg == "-R" || arg == "--reverse") {
      options.reverse = true;
      continue;
    }
    if (arg == "--no-journal") {
      options.journal = false;
      continue;
    }
    if (read_progress_option(arg, options.progress)) {
      continue;
    }
    if (arg == "--recover" || arg.starts_with("--recover=")) {
      options.recover_file = option_value(walk, arg, arg, "--recover").value;
      if (options.recover_file == nullptr) {
        return refused(options, "option needs a file name: ", option);
      }
      continue;
    }
    if (arg.starts_with("--from=")) {
      options.reading = reading_named(arg.substr(7));
      if (options.reading == DumpReading::any) {
        return refused(options, unknown_layout_problem(), option);
      }
      continue;
    }
    if (arg == "--from") {
      return refused(options, "--from and its layout are one word: write --from=",
                     walk.next < argc ? argv[walk.next] : "LAYOUT");
    }
    const OptionValue patch = option_value(walk, arg, "-p", "--patch");
    const OptionValue output = patch.matched ? patch : option_value(walk, arg, "-o", "--output");
    if (!output.matched) {
      return refused(options, "unknown option: ", option);
    }
    if (output.value == nullptr) {
      return refused(options, "option needs a file name: ", option);
    }
    const char*& file = patch.matched ? options.patch_file : options.output_file;
    if (file != nullptr) {
      return refused(
          options,
          patch.matched ? "one file to patch, not two: " : "one output file, not two: ", option);
    }
    file = output.value;
    if (options.patch_file != nullptr && options.output_file != nullptr) {
      return refused(options, "--patch and --output do not go together: ", option);
    }
  }
  if (options.asked.request != Request::run) {
    return options;
  }
  if (options.reverse && options.patch_file == nullptr) {
    return refused(options, "--reverse applies a diff to a file: it needs --patch: ", "-R");
  }
  options.dumps = std::span(argv + walk.next, static_cast<std::size_t>(argc - walk.next));
  if (options.recover_file != nullptr &&
      (options.patch_file != nullptr || options.output_file != nullptr || options.reverse ||
       !options.journal || options.reading != DumpReading::any || !options.dumps.empty())) {
    return refused(options, "--recover takes a file and nothing else: ",
                   options.dumps.empty() ? "--recover" : options.dumps[0]);
  }
  if (!options.journal && options.patch_file == nullptr) {
    return refused(options, "--no-journal goes with --patch: ", "--no-journal");
  }
  return options;
}

}  // namespace quarnel
