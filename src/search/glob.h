// File names matched against the shell's wildcards, for --include and
// --exclude.
#pragma once

#include <string_view>

namespace quarnel {

// Whether name matches glob as the shell matches a file name: * any run of
// bytes, ? any one byte, [...] one of a set ([!...] or [^...] one not in
// it, a-z a range), \ the byte after it as it is. A [ with no ] after it
// is itself. A leading dot is no different from any other byte.
[[nodiscard]] bool glob_matches(std::string_view glob, std::string_view name);

}  // namespace quarnel
