#include "dump/output_writer.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/platform.h"

namespace quarnel {

bool flush_output(OutputWriter& out) {
  const std::string_view text(out.buffer.data(), out.used);
  out.used = 0;
  return write_all(out.fd, std::span(&text, 1));
}

bool reserve_output(OutputWriter& out, std::size_t size) {
  return out.buffer.size() - out.used >= size || flush_output(out);
}

bool append_output(OutputWriter& out, std::string_view text) {
  while (!text.empty()) {
    if (out.used == out.buffer.size() && !flush_output(out)) {
      return false;
    }
    const std::size_t part = std::min(text.size(), out.buffer.size() - out.used);
    std::memcpy(out.buffer.data() + out.used, text.data(), part);
    out.used += part;
    text.remove_prefix(part);
  }
  return true;
}

}  // namespace quarnel
