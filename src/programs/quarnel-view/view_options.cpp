// programs/quarnel-view/: a file on the whole terminal, to look at and edit.
#include "programs/quarnel-view/view_options.h"

#include <string_view>

namespace quarnel {

ViewOptions parse_view_options(int argc, const char* const argv[]) {
  ViewOptions options;
  OptionWalk walk{argc, argv};
  for (std::string_view arg; next_option(walk, arg, options.asked);) {
    if (arg == "--write") {
      options.write = true;
    } else if (!read_color_option(arg, options.color)) {
      return refused(options, "unknown option: ", argv[walk.at]);
    }
  }
  if (options.asked.request != Request::run) {
    return options;
  }
  if (walk.next < argc) {
    options.file = argv[walk.next];
  }
  if (walk.next + 1 < argc) {
    options.new_file = argv[walk.next + 1];
  }
  if (walk.next + 2 < argc) {
    return refused(options, "one file, or two to compare: ", argv[walk.next + 2]);
  }
  return options;
}

}  // namespace quarnel
