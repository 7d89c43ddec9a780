// Reads quarnel-as's command line: the layout's name, the options it
// takes, the files.
#pragma once

#include <cstdint>
#include <span>

#include "front/color.h"
#include "front/options.h"
#include "front/progress.h"
#include "quarnel/write_layout.h"

namespace quarnel {

struct AsOptions {
  Asked asked;
  bool quarnel = false;  // quarnel's own dump, not one of settings' layouts
  LayoutSettings settings;
  std::uint64_t start = 0;                   // -s: the first byte written
  bool from_end = false;                     // -s -N: N bytes before the end of each file
  std::uint64_t length = ~std::uint64_t{0};  // -l
  std::uint64_t added = 0;                   // xxd -o: added to each address
  bool named = false;                        // xxd-c -n: the array's name given
  ColorWhen color = ColorWhen::never;
  ProgressWhen progress = ProgressWhen::automatic;
  std::span<const char* const> files;  // none: standard input
};

// LAYOUT first, then its options, up to "--" or the first argument that
// does not begin with "-"; then the files.
[[nodiscard]] AsOptions parse_as_options(int argc, const char* const argv[]);

}  // namespace quarnel
