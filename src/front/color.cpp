// front/: what the companion programs share: options, colour, messages.
#include "front/color.h"

#include <cstdlib>

#include "platform/platform.h"

namespace quarnel {

bool read_color_option(std::string_view arg, ColorWhen& when) {
  if (arg.starts_with("--colour")) {
    arg.remove_prefix(8);
  } else if (arg.starts_with("--color")) {
    arg.remove_prefix(7);
  } else {
    return false;
  }
  if (arg.empty() || arg == "=auto") {
    when = ColorWhen::automatic;
  } else if (arg == "=always") {
    when = ColorWhen::always;
  } else if (arg == "=never") {
    when = ColorWhen::never;
  } else {
    return false;
  }
  return true;
}

bool colors_output(ColorWhen when) {
  // NO_COLOR, set to anything, asks for none where the choice is left to us.
  const char* no_color = std::getenv("NO_COLOR");
  return when == ColorWhen::always ||
         (when == ColorWhen::automatic && is_terminal(standard_output) &&
          (no_color == nullptr || *no_color == '\0'));
}

}  // namespace quarnel
