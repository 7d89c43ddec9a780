// The driver: parses the command line, dumps each input, reports failures.
#pragma once

namespace quarnel {

// Runs the tool once and returns the process exit status, 0 or 1.
[[nodiscard]] int run(int argc, const char* const argv[]);

}  // namespace quarnel
