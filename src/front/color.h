// --color[=WHEN], as the companion programs take it.
#pragma once

#include <string_view>

namespace quarnel {

enum class ColorWhen { never, always, automatic };

// Whether arg is --color, --color=auto, --color=always or --color=never
// (or spelt --colour); sets when if it is.
[[nodiscard]] bool read_color_option(std::string_view arg, ColorWhen& when);

// Whether to colour standard output: always, or automatically when it is a
// terminal and NO_COLOR is unset or empty.
[[nodiscard]] bool colors_output(ColorWhen when);

}  // namespace quarnel
