// Dumps fuzz data through the engine's fast path from a start offset taken
// from the first bytes, and checks the result against the plain dumper.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "dump/dump_stream.h"
#include "simple_dump.h"

namespace {

int memory_file(std::span<const std::uint8_t> data) {
  const int fd = memfd_create("fuzz", MFD_CLOEXEC);
  if (fd < 0 ||
      (!data.empty() && write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))) {
    std::abort();
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string contents(int fd) {
  std::string text(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
  if (pread(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    std::abort();
  }
  return text;
}

void check(bool holds) {
  if (!holds) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  if (size < 4) {
    return 0;
  }
  // The first byte chooses how the next three make the offset: small values
  // near the data's length, or any 32-bit pattern (mostly negative or huge).
  std::uint32_t raw = 0;
  std::memcpy(&raw, bytes, 3);
  const auto offset = static_cast<std::int32_t>(
      (bytes[0] & 1) != 0 ? (raw & 0xFFFFFF) | (static_cast<std::uint32_t>(bytes[3]) << 24)
                          : (raw >> 8) % 1024 - 64);
  const std::span<const std::uint8_t> data(bytes + 4, size - 4);

  const int input = memory_file(data);
  static auto out = std::make_unique<OutputWriter>(OutputWriter{-1});
  out->fd = memory_file({});
  const DumpResult result = dump_stream(input, offset, *out);
  check(flush_output(*out));
  const std::string text = contents(out->fd);
  close(input);
  close(out->fd);

  if (offset > 0 && static_cast<std::size_t>(offset) > data.size()) {
    check(result == DumpResult::too_short && text.empty());
    return 0;
  }
  check(result == DumpResult::ok);
  const std::size_t skipped = offset > 0 ? static_cast<std::size_t>(offset) : 0;
  const auto shown = data.subspan(skipped);
  check(text == fuzzing::simple_dump(shown, static_cast<std::uint32_t>(offset)));
  // Full lines of 77 bytes and a last line of 61 bytes plus its characters.
  check(text.size() == shown.size() / 16 * 77 + 61 + shown.size() % 16);
  return 0;
}
