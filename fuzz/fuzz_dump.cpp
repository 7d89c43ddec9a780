// Dumps fuzz data through the engine's fast path from a start offset taken
// from the first bytes, and checks the result against the plain dumper.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dump/line_format.h"
#include "support/simple_dump.h"
#include "support/test_support.h"

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

  const int input = testing::memory_file({reinterpret_cast<const char*>(data.data()), data.size()});
  const testing::Dumped dumped = testing::dump_to_string(input, offset);
  close(input);

  bool holds = false;
  if (offset > 0 && static_cast<std::size_t>(offset) > data.size()) {
    holds = dumped.result == DumpResult::too_short && dumped.text.empty();
  } else {
    const auto shown = data.subspan(offset > 0 ? static_cast<std::size_t>(offset) : 0);
    // Full lines, and a last line of char_column characters, one a byte,
    // and its line end.
    holds = dumped.result == DumpResult::ok &&
            dumped.text == testing::simple_dump(shown, static_cast<std::uint32_t>(offset)) &&
            dumped.text.size() == shown.size() / 16 * full_line_length + char_column +
                                      shown.size() % 16 + line_end.size();
  }
  if (!holds) {
    std::abort();
  }
  return 0;
}
