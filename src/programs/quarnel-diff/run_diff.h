// quarnel-diff's driver: reads its options and the two files, writes the
// diff of their dumps, reports failures.
#pragma once

namespace quarnel {

// Runs quarnel-diff once and returns the process exit status, as diff's:
// 0 for the same files, 1 for files that differ, 2 for trouble.
[[nodiscard]] int run_diff(int argc, const char* const argv[]);

}  // namespace quarnel
