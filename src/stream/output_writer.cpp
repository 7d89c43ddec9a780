#include "stream/output_writer.h"

#include <span>
#include <string_view>

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

}  // namespace quarnel
