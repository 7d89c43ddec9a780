// quarnel-view: a file shown as dump lines on the whole terminal, moved
// about, searched and edited.
#pragma once

namespace quarnel {

// Runs the viewer; returns the exit status.
[[nodiscard]] int run_view(int argc, const char* const argv[]);

}  // namespace quarnel
