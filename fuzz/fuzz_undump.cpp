// Reads fuzz data as a dump of any layout: whatever it holds, the reader
// must neither crash nor hang nor read out of bounds. Then dumps the same
// data with the engine and reads that back: it must give the data again.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quarnel/undump.h"
#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace quarnel;
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  // Into bounded room: a * line may stand for any number of lines.
  static std::vector<std::uint8_t> room(1 << 16);
  const ReadBack read = read_dump(text, room);
  // Without * lines, a byte takes at least two characters of text.
  if (text.find('*') == std::string_view::npos && read.size > size / 2 + 16) {
    std::abort();
  }
  // Each reading a --from names, in the lines of a patch: no crash, no
  // hang, whatever the text.
  DumpReader reader(ReadMode::lines, static_cast<DumpReading>(size > 0 ? bytes[0] % 15 : 0));
  std::string_view rest = text;
  for (int steps = 0; steps < 1 << 16; ++steps) {
    const ReadStep step = reader.read(rest, room, true);
    rest.remove_prefix(step.taken);
    if (step.stop == ReadStop::error || step.stop == ReadStop::text) {
      break;
    }
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
