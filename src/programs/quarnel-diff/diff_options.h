// Reads quarnel-diff's command line.
#pragma once

#include <cstdint>
#include <string_view>

#include "front/color.h"
#include "front/options.h"
#include "front/progress.h"

namespace quarnel {

struct DiffOptions {
  Asked asked;
  std::uint64_t context = 3;
  ColorWhen color = ColorWhen::never;
  ProgressWhen progress = ProgressWhen::automatic;
  bool same_offsets = false;  // bytes compared at the same offsets only: nothing moves
  bool stat = false;          // a summary of the changes instead of the diff
  const char* old_file = nullptr;
  const char* new_file = nullptr;
};

// Options come first, up to "--" or the first argument that does not begin
// with "-" ("-" alone is standard input); then exactly two files.
[[nodiscard]] DiffOptions parse_diff_options(int argc, const char* const argv[]);

}  // namespace quarnel
