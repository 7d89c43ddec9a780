// unquarnel's driver: reads its options and the dumps, writes the bytes,
// reports failures.
#pragma once

namespace quarnel {

// Runs unquarnel once and returns the process exit status: 0, 1 for a
// failure, 2 for a usage error.
[[nodiscard]] int run_undump(int argc, const char* const argv[]);

}  // namespace quarnel
