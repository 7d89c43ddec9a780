// What ends the lines of text files here: Windows consoles and editors
// expect a carriage return before the line feed.
#pragma once

#include <string_view>

namespace quarnel {

#if defined(_WIN32)
inline constexpr std::string_view line_end = "\r\n";
#else
inline constexpr std::string_view line_end = "\n";
#endif

}  // namespace quarnel
