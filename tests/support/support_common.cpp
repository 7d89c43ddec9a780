#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "test_support.h"

namespace quarnel::testing {

std::string read_up_to(int fd, std::size_t size) {
  std::string text;
  char chunk[65536];
  for (long n = 1; text.size() < size && n > 0;) {
    n = read_fd(fd, chunk, std::min(sizeof chunk, size - text.size()));
    text.append(chunk, static_cast<std::size_t>(std::max(n, 0L)));
  }
  return text;
}

std::string contents(int fd) {
  rewind_fd(fd);
  return read_up_to(fd, SIZE_MAX);
}

std::string with_line_ends(std::string_view text) {
  std::string result;
  for (const char c : text) {
    result += c == '\n' ? line_end : std::string_view(&c, 1);
  }
  return result;
}

Dumped dump_to_string(int input_fd, std::int32_t offset) {
  // Too big for the stack of a fuzzing thread.
  static auto out = std::make_unique<OutputWriter>(OutputWriter{-1});
  out->fd = memory_file("");
  const DumpResult result = dump_stream(input_fd, offset, *out);
  if (!flush_output(*out)) {
    std::abort();
  }
  Dumped dumped{result, contents(out->fd)};
  close_fd(out->fd);
  return dumped;
}

}  // namespace quarnel::testing
