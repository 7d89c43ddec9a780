#include "io/output_writer.h"

#include <algorithm>
#include <span>

#include "platform/platform.h"

namespace quarnel {

bool flush_output(OutputWriter& out) {
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
