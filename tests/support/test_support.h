// Helpers shared by the tests and the fuzz targets: files and pipes, dumping
// into a string, and running the built tool as a process. Descriptors are
// the tool's own handles: read, write and close them with its platform calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "search/pattern.h"
#include "stream/dump_stream.h"
#include "stream/undump_stream.h"

namespace quarnel::testing {

// A temporary file holding data, positioned at its start; gone once closed.
int memory_file(std::string_view data);
void rewind_fd(int fd);
// A pipe of raw bytes: ends[0] reads, ends[1] writes. No child inherits it.
void open_pipe(int ends[2]);
bool write_fd(int fd, std::string_view data);
// The next size bytes of fd, or fewer if it ends first.
std::string read_up_to(int fd, std::size_t size);
// Everything in fd from its start.
std::string contents(int fd);
// Bytes of a seeded random sequence: long runs of them occur once only, so
// where they moved between two files is found one way only.
std::string unrepeated(std::size_t size, unsigned seed);
// A name in the temporary folder that no other test, in a process of its
// own and perhaps at the same time, takes: MinGW's random_device gives
// every process the same numbers, so the time is mixed in.
std::string scratch_name(const std::string& prefix);
// Text as the tool writes it: each "\n" becomes the platform's line end.
std::string with_line_ends(std::string_view text);

// Every offset where pattern matches data, overlapping matches too, found
// the plain way: each offset tried, each byte compared under its mask.
std::vector<std::uint64_t> reference_matches(const Pattern& pattern, std::string_view data);

struct Dumped {
  DumpResult result;
  std::string text;
};
Dumped dump_to_string(int input_fd, std::int32_t offset);

struct Undumped {
  UndumpResult result;
  std::string bytes;  // everything written, flushed
};
// Reads dump text back into bytes, in order, with the lines' sequence checked.
Undumped undump_to_string(std::string_view text);

struct Outcome {
  std::string out;
  std::string err;
  int status;  // exit status, or 128 + signal
};

// The system's words for a missing file, as the programs give them.
std::string missing_file_reason();

// A standard stream the program starts without.
inline constexpr int closed_stream = -2;

struct Redirect {
  int in = -1;         // standard input instead of the input text
  int out = -1;        // standard output instead of a captured file
  int err = -1;        // standard error instead of a captured file
  bool merge = false;  // standard error goes where standard output goes
  std::uint64_t file_size_limit = std::uint64_t{1} << 30;  // POSIX only
  unsigned user = 0;  // POSIX only: the user and group the program runs as, unless 0
};

// The words that start program with args: through the emulator of a cross
// build, if any.
std::vector<std::string> command_line(const char* program, const std::vector<std::string>& args);

// Runs program with args and the three standard streams (or closed_stream);
// its exit status.
int run_process(const char* program, const std::vector<std::string>& args, int in, int out, int err,
                std::uint64_t file_size_limit, unsigned user = 0);
// Starts it the same way and returns its process id: POSIX only.
int start_process(const char* program, const std::vector<std::string>& args, int in, int out,
                  int err, std::uint64_t file_size_limit, unsigned user = 0);

// Runs a built program (the tool unless named) with args, feeding it input
// on standard input.
Outcome run_tool(const std::vector<std::string>& args, const std::string& input = "",
                 Redirect redirect = {}, const char* program = QUARNEL_BINARY);

}  // namespace quarnel::testing
