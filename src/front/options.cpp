#include "front/options.h"

namespace quarnel {

bool asks_help_or_version(std::string_view arg, Asked& asked) {
  if (arg != "--help" && arg != "--version") {
    return false;
  }
  asked.request = arg == "--help" ? Request::help : Request::version;
  return true;
}

bool next_option(OptionWalk& walk, std::string_view& arg, Asked& asked) {
  if (walk.next >= walk.argc) {
    return false;
  }
  arg = walk.argv[walk.next];
  if (arg == "--") {
    ++walk.next;
    return false;
  }
  if (!arg.starts_with('-') || arg == "-") {
    return false;
  }
  walk.at = walk.next++;
  return !asks_help_or_version(arg, asked);
}

OptionValue option_value(OptionWalk& walk, std::string_view arg, std::string_view short_name,
                         std::string_view long_name) {
  OptionValue found{true};
  if (arg.starts_with(long_name) && arg.size() > long_name.size() && arg[long_name.size()] == '=') {
    found.value = walk.argv[walk.at] + long_name.size() + 1;
  } else if (!short_name.empty() && arg.starts_with(short_name) && arg.size() > short_name.size()) {
    found.value = walk.argv[walk.at] + short_name.size();
  } else if ((!short_name.empty() && arg == short_name) || arg == long_name) {
    if (walk.next < walk.argc) {
      found.value = walk.argv[walk.next++];
    }
  } else {
    found.matched = false;
  }
  if (found.value != nullptr && *found.value == '\0') {
    found.value = nullptr;
  }
  return found;
}

}  // namespace quarnel
