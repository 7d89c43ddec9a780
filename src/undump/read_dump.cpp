// Reading dumps in memory back into bytes, for the library's users.
#include "quarnel/undump.h"

namespace quarnel {
inline namespace v1 {

ReadBack read_dump(std::string_view text, WritableBytes out) noexcept {
  DumpReader reader;
  ReadBack back;
  for (;;) {
    const ReadStep step =
        reader.read(text, WritableBytes(out.data() + back.size, out.size() - back.size), true);
    back.size += step.size;
    text.remove_prefix(step.taken);
    if (step.stop == ReadStop::text) {
      break;
    }
    if (step.stop != ReadStop::jump) {
      back.error = step.stop == ReadStop::room ? ReadError::no_room : step.error;
      back.readings = step.readings;
      back.line = step.line;
      back.column = step.column;
      back.address = reader.first_address();
      return back;
    }
  }
  const ReadStep end = reader.finish();
  back.error = end.error;
  back.line = end.line;
  back.address = reader.first_address();
  return back;
}

}  // namespace v1
}  // namespace quarnel
