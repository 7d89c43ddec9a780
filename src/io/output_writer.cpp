#include "io/output_writer.h"

#include <algorithm>
#include <span>

#include "platform/platform.h"

namespace quarnel {

void wait_for_turn(OutputWriter& out) {
  if (out.turns == nullptr || out.has_turn) {
    return;
  }
  std::unique_lock<std::mutex> lock(out.turns->mutex);
  out.turns->changed[turn_place(out.turn, out.turns->changed.size())].wait(
      lock, [&] { return out.turns->current == out.turn; });
  out.has_turn = true;
}

bool end_turn(OutputWriter& out) {
  OutputWriter& gathered = *out.turns->gathered;
  put_output(gathered, std::string_view(out.buffer.data(), out.used));
  out.used = 0;
  if (gathered.failed) {
    out.failed = true;
    out.error = gathered.error;
  }
  {
    const std::lock_guard<std::mutex> lock(out.turns->mutex);
    out.turns->current = out.turn + 1;
  }
  out.turns->changed[turn_place(out.turn + 1, out.turns->changed.size())].notify_all();
  out.has_turn = false;
  return !out.failed;
}

bool flush_output(OutputWriter& out) {
  wait_for_turn(out);
  // What the turns before gathered goes out first.
  if (out.turns != nullptr && out.turns->gathered->used > 0 &&
      !flush_output(*out.turns->gathered)) {
    out.used = 0;
    out.error = out.turns->gathered->error;
    out.failed = true;
    return false;
  }
  const std::string_view text(out.buffer.data(), out.used);
  out.used = 0;
  const bool written = write_all(out.fd, std::span(&text, 1));
  if (!written) {
    out.error = last_error();
    out.failed = true;
  }
  return written;
}

bool reserve_output(OutputWriter& out, std::size_t size) {
  return out.buffer.size() - out.used >= size || flush_output(out);
}

void put_output(OutputWriter& out, std::string_view text) {
  while (!text.empty() && !out.failed) {
    if (out.used == out.buffer.size() && !flush_output(out)) {
      return;
    }
    const std::size_t size = std::min(text.size(), out.buffer.size() - out.used);
    std::copy_n(text.data(), size, out.buffer.data() + out.used);
    out.used += size;
    text.remove_prefix(size);
  }
}

}  // namespace quarnel
