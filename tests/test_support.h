// Helpers shared by the tests: in-memory files and running the tool.
#pragma once

#include <string>
#include <vector>

namespace quarnel::testing {

// An anonymous in-memory file holding data, positioned at its start.
int memory_file(const std::string& data);

// Everything left in fd from its start.
std::string contents(int fd);

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
