// Writes fuzz data in a layout its first bytes choose, in pieces of a size
// they choose too: the text must be the same however the data is cut, and
// a layout that unquarnel reads must read back into the data, with the
// reading the settings name.
#include <cstdlib>
#include <string>
#include <vector>

#include "support/layout_texts.h"

using namespace quarnel;
using namespace quarnel::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 6) {
    return 0;
  }
  const std::string_view data(reinterpret_cast<const char*>(bytes) + 6, size - 6);
  const unsigned flags = bytes[3];
  LayoutSettings settings{
      .layout = static_cast<WrittenLayout>(bytes[0] % 8),
      .columns = bytes[1],
      .group = bytes[2] % 2 == 1 ? -1 : bytes[2] / 2 % 24,
      .upper = (flags & 1U) != 0,
      .little_endian = (flags & 2U) != 0,
      .bits = (flags & 4U) != 0,
      .radix = static_cast<AddressRadix>(bytes[4] % 4),
      .squeeze = (flags & 8U) != 0,
      .charset = static_cast<CharacterSet>(flags >> 6 & 3U) == CharacterSet::ebcdic
                     ? CharacterSet::ebcdic
                     : static_cast<CharacterSet>(flags >> 6 & 1U),
      .color = (flags & 32U) != 0,
      .capitals = (flags & 16U) != 0,
      .name = "data",
      .length = data.size(),
  };
  if (settings.layout == WrittenLayout::xxd_plain || settings.layout == WrittenLayout::hex) {
    settings.name = {};
  }
  if (check_layout(settings) != LayoutError::none) {
    return 0;
  }
  const std::string whole = written_layout(settings, data, data.size() + 1);
  if (written_layout(settings, data, std::size_t{bytes[5]} + 1) != whole) {
    std::abort();
  }
  const DumpReading reading = settings_reading(settings);
  if (data.empty() || settings.color || reading == DumpReading::any) {
    return 0;
  }
  DumpReader reader(ReadMode::dumps, reading);
  std::vector<unsigned char> back(data.size() + 16);
  std::size_t got = 0;
  std::string_view text = whole;
  for (;;) {
    const ReadStep step =
        reader.read(text, WritableBytes(back.data() + got, back.size() - got), true);
    got += step.size;
    text.remove_prefix(step.taken);
    if (step.stop == ReadStop::text) {
      break;
    }
    if (step.stop != ReadStop::jump) {
      std::abort();
    }
  }
  if (reader.finish().error != ReadError::none ||
      std::string_view(reinterpret_cast<const char*>(back.data()), got) != data) {
    std::abort();
  }
  return 0;
}
