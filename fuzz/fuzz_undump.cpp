// Reads fuzz data as a dump: whatever it holds, the reader must neither
// crash nor hang nor read out of bounds. Then dumps the same data with the
// engine and reads that back: it must give the data again.
#include <cstdlib>
#include <cstring>

#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const testing::Undumped read = testing::undump_to_string(text);
  // A line gives at most 16 bytes, and the lines are at most a line apart.
  if (read.bytes.size() > 16 * (size / 9 + 1)) {
    std::abort();
  }
  std::int32_t offset = 0;
  std::memcpy(&offset, bytes, std::min<std::size_t>(size, 4));
  const int input = testing::memory_file(text);
  const testing::Dumped dumped = testing::dump_to_string(input, offset < 0 ? offset : 0);
  close_handle(input);
  const testing::Undumped again = testing::undump_to_string(dumped.text);
  if (again.result.status != UndumpStatus::ok || again.bytes != text) {
    std::abort();
  }
  return 0;
}
