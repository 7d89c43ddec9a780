// Reads quarnel-view's command line.
#pragma once

#include "front/color.h"
#include "front/options.h"

namespace quarnel {

struct ViewOptions {
  Asked asked;
  bool write = false;  // a block device may be written
  ColorWhen color = ColorWhen::automatic;
  const char* file = nullptr;      // null or "-": standard input
  const char* new_file = nullptr;  // given: file is compared with it
};

// Options come first, up to "--" or the first argument that does not begin
// with "-" ("-" alone is standard input); then a file, or two to compare.
[[nodiscard]] ViewOptions parse_view_options(int argc, const char* const argv[]);

}  // namespace quarnel
