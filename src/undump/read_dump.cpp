// Reading dumps in memory back into bytes, for the library's users.
#include "quarnel/undump.h"

#include "undump/undump_stream.h"

namespace quarnel {

// A byte takes at least three characters of a line (two digits and a
// separator, or the line's start).
std::size_t read_dump_size(std::size_t text_size) noexcept { return text_size / 3 + 16; }

ReadBack read_dump(std::string_view text, std::span<std::uint8_t> out) noexcept {
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.remove_prefix(3);
  }
  MemoryOutput memory{out};
  UndumpState state;
  std::uint64_t number = 0;
  const UndumpResult result = undump_text(text, true, state, {.memory = &memory}, number);
  ReadBack back;
  back.size = memory.used;
  back.address = state.first_address;
  if (result.status != UndumpStatus::ok) {
    back.line = result.line;
    back.error = line_error_text(result.error);
  } else if (state.in_dump) {
    back.line = number + 1;
    back.error = line_error_text(LineError::unfinished);
  } else {
    back.ok = true;
  }
  return back;
}

}  // namespace quarnel
