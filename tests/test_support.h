// Helpers shared by the tests and fuzz targets: in-memory files, dumping
// into a string, and running the tool.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dump/dump_stream.h"

namespace quarnel::testing {

// An anonymous in-memory file holding data, positioned at its start.
int memory_file(std::string_view data);

// Everything in fd from its start.
std::string contents(int fd);

struct Dumped {
  DumpResult result;
  std::string text;  // everything written, flushed
};

// Dumps input_fd through the engine into a string.
Dumped dump_to_string(int input_fd, std::int32_t offset);

struct Outcome {
  std::string out;
  std::string err;
  int status;  // exit status, or 128 + signal
};

struct Redirect {
  int in = -1;         // standard input instead of the input text
  int out = -1;        // standard output instead of a captured file
  bool merge = false;  // standard error goes where standard output goes
};

// Runs the built tool with args, feeding it input on standard input.
Outcome run_tool(const std::vector<std::string>& args, const std::string& input = "",
                 Redirect redirect = {});

}  // namespace quarnel::testing
