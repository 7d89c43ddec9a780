// The colours of a diff, as GNU diff --color writes them.
#pragma once

#include <string_view>

namespace quarnel::diff_colors {

inline constexpr std::string_view header = "\x1b[1m";
inline constexpr std::string_view hunk = "\x1b[36m";
inline constexpr std::string_view deleted = "\x1b[31m";
inline constexpr std::string_view added = "\x1b[32m";
inline constexpr std::string_view plain = "\x1b[0m";

}  // namespace quarnel::diff_colors
