// Dumps one file (or standard input) from address 0 through the portable
// formatter only: the yardstick that the fast paths are checked against.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "dump/line_format.h"
#include "io/output_writer.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  using namespace quarnel;
  const int fd = argc > 1 ? open(argv[1], O_RDONLY) : STDIN_FILENO;
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  static OutputWriter out{STDOUT_FILENO};
  static std::array<std::uint8_t, input_block_size> block;
  std::uint32_t address = 0;
  std::size_t have = 0;
  for (;;) {
    const ReadResult got = read_block(fd, std::span(block).subspan(have));
    have += got.count;
    if (got.status != ReadStatus::data || have == block.size()) {
      const std::size_t whole = have / bytes_per_line * bytes_per_line;
      out.used =
          static_cast<std::size_t>(format_lines_portable<native_line_end>(
                                       out.buffer.data(), address, std::span(block).first(whole)) -
                                   out.buffer.data());
      if (got.status != ReadStatus::data) {
        out.used = static_cast<std::size_t>(
            format_last_line(out.buffer.data() + out.used, address,
                             std::span(block).subspan(whole, have - whole)) -
            out.buffer.data());
      }
      if (!flush_output(out)) {
        return 1;
      }
      if (got.status != ReadStatus::data) {
        return got.status == ReadStatus::end ? 0 : 1;
      }
      have = 0;
    }
  }
}
