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
  out.turns->changed[out.turn % out.turns->changed.size()].wait(
      lock, [&] { return out.turns->current == out.turn; });
  out.has_turn = true;
}

void end_turn(OutputWriter& out) {
  {
    const std::lock_guard<std::mutex> lock(out.turns->mutex);
    out.turns->current = out.turn + 1;
  }
  out.turns->changed[(out.turn + 1) % out.turns->changed.size()].notify_all();
  out.has_turn = false;
}

bool flush_output(OutputWriter& out) {
  wait_for_turn(out);
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
