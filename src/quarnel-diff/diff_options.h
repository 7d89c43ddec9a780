// Reads quarnel-diff's command line.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarnel {

enum class DiffRequest { diff, help, version, usage_error };
enum class ColorWhen { never, always, automatic };

struct DiffOptions {
  DiffRequest request = DiffRequest::diff;
  std::uint64_t context = 3;
  ColorWhen color = ColorWhen::never;
  const char* old_file = nullptr;
  const char* new_file = nullptr;
  std::string_view problem;  // what is wrong, with usage_error
  const char* culprit = "";  // the argument at fault, with usage_error
};

// Options come first, up to "--" or the first argument that does not begin
// with "-" ("-" alone is standard input); then exactly two files.
[[nodiscard]] DiffOptions parse_diff_options(int argc, const char* const argv[]);

}  // namespace quarnel
