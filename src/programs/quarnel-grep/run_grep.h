// quarnel-grep's driver: reads its options and the pattern, searches each
// file, reports failures.
#pragma once

namespace quarnel {

// Runs quarnel-grep once and returns the process exit status, as grep's: 0
// when a match was found, 1 when none was, 2 for trouble (also when a
// match was found, except with -q).
[[nodiscard]] int run_grep(int argc, const char* const argv[]);

}  // namespace quarnel
