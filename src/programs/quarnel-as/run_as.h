// quarnel-as's driver: reads its options, writes each file in the layout
// asked for, reports failures.
#pragma once

namespace quarnel {

// Runs quarnel-as once and returns the process exit status: 0, 1 when a
// file could not be written out whole, 2 for a wrong command line.
[[nodiscard]] int run_as(int argc, const char* const argv[]);

}  // namespace quarnel
