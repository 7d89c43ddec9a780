// platform/: every call to the operating system, posix/ and windows/ a
// file per concern.
// What ends the lines of text files here: Windows consoles and editors
// expect a carriage return before the line feed.
#pragma once

#include <string_view>

namespace quarnel {

// QUARNEL_CRLF comes from the build, which sets it for Windows.
inline constexpr std::string_view line_end = QUARNEL_CRLF != 0 ? "\r\n" : "\n";

}  // namespace quarnel
