// Data shaped as real files are, written in the layout and settings its
// first bytes choose, pasted as written, with CR LF or without trailing
// blanks, and read back as a user reads it: without naming the layout. It
// must give exactly the data, or be refused naming two readings, one of
// which reads it exactly; laid on the data as a patch, its own dump must
// change nothing.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/layout_texts.h"

namespace {

using namespace quarnel;
using namespace quarnel::testing;

// The readings of xxd that differ from reading in byte order, radix or
// both: a text that leaves both open can name only two of the four.
std::array<DumpReading, 4> twins(DumpReading reading) {
  constexpr std::array xxd{DumpReading::xxd, DumpReading::xxd_e, DumpReading::xxd_d,
                           DumpReading::xxd_e_d};
  if (std::find(xxd.begin(), xxd.end(), reading) != xxd.end()) {
    return xxd;
  }
  return {reading, reading, reading, reading};
}

// Whether text, refused as stop says, is read exactly by a reading it names.
bool refused_rightly(std::string_view text, const ReadStep& stop, ReadMode mode, DumpReading own,
                     const std::string& data) {
  const bool names =
      stop.error == ReadError::ambiguous || stop.error == ReadError::column_fits_none;
  if (!names && stop.error != ReadError::bits_or_hex) {
    return false;
  }
  for (const DumpReading named : names ? stop.readings : std::array{own, own}) {
    for (const DumpReading reading : twins(named)) {
      const ReadAll got = read_all(text, mode, reading, mode == ReadMode::lines ? data : "");
      if (got.stop.error == ReadError::none && got.bytes == data) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 7) {
    return 0;
  }
  const unsigned flags = bytes[3];
  constexpr std::array layouts{WrittenLayout::xxd, WrittenLayout::xxd, WrittenLayout::hexdump,
                               WrittenLayout::od};
  const WrittenLayout layout = layouts[bytes[0] % layouts.size()];
  const bool xxd = layout == WrittenLayout::xxd;
  LayoutSettings settings{
      .layout = layout,
      .columns = layout == WrittenLayout::hexdump ? 0U : bytes[1] % 49U,
      .group = bytes[2] % 2 == 1 ? -1 : bytes[2] / 2 % 17,
      .upper = (flags & 1U) != 0,
      .little_endian = (flags & 2U) != 0,
      .bits = (flags & 4U) != 0,
      .radix = xxd ? ((flags & 16U) != 0 ? AddressRadix::decimal : AddressRadix::hex)
                   : static_cast<AddressRadix>(bytes[4] % 4),
      .squeeze = (flags & 8U) != 0,
      .charset = static_cast<CharacterSet>(flags >> 6 & 3U) == CharacterSet::ebcdic
                     ? CharacterSet::ebcdic
                     : static_cast<CharacterSet>(flags >> 6 & 1U),
      .address = (flags & 32U) != 0 ? bytes[4] % 40U : 0U,
  };
  if (!xxd) {
    settings.group = -1;
    settings.little_endian = settings.bits = settings.upper = false;
  }
  if (check_layout(settings) != LayoutError::none) {
    return 0;
  }
  const std::string data = file_shaped(std::span(bytes + 6, size - 6), 4096);
  const DumpReading own = settings_reading(settings);
  if (data.empty() || own == DumpReading::any) {
    return 0;
  }
  const std::string text = pasted(written_layout(settings, data, data.size() + 1), bytes[5] % 3);
  const ReadAll got = read_all(text, ReadMode::dumps, DumpReading::any);
  if (got.stop.error == ReadError::none
          ? got.bytes != data
          : !refused_rightly(text, got.stop, ReadMode::dumps, own, data)) {
    std::abort();
  }
  // A file patched with its own dump keeps its bytes.
  if (settings.address == 0 && settings.radix != AddressRadix::none) {
    const ReadAll patched = read_all(text, ReadMode::lines, DumpReading::any, data);
    if (patched.stop.error == ReadError::none
            ? patched.bytes != data
            : !refused_rightly(text, patched.stop, ReadMode::lines, own, data)) {
      std::abort();
    }
  }
  return 0;
}
